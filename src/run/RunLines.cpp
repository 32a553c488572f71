#include "run/RunLines.h"

#include <algorithm>
#include <cstdio>

#include "config/PortRegistry.h"
#include "core/CommandLine.h"
#include "core/DecimalText.h"
#include "engine/LineStatistics.h"
#include "engine/TestRuntime.h"
#include "run/RunOptions.h"
#include "run/RunResult.h"

namespace quorvel {
namespace {

// The records' flow-control indexes.
constexpr std::int32_t kHardwareFlow = 0;
constexpr std::int32_t kNoFlow = 2;

// The largest count and time the line options take.
constexpr double kMostLineErrors = 1e15;
constexpr double kMostHoldSeconds = 3600;

// 2, 2.5: seconds as the operator gave them.
std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

void AddLineOptions(CommandLine& line, RunLineOptions& options) {
    line.StartGroup("Flow control and line errors");
    line.AddValue("--flow", "rtscts|none",
                  "every chosen port's flow control: RTS/CTS or none\n"
                  "(the records' own by default)",
                  [&options](const std::string& text) -> std::string {
                      if (text == "rtscts" || text == "none") {
                          options.flow = text == "rtscts" ? RunLineOptions::Flow::RtsCts
                                                          : RunLineOptions::Flow::None;
                          return {};
                      }
                      return "--flow takes rtscts or none, not \"" + text + "\"";
                  });
    line.AddValue("--hold-receive", "SECONDS",
                  "every chosen port stops reading for this long, 1 s\n"
                  "into the run: with --flow rtscts nothing may be lost",
                  [&options](const std::string& text) -> std::string {
                      const auto seconds = FiniteNumberOf(text);
                      if (!seconds || *seconds <= 0 || *seconds > kMostHoldSeconds) {
                          return "--hold-receive takes a time above 0 and up to 3600 seconds, "
                                 "not \"" +
                                 text + "\"";
                      }
                      options.holdReceiveSeconds = *seconds;
                      return {};
                  });
    line.AddValue("--max-line-errors", "N",
                  "the most line errors (framing, parity, overrun,\n"
                  "break) a port may have (0 by default)",
                  [&options](const std::string& text) -> std::string {
                      const auto count = FiniteNumberOf(text);
                      if (!count || *count < 0 || *count > kMostLineErrors ||
                          *count != static_cast<double>(static_cast<std::uint64_t>(*count))) {
                          return "--max-line-errors takes a whole number from 0, not \"" + text +
                                 "\"";
                      }
                      options.maxLineErrors = static_cast<std::uint64_t>(*count);
                      return {};
                  });
}

std::string CheckLineOptions(const RunOptions& options) {
    const double hold = options.lines.holdReceiveSeconds;
    if (hold <= 0) {
        return {};
    }
    if (options.bytes) {
        return "--hold-receive goes with --seconds, not --bytes: the hold must end before the "
               "ports stop";
    }
    if (options.seconds < kHoldStartSeconds + hold + kAfterHoldSeconds) {
        return "--hold-receive " + Seconds(hold) + " needs a run of at least " +
               Seconds(kHoldStartSeconds + hold + kAfterHoldSeconds) +
               " seconds: the hold begins 1 s in, and the queues drain for 1 s after it";
    }
    return {};
}

void ApplyLineOptions(const RunLineOptions& options, PortRecords& records,
                      const std::vector<int>& chosen) {
    if (!options.flow) {
        return;
    }
    for (int port : chosen) {
        records.m_PortRegistry[port].nFlowCtrl =
            *options.flow == RunLineOptions::Flow::RtsCts ? kHardwareFlow : kNoFlow;
    }
}

void StartReceiveHolds(TestRuntime& runtime, const RunLineOptions& options,
                       const std::vector<int>& chosen) {
    if (options.holdReceiveSeconds <= 0) {
        return;
    }
    for (int port : chosen) {
        runtime.HoldReceive(port, static_cast<std::uint32_t>(kHoldStartSeconds * 1000),
                            static_cast<std::uint32_t>(options.holdReceiveSeconds * 1000));
    }
}

double HeldSecondsWithin(const RunLineOptions& options, double from, double to) {
    const double start = kHoldStartSeconds;
    const double end = kHoldStartSeconds + options.holdReceiveSeconds;
    return std::max(0.0, std::min(end, to) - std::max(start, from));
}

}  // namespace quorvel
