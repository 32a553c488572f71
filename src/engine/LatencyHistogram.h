#pragma once

#include <array>
#include <cstdint>

namespace quorvel {

// The time from a byte's write to its arrival, over a run: its median and
// 99th percentile, in milliseconds.
struct LatencyFigures {
    std::uint64_t samples = 0;
    std::uint64_t medianMs = 0;
    std::uint64_t p99Ms = 0;
    bool operator==(const LatencyFigures&) const = default;
};

// Latencies counted in a fixed number of bins, so a run of any length costs
// the same: a millisecond a bin up to kExactMs, then sixteen bins for each
// doubling (within about 6 % of the true value) up to days.
class LatencyHistogram {
  public:
    void Clear();
    void Add(std::uint64_t ms);
    LatencyFigures Figures() const;

    static constexpr std::uint64_t kExactMs = 128;

  private:
    static constexpr unsigned kSubBins = 16;
    static constexpr unsigned kDoublings = 30;
    static constexpr std::size_t kBins = kExactMs + kDoublings * kSubBins;

    static std::size_t BinOf(std::uint64_t ms);
    // The lowest latency a bin holds.
    static std::uint64_t LowestOf(std::size_t bin);
    // The latency below which `share` of the samples lie.
    std::uint64_t At(double share) const;

    std::array<std::uint64_t, kBins> m_bins{};
    std::uint64_t m_samples = 0;
};

}  // namespace quorvel
