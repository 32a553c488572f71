#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/LineStatistics.h"
#include "engine/PortLines.h"

namespace quorvel {

class CommandLine;
class TestRuntime;
struct PortRecords;
struct PortResult;
struct RunOptions;

// The modem lines in an unattended run: the options that bound the UART's
// line errors and prove hardware flow control, the hold of the receivers that
// proves it, and the line errors in the verdict and the reports.
struct RunLineOptions {
    enum class Flow { None, RtsCts };
    std::optional<Flow> flow;         // --flow: every chosen port's flow control
    double holdReceiveSeconds = 0.0;  // --hold-receive: how long the receivers stop reading
    std::uint64_t maxLineErrors = 0;  // --max-line-errors
};

// A receiver's hold begins this long after the ports start, once their
// queues have filled and the rate is being taken.
inline constexpr double kHoldStartSeconds = 1.0;
// A run with a hold goes on at least this long after it, for the queues it
// filled to drain at the line rate.
inline constexpr double kAfterHoldSeconds = 1.0;

// Adds --flow, --hold-receive and --max-line-errors to quorvel-run's options.
void AddLineOptions(CommandLine& line, RunLineOptions& options);
// Why the line options read cannot go with the rest; empty when they can.
std::string CheckLineOptions(const RunOptions& options);

// --flow over the chosen ports' records.
void ApplyLineOptions(const RunLineOptions& options, PortRecords& records,
                      const std::vector<int>& chosen);
// --hold-receive: each chosen port that opened stops reading for a while.
void StartReceiveHolds(TestRuntime& runtime, const RunLineOptions& options,
                       const std::vector<int>& chosen);
// The seconds of the hold that fall between two moments of the run (seconds
// from its start): time in which a held port cannot receive, left out of its
// rate.
double HeldSecondsWithin(const RunLineOptions& options, double from, double to);

}  // namespace quorvel
