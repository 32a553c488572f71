#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/SimulatedCard.h"
#include "engine/PortVerdict.h"
#include "engine/TestStatistics.h"
#include "run/RunOptions.h"

namespace quorvel {

// One tested port's outcome.
struct PortResult {
    PortStatistics figures;  // at the end of the run
    bool opened = false;     // the port opened at the start
    int expectedSource = 0;  // 0-7
    std::string label;       // "Port2 (COM5)", as its messages are named
    std::uint32_t baud = 0;  // its line rate in force
    std::string pattern;     // what it sent: "alphabets", "user:TEXT", "file:PATH", ...
    double seconds = 0.0;    // how long it sent
    // The share of its line rate it received while its line was busy;
    // nothing when it was busy too briefly to tell.
    std::optional<double> receivedPercent;
    std::optional<std::uint64_t> bytesAsked;  // --bytes
    // On the simulated card: what its faults did to what the port received,
    // by the card's own count.
    std::optional<CardFaultCounts> card;
    // What went wrong on the port while the run went on, in the system's
    // words ("Write Error: Write Timeout").
    std::vector<std::string> reported;
    PortVerdict verdict;
    bool passed = false;
    std::string reason;  // why it failed ("nothing received", "37 bytes lost", ...)
};

// A whole run.
struct RunResult {
    std::vector<PortResult> ports;
    bool interrupted = false;  // ended by Ctrl+C or SIGTERM before its end
    // Failures reported while the run went on, each once, the port's name
    // before those that came from one ("Port2 (COM5): Write Error: Write
    // Timeout"): a run that saw one does not pass, whatever its ports' figures.
    std::vector<std::string> reported;
    std::vector<std::string> reportedByNoPort;  // those of them no port's verdict holds
    // Messages that only informed ("Port Settings: Some port settings ..."):
    // told, and never a failure.
    std::vector<std::string> notes;
    std::string started;   // "2026-12-07T10:04:12Z"
    double seconds = 0.0;  // from the start to the verdict
    std::string host;      // the machine it ran on
    std::string log;       // what the run told as it went, and its final table

    bool Passed() const;
    // "PASS", "FAIL" or "INTERRUPTED": an interrupted run never passes.
    std::string Verdict() const;
};

// Judges a port by the engine's rules (PortVerdict) with the run's limits,
// and keeps its verdict and reason.
void Judge(PortResult& port, const RunOptions& options);

// The final table: a line a port with its verdict and, for a failure, why;
// then every failure reported and every note, and the run's verdict.
std::string ResultTable(const RunResult& result);

// "Port2".
std::string PortName(int port);

}  // namespace quorvel
