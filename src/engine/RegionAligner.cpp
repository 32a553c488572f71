#include "engine/RegionAligner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

namespace quorvel {
namespace {

constexpr std::int64_t kUnreached = std::numeric_limits<std::int64_t>::max() / 4;

// The bits set in each byte value.
constexpr auto kBitsOf = [] {
    std::array<std::int64_t, 256> bits{};
    for (std::size_t value = 0; value < bits.size(); ++value) {
        bits[value] = std::popcount(value);
    }
    return bits;
}();

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
    m_jump = m_twoBands ? jump : 0;
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

void RegionAligner::Offer(Cell& cell, std::int64_t cost, std::size_t from, Op op) {
    if (cost < cell.cost) {
        cell = {cost, static_cast<std::uint16_t>(from), op};
    }
}

// The table passes below are written with plain pointers: they are all the
// aligner's work, and a debug build pays for every call.

void RegionAligner::RelaxRow(std::size_t row) {
    // Source bytes passed over (lost), one at a time along a band, or all at
    // once from the start's band to the end's. A jump of g source bytes
    // costs g lost, so of the start's columns the one with the least cost
    // less its shift's worth is the cheapest start for every end at once
    // (the end's shifts lie above all of the start's).
    const std::size_t columns = m_shifts.size();
    const std::int64_t* shifts = m_shifts.data();
    const std::uint8_t* band = m_band.data();
    const std::uint8_t* adjacent = m_adjacent.data();
    const std::int16_t* sent = SentFrom(row);
    Cell* cells = m_cells.data() + row * columns;
    const bool jumps = m_jump > 0;
    Jump jump;
    for (std::size_t column = 0; column < columns; ++column) {
        if (jumps && band[column] == 1 && jump.any) {
            Offer(cells[column], jump.cost + shifts[column] * kIndelCost, jump.from, kJumpDelete);
        }
        const std::int64_t cost = cells[column].cost;
        if (cost >= kUnreached) {
            continue;
        }
        if (adjacent[column] != 0 && sent[shifts[column]] >= 0) {
            Offer(cells[column + 1], cost + kIndelCost, column, kDelete);
        }
        if (jumps && band[column] == 0) {
            jump.Take(cost - shifts[column] * kIndelCost, column);
        }
    }
}

void RegionAligner::StepFrom(std::size_t row, std::uint8_t byte) {
    const std::size_t columns = m_shifts.size();
    const std::int64_t* shifts = m_shifts.data();
    const std::uint8_t* band = m_band.data();
    const std::uint8_t* adjacent = m_adjacent.data();
    const std::int16_t* sent = SentFrom(row);
    const Cell* cells = m_cells.data() + row * columns;
    Cell* next = m_cells.data() + (row + 1) * columns;
    const bool jumps = m_jump < 0;
    if (jumps) {
        OfferJumpInserts(row + 1);
    }
    // Received bytes that fit nowhere (added), all at once from the start's
    // band to the end's: the jump keeps the source's index (row + shift), so
    // the cheapest start is kept for that index.
    Jump* inserts =
        jumps ? m_jumpInserts.data() + row + static_cast<std::size_t>(-m_lowestIndex) : nullptr;
    for (std::size_t column = 0; column < columns; ++column) {
        const std::int64_t cost = cells[column].cost;
        if (cost >= kUnreached) {
            continue;
        }
        const std::int16_t value = sent[shifts[column]];
        if (value >= 0) {
            const std::int64_t step =
                value == byte ? 0
                              : kSubstitutionCost +
                                    kBitCost * kBitsOf[static_cast<std::uint8_t>(value ^ byte)];
            Offer(next[column], cost + step, column, kDiagonal);
        }
        if (column > 0 && adjacent[column - 1] != 0) {
            Offer(next[column - 1], cost + kIndelCost, column, kInsert);
        }
        if (jumps && band[column] == 0) {
            inserts[shifts[column]].Take(cost + shifts[column] * kIndelCost, column);
        }
    }
}

void RegionAligner::OfferJumpInserts(std::size_t row) {
    // Every end column of the row, from the cheapest start at its source
    // index; the end's shift lies below all of the start's.
    const auto r = static_cast<std::int64_t>(row);
    Cell* cells = m_cells.data() + row * m_shifts.size();
    for (std::size_t end = 0; end < m_shifts.size(); ++end) {
        const std::int64_t index = r + m_shifts[end] - m_lowestIndex;
        if (m_band[end] != 1 || index < 0 ||
            index >= static_cast<std::int64_t>(m_jumpInserts.size())) {
            continue;
        }
        const Jump& jump = m_jumpInserts[static_cast<std::size_t>(index)];
        if (jump.any) {
            Offer(cells[end], jump.cost - m_shifts[end] * kIndelCost, jump.from, kJumpInsert);
        }
    }
}

const std::int16_t* RegionAligner::SentFrom(std::size_t row) const {
    // m_sent[i] holds the source's byte at index i + m_lowestIndex: the
    // returned pointer is indexed by a shift.
    return m_sent.data() + row + static_cast<std::size_t>(-m_lowestIndex);
}

void RegionAligner::Prepare(std::size_t rows, const SourceView& source) {
    m_cells.assign(rows * m_shifts.size(), Cell{kUnreached, 0, kNone});
    m_adjacent.resize(m_shifts.size());
    for (std::size_t column = 0; column < m_shifts.size(); ++column) {
        m_adjacent[column] = Adjacent(column) ? 1 : 0;
    }
    // The source's bytes at every index a cell reaches, -1 where it has none.
    m_lowestIndex = m_shifts.front();
    const std::size_t indexes = rows + static_cast<std::size_t>(m_shifts.back() - m_shifts.front());
    m_sent.resize(indexes);
    for (std::size_t i = 0; i < indexes; ++i) {
        const std::optional<std::uint8_t> byte =
            source.At(static_cast<std::int64_t>(i) + m_lowestIndex);
        m_sent[i] = byte ? static_cast<std::int16_t>(*byte) : std::int16_t{-1};
    }
    m_jumpInserts.assign(m_jump < 0 ? indexes : 0, Jump{});
}

void RegionAligner::Run(std::span<const std::uint8_t> received, const SourceView& source) {
    const std::size_t rows = received.size() + 1;
    Prepare(rows, source);
    At(0, *ColumnOf(0)).cost = 0;
    RelaxRow(0);
    for (std::size_t row = 0; row + 1 < rows; ++row) {
        StepFrom(row, received[row]);
        RelaxRow(row + 1);
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
                result.flippedBits +=
                    static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(sent ^ got)));
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
                                                    const SourceView& source, std::int64_t endShift,
                                                    std::int64_t slack) {
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
        const bool nearer =
            best && total(column) == total(*best) && std::abs(shift) < std::abs(m_shifts[*best]);
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
