// quorvel-run's options and verdicts: what is taken, what is refused with a
// reason, and why a port fails.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/SerialFailureMessages.h"
#include "run/RunConsole.h"
#include "run/RunOptions.h"
#include "run/RunReports.h"
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

    // A map gives each receiver its source, whichever way round the cycle goes.
    const ParsedRunOptions mapped = ParseRunOptions({"--expect", "1=2,2=3,3=1"});
    ASSERT_EQ(mapped.error, "");
    EXPECT_EQ(mapped.options.expectedSource[0], 1);
    EXPECT_EQ(mapped.options.expectedSource[1], 2);
    EXPECT_EQ(mapped.options.expectedSource[2], 0);
    EXPECT_EQ(mapped.options.expectedSource[3], 3);  // not in the map: itself
    EXPECT_EQ(mapped.options.mapped, (std::vector<int>{0, 1, 1, 2, 2, 0}));

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--baud", "12345"}, "--baud"},
        {{"--baud", "1e30"}, "--baud"},
        {{"--delay", "10000"}, "--delay"},
        {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "inf"}, "--seconds"},
        {{"--bytes", "-1"}, "--bytes"},
        {{"--bytes", "nan"}, "--bytes"},
        {{"--min-rate", "101"}, "--min-rate"},
        {{"--expect", "1=9"}, "--expect"},
        {{"--pattern", "words"}, "--pattern"},
        {{"--seconds"}, "--seconds needs"},
        {{"--colour"}, "unknown option --colour"},
        {{"--expect", "1=2,2=1,1=3"}, "--expect names Port1 twice"},
        {{"--bytes", "1000", "--seconds", "2"}, "--bytes and --seconds cannot go together"},
        {{"--seconds=2", "--bytes=1000"}, "--bytes and --seconds cannot go together"},
        {{"--pattern", "user:"}, "--pattern user: needs a text"},
        {{"--pattern", "file:"}, "--pattern file: needs a file"},
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
    result.reportedByNoPort.push_back("Write Error: Write Timeout");
    EXPECT_FALSE(result.Passed());
    EXPECT_NE(ResultTable(result).find("Reported: Write Error: Write Timeout\nFAIL\n"),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(ResultJson(result, options))["reported"],
              nlohmann::json::array({"Write Error: Write Timeout"}));
    EXPECT_NE(ResultJUnit(result, options).find("failures=\"1\""), std::string::npos);

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
    port.figures.counts.received = 4980;
    port.figures.counts.verified = 4980;
    port.figures.counts.lost = 10;
    port.figures.counts.expected = 5000;  // 10 bytes cut by the stop
    port.figures.counts.cut = 10;
    port.figures.counts.bitsChecked = 4980 * 8;
    port.figures.latency = {100, 12, 40};
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
    EXPECT_EQ(json["verdict"], "INTERRUPTED");
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
    EXPECT_EQ(first["received"], 4980);
    EXPECT_EQ(first["lost"], 10);
    EXPECT_EQ(first["errors"], 10);
    // The card's count of its faults, the line faults' with them.
    EXPECT_EQ(first["card"], (nlohmann::json{{"corrupted", 0},
                                             {"dropped", 10},
                                             {"overrun", 0},
                                             {"framing", 0},
                                             {"parity", 0},
                                             {"breaks", 0}}));
    EXPECT_EQ(first["reason"], "a \"quoted\" reason\twith a tab and a bad byte \xef\xbf\xbd");
    EXPECT_FALSE(json["ports"][1].contains("card"));
    // The balance, each side adding up, and the latency; none for a port
    // that never received.
    const nlohmann::json& balance = first["balance"];
    EXPECT_EQ(balance["expected"], 5000);
    EXPECT_EQ(balance["cut"], 10);
    EXPECT_EQ(balance["expected"].get<std::uint64_t>(),
              balance["verified"].get<std::uint64_t>() + balance["corrupted"].get<std::uint64_t>() +
                  balance["lost"].get<std::uint64_t>() + balance["cut"].get<std::uint64_t>());
    EXPECT_EQ(balance["received"].get<std::uint64_t>(),
              balance["verified"].get<std::uint64_t>() + balance["corrupted"].get<std::uint64_t>() +
                  balance["extra"].get<std::uint64_t>() +
                  balance["unrecognised"].get<std::uint64_t>());
    EXPECT_EQ(balance["bitErrorRate"], 0.0);
    EXPECT_EQ(first["latencyMs"], (nlohmann::json{{"samples", 100}, {"median", 12}, {"p99", 40}}));
    EXPECT_TRUE(json["ports"][1]["latencyMs"].is_null());

    // Each port's figures in the order people and older readers know.
    const auto ordered = nlohmann::ordered_json::parse(ResultJson(result, options));
    std::vector<std::string> keys;
    for (const auto& [key, value] : ordered["ports"][0].items()) {
        keys.push_back(key);
    }
    // The UART's own count, the balance and the latency come last.
    ASSERT_GE(keys.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(keys.end() - 3, keys.end()),
              (std::vector<std::string>{"lines", "balance", "latencyMs"}));
    keys.resize(keys.size() - 3);
    EXPECT_EQ(keys, (std::vector<std::string>{"port",       "com",
                                              "verdict",    "reason",
                                              "source",     "expectedSource",
                                              "seconds",    "sent",
                                              "received",   "verified",
                                              "corrupted",  "lost",
                                              "extra",      "unrecognised",
                                              "errors",     "receivedPercent",
                                              "firstError", "state",
                                              "card",       "baud",
                                              "pattern",    "bytesAsked",
                                              "rules",      "reported"}));
}

// A run that failed on two counts and was interrupted, as its reports see it.
RunResult FailedAndInterrupted(const RunOptions& options) {
    RunResult result;
    result.started = "2026-12-07T10:04:12Z";
    result.host = "line-3";
    result.seconds = 7.5;
    result.interrupted = true;
    result.log = "  1.00 s Port2 (COM5): Write Error: <Write & Timeout>\n";
    PortResult port;
    port.opened = true;
    port.figures.port = 1;
    port.figures.com = 5;
    port.figures.source = "itself";
    port.figures.sources = 1u << 1;
    port.figures.sent = 4000;
    port.figures.counts.received = port.figures.counts.verified = 3000;
    port.expectedSource = 1;
    port.label = "Port2 (COM5) \xff";  // a byte XML cannot hold
    port.baud = 9600;
    port.seconds = 3.25;
    port.receivedPercent = 80;
    port.reported = {"Write Error: Write Timeout"};
    Judge(port, options);
    result.ports.push_back(port);
    result.reported = {"Port2 (COM5): Write Error: Write Timeout", "Still receiving 30 s"};
    result.reportedByNoPort = {"Still receiving 30 s"};
    result.notes = {"Port Settings: Some port settings are not applied as they are set"};
    return result;
}

TEST(RunReportsTest, TheJUnitReportSaysWhenWhereHowLongAndWhyWithTheRunsLog) {
    RunOptions options;
    options.programVersion = "9.9";
    const std::string xml = ResultJUnit(FailedAndInterrupted(options), options);
    const auto has = [&xml](const std::string& part) {
        return xml.find(part) != std::string::npos;
    };
    EXPECT_TRUE(
        has("tests=\"3\" failures=\"2\" errors=\"1\" skipped=\"0\" time=\"7.50\" "
            "timestamp=\"2026-12-07T10:04:12\" hostname=\"line-3\""))
        << xml;
    EXPECT_TRUE(has("<property name=\"version\" value=\"9.9\"/>")) << xml;
    EXPECT_TRUE(has("<property name=\"verdict\" value=\"INTERRUPTED\"/>")) << xml;
    EXPECT_TRUE(has("name=\"Port2 (COM5) ?\" time=\"3.25\">")) << xml;
    EXPECT_TRUE(
        has("<failure type=\"rate,reported\" message=\"rate 80% &lt; 95%; Write Error: "
            "Write Timeout\">sent 4000, received 3000"))
        << xml;
    EXPECT_TRUE(
        has("name=\"reported failures\" time=\"7.50\">\n    <failure type=\"reported\" "
            "message=\"Still receiving 30 s\">Still receiving 30 s\n</failure>"))
        << xml;
    EXPECT_TRUE(has("name=\"interrupted\" time=\"7.50\">\n    <error type=\"interrupted\"")) << xml;
    EXPECT_TRUE(
        has("<system-out>  1.00 s Port2 (COM5): Write Error: &lt;Write &amp; "
            "Timeout&gt;\n</system-out>"))
        << xml;
}

TEST(RunReportsTest, TheJsonReportHoldsEveryOptionInForceTheVersionAndTheTimes) {
    ParsedRunOptions parsed = ParseRunOptions(
        {"--ports", "1,2", "--baud", "115200", "--pattern", "quickbrown", "--bytes", "5000",
         "--delay", "3", "--expect", "1=2,2=1", "--min-rate", "90", "--max-errors", "2",
         "--simulated-card", "--fault", "2:bit-errors=0.0001"});
    ASSERT_EQ(parsed.error, "");
    parsed.options.programVersion = "9.9";
    const RunResult result = FailedAndInterrupted(parsed.options);
    const nlohmann::json json = nlohmann::json::parse(ResultJson(result, parsed.options));
    EXPECT_EQ(json["version"], "9.9");
    EXPECT_EQ(json["started"], "2026-12-07T10:04:12Z");
    EXPECT_EQ(json["durationSeconds"], 7.5);
    EXPECT_EQ(json["host"], "line-3");
    EXPECT_EQ(json["verdict"], "INTERRUPTED");
    EXPECT_EQ(json["notes"].size(), 1u);
    EXPECT_EQ(json["options"],
              nlohmann::json::parse(R"({"config": null, "ports": ["Port2"], "baud": 115200,
                  "pattern": "quickbrown", "seconds": null, "bytes": 5000, "delayMs": 3,
                  "expect": {"Port1": "Port2", "Port2": "Port1"}, "minRatePercent": 90.0,
                  "maxErrors": 2, "maxLineErrors": 0, "flow": null, "holdReceiveSeconds": 0.0,
                  "card": {"simulated": "COM4-COM11, loopback plugs",
                  "faults": ["2:bit-errors=0.0001"]}})"));
    EXPECT_EQ(json["ports"][0]["rules"], "rate,reported");
    EXPECT_EQ(json["ports"][0]["reported"], nlohmann::json::array({"Write Error: Write Timeout"}));

    // Without a time or a count given, a port sends for the default time,
    // with no pause after its packets.
    const nlohmann::json defaults =
        nlohmann::json::parse(ResultJson(result, ParseRunOptions({}).options));
    EXPECT_EQ(defaults["options"]["seconds"], 10.0);
    EXPECT_EQ(defaults["options"]["bytes"], nullptr);
    EXPECT_EQ(defaults["options"]["delayMs"], 0);
    EXPECT_EQ(defaults["options"]["expect"], "own");
}

TEST(RunMessagesTest, ANoteOnlyInformsAndAPortsFailureComesWithItsPort) {
    EXPECT_TRUE(IsInformationOnly(mb::kOk | mb::kIconAsterisk));
    EXPECT_FALSE(IsInformationOnly(mb::kOk | mb::kIconExclamation));
    EXPECT_FALSE(IsInformationOnly(mb::kOk | mb::kIconHand));
    EXPECT_FALSE(IsInformationOnly(mb::kOk));  // the transfer failures have no icon

    StandardErrorSink sink;
    InstallMessageSink(&sink);
    sink.NamePorts(PerPort<std::string>([](int port) {
        return "Port" + std::to_string(port + 1) + " (COM" + std::to_string(port + 4) + ")";
    }));
    ShowMessage("Some port settings are not applied as they are set", "Port Settings",
                mb::kOk | mb::kIconAsterisk);
    // The engine's channel for Port3 reports its failures as Port3's.
    TransferFailureReport failures;
    failures.ForPort(2);
    failures.Report(SerialResult::Of(SerialOutcome::TimedOut, SerialStep::Write));
    ShowMessage("WaitForMultipleObjects failed in write thread", "Error",
                mb::kOk | mb::kIconExclamation);
    InstallMessageSink(nullptr);

    const std::vector<RunMessage> shown = sink.Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[0].informs);
    EXPECT_FALSE(shown[0].port);
    EXPECT_EQ(shown[1].line, "Write Error: Write Timeout");
    EXPECT_EQ(shown[1].port, 2);
    EXPECT_FALSE(shown[1].informs);
    EXPECT_EQ(sink.PortLabel(2), "Port3 (COM6)");
    EXPECT_FALSE(shown[2].port);
    EXPECT_FALSE(shown[2].informs);
}

}  // namespace
}  // namespace quorvel
