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

#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "engine/SerialFailureMessages.h"
#include "fakes/FakeComPorts.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"

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
        return OpenPort(m_channel, com, record).handle;
    }

    bool WaitQueued(const PortHandle& port, std::uint32_t count) {
        return Eventually([&] {
            std::uint32_t queued = 0;
            return port->BytesQueued(queued).Ok() && queued >= count;
        });
    }

    // A transfer on the fixture's channel, its failure told as the program
    // tells it; true when it completed.
    bool Told(const SerialResult& result) {
        m_report.Report(result);
        return result.Ok();
    }

    RecordingMessageSink m_messages;
    FakeComPorts m_ports;
    CComPort m_channel;
    TransferFailureReport m_report;
};

TEST_F(ComPortTest, OpenConfiguresTheLineAndSendsTheCardRequest) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nBaud = 10;  // 115200
    record.nStopBits = 1;
    record.nFlowCtrl = 0;  // Hardware
    const PortHandle port = OpenOnPty(4, record);
    ASSERT_TRUE(port);
    EXPECT_EQ(m_channel.m_hCom, port);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();

    // What the kernel took, read back from the tty.
    LineSettings settings;
    ASSERT_TRUE(port->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.baudRate, 115200u);
    EXPECT_EQ(settings.stopBits, StopBits::Two);
    EXPECT_EQ(settings.flowControl, FlowControl::Hardware);
    termios master{};
    ASSERT_EQ(::tcgetattr(m_ports.Pty(4).Master(), &master), 0);
    EXPECT_EQ(::cfgetospeed(&master), B115200);
    EXPECT_NE(master.c_cflag & CSTOPB, 0u);
    EXPECT_NE(master.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(master.c_iflag & (IXON | IXOFF), 0u);
    // The driver's time-outs: reads 1000 ms + 25 ms a byte, writes 1000 ms + 10 ms a byte.
    CommTimeouts timeouts;
    ASSERT_TRUE(port->GetTimeouts(timeouts).Ok());
    EXPECT_EQ(timeouts, (CommTimeouts{0, 25, 1000, 10, 1000}));

    // What the program asked for reaches the card whole, data bits included.
    const auto applied = m_ports.Driver(4).AppliedSettings();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].dataBits, DataBits::Eight);
    EXPECT_EQ(applied[0].flowControl, FlowControl::Hardware);
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
    LineSettings settings;
    ASSERT_TRUE(soft->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.flowControl, FlowControl::Software);
    EXPECT_EQ(settings.stopBits, StopBits::One);
    termios master{};
    ASSERT_EQ(::tcgetattr(m_ports.Pty(5).Master(), &master), 0);
    EXPECT_EQ(master.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(master.c_cflag & CRTSCTS, 0u);

    record.nFlowCtrl = 2;
    const PortHandle none = OpenOnPty(6, record);
    ASSERT_TRUE(none);
    ASSERT_TRUE(none->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.flowControl, FlowControl::None);
    EXPECT_EQ(settings.baudRate, 9600u);
    ASSERT_EQ(::tcgetattr(m_ports.Pty(6).Master(), &master), 0);
    EXPECT_EQ(master.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(master.c_cflag & CRTSCTS, 0u);
}

TEST_F(ComPortTest, ADriverThatRejectsTheRequestStillLeavesAnOpenPort) {
    m_ports.Add(4);
    m_ports.Driver(4).Accept(false);
    const OpenResult opened = OpenPort(m_channel, 4, DefaultPortRegistry(0));
    ASSERT_TRUE(opened.handle);
    EXPECT_EQ(opened.failedSteps,
              std::vector<SerialResult>{SerialResult::Failure(SerialStep::DriverRequest, 0)});
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Unable to pass data into driver", "", 0x00, MessageOwner::None}}));
    EXPECT_TRUE(Told(m_channel.Write("ok", 2)));
}

TEST_F(ComPortTest, APortIsOpenedOnlyOnce) {
    const PortHandle first = OpenOnPty(4);
    ASSERT_TRUE(first);
    CComPort other;
    const OpenResult refused = OpenPort(other, 4, DefaultPortRegistry(0));
    EXPECT_FALSE(refused.handle);
    EXPECT_FALSE(other.m_hCom);
    EXPECT_EQ(refused.failure.step, SerialStep::Busy);
    EXPECT_EQ(refused.failure.systemCode, EWOULDBLOCK);
    EXPECT_EQ(refused.failure.Describe(),
              m_ports.Pty(4).SlavePath() + ": the device is held by another program");
    // The holder is named where the system shows it: here, this very program.
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    EXPECT_EQ(refused.failure.hint,
              self + " (process " + std::to_string(::getpid()) +
                  ") has the port open: close it there, then choose Test > Start again.");
    EXPECT_TRUE(first->Close().Ok());
    const OpenResult reopened = OpenPort(other, 4, DefaultPortRegistry(0));
    EXPECT_TRUE(reopened.handle);
    EXPECT_FALSE(reopened.failure.Failed());
    // A device closed answers every step with the system's word for it.
    EXPECT_EQ(first->Purge(purge::kAll), SerialResult::Failure(SerialStep::Purge, EBADF));
}

TEST_F(ComPortTest, APortThatCannotBeOpenedGivesNullAndItsCauseWithoutAMessage) {
    const OpenResult missing = OpenPort(m_channel, 9, DefaultPortRegistry(0));
    EXPECT_FALSE(missing.handle);
    EXPECT_FALSE(m_channel.m_hCom);
    EXPECT_EQ(missing.failure.step, SerialStep::Open);
    EXPECT_EQ(missing.failure.systemCode, ENOENT);
    EXPECT_EQ(missing.failure.Describe(), "/nonexistent/COM9: No such file or directory");

    m_ports.AddDevice(10, "/dev/null");
    const OpenResult notATty = OpenPort(m_channel, 10, DefaultPortRegistry(0));
    EXPECT_FALSE(notATty.handle);
    EXPECT_EQ(notATty.failure.step, SerialStep::NotATerminal);
    EXPECT_EQ(notATty.failure.Describe(), "/dev/null: the device is not a serial port");
    EXPECT_EQ(notATty.failure.Detail(), notATty.failure.Describe());  // no hint
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
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
    const SerialFailure failure = MakeSerialFailure(SerialStep::Open, device, EACCES);
    EXPECT_EQ(failure.Detail(),
              device +
                  ": Permission denied\nThe user must be in the group that owns the device, "
                  "\"dialout\": sudo usermod -aG dialout $USER, then log in again.");
    std::remove(device.c_str());
}

TEST_F(ComPortTest, WriteAndReadMoveBytesBothWays) {
    ASSERT_TRUE(OpenOnPty(4));
    EXPECT_TRUE(Told(m_channel.Write("ABCDEFGHIJ", 10)));
    EXPECT_TRUE(Told(m_channel.Write("", 0)));
    EXPECT_EQ(m_ports.Pty(4).Receive(10), "ABCDEFGHIJ");

    ASSERT_TRUE(m_ports.Pty(4).Send("hello"));
    ASSERT_TRUE(WaitQueued(m_channel.m_hCom, 5));
    char buffer[500] = {};
    int count = -1;
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), "hello");
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
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
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(count, 450);
    std::string received(buffer, 450);
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(count, 150);
    received.append(buffer, 150);
    EXPECT_EQ(received, sent);

    // Nothing waiting: empty, the count untouched, nothing shown.
    count = 77;
    const SerialResult empty = m_channel.Read(buffer, &count);
    EXPECT_FALSE(Told(empty));
    EXPECT_EQ(empty.outcome, SerialOutcome::Empty);
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(ComPortTest, AWriteNobodyDrainsEndsWithWriteTimeout) {
    ASSERT_TRUE(OpenOnPty(4));
    m_channel.SetTransferTimeoutMs(200);
    const std::string big(256 * 1024, 'x');  // far more than a pty holds
    const SerialResult result = m_channel.Write(big.data(), static_cast<int>(big.size()));
    EXPECT_FALSE(Told(result));
    EXPECT_EQ(result, SerialResult::Of(SerialOutcome::TimedOut, SerialStep::Write));
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{Transfer("Write Timeout", "Write Error")});
}

TEST_F(ComPortTest, ADeviceThatVanishesMidWriteIsReportedNotWaitedFor) {
    ASSERT_TRUE(OpenOnPty(4));
    // The full time-out stays: the write must end because the device is gone.
    const std::string big(256 * 1024, 'x');
    SerialResult result = SerialResult::Done(SerialStep::None);
    std::thread writer([&] { result = m_channel.Write(big.data(), static_cast<int>(big.size())); });
    // Most likely the writer is waiting for room by now; if not, its write
    // fails at once, which must end the same way.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_ports.Pty(4).CloseMaster();
    writer.join();
    EXPECT_FALSE(Told(result));
    // The step that failed and the system's own word: the other side hung up.
    EXPECT_EQ(result, SerialResult::Failure(SerialStep::Write, EIO));
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{Transfer(
                                         "Unable to Write to the comm port", "Write Error")});
}

TEST_F(ComPortTest, ADeviceThatVanishesIsReportedByReadAndEndsAWait) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar).Ok());
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, SerialDevice::kWaitForever).outcome, SerialOutcome::Released);

    SerialResult waitResult = SerialResult::Done(SerialStep::None);
    std::thread waiter([&] {
        std::uint32_t seen = 0;
        waitResult = port->WaitEvent(seen, SerialDevice::kWaitForever);
    });
    m_ports.Pty(4).CloseMaster();
    waiter.join();
    EXPECT_EQ(waitResult, SerialResult::Failure(SerialStep::WaitEvent, EIO));

    char buffer[500];
    int count = 0;
    const SerialResult read = m_channel.Read(buffer, &count);
    EXPECT_FALSE(Told(read));
    EXPECT_EQ(read, SerialResult::Failure(SerialStep::BytesQueued, EIO));
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{Transfer(
                                         "Unable to Read to the comm port", "Read Error")});
}

TEST_F(ComPortTest, AChannelOfTheTestThreadsReportsARepeatedFailureOnce) {
    ASSERT_TRUE(OpenOnPty(4));
    m_ports.Pty(4).CloseMaster();
    CComPort quiet;
    quiet.SetHandle(m_channel.m_hCom);
    TransferFailureReport quietReport;
    quietReport.ShowRepeatsOnce(true);
    for (int i = 0; i < 3; ++i) {
        const SerialResult quietWrite = quiet.Write("x", 1);
        quietReport.Report(quietWrite);
        EXPECT_FALSE(quietWrite.Ok());
        EXPECT_FALSE(Told(m_channel.Write("x", 1)));
    }
    const RecordedMessage failed = Transfer("Unable to Write to the comm port", "Write Error");
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>(4, failed));
}

TEST_F(ComPortTest, ClearingTheMaskFromAnotherThreadReleasesTheWait) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar).Ok());
    std::uint32_t events = 0;
    // The mask change itself.
    ASSERT_EQ(port->WaitEvent(events, 0).outcome, SerialOutcome::Released);

    // A character arrives: the wait reports it.
    ASSERT_TRUE(m_ports.Pty(4).Send("z"));
    EXPECT_EQ(port->WaitEvent(events, SerialDevice::kWaitForever),
              SerialResult::Done(SerialStep::WaitEvent));
    EXPECT_EQ(events, kEvRxChar);
    char buffer[500];
    int count = 0;
    ASSERT_TRUE(WaitQueued(port, 1));
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));

    // Stop clears the mask while the receiver waits, or just before it waits:
    // either way the wait ends.
    std::atomic<int> released{-1};
    std::thread receiver([&] {
        std::uint32_t seen = 99;
        released = static_cast<int>(port->WaitEvent(seen, SerialDevice::kWaitForever).outcome);
    });
    ASSERT_TRUE(port->SetEventMask(0).Ok());
    receiver.join();
    EXPECT_EQ(released.load(), static_cast<int>(SerialOutcome::Released));
    EXPECT_EQ(port->WaitEvent(events, 0).outcome, SerialOutcome::TimedOut);
}

TEST_F(ComPortTest, WritesFromTwoThreadsGoOutWholeOneAfterTheOther) {
    const PortHandle port = OpenOnPty(4);
    ASSERT_TRUE(port);
    constexpr int kPackets = 40;
    constexpr std::size_t kSize = 1500;
    auto writePackets = [&port](char letter) {
        CComPort channel;
        channel.SetHandle(port);
        TransferFailureReport report;
        const std::string packet(kSize, letter);
        for (int i = 0; i < kPackets; ++i) {
            report.Report(channel.Write(packet.data(), static_cast<int>(packet.size())));
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
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
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

TEST_F(ComPortTest, OpenAllPortsTellsWhatTheLookupCannotUseBeforeThePorts) {
    const std::string fault = "The device map /tmp/x.map is larger than 64 KB and is not used.";
    m_ports.TellAtRefresh(fault);
    PortRecords records = DefaultPortRecords();
    records.m_PortRegistry[0].nPortOpen = 1;  // COM4: no device
    PortTable table;
    OpenAllPorts(table, records);
    const auto shown = m_messages.Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], (RecordedMessage{fault, "Error", 0x30}));
    EXPECT_EQ(shown[1].text, "Unable to open the communication port COM4");
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
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
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
    LineSettings settings;
    ASSERT_TRUE(table.m_hComPort[3]->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.baudRate, 921600u);
    EXPECT_EQ(table.m_nOpenPorts, 2);
}

}  // namespace
}  // namespace quorvel
