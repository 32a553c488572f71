#include "engine/RegionAligner.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace quorvel {
namespace {

constexpr std::int64_t kUnreached = std::numeric_limits<std::int64_t>::max() / 4;

}  // namespace

std::optional<std::uint8_t> SourceView::At(std::int64_t index) const {
    if (index < 0) {
        return std::nullopt;
    }
    if (index < static_cast<std::int64_t>(near.size())) {
        return near[static_cast<std::size_t>(index)];
    }
    if (index >= farFrom && index - farFrom < static_cast<std::int64_t>(far.size())) {
        return far[static_cast<std::size_t>(index - farFrom)];
    }
    return std::nullopt;
}

void RegionAligner::SetColumns(std::int64_t low, std::int64_t high, std::int64_t jump,
                               std::int64_t slack) {
    m_shifts.clear();
    m_band.clear();
    m_twoBands = high - low + 1 > kWidestBand && jump != 0;
    if (!m_twoBands) {
        for (std::int64_t shift = low; shift <= high; ++shift) {
            m_shifts.push_back(shift);
            m_band.push_back(0);
        }
        return;
    }
    // The band around the start, and the one around the jump's end, in
    // ascending order of shift.
    const auto add = [&](std::int64_t centre, std::uint8_t band) {
        for (std::int64_t shift = centre - slack; shift <= centre + slack; ++shift) {
            m_shifts.push_back(shift);
            m_band.push_back(band);
        }
    };
    if (jump > 0) {
        add(0, 0);
        add(jump, 1);
    } else {
        add(jump, 1);
        add(0, 0);
    }
}

std::optional<std::size_t> RegionAligner::ColumnOf(std::int64_t shift) const {
    const auto found = std::lower_bound(m_shifts.begin(), m_shifts.end(), shift);
    if (found == m_shifts.end() || *found != shift) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - m_shifts.begin());
}

bool RegionAligner::Adjacent(std::size_t left) const {
    return left + 1 < m_shifts.size() && m_band[left] == m_band[left + 1] &&
           m_shifts[left + 1] == m_shifts[left] + 1;
}

void RegionAligner::Offer(std::size_t row, std::size_t column, std::int64_t cost,
                          std::size_t from, Op op) {
    Cell& cell = At(row, column);
    if (cost < cell.cost) {
        cell = {cost, static_cast<std::uint16_t>(from), op};
    }
}

void RegionAligner::RelaxRow(std::size_t row, const SourceView& source) {
    // Source bytes passed over (lost), one at a time along a band, or all at
    // once from the start's band to the end's.
    const auto r = static_cast<std::int64_t>(row);
    for (std::size_t column = 0; column < m_shifts.size(); ++column) {
        const std::int64_t cost = At(row, column).cost;
        if (cost >= kUnreached) {
            continue;
        }
        if (Adjacent(column) && source.At(r + m_shifts[column])) {
            Offer(row, column + 1, cost + kIndelCost, column, kDelete);
        }
        if (m_twoBands && m_band[column] == 0) {
            for (std::size_t end = 0; end < m_shifts.size(); ++end) {
                const std::int64_t gap = m_shifts[end] - m_shifts[column];
                if (m_band[end] == 1 && gap > 0) {
                    Offer(row, end, cost + gap * kIndelCost, column, kJumpDelete);
                }
            }
        }
    }
}

void RegionAligner::StepFrom(std::size_t row, std::span<const std::uint8_t> received,
                             const SourceView& source) {
    const auto r = static_cast<std::int64_t>(row);
    const std::uint8_t byte = received[row];
    const std::size_t rows = received.size() + 1;
    for (std::size_t column = 0; column < m_shifts.size(); ++column) {
        const std::int64_t cost = At(row, column).cost;
        if (cost >= kUnreached) {
            continue;
        }
        if (const std::optional<std::uint8_t> sent = source.At(r + m_shifts[column])) {
            const std::int64_t step =
                *sent == byte ? 0
                              : kSubstitutionCost +
                                    kBitCost * std::popcount(static_cast<unsigned>(*sent ^ byte));
            Offer(row + 1, column, cost + step, column, kDiagonal);
        }
        if (column > 0 && Adjacent(column - 1)) {
            Offer(row + 1, column - 1, cost + kIndelCost, column, kInsert);
        }
        if (!m_twoBands || m_band[column] != 0) {
            continue;
        }
        // Received bytes that fit nowhere (added), all at once from the
        // start's band to the end's.
        for (std::size_t end = 0; end < m_shifts.size(); ++end) {
            const std::int64_t added = m_shifts[column] - m_shifts[end];
            if (m_band[end] == 1 && added > 0 && row + static_cast<std::size_t>(added) < rows) {
                Offer(row + static_cast<std::size_t>(added), end, cost + added * kIndelCost, column,
                      kJumpInsert);
            }
        }
    }
}

void RegionAligner::Run(std::span<const std::uint8_t> received, const SourceView& source) {
    const std::size_t rows = received.size() + 1;
    m_cells.assign(rows * m_shifts.size(), Cell{kUnreached, 0, kNone});
    At(0, *ColumnOf(0)).cost = 0;
    RelaxRow(0, source);
    for (std::size_t row = 0; row + 1 < rows; ++row) {
        StepFrom(row, received, source);
        RelaxRow(row + 1, source);
    }
}

RegionResult RegionAligner::TraceBack(std::size_t rows, std::size_t column,
                                      std::span<const std::uint8_t> received,
                                      const SourceView& source) const {
    RegionResult result;
    result.cost = At(rows, column).cost;
    result.endShift = m_shifts[column];
    const std::size_t start = *ColumnOf(0);
    std::size_t row = rows;
    std::uint64_t deletedSincePlaced = 0;  // traced back: before the first byte placed
    while (row != 0 || column != start) {
        const Cell& cell = At(row, column);
        const std::int64_t shift = m_shifts[column];
        switch (cell.op) {
            case kDiagonal: {
                const std::int64_t index = static_cast<std::int64_t>(row) - 1 + shift;
                const std::uint8_t sent = source.At(index).value_or(0);
                const std::uint8_t got = received[row - 1];
                result.matched += sent == got ? 1 : 0;
                result.substituted += sent == got ? 0 : 1;
                result.flippedBits += static_cast<std::uint64_t>(
                    std::popcount(static_cast<unsigned>(sent ^ got)));
                result.firstPlaced = index;
                if (result.lastPlaced < 0) {
                    result.lastPlaced = index;
                    result.deletedAfterLast = deletedSincePlaced;
                }
                deletedSincePlaced = 0;
                --row;
                break;
            }
            case kInsert:
                ++result.inserted;
                --row;
                break;
            case kDelete:
                ++result.deleted;
                ++deletedSincePlaced;
                break;
            case kJumpDelete:
                result.deleted += static_cast<std::uint64_t>(shift - m_shifts[cell.from]);
                deletedSincePlaced += static_cast<std::uint64_t>(shift - m_shifts[cell.from]);
                break;
            case kJumpInsert:
                result.inserted += static_cast<std::uint64_t>(m_shifts[cell.from] - shift);
                row -= static_cast<std::size_t>(m_shifts[cell.from] - shift);
                break;
            case kNone:
                return result;  // not reached: every cell on the way was reached from one
        }
        column = cell.from;
    }
    result.deletedBeforeFirst = deletedSincePlaced;
    if (result.lastPlaced < 0) {
        result.deletedAfterLast = deletedSincePlaced;
    }
    return result;
}

std::optional<RegionResult> RegionAligner::ToAnchor(std::span<const std::uint8_t> received,
                                                    const SourceView& source,
                                                    std::int64_t endShift, std::int64_t slack) {
    SetColumns(std::min<std::int64_t>(0, endShift) - slack,
               std::max<std::int64_t>(0, endShift) + slack, endShift, slack);
    Run(received, source);
    const std::optional<std::size_t> end = ColumnOf(endShift);
    if (!end || At(received.size(), *end).cost >= kUnreached) {
        return std::nullopt;
    }
    return TraceBack(received.size(), *end, received, source);
}

std::optional<RegionResult> RegionAligner::OpenEnd(std::span<const std::uint8_t> received,
                                                   const SourceView& source, std::int64_t lowest,
                                                   std::int64_t highest, std::int64_t leftCost) {
    // One band, however wide: the last bytes are few.
    SetColumns(std::min<std::int64_t>(0, lowest), std::max<std::int64_t>(0, highest), 0, 0);
    m_twoBands = false;
    std::fill(m_band.begin(), m_band.end(), 0);
    Run(received, source);
    // The cheapest end, with the source's bytes left after it counted as
    // lost; of ends as cheap, the one nearest the start's shift.
    const auto rows = static_cast<std::int64_t>(received.size());
    const auto near = static_cast<std::int64_t>(source.near.size());
    const auto total = [&](std::size_t column) {
        const std::int64_t left = std::max<std::int64_t>(0, near - rows - m_shifts[column]);
        return At(received.size(), column).cost + left * leftCost;
    };
    std::optional<std::size_t> best;
    for (std::size_t column = 0; column < m_shifts.size(); ++column) {
        const std::int64_t shift = m_shifts[column];
        if (shift < lowest || shift > highest || At(received.size(), column).cost >= kUnreached) {
            continue;
        }
        const bool cheaper = !best || total(column) < total(*best);
        const bool nearer = best && total(column) == total(*best) &&
                            std::abs(shift) < std::abs(m_shifts[*best]);
        if (cheaper || nearer) {
            best = column;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return TraceBack(received.size(), *best, received, source);
}

}  // namespace quorvel
