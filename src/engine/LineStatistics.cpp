#include "engine/LineStatistics.h"

namespace quorvel {

const std::vector<std::string>& LineFigureTitles() {
    static const std::vector<std::string> titles{"Framing",        "Parity",      "Overrun",
                                                 "Buffer overrun", "Break",       "CTS changes",
                                                 "DSR changes",    "DCD changes", "RI changes"};
    return titles;
}

std::vector<std::string> LineFigureCells(const PortLineFigures& figures,
                                         const std::string& notAvailable) {
    if (!figures.available) {
        return std::vector<std::string>(LineFigureTitles().size(), notAvailable);
    }
    const LineCounts& c = figures.counts;
    std::vector<std::string> cells;
    for (const std::uint64_t count : {c.framing, c.parity, c.overrun, c.bufferOverrun, c.breaks,
                                      c.ctsChanges, c.dsrChanges, c.dcdChanges, c.riChanges}) {
        cells.push_back(std::to_string(count));
    }
    return cells;
}

}  // namespace quorvel
