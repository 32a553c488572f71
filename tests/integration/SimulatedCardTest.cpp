// The simulated card through real pseudo-terminals: the program's own serial
// layer, and other programs with plain termios code.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "card/SimulatedCard.h"
#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "engine/SerialFailureMessages.h"
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

// A port as any other program opens it: the device path and termios, nothing
// of Quorvel's.
class OutsideProgram {
  public:
    explicit OutsideProgram(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~OutsideProgram() { Close(); }
    OutsideProgram(const OutsideProgram&) = delete;
    OutsideProgram& operator=(const OutsideProgram&) = delete;

    bool Opened() const { return m_fd >= 0; }

    // Raw 8N1 at `speed`, with any of CSTOPB and CRTSCTS and of IXON and IXOFF.
    bool Set(speed_t speed, tcflag_t cflag = 0, tcflag_t iflag = 0) {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) {
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~tcflag_t(CSTOPB | CRTSCTS);
        tio.c_cflag |= CLOCAL | CREAD | cflag;
        tio.c_iflag &= ~tcflag_t(IXON | IXOFF);
        tio.c_iflag |= iflag;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    bool Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            pollfd entry{m_fd, POLLOUT, 0};
            if (n < 0 && errno != EAGAIN) {
                return false;
            }
            if (::poll(&entry, 1, 10000) <= 0) {
                return false;
            }
        }
        return true;
    }

    // What arrives until `count` bytes are there or nothing comes for `quietMs`.
    std::string Read(std::size_t count, int quietMs = 3000) {
        std::string bytes;
        char buffer[4096];
        while (bytes.size() < count) {
            pollfd entry{m_fd, POLLIN, 0};
            if (::poll(&entry, 1, quietMs) <= 0) {
                break;
            }
            const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    void Flush(int queue) { ::tcflush(m_fd, queue); }

    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

  private:
    int m_fd;
};

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
        return OpenPort(channel, m_card.FirstCom() + port, record).handle ? &channel : nullptr;
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
            if (Told(channel.Read(buffer, &n))) {
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
        return Told(channel.Write(text.data(), static_cast<int>(text.size())));
    }

    // A transfer's failure told as the program tells it; true when it completed.
    static bool Told(const SerialResult& result) {
        TransferFailureReport().Report(result);
        return result.Ok();
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
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
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
    ASSERT_TRUE(a->m_hCom->DriverRequest(kIoctlLoopback, on.bytes.data(), on.bytes.size()).Ok());
    EXPECT_TRUE(m_card.InternalLoopbackOf(0));
    ASSERT_TRUE(Send(*a, "inside"));
    EXPECT_EQ(Collect(*a, 6), "inside");
    // The partner's output does not reach a receiver in internal loopback.
    ASSERT_TRUE(Send(*b, "outside"));
    EXPECT_EQ(Quiet(*a), "");
    EXPECT_EQ(Quiet(*b), "");

    const LoopbackRequest off = BuildLoopbackRequest(0, false);
    ASSERT_TRUE(a->m_hCom->DriverRequest(kIoctlLoopback, off.bytes.data(), off.bytes.size()).Ok());
    ASSERT_TRUE(Send(*a, "wire"));
    EXPECT_EQ(Collect(*b, 4), "wire");

    // A request naming another port is refused on this port's handle.
    const LoopbackRequest other = BuildLoopbackRequest(1, true);
    EXPECT_FALSE(
        a->m_hCom->DriverRequest(kIoctlLoopback, other.bytes.data(), other.bytes.size()).Ok());
    EXPECT_FALSE(m_card.InternalLoopbackOf(0));
    EXPECT_FALSE(m_card.InternalLoopbackOf(1));
}

TEST_F(SimulatedCardTest, TheConfigurationRequestIsValidatedAndRemembered) {
    for (int port = 0; port < SimulatedCard::kPorts; ++port) {
        ASSERT_TRUE(Open(port)) << "Port" << port + 1;
        EXPECT_EQ(m_card.ConfigurationOf(port), BuildPortConfigRequest(DefaultPortRegistry(port)));
    }
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();

    const PortHandle& port0 = m_channels[0].m_hCom;
    using Bytes6 = std::array<std::uint8_t, 6>;
    const Bytes6 bad[] = {{0xF3, 0, 1, 0, 0, 0},   {0xF2, 64, 1, 0, 0, 0}, {0xF2, 0, 0, 0, 0, 0},
                          {0xF2, 0, 64, 0, 0, 0},  {0xF2, 0, 1, 5, 0, 0},  {0xF2, 0, 1, 0, 1, 0},
                          {0xF2, 0, 1, 0, 0, 0x21}};
    for (const Bytes6& bytes : bad) {
        EXPECT_FALSE(port0->DriverRequest(kIoctlPortConfig, bytes.data(), bytes.size()).Ok());
    }
    EXPECT_FALSE(port0->DriverRequest(kIoctlPortConfig, bad[0].data(), 5).Ok());
    EXPECT_EQ(m_card.ConfigurationOf(0), BuildPortConfigRequest(DefaultPortRegistry(0)));

    // RS485 only on the card's ports 7 and 8.
    const Bytes6 rs485{0xF2, 0, 1, 0, 0, 0x20};
    for (int port = 0; port < SimulatedCard::kPorts; ++port) {
        EXPECT_EQ(m_channels[static_cast<std::size_t>(port)]
                      .m_hCom->DriverRequest(kIoctlPortConfig, rs485.data(), rs485.size())
                      .Ok(),
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
    CComPort* port = Open(3, record);
    ASSERT_TRUE(port);
    EXPECT_EQ(m_card.LineOf(3).frame,
              (UartFrame{921600, DataBits::Five, Parity::Even, StopBits::OnePointFive}));

    // The pty keeps the rate and the stop bits for whoever opens it next; the
    // data bits and parity left with the program that set them.
    EXPECT_TRUE(port->m_hCom->Close().Ok());
    ASSERT_TRUE(Eventually([&] { return m_card.HoldersOf(3) == 0; }));
    EXPECT_EQ(m_card.LineOf(3).frame,
              (UartFrame{921600, DataBits::Eight, Parity::None, StopBits::Two}));
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
    // Measured on the card's own clock: each character keeps the line busy for
    // its start bit, data bits, parity and stop bits.
    CComPort* slow = Open(0);  // 9600 8N1: ten bits a character
    ASSERT_TRUE(slow);
    const double slowSeconds = TimeTransfer(*slow, *slow, 1200);
    EXPECT_NEAR(m_card.LineSecondsOf(0), 1200 * 10.0 / 9600, 1e-9);
    std::printf("9600 8N1: 1200 bytes in %.3f s (line: 1.250 s)\n", slowSeconds);

    PortRegistry record = DefaultPortRegistry(1);
    record.nBaud = 10;     // 115200
    record.nDataBits = 2;  // seven, even parity, two stop bits: eleven bits
    record.nParity = 1;
    record.nStopBits = 1;
    CComPort* framed = Open(1, record);
    ASSERT_TRUE(framed);
    const double framedSeconds = TimeTransfer(*framed, *framed, 4608);
    EXPECT_NEAR(m_card.LineSecondsOf(1), 4608 * 11.0 / 115200, 1e-9);
    std::printf("115200 7E2: 4608 bytes in %.3f s (line: 0.440 s)\n", framedSeconds);
}

TEST_F(SimulatedCardTest, AnOutsideProgramsPortRunsAtTheSettingsItSetsFromTheNextCharacter) {
    OutsideProgram program(m_card.DevicePath(0));
    ASSERT_TRUE(program.Opened());
    ASSERT_TRUE(program.Set(B115200));
    const std::string first = Pattern(2304);
    ASSERT_TRUE(program.Write(first));
    EXPECT_EQ(program.Read(first.size()), first);
    const double firstSeconds = 2304 * 10.0 / 115200;
    EXPECT_NEAR(m_card.LineSecondsOf(0), firstSeconds, 1e-9);

    // Changed while the port is open, and written at once. With RTS/CTS the
    // card holds the writer while it leaves what comes back unread, so it
    // reads as it writes, as a program on such a line must.
    ASSERT_TRUE(program.Set(B921600, CSTOPB | CRTSCTS, IXON));
    const std::string second = Pattern(18432);
    bool written = false;
    std::thread writer([&] { written = program.Write(second); });
    EXPECT_EQ(program.Read(second.size()), second);
    writer.join();
    ASSERT_TRUE(written);
    EXPECT_NEAR(m_card.LineSecondsOf(0), firstSeconds + 18432 * 11.0 / 921600, 1e-9);
    const PortLine expected{UartFrame{921600, DataBits::Eight, Parity::None, StopBits::Two}, true,
                            true, false};
    EXPECT_EQ(m_card.LineOf(0), expected);
}

TEST_F(SimulatedCardTest, CablePairsJoinPortsOneAndTwoThreeAndFourAndSoOnForAnyProgram) {
    SimulatedCard pairs(SimulatedCard::kDefaultFirstCom + 20, CardWiring::Pairs);
    std::string error;
    ASSERT_TRUE(pairs.Start(&error)) << error;
    pairs.Install();
    // Quorvel on Port1 and another program on Port2, both at 115200 8N1.
    PortRegistry record = DefaultPortRegistry(0);
    record.nBaud = 10;
    CComPort quorvel;
    ASSERT_TRUE(OpenPort(quorvel, pairs.FirstCom(), record).handle);
    auto other = std::make_unique<OutsideProgram>(pairs.DevicePath(1));
    ASSERT_TRUE(other->Opened());
    ASSERT_TRUE(other->Set(B115200));
    const std::string there = Pattern(3000);
    const std::string back(there.rbegin(), there.rend());
    ASSERT_TRUE(Send(quorvel, there));
    EXPECT_EQ(other->Read(there.size()), there);
    ASSERT_TRUE(other->Write(back));
    EXPECT_EQ(Collect(quorvel, back.size()), back);

    // Each of the other ports hears its partner and no one else.
    std::vector<std::unique_ptr<OutsideProgram>> programs;
    for (int port = 2; port < SimulatedCard::kPorts; ++port) {
        programs.push_back(std::make_unique<OutsideProgram>(pairs.DevicePath(port)));
        ASSERT_TRUE(programs.back()->Opened() && programs.back()->Set(B115200));
    }
    for (int port = 2; port < SimulatedCard::kPorts; ++port) {
        ASSERT_TRUE(programs[static_cast<std::size_t>(port - 2)]->Write("from Port" +
                                                                        std::to_string(port + 1)));
    }
    for (int port = 2; port < SimulatedCard::kPorts; ++port) {
        EXPECT_EQ(programs[static_cast<std::size_t>(port - 2)]->Read(100, 300),
                  "from Port" + std::to_string((port ^ 1) + 1));
    }
    EXPECT_EQ(other->Read(1, 150), "");
    EXPECT_EQ(Quiet(quorvel), "");

    // While no program holds Port2 its receiver is off: the next one to open
    // it hears nothing of what came before.
    other.reset();
    ASSERT_TRUE(Send(quorvel, "nobody listens"));
    ASSERT_TRUE(Eventually([&] { return pairs.BytesSentBy(0) == there.size() + 14; }));
    OutsideProgram next(pairs.DevicePath(1));
    ASSERT_TRUE(next.Opened());
    EXPECT_EQ(next.Read(1, 300), "");
}

TEST_F(SimulatedCardTest, WhatAProgramFlushesOrLeavesAtItsCloseNeverGoesOut) {
    const std::string text = Pattern(3000);  // about three seconds at 9600
    OutsideProgram program(m_card.DevicePath(0));
    ASSERT_TRUE(program.Opened());
    ASSERT_TRUE(program.Set(B9600));
    ASSERT_TRUE(program.Write(text));
    ASSERT_EQ(program.Read(10), text.substr(0, 10));  // on the line
    program.Flush(TCOFLUSH);
    // What was on the line before the flush still arrives, then nothing.
    const std::string rest = program.Read(text.size(), 300);
    EXPECT_EQ(10 + rest.size(), m_card.BytesSentBy(0));
    EXPECT_LT(m_card.BytesSentBy(0), 1000u);

    ASSERT_TRUE(program.Write(text));
    ASSERT_EQ(program.Read(10), text.substr(0, 10));
    program.Close();  // with most of it queued, and what came back unread
    ASSERT_TRUE(Eventually([&] { return m_card.HoldersOf(0) == 0; }));
    OutsideProgram next(m_card.DevicePath(0));
    ASSERT_TRUE(next.Opened());
    EXPECT_EQ(next.Read(1, 300), "");
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
    EXPECT_FALSE(Told(port->Read(buffer, &n)));
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Unable to Write to the comm port", "Write Error", 0, MessageOwner::MainWindow},
                  {"Unable to Read to the comm port", "Read Error", 0, MessageOwner::MainWindow}}));
    CComPort again;
    EXPECT_FALSE(OpenPort(again, m_card.FirstCom(), DefaultPortRegistry(0)).handle);

    ASSERT_TRUE(m_card.Replug(0));
    EXPECT_TRUE(port->m_hCom->Close().Ok());
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
        Told(port->Read(buffer, &n));
        return port->m_hCom->BytesQueued(queued).Ok() && queued == 0 && m_card.BytesSentBy(0) > 0;
    }));
}

TEST_F(SimulatedCardTest, AWriterIsHeldWhereTheTransmitQueueIsFullHoweverLateTheCardLooks) {
    // Packet after packet into a stalled port, as the write thread sends
    // them: the writes go on until the 4 KB queue is full, and the pty takes
    // none of the next one however far behind the card thread is.
    CComPort* port = Open(0);
    ASSERT_TRUE(port);
    port->SetTransferTimeoutMs(300);
    m_card.Stall(0, true);
    const std::string packet = Pattern(450);
    std::size_t accepted = 0;
    while (accepted < 64 * 1024 && Send(*port, packet)) {
        accepted += packet.size();
    }
    EXPECT_EQ(m_messages.Messages(), (std::vector<RecordedMessage>{{"Write Timeout", "Write Error",
                                                                    0, MessageOwner::MainWindow}}));
    // The write that waited had taken nothing: the queue holds what went before.
    EXPECT_GE(accepted, 4096u);
    EXPECT_LT(accepted, 4096u + packet.size());
    ASSERT_TRUE(Eventually([&] { return m_card.QueuedBytes(0) == accepted; }));
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
