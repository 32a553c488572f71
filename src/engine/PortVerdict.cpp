#include "engine/PortVerdict.h"

#include <algorithm>
#include <cstdio>

#include "engine/TestStatistics.h"

namespace quorvel {
namespace {

std::string VerdictPortName(int port) {
    return "Port" + std::to_string(port + 1);
}

// Adds `part` to a list in `text`, `separator` between the parts. (Appended
// in place: GCC 12 warns of an overlap in "," + std::string&& at -O3.)
void AppendPart(std::string& text, const char* separator, const std::string& part) {
    if (!text.empty()) {
        text += separator;
    }
    text += part;
}

std::string ByteCount(std::uint64_t count, const char* kind) {
    return std::to_string(count) + (count == 1 ? " byte " : " bytes ") + kind;
}

// "95%", "94.6%": a share to two decimals at most, so that a rate just below
// its limit never reads as the limit itself.
std::string RatePercent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string percent = text;
    while (percent.back() == '0') {
        percent.pop_back();
    }
    if (percent.back() == '.') {
        percent.pop_back();
    }
    return percent + "%";
}

// Where the data came from, against where it should have; nothing when it is right.
std::optional<std::string> SourceFault(const PortOutcome& outcome) {
    const std::string expected =
        outcome.expectedSource ? ", expected " + VerdictPortName(*outcome.expectedSource) : "";
    if (outcome.sources == 0) {
        return "received nothing any port sent" + expected;
    }
    if (outcome.expectedSource && (outcome.sources & (1u << *outcome.expectedSource)) == 0) {
        return "received from " + SourceNames(outcome.sources) + expected;
    }
    return std::nullopt;
}

// The rules that judge what a port received, once it opened.
void JudgeWhatCame(const PortOutcome& outcome, const VerdictRules& rules,
                   std::vector<VerdictFailure>& failures) {
    if (outcome.counts.received == 0) {
        failures.push_back({VerdictRule::Received, "nothing received"});
    } else if (const std::optional<std::string> fault = SourceFault(outcome)) {
        failures.push_back({VerdictRule::Source, *fault});
    }
    if (outcome.counts.Errors() > rules.maxErrors) {
        failures.push_back({VerdictRule::Errors, ErrorsText(outcome.counts)});
    }
    if (outcome.receivedPercent && *outcome.receivedPercent < rules.minRatePercent) {
        failures.push_back({VerdictRule::Rate, "rate " + RatePercent(*outcome.receivedPercent) +
                                                   " < " + RatePercent(rules.minRatePercent)});
    }
    if (outcome.lineErrors && *outcome.lineErrors > rules.maxLineErrors) {
        failures.push_back({VerdictRule::Lines, outcome.lineErrorsText});
    }
}

}  // namespace

const char* RuleName(VerdictRule rule) {
    switch (rule) {
        case VerdictRule::Opened:
            return "not-open";
        case VerdictRule::Received:
            return "nothing-received";
        case VerdictRule::Source:
            return "source";
        case VerdictRule::Errors:
            return "errors";
        case VerdictRule::Rate:
            return "rate";
        case VerdictRule::Bytes:
            return "bytes";
        case VerdictRule::Reported:
            return "reported";
        case VerdictRule::Lines:
            return "line-errors";
    }
    return "";
}

std::string PortVerdict::Reason() const {
    std::string text;
    for (const VerdictFailure& failure : failures) {
        AppendPart(text, "; ", failure.reason);
    }
    return text;
}

std::string PortVerdict::Rules() const {
    std::vector<VerdictRule> rules;
    std::string text;
    for (const VerdictFailure& failure : failures) {
        if (std::find(rules.begin(), rules.end(), failure.rule) == rules.end()) {
            rules.push_back(failure.rule);
            AppendPart(text, ",", RuleName(failure.rule));
        }
    }
    return text;
}

PortVerdict JudgePort(const PortOutcome& outcome, const VerdictRules& rules) {
    PortVerdict verdict;
    std::vector<VerdictFailure>& failures = verdict.failures;
    if (!outcome.opened) {
        failures.push_back({VerdictRule::Opened, "the port did not open"});
    } else {
        JudgeWhatCame(outcome, rules, failures);
        if (outcome.bytesAsked && outcome.sent < *outcome.bytesAsked) {
            failures.push_back(
                {VerdictRule::Bytes, "sent " + std::to_string(outcome.sent) + " of " +
                                         std::to_string(*outcome.bytesAsked) + " bytes"});
        }
    }
    for (const std::string& reported : outcome.reported) {
        failures.push_back({VerdictRule::Reported, reported});
    }
    return verdict;
}

std::string ErrorsText(const CheckCounts& counts) {
    std::string text;
    const auto add = [&](std::uint64_t count, const char* kind) {
        if (count > 0) {
            AppendPart(text, ", ", ByteCount(count, kind));
        }
    };
    add(counts.lost, "lost");
    add(counts.corrupted, "corrupted");
    add(counts.extra, "extra");
    add(counts.unrecognised, "unrecognised");
    return text;
}

}  // namespace quorvel
