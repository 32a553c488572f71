#include "engine/LatencyHistogram.h"

#include <bit>
#include <cmath>

namespace quorvel {

void LatencyHistogram::Clear() {
    m_bins.fill(0);
    m_samples = 0;
}

std::size_t LatencyHistogram::BinOf(std::uint64_t ms) {
    if (ms < kExactMs) {
        return static_cast<std::size_t>(ms);
    }
    // kExactMs is 2^7: the doubling ms falls in, and sixteen steps within it.
    const unsigned top = static_cast<unsigned>(std::bit_width(ms)) - 1;
    const unsigned doubling = top - 7;
    if (doubling >= kDoublings) {
        return kBins - 1;
    }
    const auto sub = static_cast<unsigned>((ms >> (top - 4)) & (kSubBins - 1));
    return kExactMs + doubling * kSubBins + sub;
}

std::uint64_t LatencyHistogram::LowestOf(std::size_t bin) {
    if (bin < kExactMs) {
        return bin;
    }
    const std::size_t doubling = (bin - kExactMs) / kSubBins;
    const std::size_t sub = (bin - kExactMs) % kSubBins;
    const unsigned top = static_cast<unsigned>(doubling) + 7;
    return (std::uint64_t{1} << top) + (static_cast<std::uint64_t>(sub) << (top - 4));
}

void LatencyHistogram::Add(std::uint64_t ms) {
    ++m_bins[BinOf(ms)];
    ++m_samples;
}

std::uint64_t LatencyHistogram::At(double share) const {
    // The sample at the share's rank, counted from the lowest bin up.
    const auto rank = static_cast<std::uint64_t>(std::ceil(share * static_cast<double>(m_samples)));
    std::uint64_t seen = 0;
    for (std::size_t bin = 0; bin < kBins; ++bin) {
        seen += m_bins[bin];
        if (seen >= rank && seen > 0) {
            return LowestOf(bin);
        }
    }
    return 0;
}

LatencyFigures LatencyHistogram::Figures() const {
    if (m_samples == 0) {
        return {};
    }
    return {m_samples, At(0.5), At(0.99)};
}

}  // namespace quorvel
