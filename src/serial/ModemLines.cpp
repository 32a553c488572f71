#include "serial/ModemLines.h"

namespace quorvel {
namespace {

std::uint64_t CountedAfter(std::uint64_t now, std::uint64_t earlier) {
    return now >= earlier ? now - earlier : now;
}

}  // namespace

LineCounts LineCounts::Since(const LineCounts& earlier) const {
    LineCounts since;
    since.ctsChanges = CountedAfter(ctsChanges, earlier.ctsChanges);
    since.dsrChanges = CountedAfter(dsrChanges, earlier.dsrChanges);
    since.dcdChanges = CountedAfter(dcdChanges, earlier.dcdChanges);
    since.riChanges = CountedAfter(riChanges, earlier.riChanges);
    since.framing = CountedAfter(framing, earlier.framing);
    since.parity = CountedAfter(parity, earlier.parity);
    since.overrun = CountedAfter(overrun, earlier.overrun);
    since.bufferOverrun = CountedAfter(bufferOverrun, earlier.bufferOverrun);
    since.breaks = CountedAfter(breaks, earlier.breaks);
    return since;
}

std::uint32_t LineEventsBetween(const ModemLines& before, const LineCounts& countsBefore,
                                const ModemLines& after, const LineCounts& countsAfter) {
    // A line that went and came back between the looks stands as it stood,
    // but its count moved: that is a change too.
    const LineCounts counted = countsAfter.Since(countsBefore);
    std::uint32_t events = 0;
    if (before.cts != after.cts || counted.ctsChanges != 0) {
        events |= kEvCts;
    }
    if (before.dsr != after.dsr || counted.dsrChanges != 0) {
        events |= kEvDsr;
    }
    if (before.dcd != after.dcd || counted.dcdChanges != 0) {
        events |= kEvRlsd;
    }
    if (before.ri != after.ri || counted.riChanges != 0) {
        events |= kEvRing;
    }
    if (counted.breaks != 0) {
        events |= kEvBreak;
    }
    if (counted.framing + counted.parity + counted.overrun + counted.bufferOverrun != 0) {
        events |= kEvErr;
    }
    return events;
}

}  // namespace quorvel
