#include "run/RunResult.h"

#include <cstdio>

#include "run/RunLines.h"

namespace quorvel {

std::string PortName(int port) {
    return "Port" + std::to_string(port + 1);
}

bool RunResult::Passed() const {
    if (interrupted || !reported.empty() || ports.empty()) {
        return false;
    }
    for (const PortResult& port : ports) {
        if (!port.passed) {
            return false;
        }
    }
    return true;
}

std::string RunResult::Verdict() const {
    if (interrupted) {
        return "INTERRUPTED";
    }
    return Passed() ? "PASS" : "FAIL";
}

void Judge(PortResult& port, const RunOptions& options) {
    PortOutcome outcome;
    outcome.port = port.figures.port;
    outcome.opened = port.opened;
    outcome.counts = port.figures.counts;
    outcome.sources = port.figures.sources;
    outcome.expectedSource = port.expectedSource;
    outcome.receivedPercent = port.receivedPercent;
    outcome.bytesAsked = port.bytesAsked;
    outcome.sent = port.figures.sent;
    outcome.reported = port.reported;
    if (port.figures.lines.available) {
        outcome.lineErrors = port.figures.lines.counts.Errors();
        outcome.lineErrorsText = LineErrorsText(port.figures.lines);
    }
    port.verdict = JudgePort(outcome, VerdictRules{options.maxErrors, options.minRatePercent,
                                                   options.lines.maxLineErrors});
    port.passed = port.verdict.Passed();
    port.reason = port.verdict.Reason();
}

namespace {

// "Port1  expected ... = ...; received ... = ...; BER 2.10e-05; latency 12 ms
// median, 40 ms p99": where every byte went, a port a line.
std::string BalanceLine(const PortStatistics& f) {
    std::string line = PortName(f.port) + "  " + BalanceText(f.counts);
    if (const std::string ber = BitErrorRateText(f.counts); !ber.empty()) {
        line += "; BER " + ber;  // as the statistics window gives it
    }
    if (f.latency.samples > 0) {
        line += "; latency " + std::to_string(f.latency.medianMs) + " ms median, " +
                std::to_string(f.latency.p99Ms) + " ms p99";
    }
    return line + "\n";
}

}  // namespace

std::string ResultTable(const RunResult& result) {
    std::string table =
        "Port   COM    Sent       Received   Verified   Errors   Rate% Source / Verdict\n";
    for (const PortResult& port : result.ports) {
        const PortStatistics& f = port.figures;
        char line[256];
        std::snprintf(line, sizeof line, "%-6s COM%-3d %-10llu %-10llu %-10llu %-8llu ",
                      PortName(f.port).c_str(), f.com, static_cast<unsigned long long>(f.sent),
                      static_cast<unsigned long long>(f.counts.received),
                      static_cast<unsigned long long>(f.counts.verified),
                      static_cast<unsigned long long>(f.counts.Errors()));
        table += line;
        if (port.receivedPercent) {
            std::snprintf(line, sizeof line, "%5.0f ", *port.receivedPercent);
            table += line;
        } else {
            table += "    - ";  // its line was not busy long enough to tell
        }
        table += f.source + ": ";
        table += port.passed ? "PASS" : "FAIL: " + port.reason;
        table += "\n";
    }
    for (const PortResult& port : result.ports) {
        table += BalanceLine(port.figures);
    }
    for (const std::string& failure : result.reported) {
        table += "Reported: " + failure + "\n";
    }
    for (const std::string& note : result.notes) {
        table += "Note: " + note + "\n";
    }
    return table + result.Verdict() + "\n";
}

}  // namespace quorvel
