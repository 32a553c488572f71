#include <gtest/gtest.h>

#include "card/CardOptions.h"

namespace quorvel {
namespace {

TEST(CardOptions, ReadsTheCardsOptionsAndLeavesTheRest) {
    const ParsedCardOptions parsed = ParseCardOptions(
        {"--simulated-card=COM12", "--wiring=pairs", "-platform", "offscreen"}, false);
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_TRUE(parsed.options.simulated);
    EXPECT_EQ(parsed.options.firstCom, 12);
    EXPECT_EQ(parsed.options.wiring, CardWiring::Pairs);
    EXPECT_EQ(parsed.unknown, (std::vector<std::string>{"-platform", "offscreen"}));
    EXPECT_EQ(DescribeCard(parsed.options), "COM12-COM19, cables between pairs");

    const ParsedCardOptions plain = ParseCardOptions({"--simulated-card"}, false);
    EXPECT_EQ(plain.options.firstCom, 4);
    EXPECT_EQ(plain.options.wiring, CardWiring::Plugs);
    EXPECT_FALSE(ParseCardOptions({}, false).options.simulated);
}

TEST(CardOptions, BadValuesAreNamedInTheError) {
    EXPECT_EQ(ParseCardOptions({"--wiring=loop"}, false).error,
              "--wiring takes plug, pairs or open, not \"loop\"");
    for (const char* com : {"COM0", "COM41", "COMx", "", "1234"}) {
        EXPECT_FALSE(
            ParseCardOptions({std::string("--simulated-card=") + com}, false).error.empty())
            << com;
    }
    EXPECT_EQ(ParseCardOptions({"--link-dir"}, true).error, "--link-dir needs a value");
    // Only the standalone card takes --link-dir.
    EXPECT_EQ(ParseCardOptions({"--link-dir=/tmp/x"}, false).unknown.size(), 1u);
    EXPECT_EQ(ParseCardOptions({"--link-dir", "/tmp/x"}, true).options.linkDir, "/tmp/x");
}

TEST(CardOptions, FaultsAreTakenPortByPortAndOnlyWithTheSimulatedCard) {
    const ParsedCardOptions parsed = ParseCardOptions(
        {"--simulated-card", "--fault", "2:bit-errors=0.001", "--fault=8:drop-every=997", "--fault",
         "3:stall", "--fault", "1:unplug-after=2.5"},
        false);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.options.faults.size(), 4u);
    EXPECT_EQ(parsed.options.faults[0].port, 1);
    EXPECT_EQ(parsed.options.faults[0].kind, CardFault::Kind::BitErrors);
    EXPECT_EQ(parsed.options.faults[0].value, 0.001);
    EXPECT_EQ(parsed.options.faults[1].port, 7);
    EXPECT_EQ(parsed.options.faults[1].kind, CardFault::Kind::DropEvery);
    EXPECT_EQ(parsed.options.faults[2].kind, CardFault::Kind::Stall);
    EXPECT_EQ(parsed.options.faults[3].value, 2.5);

    for (const char* bad : {"9:stall", "0:stall", "stall", "2:stall=1", "2:bit-errors=2",
                            "2:drop-every=1", "2:drop-every=2.5", "2:drop-every=1e300",
                            "2:unplug-after=inf", "2:bit-errors=nan", "2:melt"}) {
        EXPECT_NE(ParseCardOptions({"--simulated-card", "--fault", bad}, false).error, "") << bad;
    }
    EXPECT_EQ(ParseCardOptions({"--fault", "3:stall"}, false).error,
              "--fault needs --simulated-card: faults are the simulated card's");
}

TEST(CardOptions, LineFaultsTakeARateAWordOrNothing) {
    const ParsedCardOptions parsed = ParseCardOptions(
        {"--simulated-card", "--fault", "1:framing-errors=0.01", "--fault", "2:parity-errors=1",
         "--fault", "3:break", "--fault", "4:cts=low", "--fault", "5:dcd-toggle=1000"},
        false);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.options.faults.size(), 5u);
    EXPECT_EQ(parsed.options.faults[0].kind, CardFault::Kind::FramingErrors);
    EXPECT_EQ(parsed.options.faults[0].value, 0.01);
    EXPECT_EQ(parsed.options.faults[1].kind, CardFault::Kind::ParityErrors);
    EXPECT_EQ(parsed.options.faults[1].value, 1.0);  // every character: the highest rate
    EXPECT_EQ(parsed.options.faults[2].kind, CardFault::Kind::Break);
    EXPECT_EQ(parsed.options.faults[3].kind, CardFault::Kind::CtsLow);
    EXPECT_EQ(parsed.options.faults[3].port, 3);
    EXPECT_EQ(parsed.options.faults[4].kind, CardFault::Kind::DcdToggle);
    EXPECT_EQ(parsed.options.faults[4].value, 1000.0);  // the most changes a second

    for (const char* bad :
         {"1:framing-errors=0", "1:framing-errors=1.5", "1:parity-errors", "1:break=1", "1:cts",
          "1:cts=high", "1:cts=0", "1:dcd-toggle=0", "1:dcd-toggle=1001", "1:dcd-toggle"}) {
        EXPECT_NE(ParseCardOptions({"--simulated-card", "--fault", bad}, false).error, "") << bad;
    }
}

}  // namespace
}  // namespace quorvel
