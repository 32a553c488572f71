#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

// A port's pseudo-random sequence (PRBS): bytes that never repeat within a
// test, however long it runs, and that no other port ever sends, so that a
// receiver tells every loss, insertion, doubling and corruption by its
// place, and its source by the bytes alone. Byte n of port p is a byte of a
// 64-bit mix of p and n / 8 (a bijection, so no two words of any port's
// sequence are alike); every bit is as likely 0 as 1, so the bit error rate
// counts every bit.
//
// Threads: the port's sender's, under the port's lock.
class PrbsSequence {
  public:
    explicit PrbsSequence(int port) : m_port(port) {}

    // Test > Start: the sequence starts again.
    void Restart() { m_next = 0; }
    // The next `size` bytes of the sequence, each cut to the bits `mask`
    // leaves (the port's data bits), into `out`.
    void Fill(std::uint8_t* out, std::size_t size, std::uint8_t mask);
    // Byte `index` of port `port`'s sequence, whole.
    static std::uint8_t ByteAt(int port, std::uint64_t index);

  private:
    int m_port;
    std::uint64_t m_next = 0;  // the index of the next byte
};

}  // namespace quorvel
