// The console's display model: what the GUI thread takes is what the threads
// published, as appends one by one would leave the boxes.
#include <gtest/gtest.h>

#include <string>

#include "engine/ConsoleDisplay.h"
#include "fakes/ManualClock.h"

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

TEST(ConsoleDisplayTest, TxdAndRxdStayLitFor100MsAfterTheBytesMovedAndTheWakerCallsOncePerTake) {
    testing::ManualClock clock;
    ConsoleDisplay display(clock);
    int wakes = 0;
    display.SetWaker([&] { ++wakes; });
    // A whole write between two takes, and a chunk received.
    display.SetTxd(6, true);
    display.SetTxd(6, false);
    display.NoteReceive(6);
    display.AppendReceive(6, "ab");
    EXPECT_EQ(wakes, 1);  // one wake-up on its way is enough
    display.BeginTake();
    auto update = display.Take(6);
    EXPECT_EQ(update.txd, true);
    EXPECT_EQ(update.rxd, true);
    EXPECT_EQ(update.againInMs, 100u);  // to put them out, though nothing else comes
    clock.Advance(99);
    display.BeginTake();
    update = display.Take(6);
    EXPECT_EQ(update.txd, std::nullopt);  // still lit: its last byte moved 99 ms ago
    EXPECT_EQ(update.againInMs, 1u);
    clock.Advance(1);
    update = display.Take(6);
    EXPECT_EQ(update.txd, false);
    EXPECT_EQ(update.rxd, false);
    EXPECT_EQ(update.againInMs, std::nullopt);

    // A write under way keeps TXD lit however long it takes; its end wakes
    // the display, which then puts it out 100 ms later.
    display.SetTxd(6, true);
    display.BeginTake();
    EXPECT_EQ(display.Take(6).txd, true);
    clock.Advance(5000);
    update = display.Take(6);
    EXPECT_EQ(update.txd, std::nullopt);
    EXPECT_EQ(update.againInMs, std::nullopt);
    const int before = wakes;
    display.SetTxd(6, false);
    EXPECT_EQ(wakes, before + 1);
    EXPECT_EQ(display.Take(6).againInMs, 100u);

    EXPECT_FALSE(display.Enabled(6));
    display.SetEnabled(6, true);
    EXPECT_TRUE(display.Enabled(6));
    EXPECT_FALSE(display.Enabled(8));  // outside the card
}

TEST(ConsoleDisplayTest, ALineThatChangedAndChangedBackBetweenTwoTakesIsShownChangedOnce) {
    ConsoleDisplay display;
    const LineIndicatorState live{true, true, true};
    display.SetIndicators(1, live);
    ModemLines lines;
    lines.dtr = lines.rts = lines.cts = true;
    display.SetLines(1, lines);
    auto update = display.Take(1);
    EXPECT_EQ(update.indicators, live);
    EXPECT_EQ(update.lines, lines);
    EXPECT_EQ(display.Take(1).lines, std::nullopt);  // nothing moved

    // CTS drops and comes back, DCD rises and falls: each shown changed once,
    // then as it stands; DSR, which stayed, is shown as it is.
    ModemLines dropped = lines;
    dropped.cts = false;
    dropped.dcd = true;
    display.SetLines(1, dropped);
    display.SetLines(1, lines);
    update = display.Take(1);
    ModemLines pulse = lines;
    pulse.cts = false;
    pulse.dcd = true;
    EXPECT_EQ(update.lines, pulse);
    EXPECT_EQ(update.againInMs, 0u);
    update = display.Take(1);
    EXPECT_EQ(update.lines, lines);
    EXPECT_EQ(update.againInMs, std::nullopt);

    // New indicators (a new test) start with every light out.
    display.SetIndicators(1, LineIndicatorState{});
    display.SetLines(1, lines);
    update = display.Take(1);
    EXPECT_EQ(update.indicators, LineIndicatorState{});
    EXPECT_EQ(update.lines, lines);
}

}  // namespace
}  // namespace quorvel
