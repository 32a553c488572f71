// The simulated card's modem lines and UART through the program's own serial
// layer: the lines as plugs and cables join them, each change an event, the
// line faults counted by the receiving port as the card counts them, and
// hardware flow control.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "card/SimulatedCard.h"
#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "engine/SerialFailureMessages.h"
#include "fakes/Eventually.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"

namespace quorvel {
namespace {

using testing::Eventually;
using testing::RecordedMessage;
using testing::RecordingMessageSink;
using Clock = std::chrono::steady_clock;

class CardLinesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_card.Start(&error)) << error;
        m_card.Install();
    }

    // Opens Port(port+1) on its COM number with `record`, its wait set to
    // the line events; what the open itself did to the lines is waited out.
    PortHandle Open(int port, PortRegistry record) {
        CComPort& channel = m_channels[static_cast<std::size_t>(port)];
        const PortHandle handle = OpenPort(channel, m_card.FirstCom() + port, record).handle;
        if (handle && handle->SetEventMask(kEvLines).Ok()) {
            Events(*handle);
        }
        return handle;
    }
    PortHandle Open(int port) { return Open(port, DefaultPortRegistry(port)); }

    // Every line event that comes until none has come for a while, or-ed.
    // (The release that setting the mask leaves for the next wait is passed.)
    static std::uint32_t Events(SerialDevice& device, int quietMs = 150) {
        std::uint32_t all = 0;
        for (;;) {
            std::uint32_t events = 0;
            const SerialResult waited =
                device.WaitEvent(events, static_cast<std::uint32_t>(quietMs));
            if (waited.outcome == SerialOutcome::Released) {
                continue;
            }
            if (!waited.Ok()) {
                return all;
            }
            all |= events;
        }
    }

    static ModemLines Lines(SerialDevice& device) {
        ModemLines lines;
        EXPECT_TRUE(device.GetModemLines(lines).Ok());
        return lines;
    }

    static LineCounts Counts(SerialDevice& device) {
        LineCounts counts;
        EXPECT_TRUE(device.GetLineCounts(counts).Ok());
        return counts;
    }

    static ModemLines Lines(bool cts, bool dsr, bool dcd, bool ri, bool dtr, bool rts) {
        return ModemLines{cts, dsr, dcd, ri, dtr, rts};
    }

    static std::string Pattern(std::size_t size) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) {
            text += static_cast<char>('A' + i % 26);
        }
        return text;
    }

    // Sends `text` on `port` and collects what comes back through its plug.
    std::string Echo(int port, const std::string& text) {
        CComPort& channel = m_channels[static_cast<std::size_t>(port)];
        EXPECT_TRUE(channel.Write(text.data(), static_cast<int>(text.size())).Ok());
        std::string received;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        char buffer[CComPort::kMaxRead];
        while (received.size() < text.size() && Clock::now() < deadline) {
            int n = 0;
            if (channel.Read(buffer, &n).Ok()) {
                received.append(buffer, static_cast<std::size_t>(n));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return received;
    }

    RecordingMessageSink m_messages;
    SimulatedCard m_card;
    std::array<CComPort, SimulatedCard::kPorts> m_channels;
};

TEST_F(CardLinesTest, OnAPlugRtsDrivesCtsAndDtrDrivesDsrDcdAndRiEachChangeAnEvent) {
    const PortHandle port = Open(0);
    ASSERT_TRUE(port);
    EXPECT_EQ(Lines(*port), Lines(true, true, true, true, true, true));
    const LineCounts before = Counts(*port);

    ASSERT_TRUE(port->SetOutputLine(OutputLine::Rts, false).Ok());
    EXPECT_EQ(Events(*port), kEvCts);
    EXPECT_EQ(Lines(*port), Lines(false, true, true, true, true, false));

    ASSERT_TRUE(port->SetOutputLine(OutputLine::Dtr, false).Ok());
    EXPECT_EQ(Events(*port), kEvDsr | kEvRlsd | kEvRing);
    EXPECT_EQ(Lines(*port), Lines(false, false, false, false, false, false));

    ASSERT_TRUE(port->SetOutputLine(OutputLine::Rts, true).Ok());
    EXPECT_EQ(Events(*port), kEvCts);
    const LineCounts changed = Counts(*port).Since(before);
    EXPECT_EQ(changed.ctsChanges, 2u);
    EXPECT_EQ(changed.dsrChanges, 1u);
    EXPECT_EQ(changed.dcdChanges, 1u);
    EXPECT_EQ(changed.riChanges, 1u);
    EXPECT_EQ(changed.Errors(), 0u);
    // A line set as it stands changes nothing and tells nothing.
    ASSERT_TRUE(port->SetOutputLine(OutputLine::Rts, true).Ok());
    EXPECT_EQ(Events(*port), 0u);
    EXPECT_EQ(m_card.ModemLinesOf(0), Lines(true, false, false, false, false, true));
}

TEST_F(CardLinesTest, OnANullModemCableTheOtherSidesLinesFollowAndNothingAttachedLeavesThemLow) {
    m_card.AttachCable(2, 5);
    m_card.AttachNothing(7);
    const PortHandle a = Open(2);
    ASSERT_TRUE(a);
    const PortHandle b = Open(5);
    ASSERT_TRUE(b);
    Events(*a);  // the other side's open raised this side's inputs
    // A cable leaves RI open.
    EXPECT_EQ(Lines(*a), Lines(true, true, true, false, true, true));
    EXPECT_EQ(Lines(*b), Lines(true, true, true, false, true, true));

    ASSERT_TRUE(a->SetOutputLine(OutputLine::Rts, false).Ok());
    EXPECT_EQ(Events(*b), kEvCts);
    EXPECT_EQ(Events(*a), 0u);  // its own inputs come from the other side
    EXPECT_EQ(Lines(*b), Lines(false, true, true, false, true, true));

    ASSERT_TRUE(b->SetOutputLine(OutputLine::Dtr, false).Ok());
    EXPECT_EQ(Events(*a), kEvDsr | kEvRlsd);
    EXPECT_EQ(Lines(*a), Lines(true, false, false, false, true, false));

    // The other side closes: its DTR and RTS drop with it.
    ASSERT_TRUE(b->Close().Ok());
    EXPECT_TRUE(Eventually([&] { return m_card.HoldersOf(5) == 0; }));
    EXPECT_EQ(Events(*a), kEvCts);
    EXPECT_EQ(Lines(*a), Lines(false, false, false, false, true, false));

    const PortHandle open = Open(7);
    ASSERT_TRUE(open);
    EXPECT_EQ(Lines(*open), Lines(false, false, false, false, true, true));
}

TEST_F(CardLinesTest, ACutCtsHoldsAHandshakingPortsOutputUntilItsWriteTimesOut) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nFlowCtrl = 0;  // hardware: RTS/CTS
    m_card.CutCts(0, true);
    const PortHandle port = Open(0, record);
    ASSERT_TRUE(port);
    EXPECT_FALSE(Lines(*port).cts);
    CComPort& channel = m_channels[0];
    channel.SetTransferTimeoutMs(400);
    const std::string big(64 * 1024, 'x');
    TransferFailureReport().Report(channel.Write(big.data(), static_cast<int>(big.size())));
    EXPECT_EQ(m_messages.Messages(), (std::vector<RecordedMessage>{{"Write Timeout", "Write Error",
                                                                    0, MessageOwner::MainWindow}}));
    EXPECT_EQ(m_card.BytesSentBy(0), 0u);

    // The same cut wire means nothing to a port without handshake.
    ASSERT_TRUE(port->Close().Ok());
    ASSERT_TRUE(Eventually([&] { return m_card.HoldersOf(0) == 0; }));
    const PortHandle free = Open(0);
    ASSERT_TRUE(free);
    EXPECT_EQ(Echo(0, "goes out"), "goes out");
}

TEST_F(CardLinesTest, FramingAndParityErrorsArriveAsNulAndAreCountedByThePortAsTheCardCounts) {
    PortRegistry even = DefaultPortRegistry(0);
    even.nBaud = 10;   // 115200
    even.nParity = 1;  // even parity: the UART can tell a parity error
    const PortHandle port = Open(0, even);
    ASSERT_TRUE(port);
    PortRegistry none = DefaultPortRegistry(1);
    none.nBaud = 10;
    const PortHandle plain = Open(1, none);  // no parity: it cannot tell one
    ASSERT_TRUE(plain);
    for (int p : {0, 1}) {
        m_card.SetFramingErrorRate(p, 0.02);
        m_card.SetParityErrorRate(p, 0.02);
    }
    const std::string text = Pattern(3000);
    const std::string received = Echo(0, text);
    ASSERT_EQ(received.size(), text.size());
    const auto nuls =
        static_cast<std::uint64_t>(std::count(received.begin(), received.end(), '\0'));
    const CardFaultCounts card = m_card.FaultCountsOf(0);
    EXPECT_GT(card.framing, 0u);
    EXPECT_GT(card.parity, 0u);
    EXPECT_EQ(card.framing + card.parity, nuls);
    EXPECT_EQ(Events(*port) & (kEvErr | kEvBreak), kEvErr);
    const LineCounts counted = Counts(*port);
    EXPECT_EQ(counted.framing, card.framing);
    EXPECT_EQ(counted.parity, card.parity);
    EXPECT_EQ(counted.Errors(), nuls);

    const std::string second = Echo(1, text);
    ASSERT_EQ(second.size(), text.size());
    EXPECT_EQ(m_card.FaultCountsOf(1).parity, 0u);
    EXPECT_EQ(Counts(*plain).parity, 0u);
    EXPECT_EQ(Counts(*plain).framing,
              static_cast<std::uint64_t>(std::count(second.begin(), second.end(), '\0')));
}

TEST_F(CardLinesTest, ABreakNowAndThenArrivesAsNulAndIsCountedByThePortAsTheCardCounts) {
    const PortHandle port = Open(3);
    ASSERT_TRUE(port);
    m_card.SetBreaks(3, true);
    std::uint32_t events = 0;
    ASSERT_TRUE(port->WaitEvent(events, 5000).Ok());  // the first, half a second on
    EXPECT_EQ(events, kEvBreak);
    ASSERT_TRUE(Eventually([&] { return m_card.FaultCountsOf(3).breaks >= 2; }));
    m_card.SetBreaks(3, false);
    // A break the card thread was making as they were turned off reaches
    // the port's count just after the card's own.
    const std::uint64_t breaks = m_card.FaultCountsOf(3).breaks;
    ASSERT_TRUE(Eventually([&] { return Counts(*port).breaks == breaks; }))
        << Counts(*port).breaks << " of " << breaks;
    EXPECT_EQ(Counts(*port).Errors(), breaks);
    std::string received;
    char buffer[CComPort::kMaxRead];
    ASSERT_TRUE(Eventually([&] {
        int n = 0;
        if (m_channels[3].Read(buffer, &n).Ok()) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
        return received.size() == breaks;
    }));
    EXPECT_EQ(received, std::string(breaks, '\0'));
}

TEST_F(CardLinesTest, AFlickeringDcdIsCountedChangeByChange) {
    const PortHandle port = Open(4);
    ASSERT_TRUE(port);
    const LineCounts before = Counts(*port);
    const std::uint64_t cardBefore = m_card.UartCountsOf(4).dcdChanges;
    m_card.ToggleDcd(4, 100);
    ASSERT_TRUE(Eventually([&] { return m_card.UartCountsOf(4).dcdChanges >= cardBefore + 20; }));
    m_card.ToggleDcd(4, 0);
    const LineCounts changed = Counts(*port).Since(before);
    EXPECT_EQ(changed.dcdChanges, m_card.UartCountsOf(4).dcdChanges - cardBefore);
    EXPECT_EQ(changed.ctsChanges + changed.dsrChanges + changed.riChanges, 0u);
    // DCD's changes were told as events; the counts above say no other line
    // changed (an event of the plug's lines rising at the open may come late
    // on a busy machine, so the events alone cannot say it).
    EXPECT_NE(Events(*port) & kEvRlsd, 0u);
}

}  // namespace
}  // namespace quorvel
