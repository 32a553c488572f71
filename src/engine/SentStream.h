#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace quorvel {

// The bytes one port has put on its line, in the order they went, kept as far
// back as any byte still on its way can reach (the driver's queue, the card,
// a cable, the receiver's queue, a receive thread's lag). Each byte has a
// position: how many bytes the port had sent before it in this test.
//
// Threads: the write thread appends; the receive threads read; both only
// under the stream's lock, held for a copy.
class SentStream {
  public:
    // Far more than can be in flight at once at any line rate.
    static constexpr std::size_t kCapacity = 256 * 1024;

    SentStream();

    // A new test: nothing sent.
    void Reset();
    // Bytes about to go on the line (appended before the write starts, so a
    // receiver never sees them before they are known here) ...
    void Append(const std::uint8_t* data, std::size_t size);
    // ... and those of them that did not, when a write ends short.
    void Retract(std::size_t size);

    // The position after the last byte sent, and of the oldest byte kept.
    std::uint64_t End() const;
    std::uint64_t Start() const;
    // Copies the bytes from `from` on, at most `size`, that are kept; how many.
    std::size_t Copy(std::uint64_t from, std::uint8_t* out, std::size_t size) const;
    // The newest position p from `earliest` on where the stream holds `pattern`
    // and then at least `after` more bytes, and, when `before` is given, holds
    // it just before p; false when nowhere. The search is by `pattern` alone,
    // `before` being only compared where it is found.
    bool FindNewest(const std::uint8_t* pattern, std::size_t size, std::uint64_t earliest,
                    std::size_t after, std::uint64_t& position,
                    std::span<const std::uint8_t> before = {}) const;

    // The oldest position p from `earliest` on where the stream holds
    // `pattern`; false when nowhere.
    bool FindOldest(const std::uint8_t* pattern, std::size_t size, std::uint64_t earliest,
                    std::uint64_t& position) const;

  private:
    // Copies the kept bytes from `from` to the end; the caller holds the lock
    // and `from` is kept.
    void CopyToEnd(std::uint64_t from, std::vector<std::uint8_t>& out) const;

    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_ring;  // byte at position p is m_ring[p % kCapacity]
    std::uint64_t m_end = 0;
};

}  // namespace quorvel
