// The simulated card through real pseudo-terminals and the program's own
// serial layer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "card/SimulatedCard.h"
#include "fakes/PtyPair.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
#include "serial/DriverRequests.h"

namespace quorvel {
namespace {

using testing::Eventually;
using testing::RecordedMessage;
using testing::RecordingMessageSink;

using Clock = std::chrono::steady_clock;

class SimulatedCardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_card.Start(&error)) << error;
        m_card.Install();
    }

    // Opens Port(port+1) of the card on its COM number; null when it did not
    // open, which the test asserts before it goes on.
    CComPort* Open(int port, PortRegistry record) {
        CComPort& channel = m_channels[static_cast<std::size_t>(port)];
        return channel.Open(m_card.FirstCom() + port, record) ? &channel : nullptr;
    }
    CComPort* Open(int port) { return Open(port, DefaultPortRegistry(port)); }

    // Everything that arrives on `channel` until `count` bytes are there or
    // `limit` passes.
    static std::string Collect(CComPort& channel, std::size_t count,
                               std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        std::string received;
        const auto deadline = Clock::now() + limit;
        char buffer[CComPort::kMaxRead];
        while (received.size() < count && Clock::now() < deadline) {
            int n = 0;
            if (channel.Read(buffer, &n)) {
                received.append(buffer, static_cast<std::size_t>(n));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return received;
    }

    // Whatever arrives within a short while, for checks that nothing does.
    static std::string Quiet(CComPort& channel) {
        return Collect(channel, 1, std::chrono::milliseconds(150));
    }

    static bool Send(CComPort& channel, const std::string& text) {
        return channel.Write(text.data(), static_cast<int>(text.size()));
    }

    static std::string Pattern(std::size_t size) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) {
            text += static_cast<char>('A' + i % 26);
        }
        return text;
    }

    // Seconds for `size` bytes to go out of `from` and arrive at `to`. The
    // writer has a channel of its own: a channel belongs to one thread.
    static double TimeTransfer(CComPort& from, CComPort& to, std::size_t size) {
        const std::string text = Pattern(size);
        const auto start = Clock::now();
        std::thread writer([&] {
            CComPort channel;
            channel.SetHandle(from.m_hCom);
            Send(channel, text);
        });
        const std::string received = Collect(to, size, std::chrono::milliseconds(20000));
        writer.join();
        EXPECT_EQ(received, text);
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    RecordingMessageSink m_messages;
    SimulatedCard m_card;
    std::array<CComPort, SimulatedCard::kPorts> m_channels;
};

TEST_F(SimulatedCardTest, APlugEchoesExactlyWhatWasSent) {
    CComPort* port = Open(0);
    ASSERT_TRUE(port);
    const std::string text = "The quick brown fox\r\n\x01\xff";
    ASSERT_TRUE(Send(*port, text));
    EXPECT_EQ(Collect(*port, text.size()), text);
    EXPECT_EQ(Quiet(*port), "");
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(SimulatedCardTest, ACableCarriesBothWaysAndNothingAttachedLosesTheData) {
    m_card.AttachCable(2, 5);
    CComPort* a = Open(2);
    ASSERT_TRUE(a);
    CComPort* b = Open(5);
    ASSERT_TRUE(b);
    ASSERT_TRUE(Send(*a, "from Port3"));
    EXPECT_EQ(Collect(*b, 10), "from Port3");
    ASSERT_TRUE(Send(*b, "from Port6"));
    EXPECT_EQ(Collect(*a, 10), "from Port6");
    EXPECT_EQ(Quiet(*a), "");
    EXPECT_EQ(m_card.WiringOf(5), PortWiring::Cable);

    m_card.AttachNothing(2);
    EXPECT_EQ(m_card.WiringOf(5), PortWiring::Nothing);
    ASSERT_TRUE(Send(*a, "lost"));
    ASSERT_TRUE(Eventually([&] { return m_card.BytesSentBy(2) == 14; }));
    EXPECT_EQ(Quiet(*a), "");
    EXPECT_EQ(Quiet(*b), "");
}

TEST_F(SimulatedCardTest, InternalLoopbackKeepsThePortsOutputOffTheWire) {
    m_card.AttachCable(0, 1);
    CComPort* a = Open(0);
    ASSERT_TRUE(a);
    CComPort* b = Open(1);
    ASSERT_TRUE(b);
    const LoopbackRequest on = BuildLoopbackRequest(0, true);
    ASSERT_TRUE(a->m_hCom->DriverRequest(kIoctlLoopback, on.bytes.data(), on.bytes.size()));
    EXPECT_TRUE(m_card.InternalLoopbackOf(0));
    ASSERT_TRUE(Send(*a, "inside"));
    EXPECT_EQ(Collect(*a, 6), "inside");
    // The partner's output does not reach a receiver in internal loopback.
    ASSERT_TRUE(Send(*b, "outside"));
    EXPECT_EQ(Quiet(*a), "");
    EXPECT_EQ(Quiet(*b), "");

    const LoopbackRequest off = BuildLoopbackRequest(0, false);
    ASSERT_TRUE(a->m_hCom->DriverRequest(kIoctlLoopback, off.bytes.data(), off.bytes.size()));
    ASSERT_TRUE(Send(*a, "wire"));
    EXPECT_EQ(Collect(*b, 4), "wire");

    // A request naming another port is refused on this port's handle.
    const LoopbackRequest other = BuildLoopbackRequest(1, true);
    EXPECT_FALSE(a->m_hCom->DriverRequest(kIoctlLoopback, other.bytes.data(), other.bytes.size()));
    EXPECT_FALSE(m_card.InternalLoopbackOf(0));
    EXPECT_FALSE(m_card.InternalLoopbackOf(1));
}

TEST_F(SimulatedCardTest, TheConfigurationRequestIsValidatedAndRemembered) {
    for (int port = 0; port < SimulatedCard::kPorts; ++port) {
        ASSERT_TRUE(Open(port)) << "Port" << port + 1;
        EXPECT_EQ(m_card.ConfigurationOf(port), BuildPortConfigRequest(DefaultPortRegistry(port)));
    }
    EXPECT_TRUE(m_messages.Messages().empty());

    const PortHandle& port0 = m_channels[0].m_hCom;
    using Bytes6 = std::array<std::uint8_t, 6>;
    const Bytes6 bad[] = {{0xF3, 0, 1, 0, 0, 0},   {0xF2, 64, 1, 0, 0, 0}, {0xF2, 0, 0, 0, 0, 0},
                          {0xF2, 0, 64, 0, 0, 0},  {0xF2, 0, 1, 5, 0, 0},  {0xF2, 0, 1, 0, 1, 0},
                          {0xF2, 0, 1, 0, 0, 0x21}};
    for (const Bytes6& bytes : bad) {
        EXPECT_FALSE(port0->DriverRequest(kIoctlPortConfig, bytes.data(), bytes.size()));
    }
    EXPECT_FALSE(port0->DriverRequest(kIoctlPortConfig, bad[0].data(), 5));
    EXPECT_EQ(m_card.ConfigurationOf(0), BuildPortConfigRequest(DefaultPortRegistry(0)));

    // RS485 only on the card's ports 7 and 8.
    const Bytes6 rs485{0xF2, 0, 1, 0, 0, 0x20};
    for (int port = 0; port < SimulatedCard::kPorts; ++port) {
        EXPECT_EQ(m_channels[static_cast<std::size_t>(port)].m_hCom->DriverRequest(
                      kIoctlPortConfig, rs485.data(), rs485.size()),
                  port >= 6)
            << "Port" << port + 1;
    }
}

TEST_F(SimulatedCardTest, TheCardLearnsTheLineSettingsFromThePortOpen) {
    PortRegistry record = DefaultPortRegistry(3);
    record.nBaud = 13;
    record.nDataBits = 0;
    record.nParity = 1;
    record.nStopBits = 1;
    Open(3, record);
    const UartFrame frame = m_card.FrameOf(3);
    EXPECT_EQ(frame.baud, 921600u);
    EXPECT_EQ(frame.dataBits, 5);
    EXPECT_EQ(frame.parity, line::kEvenParity);
    EXPECT_EQ(frame.stopBits, line::kOne5StopBits);
}

TEST_F(SimulatedCardTest, CablesBetweenDifferentSettingsCorruptTheData) {
    m_card.AttachCable(0, 1);
    PortRegistry fast = DefaultPortRegistry(1);
    fast.nBaud = 7;  // 19200 against port 0's 9600
    CComPort* a = Open(0);
    ASSERT_TRUE(a);
    CComPort* b = Open(1, fast);
    ASSERT_TRUE(b);
    const std::string text = "Hello World";
    ASSERT_TRUE(Send(*a, text));
    const std::string first = Collect(*b, text.size());
    EXPECT_EQ(first.size(), text.size());
    EXPECT_NE(first, text);
    ASSERT_TRUE(Send(*a, text));
    EXPECT_EQ(Collect(*b, text.size()), first);  // the same every time
}

TEST_F(SimulatedCardTest, BitErrorsFollowTheirRate) {
    CComPort* port = Open(0);
    ASSERT_TRUE(port);
    const std::string text = Pattern(400);
    m_card.SetBitErrorRate(0, 0.05);
    ASSERT_TRUE(Send(*port, text));
    const std::string damaged = Collect(*port, text.size());
    ASSERT_EQ(damaged.size(), text.size());
    int differing = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        differing += damaged[i] != text[i] ? 1 : 0;
    }
    EXPECT_GT(differing, 20);  // about a third of the bytes at 8 bits each
    EXPECT_LT(differing, 300);
    m_card.SetBitErrorRate(0, 0.0);
    ASSERT_TRUE(Send(*port, text));
    EXPECT_EQ(Collect(*port, text.size()), text);
}

TEST_F(SimulatedCardTest, APortIsPacedAtItsLineRate) {
    CComPort* slow = Open(0);
    ASSERT_TRUE(slow);  // 9600 8N1: 960 characters a second
    const double slowSeconds = TimeTransfer(*slow, *slow, 1200);
    EXPECT_GT(slowSeconds, 1.25 * 0.9);  // never faster than the line
    EXPECT_LT(slowSeconds, 1.25 * 4.0);
    std::printf("9600 8N1: 1200 bytes in %.3f s (line: 1.250 s)\n", slowSeconds);

    PortRegistry record = DefaultPortRegistry(1);
    record.nBaud = 13;  // 921600 8N1: 92160 characters a second
    CComPort* fast = Open(1, record);
    ASSERT_TRUE(fast);
    const double fastSeconds = TimeTransfer(*fast, *fast, 138240);
    EXPECT_GT(fastSeconds, 1.5 * 0.9);
    EXPECT_LT(fastSeconds, 1.5 * 4.0);
    std::printf("921600 8N1: 138240 bytes in %.3f s (line: 1.500 s)\n", fastSeconds);
}

TEST_F(SimulatedCardTest, AnUnpluggedPortFailsItsTransfersWithTheirMessages) {
    CComPort* port = Open(0);
    ASSERT_TRUE(port);
    m_card.Unplug(0);
    // The pty's number is free for any other program's pty at once: the old
    // name must lead nowhere.
    EXPECT_FALSE(m_card.Resolve(m_card.FirstCom()));
    EXPECT_EQ(m_card.DevicePath(0), "");
    EXPECT_FALSE(Send(*port, "gone"));
    char buffer[CComPort::kMaxRead];
    int n = 0;
    EXPECT_FALSE(port->Read(buffer, &n));
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Unable to Write to the comm port", "Write Error", 0, MessageOwner::MainWindow},
                  {"Unable to Read to the comm port", "Read Error", 0, MessageOwner::MainWindow}}));
    CComPort again;
    EXPECT_FALSE(again.Open(m_card.FirstCom(), DefaultPortRegistry(0)));

    ASSERT_TRUE(m_card.Replug(0));
    port->m_hCom->Close();
    CComPort* fresh = Open(0);
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(Send(*fresh, "back"));
    EXPECT_EQ(Collect(*fresh, 4), "back");
}

TEST_F(SimulatedCardTest, AStalledPortBacksUpUntilItsWriteTimesOut) {
    CComPort* port = Open(0);
    ASSERT_TRUE(port);
    port->SetTransferTimeoutMs(300);
    m_card.Stall(0, true);
    const std::string big(64 * 1024, 'x');
    EXPECT_FALSE(Send(*port, big));
    EXPECT_EQ(m_messages.Messages(), (std::vector<RecordedMessage>{{"Write Timeout", "Write Error",
                                                                    0, MessageOwner::MainWindow}}));

    // Drained again, what was queued goes out and the port works on.
    m_card.Stall(0, false);
    ASSERT_TRUE(Eventually([&] {
        std::uint32_t queued = 0;
        char buffer[CComPort::kMaxRead];
        int n = 0;
        port->Read(buffer, &n);
        return port->m_hCom->BytesQueued(queued) && queued == 0 && m_card.BytesSentBy(0) > 0;
    }));
}

TEST_F(SimulatedCardTest, OtherComNumbersAreLeftToTheStandardLookup) {
    const std::optional<ComDevice> com3 = m_card.Resolve(m_card.FirstCom() - 1);
    ASSERT_TRUE(com3);
    EXPECT_EQ(com3->path.rfind("/dev/", 0), 0u);
    const std::optional<ComDevice> com4 = m_card.Resolve(m_card.FirstCom());
    ASSERT_TRUE(com4);
    EXPECT_EQ(com4->path, m_card.DevicePath(0));
}

}  // namespace
}  // namespace quorvel
