#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/CardOptions.h"
#include "core/PerPort.h"
#include "run/RunLines.h"

namespace quorvel {

// What each port is to receive from, for the verdict.
enum class Expectation {
    Own,    // itself: a plug or the card's internal loopback
    Pairs,  // its pair partner: Port1-Port2, Port3-Port4, ...
    Map,    // as given port by port ("1=2,2=1")
};

// The options of an unattended run. Every option that takes a value takes it
// either way: --seconds 10 or --seconds=10.
struct RunOptions {
    std::string configFile;                 // --config: the records from this file
    std::optional<std::vector<int>> ports;  // --ports: 0-7, instead of "Open Port For Testing"
    std::optional<std::uint32_t> baud;      // --baud: for every port
    std::optional<std::string> pattern;  // --pattern: alphabets, quickbrown, user:TEXT, file:PATH
    std::optional<int> delayMs;          // --delay (0 when not given)
    double seconds = 10.0;               // --seconds: how long every port sends, on its line
    bool secondsGiven = false;           // --seconds was given
    std::optional<std::uint64_t> bytes;  // --bytes: how much every port sends instead
    Expectation expect = Expectation::Own;  // --expect
    PerPort<int> expectedSource{};          // the source each port should receive from (0-7)
    std::vector<int> mapped;                // --expect MAP: the ports it names, either side
    double minRatePercent = 95.0;           // --min-rate
    std::uint64_t maxErrors = 0;            // --max-errors
    std::string jsonFile;                   // --json
    std::string junitFile;                  // --junit
    CardOptions card;                       // --simulated-card, --wiring, --fault
    RunLineOptions lines;                   // --flow, --hold-receive, --max-line-errors
    bool help = false;
    bool version = false;
    std::string programVersion;  // the program's own version, for the reports
};

struct ParsedRunOptions {
    RunOptions options;
    std::string error;  // empty when the options could be used
};

ParsedRunOptions ParseRunOptions(const std::vector<std::string>& args);

// "1-8", "1,3,5", "2-4,7": operator numbering, 0-7 out; nothing when it is not
// such a list.
std::optional<std::vector<int>> ParsePortList(const std::string& text);

std::string RunHelp();

// The pause after each packet an unattended run makes when --delay is not
// given, where the GUI starts at 10 ms (see the help).
inline constexpr int kDefaultRunDelayMs = 0;
// The exit status of a run ended by Ctrl+C or SIGTERM: 128 + SIGINT, as
// shells give a program a signal ended.
inline constexpr int kInterruptedExitStatus = 130;

}  // namespace quorvel
