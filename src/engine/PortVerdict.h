#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/DataChecker.h"

namespace quorvel {

// What a port must achieve in a test to pass, as an unattended run's options
// set it.
struct VerdictRules {
    std::uint64_t maxErrors = 0;      // the most errors a port may have
    double minRatePercent = 95.0;     // the least share of its line rate it must receive
    std::uint64_t maxLineErrors = 0;  // the most line errors its UART may count
};

// What a port did in a test, as far as its verdict goes.
struct PortOutcome {
    int port = 0;  // 0-7
    bool opened = false;
    CheckCounts counts;
    std::uint8_t sources = 0;  // the ports its data may have come from, one bit a port
    // 0-7: where its data should come from; nothing where no one said, and
    // then any port's data will do.
    std::optional<int> expectedSource;
    // The share of its line rate it received while it sent steadily; nothing
    // when it did not send long enough for a rate to be measured.
    std::optional<double> receivedPercent;
    // The bytes it was to send, when it was given a count, and what it sent.
    std::optional<std::uint64_t> bytesAsked;
    std::uint64_t sent = 0;
    // What went wrong on the port while the test ran, as the system said it
    // ("Write Error: Write Timeout").
    std::vector<std::string> reported;
    // The line errors its UART counted (framing, parity, overruns, breaks) and
    // what they were ("1 framing error, 2 breaks"); nothing for a device
    // without modem lines and counts, which is not judged on them.
    std::optional<std::uint64_t> lineErrors;
    std::string lineErrorsText;
};

// The rules a port is judged by, each of which it can fail.
enum class VerdictRule {
    Opened,    // the port opened
    Received,  // it received something
    Source,    // what it received came from where it should
    Errors,    // no more errors than allowed
    Rate,      // at least the share of the line rate asked for
    Bytes,     // it sent the bytes it was given
    Reported,  // nothing went wrong on it while the test ran
    Lines,     // no more line errors than allowed
};

// "source", "errors", ...: a rule as reports name it.
const char* RuleName(VerdictRule rule);

// A rule the port failed, and why, in the operator's words.
struct VerdictFailure {
    VerdictRule rule = VerdictRule::Opened;
    std::string reason;  // "37 bytes lost, 2 bytes corrupted", "rate 80% < 95%"
};

// A port's verdict: it passed when it failed no rule.
struct PortVerdict {
    std::vector<VerdictFailure> failures;

    bool Passed() const { return failures.empty(); }
    // Every reason, "; " between them; empty when it passed.
    std::string Reason() const;
    // The rules it failed, each once, "," between them ("source,rate").
    std::string Rules() const;
};

// Judges a port: it passes when it opened, received data from the expected
// source (among the candidates when several ports sent the same bytes), had
// no more than `maxErrors` errors, received at least `minRatePercent` of its
// line rate (where a rate was measured), sent all the bytes it was given,
// nothing went wrong on it while the test ran, and its UART counted no more
// than `maxLineErrors` line errors. A limit exactly reached passes.
PortVerdict JudgePort(const PortOutcome& outcome, const VerdictRules& rules);

// "37 bytes lost, 2 bytes corrupted": a port's errors by kind, empty for none.
std::string ErrorsText(const CheckCounts& counts);

}  // namespace quorvel
