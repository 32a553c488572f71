// The rules a port is judged by, each at its edge: a limit exactly reached
// passes, one byte or a hundredth of a per cent beyond it fails.
#include <gtest/gtest.h>

#include "engine/PortVerdict.h"

namespace quorvel {
namespace {

// Port2 (index 1) that received 1000 bytes from itself, all verified, at 99%.
PortOutcome Clean() {
    PortOutcome outcome;
    outcome.port = 1;
    outcome.opened = true;
    outcome.counts.received = 1000;
    outcome.counts.verified = 1000;
    outcome.sources = 1u << 1;
    outcome.expectedSource = 1;
    outcome.receivedPercent = 99.0;
    outcome.sent = 1000;
    return outcome;
}

TEST(PortVerdictTest, ALimitExactlyReachedPassesAndJustBeyondFails) {
    const VerdictRules rules{3, 95.0};
    PortOutcome outcome = Clean();
    outcome.counts.verified = 997;
    outcome.counts.corrupted = 3;
    outcome.receivedPercent = 95.0;
    EXPECT_TRUE(JudgePort(outcome, rules).Passed()) << JudgePort(outcome, rules).Reason();

    outcome.counts.lost = 1;
    PortVerdict verdict = JudgePort(outcome, rules);
    EXPECT_FALSE(verdict.Passed());
    EXPECT_EQ(verdict.Reason(), "1 byte lost, 3 bytes corrupted");
    EXPECT_EQ(verdict.Rules(), "errors");

    outcome.counts.lost = 0;
    outcome.receivedPercent = 94.99;
    verdict = JudgePort(outcome, rules);
    EXPECT_EQ(verdict.Reason(), "rate 94.99% < 95%");
    EXPECT_EQ(verdict.Rules(), "rate");

    // A rate that could not be measured (the port's line was busy too
    // briefly) is not judged.
    outcome.receivedPercent.reset();
    EXPECT_TRUE(JudgePort(outcome, rules).Passed());
}

TEST(PortVerdictTest, TheSourceMustBeTheExpectedOneOrAmongTheCandidates) {
    PortOutcome outcome = Clean();
    outcome.expectedSource = 2;  // Port3
    EXPECT_EQ(JudgePort(outcome, {}).Reason(), "received from Port2, expected Port3");
    outcome.sources = (1u << 1) | (1u << 2);  // the same bytes came from both
    EXPECT_TRUE(JudgePort(outcome, {}).Passed());
    outcome.sources = 0;
    outcome.counts.verified = 0;
    outcome.counts.unrecognised = 1000;
    EXPECT_EQ(JudgePort(outcome, VerdictRules{1000, 0}).Reason(),
              "received nothing any port sent, expected Port3");
    // Where no one said where the data should come from (the statistics
    // window), any port's will do, but some port's it must be.
    outcome.expectedSource.reset();
    EXPECT_EQ(JudgePort(outcome, VerdictRules{1000, 0}).Reason(), "received nothing any port sent");
    outcome.sources = 1u << 7;
    EXPECT_TRUE(JudgePort(outcome, VerdictRules{1000, 0}).Passed());
    outcome.counts = {};
    EXPECT_EQ(JudgePort(outcome, {}).Reason(), "nothing received");
}

TEST(PortVerdictTest, APortFailsForBytesNotSentForWhatItReportedAndForNotOpening) {
    PortOutcome outcome = Clean();
    outcome.bytesAsked = 1000;
    EXPECT_TRUE(JudgePort(outcome, {}).Passed());
    outcome.sent = 999;
    EXPECT_EQ(JudgePort(outcome, {}).Reason(), "sent 999 of 1000 bytes");

    outcome = Clean();
    outcome.reported = {"Write Error: Write Timeout", "Error: WaitForSingleObject Failed"};
    const PortVerdict verdict = JudgePort(outcome, {});
    EXPECT_EQ(verdict.Reason(), "Write Error: Write Timeout; Error: WaitForSingleObject Failed");
    EXPECT_EQ(verdict.Rules(), "reported");

    outcome.opened = false;
    outcome.reported = {"ERROR: Unable to open the communication port COM5"};
    EXPECT_EQ(JudgePort(outcome, {}).Reason(),
              "the port did not open; ERROR: Unable to open the communication port COM5");
    EXPECT_EQ(JudgePort(outcome, {}).Rules(), "not-open,reported");
}

}  // namespace
}  // namespace quorvel
