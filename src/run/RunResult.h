#pragma once

#include <optional>
#include <string>
#include <vector>

#include "card/SimulatedCard.h"
#include "engine/TestStatistics.h"
#include "run/RunOptions.h"

namespace quorvel {

// One tested port's outcome.
struct PortResult {
    PortStatistics figures;        // at the end of the run
    bool opened = false;           // the port opened at the start
    int expectedSource = 0;        // 0-7
    double seconds = 0.0;          // how long it sent
    double receivedPercent = 0.0;  // of the line rate, while the ports sent steadily
    // On the simulated card: what its faults did to what the port received,
    // by the card's own count.
    std::optional<CardFaultCounts> card;
    bool passed = false;
    std::string reason;  // why it failed ("nothing received", "37 bytes lost", ...)
};

// A whole run.
struct RunResult {
    std::vector<PortResult> ports;
    bool interrupted = false;  // ended by Ctrl+C before its time
    // Failures reported while the run went on ("Write Error: Write Timeout"),
    // each once: a run that saw one does not pass, whatever its ports' figures.
    std::vector<std::string> reported;
    bool Passed() const;
};

// Judges a port against what passes: data received from the expected source,
// no more errors than allowed, and at least the rate asked for.
void Judge(PortResult& port, const RunOptions& options);

// The final table: a line a port with its verdict and, for a failure, why.
std::string ResultTable(const RunResult& result);
// The results as JSON, and as JUnit XML (a test case a port).
std::string ResultJson(const RunResult& result, const RunOptions& options);
std::string ResultJUnit(const RunResult& result);

// "Port2".
std::string PortName(int port);

}  // namespace quorvel
