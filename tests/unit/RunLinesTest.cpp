// quorvel-run's line options and the line errors in its verdicts and reports.
#include <gtest/gtest.h>

#include "run/RunLines.h"
#include "run/RunOptions.h"
#include "run/RunReports.h"
#include "run/RunResult.h"

namespace quorvel {
namespace {

PortResult OpenedPortWith(const LineCounts& counts) {
    PortResult port;
    port.opened = true;
    port.figures.lines = PortLineFigures{true, ModemLines{}, counts};
    return port;
}

TEST(RunLinesTest, AHoldMustEndASecondBeforeTheRunAndGoesOnlyWithSeconds) {
    // Exactly long enough: 1 s before the hold, 2 s of it, 1 s after.
    const ParsedRunOptions enough = ParseRunOptions(
        {"--hold-receive", "2", "--seconds=4", "--flow", "rtscts", "--max-line-errors", "7"});
    ASSERT_EQ(enough.error, "");
    EXPECT_EQ(enough.options.lines.holdReceiveSeconds, 2.0);
    EXPECT_EQ(enough.options.lines.flow, RunLineOptions::Flow::RtsCts);
    EXPECT_EQ(enough.options.lines.maxLineErrors, 7u);
    EXPECT_EQ(ParseRunOptions({"--hold-receive", "2", "--seconds", "3.99"}).error,
              "--hold-receive 2 needs a run of at least 4 seconds: the hold begins 1 s in, and "
              "the queues drain for 1 s after it");
    EXPECT_NE(ParseRunOptions({"--hold-receive", "1", "--bytes", "500"}).error.find("--bytes"),
              std::string::npos);
    for (const char* bad : {"0", "-1", "3601", "x", "nan"}) {
        EXPECT_NE(ParseRunOptions({"--hold-receive", bad}).error.find("--hold-receive takes"),
                  std::string::npos)
            << bad;
    }
    EXPECT_EQ(ParseRunOptions({"--flow", "none"}).options.lines.flow, RunLineOptions::Flow::None);
    EXPECT_FALSE(ParseRunOptions({}).options.lines.flow);
}

TEST(RunLinesTest, APortFailsOnOneLineErrorMoreThanAllowed) {
    RunOptions options;
    options.lines.maxLineErrors = 2;
    LineCounts counts;
    counts.framing = 1;
    counts.breaks = 1;
    // A port that did everything else right, judged on its line errors.
    const auto judged = [&options](const LineCounts& lines, bool available = true) {
        PortResult port = OpenedPortWith(lines);
        port.figures.lines.available = available;
        port.figures.counts.received = port.figures.counts.verified = 100;
        port.figures.sources = 1;
        port.receivedPercent = 100;
        Judge(port, options);
        return port;
    };
    EXPECT_TRUE(judged(counts).passed);  // exactly as many as allowed
    counts.parity = 1;
    const PortResult failed = judged(counts);
    EXPECT_FALSE(failed.passed);
    EXPECT_EQ(failed.reason, "1 framing error, 1 parity error, 1 break");
    EXPECT_EQ(failed.verdict.Rules(), "line-errors");

    // The changes of the lines are no errors; a device without lines is not
    // judged on them.
    LineCounts changes;
    changes.ctsChanges = changes.dcdChanges = 100;
    options.lines.maxLineErrors = 0;
    EXPECT_TRUE(judged(changes).passed);
    EXPECT_TRUE(judged(counts, false).passed);
}

TEST(RunLinesTest, TheHoldIsLeftOutOfTheRateOnlyWhereItFallsInTheWindow) {
    RunLineOptions options;
    options.holdReceiveSeconds = 2.0;  // from 1 s to 3 s
    EXPECT_EQ(HeldSecondsWithin(options, 0.5, 10.0), 2.0);
    EXPECT_EQ(HeldSecondsWithin(options, 2.0, 10.0), 1.0);
    EXPECT_EQ(HeldSecondsWithin(options, 0.5, 1.5), 0.5);
    EXPECT_EQ(HeldSecondsWithin(options, 3.0, 10.0), 0.0);
    EXPECT_EQ(HeldSecondsWithin(RunLineOptions{}, 0.5, 10.0), 0.0);
}

TEST(RunLinesTest, TheReportsCarryTheLineCountsOfEachPort) {
    LineCounts counts;
    counts.bufferOverrun = 1;
    counts.ctsChanges = 4;
    EXPECT_EQ(LineErrorsText(PortLineFigures{true, {}, counts}),
              "1 byte lost to a full receive queue");
    EXPECT_EQ(LineErrorsText(PortLineFigures{true, {}, LineCounts{}}), "none");
    EXPECT_EQ(LineErrorCount(PortLineFigures{true, {}, counts}), "1");
    EXPECT_EQ(LineErrorCount(PortLineFigures{}), "n/a");

    RunResult result;
    result.ports.push_back(OpenedPortWith(counts));
    PortResult without = OpenedPortWith(counts);
    without.figures.lines.available = false;
    result.ports.push_back(without);
    const std::string json = ResultJson(result, RunOptions{});
    EXPECT_NE(json.find("\"bufferOverrun\": 1"), std::string::npos);
    EXPECT_NE(json.find("\"maxLineErrors\": 0"), std::string::npos);
    EXPECT_NE(json.find("\"lines\": null"), std::string::npos);  // the port without lines
    // In JUnit, the balance and the counts are each test case's output: the
    // port without lines has its balance alone.
    const std::string junit = ResultJUnit(result, RunOptions{});
    const auto out = junit.find("    <system-out>balance expected ");
    ASSERT_NE(out, std::string::npos) << junit;
    const auto second = junit.find("    <system-out>balance expected ", out + 1);
    ASSERT_NE(second, std::string::npos) << junit;
    EXPECT_NE(junit.find("Buffer overrun 1", out), std::string::npos) << junit;
    EXPECT_NE(junit.find("CTS changes 4", out), std::string::npos) << junit;
    EXPECT_EQ(junit.find("Buffer overrun", second), std::string::npos) << junit;
}

}  // namespace
}  // namespace quorvel
