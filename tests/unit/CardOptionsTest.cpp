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
    EXPECT_EQ(ParseCardOptions({"--link-dir"}, true).error, "--link-dir needs a folder");
    // Only the standalone card takes --link-dir.
    EXPECT_EQ(ParseCardOptions({"--link-dir=/tmp/x"}, false).unknown.size(), 1u);
    EXPECT_EQ(ParseCardOptions({"--link-dir", "/tmp/x"}, true).options.linkDir, "/tmp/x");
}

}  // namespace
}  // namespace quorvel
