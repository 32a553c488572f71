// CComPort and the POSIX backend on real pseudo-terminals.
#include <grp.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <thread>

#include "fakes/FakeComPorts.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"
#include "engine/PortTable.h"

namespace quorvel {
namespace {

using testing::Eventually;
using testing::FakeComPorts;
using testing::RecordedMessage;
using testing::RecordingMessageSink;

RecordedMessage Transfer(const char* text, const char* caption) {
    return {text, caption, 0x00, MessageOwner::MainWindow};
}

class ComPortTest : public ::testing::Test {
  protected:
    // Opens COM `com` on a fresh pty with port `port`'s default record.
    PortHandle OpenOnPty(int com, PortRegistry record = DefaultPortRegistry(0)) {
        m_ports.Add(com);
        return m_channel.Open(com, record);
    }

    bool WaitQueued(const PortHandle& port, std::uint32_t count) {
        return Eventually([&] {
            std::uint32_t queued = 0;
            return port->BytesQueued(queued) && queued >= count;
        });
    }

    RecordingMessageSink m_messages;
    FakeComPorts m_ports;
    CComPort m_channel;
};

TEST_F(ComPortTest, OpenConfiguresTheLineAndSendsTheCardRequest) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nBaud = 10;  // 115200
    record.nStopBits = 1;
    record.nFlowCtrl = 0;  // Hardware
    const PortHandle port = OpenOnPty(4, record);
    ASSERT_TRUE(port);
    EXPECT_EQ(m_channel.m_hCom, port);
    EXPECT_TRUE(m_messages.Messages().empty());

    // What the kernel took, read back from the tty.
    LineState state;
    ASSERT_TRUE(port->GetLineState(state));
    EXPECT_EQ(state.BaudRate, 115200u);
    EXPECT_EQ(state.StopBits, line::kTwoStopBits);
    EXPECT_EQ(state.fOutxCtsFlow, 1);
    EXPECT_EQ(state.fOutX, 0);
    termios master{};
    ASSERT_EQ(::tcgetattr(m_ports.Pty(4).Master(), &master), 0);
    EXPECT_EQ(::cfgetospeed(&master), B115200);
    EXPECT_NE(master.c_cflag & CSTOPB, 0u);
    EXPECT_NE(master.c_cflag & CRTSCTS, 0u);
    // The driver's time-outs: reads 1000 ms + 25 ms a byte, writes 1000 ms + 10 ms a byte.
    CommTimeouts timeouts;
    ASSERT_TRUE(port->GetTimeouts(timeouts));
    EXPECT_EQ(timeouts, (CommTimeouts{0, 25, 1000, 10, 1000}));

    // What the program asked for reaches the card whole, data bits included.
    const auto applied = m_ports.Driver(4).LineStates();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].ByteSize, 8);
    EXPECT_EQ(applied[0].fOutxDsrFlow, 1);
    const auto requests = m_ports.Driver(4).Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, kIoctlPortConfig);
    const auto expected = BuildPortConfigRequest(record).bytes;
    EXPECT_EQ(requests[0].bytes, std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST_F(ComPortTest, SoftwareAndNoFlowControlReadBack) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nFlowCtrl = 1;
    const PortHandle soft = OpenOnPty(5, record);
    ASSERT_TRUE(soft);
    LineState state;
    ASSERT_TRUE(soft->GetLineState(state));
    EXPECT_EQ(state.fOutX, 1);
    EXPECT_EQ(state.fInX, 1);
    EXPECT_EQ(state.fOutxCtsFlow, 0);
    EXPECT_EQ(state.StopBits, line::kOneStopBit);

    record.nFlowCtrl = 2;
    const PortHandle none = OpenOnPty(6, record);
    ASSERT_TRUE(none);
    ASSERT_TRUE(none->GetLineState(state));
    EXPECT_EQ(state.fOutX, 0);
    EXPECT_EQ(state.fInX, 0);
    EXPECT_EQ(state.fOutxCtsFlow, 0);
    EXPECT_EQ(state.BaudRate, 9600u);
}

TEST_F(ComPortTest, ADriverThatRejectsTheRequestStillLeavesAnOpenPort) {
    m_ports.Add(4);
    m_ports.Driver(4).Accept(false);
    const PortHandle port = m_channel.Open(4, DefaultPortRegistry(0));
    ASSERT_TRUE(port);
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Unable to pass data into driver", "", 0x00, MessageOwner::None}}));
    EXPECT_TRUE(m_channel.Write("ok", 2));
}

TEST_F(ComPortTest, APortIsOpenedOnlyOnce) {
    const PortHandle first = OpenOnPty(4);
    ASSERT_TRUE(first);
    CComPort other;
    EXPECT_FALSE(other.Open(4, DefaultPortRegistry(0)));
    EXPECT_FALSE(other.m_hCom);
    EXPECT_EQ(other.OpenFailure().step, OpenStep::Busy);
    EXPECT_EQ(other.OpenFailure().Describe(),
              m_ports.Pty(4).SlavePath() + ": the device is held by another program");
    // The holder is named where the system shows it: here, this very program.
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    EXPECT_EQ(other.OpenFailure().hint,
              self + " (process " + std::to_string(::getpid()) +
                  ") has the port open: close it there, then choose Test > Start again.");
    first->Close();
    EXPECT_TRUE(other.Open(4, DefaultPortRegistry(0)));
    EXPECT_FALSE(other.OpenFailure().Failed());
}

TEST_F(ComPortTest, APortThatCannotBeOpenedGivesNullAndItsCauseWithoutAMessage) {
    EXPECT_FALSE(m_channel.Open(9, DefaultPortRegistry(0)));
    EXPECT_FALSE(m_channel.m_hCom);
    EXPECT_EQ(m_channel.OpenFailure().step, OpenStep::Open);
    EXPECT_EQ(m_channel.OpenFailure().systemCode, ENOENT);
    EXPECT_EQ(m_channel.OpenFailure().Describe(), "/nonexistent/COM9: No such file or directory");

    m_ports.AddDevice(10, "/dev/null");
    EXPECT_FALSE(m_channel.Open(10, DefaultPortRegistry(0)));
    EXPECT_EQ(m_channel.OpenFailure().step, OpenStep::NotATerminal);
    EXPECT_EQ(m_channel.OpenFailure().Describe(), "/dev/null: the device is not a serial port");
    EXPECT_EQ(m_channel.OpenFailure().Detail(), m_channel.OpenFailure().Describe());  // no hint
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ComPortTest, APermissionRefusedNamesTheGroupThatOwnsTheDevice) {
    // Root opens whatever it likes, so the refusal is the system's word as
    // it would come for a device of the group "dialout".
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) {
        GTEST_SKIP() << "no group dialout here";
    }
    const std::string device = ::testing::TempDir() + "quorvel-ttyS-" + std::to_string(::getpid());
    std::ofstream(device).put('\0');
    ASSERT_EQ(::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
    const SerialFailure failure = MakeSerialFailure(OpenStep::Open, device, EACCES);
    EXPECT_EQ(failure.Detail(),
              device +
                  ": Permission denied\nThe user must be in the group that owns the device, "
                  "\"dialout\": sudo usermod -aG dialout $USER, then log in again.");
    std::remove(device.c_str());
}

TEST_F(ComPortTest, WriteAndReadMoveBytesBothWays) {
    ASSERT_TRUE(OpenOnPty(4));
    EXPECT_TRUE(m_channel.Write("ABCDEFGHIJ", 10));
    EXPECT_TRUE(m_channel.Write("", 0));
    EXPECT_EQ(m_ports.Pty(4).Receive(10), "ABCDEFGHIJ");

    ASSERT_TRUE(m_ports.Pty(4).Send("hello"));
    ASSERT_TRUE(WaitQueued(m_channel.m_hCom, 5));
    char buffer[500] = {};
    int count = -1;
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), "hello");
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ComPortTest, AReadTakesAtMost450BytesAndLeavesTheRest) {
    ASSERT_TRUE(OpenOnPty(4));
    std::string sent;
    for (int i = 0; i < 600; ++i) {
        sent += static_cast<char>('A' + i % 26);
    }
    ASSERT_TRUE(m_ports.Pty(4).Send(sent));
    ASSERT_TRUE(WaitQueued(m_channel.m_hCom, 600));

    char buffer[500] = {};
    int count = 0;
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 450);
    std::string received(buffer, 450);
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 150);
    received.append(buffer, 150);
    EXPECT_EQ(received, sent);

    // Nothing waiting: false, the count untouched, nothing shown.
    count = 77;
    EXPECT_FALSE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ComPortTest, AWriteNobodyDrainsEndsWithWriteTimeout) {
    ASSERT_TRUE(OpenOnPty(4));
    m_channel.SetTransferTimeoutMs(200);
    const std::string big(256 * 1024, 'x');  // far more than a pty holds
    EXPECT_FALSE(m_channel.Write(big.data(), static_cast<int>(big.size())));
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{Transfer("Write Timeout", "Write Error")});
}

TEST_F(ComPortTest, ADeviceThatVanishesMidWriteIsReportedNotWaitedFor) {
    ASSERT_TRUE(OpenOnPty(4));
    // The full time-out stays: the write must end because the device is gone.
    const std::string big(256 * 1024, 'x');
    std::atomic<bool> result{true};
    std::thread writer([&] { result = m_channel.Write(big.data(), static_cast<int>(big.size())); });
    // Most likely the writer is waiting for room by now; if not, its write
    // fails at once, which must end the same way.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_ports.Pty(4).CloseMaster();
    writer.join();
    EXPECT_FALSE(result.load());
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{Transfer(
                                         "Unable to Write to the comm port", "Write Error")});
}

TEST_F(ComPortTest, ADeviceThatVanishesIsReportedByReadAndEndsAWait) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar));
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, SerialDevice::kWaitForever), CommWait::Released);

    std::atomic<int> waitResult{-1};
    std::thread waiter([&] {
        std::uint32_t seen = 0;
        waitResult = static_cast<int>(port->WaitEvent(seen, SerialDevice::kWaitForever));
    });
    m_ports.Pty(4).CloseMaster();
    waiter.join();
    EXPECT_EQ(waitResult.load(), static_cast<int>(CommWait::Failed));

    char buffer[500];
    int count = 0;
    EXPECT_FALSE(m_channel.Read(buffer, &count));
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{Transfer(
                                         "Unable to Read to the comm port", "Read Error")});
}

TEST_F(ComPortTest, AChannelOfTheTestThreadsReportsARepeatedFailureOnce) {
    ASSERT_TRUE(OpenOnPty(4));
    m_ports.Pty(4).CloseMaster();
    CComPort quiet;
    quiet.SetHandle(m_channel.m_hCom);
    quiet.ReportRepeatedFailuresOnce(true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(quiet.Write("x", 1));
        EXPECT_FALSE(m_channel.Write("x", 1));
    }
    const RecordedMessage failed = Transfer("Unable to Write to the comm port", "Write Error");
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>(4, failed));
}

TEST_F(ComPortTest, ClearingTheMaskFromAnotherThreadReleasesTheWait) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar));
    std::uint32_t events = 0;
    ASSERT_EQ(port->WaitEvent(events, 0), CommWait::Released);  // the mask change itself

    // A character arrives: the wait reports it.
    ASSERT_TRUE(m_ports.Pty(4).Send("z"));
    EXPECT_EQ(port->WaitEvent(events, SerialDevice::kWaitForever), CommWait::Event);
    EXPECT_EQ(events, kEvRxChar);
    char buffer[500];
    int count = 0;
    ASSERT_TRUE(WaitQueued(port, 1));
    ASSERT_TRUE(m_channel.Read(buffer, &count));

    // Stop clears the mask while the receiver waits, or just before it waits:
    // either way the wait ends.
    std::atomic<int> released{-1};
    std::thread receiver([&] {
        std::uint32_t seen = 99;
        released = static_cast<int>(port->WaitEvent(seen, SerialDevice::kWaitForever));
    });
    ASSERT_TRUE(port->SetEventMask(0));
    receiver.join();
    EXPECT_EQ(released.load(), static_cast<int>(CommWait::Released));
    EXPECT_EQ(port->WaitEvent(events, 0), CommWait::TimedOut);
}

TEST_F(ComPortTest, WritesFromTwoThreadsGoOutWholeOneAfterTheOther) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    constexpr int kPackets = 40;
    constexpr std::size_t kSize = 1500;
    auto writePackets = [&port](char letter) {
        CComPort channel;
        channel.SetHandle(port);
        const std::string packet(kSize, letter);
        for (int i = 0; i < kPackets; ++i) {
            channel.Write(packet.data(), static_cast<int>(packet.size()));
        }
    };
    // Nobody reads at first, so the tty fills and each write goes out in pieces
    // (packets this size are more than a tty takes at once).
    std::thread first(writePackets, 'a');
    std::thread second(writePackets, 'b');
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string received = m_ports.Pty(4).Receive(2 * kPackets * kSize);
    first.join();
    second.join();
    ASSERT_EQ(received.size(), 2 * kPackets * kSize);
    for (std::size_t start = 0; start < received.size(); start += kSize) {
        EXPECT_EQ(received.substr(start, kSize), std::string(kSize, received[start]))
            << "packet at " << start << " is mixed";
    }
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ComPortTest, OpenAllPortsOpensTheChosenPortsAndReportsTheMissingOnes) {
    PortRecords records = DefaultPortRecords();
    records.m_PortRegistry[0].nPortOpen = 1;  // COM4: no device
    records.m_PortRegistry[2].nPortOpen = 1;  // COM6
    m_ports.Add(6);
    m_ports.Add(5);  // COM5 exists but port 1 is not chosen

    PortTable table;
    table.m_bPortOpen[1] = true;  // left as it was for a port not chosen
    OpenAllPorts(table, records);
    EXPECT_EQ(table.m_nOpenPorts, 1);
    EXPECT_TRUE(table.m_bAnyPortOpen);
    EXPECT_FALSE(table.m_bPortOpen[0]);
    EXPECT_TRUE(table.m_bPortOpen[1]);
    EXPECT_TRUE(table.m_bPortOpen[2]);
    EXPECT_FALSE(table.m_hComPort[0]);
    EXPECT_FALSE(table.m_hComPort[1]);
    EXPECT_TRUE(table.m_hComPort[2]);
    EXPECT_EQ(table.m_ComPort.m_hCom, table.m_hComPort[2]);
    // The text is the system's own; the detail says why and what to do.
    const std::string detail =
        "/nonexistent/COM4: No such file or directory\n"
        "Check that the card or adapter is in place and its driver loaded, or give the port's "
        "device in the device map " +
        DeviceMapPath() + " (a line such as \"COM4 /dev/ttyUSB0\").";
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{{"Unable to open the communication port COM4", "ERROR",
                                             0x30, MessageOwner::MainWindow, detail}}));
}

TEST_F(ComPortTest, OpenAllPortsWithNothingChosenOpensNothing) {
    PortRecords records = DefaultPortRecords();
    records.m_PortRegistry[0].nPortOpen = 0;
    m_ports.Add(4);
    PortTable table;
    OpenAllPorts(table, records);
    EXPECT_FALSE(table.m_bAnyPortOpen);
    EXPECT_EQ(table.m_nOpenPorts, 0);
    for (const PortHandle& handle : table.m_hComPort) {
        EXPECT_FALSE(handle);
    }
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ComPortTest, EachPortIsConfiguredFromItsOwnRecord) {
    // COM numbers that do not follow port 0 (a hand-edited store) still give
    // every port its own settings.
    PortRecords records = DefaultPortRecords();
    records.m_PortRegistry[0].nComBase = 20;  // COM21
    records.m_PortRegistry[3].nComBase = 4;   // COM5
    records.m_PortRegistry[3].nPortOpen = 1;
    records.m_PortRegistry[3].nBaud = 13;
    m_ports.Add(21);
    m_ports.Add(5);
    PortTable table;
    OpenAllPorts(table, records);
    ASSERT_TRUE(table.m_hComPort[3]);
    LineState state;
    ASSERT_TRUE(table.m_hComPort[3]->GetLineState(state));
    EXPECT_EQ(state.BaudRate, 921600u);
    EXPECT_EQ(table.m_nOpenPorts, 2);
}

}  // namespace
}  // namespace quorvel
