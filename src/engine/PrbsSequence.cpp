#include "engine/PrbsSequence.h"

namespace quorvel {
namespace {

// A 64-bit mix with every input giving its own output (SplitMix64's
// finaliser), keyed by the port in the top byte of the word's number.
std::uint64_t Mixed(int port, std::uint64_t word) {
    std::uint64_t z = (static_cast<std::uint64_t>(port + 1) << 56 ^ word) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

std::uint8_t PrbsSequence::ByteAt(int port, std::uint64_t index) {
    return static_cast<std::uint8_t>(Mixed(port, index / 8) >> (8 * (index % 8)));
}

void PrbsSequence::Fill(std::uint8_t* out, std::size_t size, std::uint8_t mask) {
    std::uint64_t word = Mixed(m_port, m_next / 8);
    for (std::size_t i = 0; i < size; ++i, ++m_next) {
        if (m_next % 8 == 0) {
            word = Mixed(m_port, m_next / 8);
        }
        out[i] = static_cast<std::uint8_t>((word >> (8 * (m_next % 8))) & mask);
    }
}

}  // namespace quorvel
