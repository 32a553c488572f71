// quorvel-run's options and verdicts: what is taken, what is refused with a
// reason, and why a port fails.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "run/RunOptions.h"
#include "run/RunResult.h"

namespace quorvel {
namespace {

TEST(RunOptionsTest, PortListsAreOperatorNumbersAndAnythingElseIsRefused) {
    EXPECT_EQ(ParsePortList("1-8"), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ParsePortList("2-4,7"), (std::vector<int>{1, 2, 3, 6}));
    EXPECT_EQ(ParsePortList("5"), (std::vector<int>{4}));
    for (const char* bad : {"", "0", "9", "8-1", "1.5", "1,,2", "1-", "-3", "nan", "1e400", "x"}) {
        EXPECT_FALSE(ParsePortList(bad)) << bad;
    }
}

TEST(RunOptionsTest, ValuesComeEitherWayAndOutOfRangeOnesAreRefusedWithTheOption) {
    const ParsedRunOptions parsed =
        ParseRunOptions({"--ports", "1,3", "--baud=115200", "--seconds", "2.5", "--expect=pairs",
                         "--min-rate", "90", "--max-errors=3", "--simulated-card"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.ports, (std::vector<int>{0, 2}));
    EXPECT_EQ(parsed.options.baud, 115200u);
    EXPECT_EQ(parsed.options.seconds, 2.5);
    EXPECT_EQ(parsed.options.expectedSource[0], 1);
    EXPECT_EQ(parsed.options.expectedSource[3], 2);
    EXPECT_EQ(parsed.options.minRatePercent, 90.0);
    EXPECT_EQ(parsed.options.maxErrors, 3u);
    EXPECT_TRUE(parsed.options.card.simulated);

    const ParsedRunOptions mapped = ParseRunOptions({"--expect", "1=2,2=1"});
    ASSERT_EQ(mapped.error, "");
    EXPECT_EQ(mapped.options.expectedSource[0], 1);
    EXPECT_EQ(mapped.options.expectedSource[1], 0);
    EXPECT_EQ(mapped.options.expectedSource[2], 2);  // not in the map: itself

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--baud", "12345"}, "--baud"},     {{"--baud", "1e30"}, "--baud"},
        {{"--delay", "10000"}, "--delay"},   {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "inf"}, "--seconds"}, {{"--bytes", "-1"}, "--bytes"},
        {{"--bytes", "nan"}, "--bytes"},     {{"--min-rate", "101"}, "--min-rate"},
        {{"--expect", "1=9"}, "--expect"},   {{"--pattern", "words"}, "--pattern"},
        {{"--seconds"}, "--seconds needs"},  {{"--colour"}, "unknown option --colour"},
    };
    for (const auto& [args, reason] : refused) {
        EXPECT_NE(ParseRunOptions(args).error.find(reason), std::string::npos) << args[0];
    }
}

TEST(RunOptionsTest, AnEmptyValueIsAValueTheLastOfARepeatWinsAndTheFirstBadOptionIsNamed) {
    // "--name=" gives the empty value, never the next argument.
    EXPECT_EQ(ParseRunOptions({"--seconds=", "5"}).error,
              "--seconds takes a number from 0 to 1e+15, not \"\"");
    const ParsedRunOptions empty = ParseRunOptions({"--config=", "--json=", "--ports", "2"});
    ASSERT_EQ(empty.error, "");
    EXPECT_EQ(empty.options.configFile, "");
    EXPECT_EQ(empty.options.ports, (std::vector<int>{1}));

    const ParsedRunOptions repeated = ParseRunOptions(
        {"--seconds", "1", "--seconds=2", "--fault", "1:stall", "--simulated-card", "COM9"});
    ASSERT_EQ(repeated.error, "");
    EXPECT_EQ(repeated.options.seconds, 2.0);
    EXPECT_EQ(repeated.options.card.firstCom, 9);

    EXPECT_NE(ParseRunOptions({"--ports", "9", "--seconds", "soon"}).error.find("--ports"),
              std::string::npos);
    EXPECT_NE(ParseRunOptions({"--seconds", "soon", "--ports", "9"}).error.find("--seconds"),
              std::string::npos);
    EXPECT_EQ(ParseRunOptions({"--", "--ports", "1"}).error, "unknown option --");
    // Help is shown whatever else the command line holds.
    EXPECT_TRUE(ParseRunOptions({"--seconds", "soon", "-h", "--colour"}).options.help);
}

TEST(RunOptionsTest, APortFailsForEachReasonAtOnce) {
    RunOptions options;
    options.minRatePercent = 95;
    PortResult port;
    port.opened = true;
    port.expectedSource = 1;
    port.figures.port = 0;
    port.figures.counts.received = 1000;
    port.figures.counts.verified = 958;
    port.figures.counts.lost = 37;
    port.figures.counts.corrupted = 2;
    port.figures.sources = 1u << 0;
    port.figures.source = "itself";
    port.receivedPercent = 80;
    Judge(port, options);
    EXPECT_FALSE(port.passed);
    EXPECT_EQ(port.reason,
              "received from Port1, expected Port2; 37 bytes lost, 2 bytes corrupted; rate 80% < "
              "95%");

    port.expectedSource = 0;
    port.figures.counts.lost = port.figures.counts.corrupted = 0;
    port.receivedPercent = 99;
    Judge(port, options);
    EXPECT_TRUE(port.passed);
    EXPECT_EQ(port.reason, "");

    // A failure reported while the run went on fails the run, though every
    // port's figures pass, and every report says it.
    RunResult result;
    result.ports.push_back(port);
    EXPECT_TRUE(result.Passed());
    result.reported.push_back("Write Error: Write Timeout");
    EXPECT_FALSE(result.Passed());
    EXPECT_NE(ResultTable(result).find("Reported: Write Error: Write Timeout\nFAIL\n"),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(ResultJson(result, options))["reported"],
              nlohmann::json::array({"Write Error: Write Timeout"}));
    EXPECT_NE(ResultJUnit(result).find("failures=\"1\""), std::string::npos);

    port.figures.counts.received = 0;
    Judge(port, options);
    EXPECT_EQ(port.reason, "nothing received");
}

TEST(RunOptionsTest, TheJsonReportGivesEveryFigureInOrderAndStaysJsonWhateverTheTexts) {
    RunOptions options;
    options.minRatePercent = 90.5;
    options.maxErrors = 3;
    PortResult port;
    port.opened = true;
    port.figures.port = 7;
    port.figures.com = 11;
    port.figures.source = "itself";
    port.figures.sent = 5000;
    port.figures.counts.received = 4990;
    port.figures.counts.verified = 4980;
    port.figures.counts.lost = 10;
    port.expectedSource = 7;
    port.seconds = 2.004;
    port.receivedPercent = 99.876;
    port.card = CardFaultCounts{0, 10, 0};
    port.reason = "a \"quoted\" reason\twith a tab and a bad byte \xff";
    RunResult result;
    result.ports.push_back(port);
    result.ports.push_back(PortResult{});  // a port that did not open: no card count
    result.interrupted = true;

    const nlohmann::json json = nlohmann::json::parse(ResultJson(result, options));
    EXPECT_EQ(json["verdict"], "FAIL");
    EXPECT_EQ(json["interrupted"], true);
    EXPECT_EQ(json["reported"], nlohmann::json::array());
    EXPECT_EQ(json["minRatePercent"], 90.5);
    EXPECT_EQ(json["maxErrors"], 3);
    const nlohmann::json& first = json["ports"][0];
    EXPECT_EQ(first["port"], "Port8");
    EXPECT_EQ(first["com"], 11);
    EXPECT_EQ(first["expectedSource"], "Port8");
    EXPECT_EQ(first["seconds"], 2.0);
    EXPECT_EQ(first["receivedPercent"], 99.88);
    EXPECT_EQ(first["received"], 4990);
    EXPECT_EQ(first["lost"], 10);
    EXPECT_EQ(first["errors"], 10);
    nlohmann::json card{{"corrupted", 0}, {"dropped", 10}, {"overrun", 0}};
    card.update(nlohmann::json{{"framing", 0}, {"parity", 0}, {"breaks", 0}});  // the line faults'
    EXPECT_EQ(first["card"], card);
    EXPECT_EQ(first["reason"], "a \"quoted\" reason\twith a tab and a bad byte \xef\xbf\xbd");
    EXPECT_FALSE(json["ports"][1].contains("card"));

    // Each port's figures in the order people and older readers know.
    const auto ordered = nlohmann::ordered_json::parse(ResultJson(result, options));
    std::vector<std::string> keys;
    for (const auto& [key, value] : ordered["ports"][0].items()) {
        keys.push_back(key);
    }
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.back(), "lines");  // the UART's own count comes last
    keys.pop_back();
    EXPECT_EQ(keys,
              (std::vector<std::string>{"port", "com", "verdict", "reason", "source",
                                        "expectedSource", "seconds", "sent", "received", "verified",
                                        "corrupted", "lost", "extra", "unrecognised", "errors",
                                        "receivedPercent", "firstError", "state", "card"}));
}

}  // namespace
}  // namespace quorvel
