#include "engine/LineStatistics.h"

namespace quorvel {
namespace {

std::string Counted(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

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

std::string LineErrorsText(const PortLineFigures& figures) {
    if (!figures.available) {
        return "n/a";
    }
    const LineCounts& c = figures.counts;
    std::string text;
    const auto add = [&text](std::uint64_t count, const char* one, const char* many) {
        if (count > 0) {
            text += (text.empty() ? "" : ", ") + Counted(count, one, many);
        }
    };
    add(c.framing, "framing error", "framing errors");
    add(c.parity, "parity error", "parity errors");
    add(c.overrun, "overrun", "overruns");
    add(c.bufferOverrun, "byte lost to a full receive queue", "bytes lost to a full receive queue");
    add(c.breaks, "break", "breaks");
    return text.empty() ? "none" : text;
}

std::string LineErrorCount(const PortLineFigures& figures) {
    return figures.available ? std::to_string(figures.counts.Errors()) : "n/a";
}

}  // namespace quorvel
