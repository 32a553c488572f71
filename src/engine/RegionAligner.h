#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvel {

// What a short region of received bytes was, aligned with the source: each
// received byte matched or substituted (a wrong value where the stream goes
// on) or inserted (extra), and each source byte passed over deleted (lost).
struct RegionResult {
    std::int64_t cost = 0;
    std::uint64_t matched = 0;
    std::uint64_t substituted = 0;
    std::uint64_t flippedBits = 0;
    std::uint64_t deleted = 0;
    std::uint64_t inserted = 0;
    // The source indexes of the first and last bytes matched or substituted;
    // -1 for none.
    std::int64_t firstPlaced = -1;
    std::int64_t lastPlaced = -1;
    // Source bytes passed over before the first byte placed, and after the
    // last.
    std::uint64_t deletedBeforeFirst = 0;
    std::uint64_t deletedAfterLast = 0;
    // How far the source stands ahead of the received bytes at the end.
    std::int64_t endShift = 0;
};

// Each byte a fault takes costs about the same, so the alignment takes the
// fewest. Among as few, a wrong value by a bit or two (what a noisy line
// makes) is taken before a byte lost or added, and one wrong in many bits
// (more like a byte that never belonged there) after; and of two that take
// as many bytes, the one that flips fewer bits. A byte lost and one added
// cost more than one wrong value.
inline constexpr std::int64_t kSubstitutionCost = 1024;
inline constexpr std::int64_t kBitCost = 4;  // for each flipped bit of a wrong value
inline constexpr std::int64_t kIndelCost = kSubstitutionCost + 2 * kBitCost;

// The source's bytes from the region's place on, in up to two pieces: `near`
// from index 0, and `far` from index `farFrom` (past a long gap).
struct SourceView {
    std::span<const std::uint8_t> near;
    std::span<const std::uint8_t> far;
    std::int64_t farFrom = 0;

    std::optional<std::uint8_t> At(std::int64_t index) const;
};

// The cheapest alignment of a region of received bytes with the source, by
// dynamic programming over a band of shifts (source index - received index)
// around the region's start and end. Where the end stands far from the start
// (a long gap, a long insertion) the band is two small bands, joined by one
// jump. The work is the region's length times the band's width.
//
// One aligner a checker: it keeps its tables between regions.
class RegionAligner {
  public:
    // Wider than this, a band becomes two small ones joined by a jump.
    static constexpr std::int64_t kWidestBand = 160;

    // Aligns `received` from shift 0 to `endShift` after its last byte (the
    // anchor where the stream is found again), with `slack` shifts to spare
    // on either side for faults close together; nothing when the source
    // cannot hold such an alignment.
    std::optional<RegionResult> ToAnchor(std::span<const std::uint8_t> received,
                                         const SourceView& source, std::int64_t endShift,
                                         std::int64_t slack);
    // Aligns `received` from shift 0 to whatever end in [lowest, highest]
    // costs least (the last bytes, with nothing after them). The source's
    // near bytes left after the end are not received either: each costs
    // `leftCost` (a byte lost), so an end is not taken early to spare a wrong
    // value.
    std::optional<RegionResult> OpenEnd(std::span<const std::uint8_t> received,
                                        const SourceView& source, std::int64_t lowest,
                                        std::int64_t highest, std::int64_t leftCost = kIndelCost);

  private:
    enum Op : std::uint8_t { kNone, kDiagonal, kInsert, kDelete, kJumpDelete, kJumpInsert };
    struct Cell {
        std::int64_t cost;
        std::uint16_t from;  // the column it came from
        Op op;
    };

    // Sets the columns: every shift from `low` to `high`, or two bands of
    // `slack` either side of 0 and of `jump` when they lie apart.
    void SetColumns(std::int64_t low, std::int64_t high, std::int64_t jump, std::int64_t slack);
    std::optional<std::size_t> ColumnOf(std::int64_t shift) const;
    bool Adjacent(std::size_t left) const;
    void Prepare(std::size_t rows, const SourceView& source);
    void Run(std::span<const std::uint8_t> received, const SourceView& source);
    void RelaxRow(std::size_t row);
    void StepFrom(std::size_t row, std::uint8_t byte);
    const std::int16_t* SentFrom(std::size_t row) const;
    static void Offer(Cell& cell, std::int64_t cost, std::size_t from, Op op);
    // The cheapest start of a jump between the bands, and where it lies.
    struct Jump {
        bool any = false;
        std::int64_t cost = 0;
        std::size_t from = 0;
        // Of starts as cheap, the first offered stays.
        void Take(std::int64_t offered, std::size_t column) {
            if (!any || offered < cost) {
                any = true;
                cost = offered;
                from = column;
            }
        }
    };
    void OfferJumpInserts(std::size_t row);
    RegionResult TraceBack(std::size_t rows, std::size_t column,
                           std::span<const std::uint8_t> received, const SourceView& source) const;
    Cell& At(std::size_t row, std::size_t column) {
        return m_cells[row * m_shifts.size() + column];
    }
    const Cell& At(std::size_t row, std::size_t column) const {
        return m_cells[row * m_shifts.size() + column];
    }

    std::vector<std::int64_t> m_shifts;  // ascending
    std::vector<std::uint8_t> m_band;    // 0 near the start, 1 near the end
    bool m_twoBands = false;
    std::int64_t m_jump = 0;  // the end band's centre: above the start's, bytes lost; below, added
    std::vector<Cell> m_cells;
    std::vector<std::uint8_t> m_adjacent;  // a column's next one is its shift + 1 in the same band
    std::vector<std::int16_t> m_sent;  // the source's bytes by index, from m_lowestIndex; -1: none
    std::vector<Jump> m_jumpInserts;   // by source index, from m_lowestIndex
    std::int64_t m_lowestIndex = 0;
};

}  // namespace quorvel
