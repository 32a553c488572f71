// The console's display model: what the GUI thread takes is what the threads
// published, as appends one by one would leave the boxes.
#include <gtest/gtest.h>

#include <string>

#include "engine/ConsoleDisplay.h"

namespace quorvel {
namespace {

TEST(ConsoleDisplayTest, ABatchLeavesTheBoxAsAppendsOneByOneWould) {
    ConsoleDisplay display;
    display.AppendReceive(3, std::string(9990, 'a'));
    display.AppendReceive(3, "0123456789");  // exactly at the limit: kept
    auto update = display.Take(3);
    EXPECT_FALSE(update.receive.clear);
    EXPECT_EQ(update.receive.text.size(), 10000u);

    // Two appends that each pass the limit: the box is emptied twice, and
    // only what follows the last emptying is handed over.
    display.AppendReceive(3, "x");
    display.AppendReceive(3, std::string(9999, 'b'));
    display.AppendReceive(3, "tail");
    update = display.Take(3);
    EXPECT_TRUE(update.receive.clear);
    EXPECT_EQ(update.receive.text, "tail");
    // The next batch counts on from what the box holds now.
    display.AppendReceive(3, std::string(9996, 'c'));
    update = display.Take(3);
    EXPECT_FALSE(update.receive.clear);
    display.AppendReceive(3, "12345");
    update = display.Take(3);
    EXPECT_TRUE(update.receive.clear);
    EXPECT_EQ(update.receive.text, "12345");
    EXPECT_TRUE(update.transmit.text.empty());  // the other box saw nothing

    // A box made with text counts from its length.
    display.SetBoxLengths(5, 9998, 0);
    display.AppendTransmit(5, "abc");
    EXPECT_TRUE(display.Take(5).transmit.clear);
}

TEST(ConsoleDisplayTest, ClearingAndCountsKeepTheirOrderWithTheText) {
    ConsoleDisplay display;
    display.AppendTransmit(0, "old");
    display.SetPacketCount(0, 7);
    display.ClearBoxes(0);  // Run
    display.SetPacketCount(0, 0);
    display.SetErrorCount(0, 0);
    display.AppendTransmit(0, "new");
    display.SetPacketCount(0, 1);
    auto update = display.Take(0);
    EXPECT_TRUE(update.transmit.clear);
    EXPECT_EQ(update.transmit.text, "new");
    EXPECT_TRUE(update.receive.clear);
    EXPECT_EQ(update.packetCount, 1);
    EXPECT_EQ(update.errorCount, 0u);
    update = display.Take(0);  // nothing new: nothing to change
    EXPECT_FALSE(update.transmit.clear || update.packetCount || update.errorCount || update.txd);
}

TEST(ConsoleDisplayTest, ATxdPulseBetweenTwoTakesIsShownLitOnceAndTheWakerCallsOncePerTake) {
    ConsoleDisplay display;
    int wakes = 0;
    display.SetWaker([&] { ++wakes; });
    display.SetTxd(6, true);
    display.SetTxd(6, false);
    display.AppendReceive(6, "ab");
    EXPECT_EQ(wakes, 1);  // one wake-up on its way is enough
    display.BeginTake();
    EXPECT_EQ(display.Take(6).txd, true);
    EXPECT_EQ(wakes, 2);  // the pulse still has to be put out
    display.BeginTake();
    EXPECT_EQ(display.Take(6).txd, false);
    EXPECT_EQ(display.Take(6).txd, std::nullopt);
    EXPECT_EQ(wakes, 2);

    EXPECT_FALSE(display.Enabled(6));
    display.SetEnabled(6, true);
    EXPECT_TRUE(display.Enabled(6));
    EXPECT_FALSE(display.Enabled(8));  // outside the card
}

}  // namespace
}  // namespace quorvel
