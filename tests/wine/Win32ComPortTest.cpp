// CComPort and the Win32 backend on real COM ports with loopback plugs (see
// PluggedComPorts.h). What Wine does not do as Windows does is skipped only
// when Wine is detected, so the same executable checks a Windows machine with
// the card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "engine/SerialFailureMessages.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
#include "serial/DcbSettings_win32.h"
#include "serial/DriverRequests.h"
#include "wine/DriverRequestRecorder.h"
#include "wine/PluggedComPorts.h"

namespace quorvel {
namespace {

using testing::DriverCall;
using testing::DriverRequestRecorder;
using testing::Eventually;
using testing::kDriverRefused;
using testing::kMissingCom;
using testing::OpenMessages;
using testing::PluggedCom;
using testing::RecordedMessage;
using testing::RecordingMessageSink;
using testing::UnderWine;

std::string Pattern(std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>('A' + i % 26);
    }
    return bytes;
}

class Win32ComPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_com = PluggedCom();
        if (m_com <= 0) {
            GTEST_SKIP() << "no COM port with a loopback plug given (QUORVEL_WINE_COM)";
        }
        // Quick ports with no flow control: the plug answers at once.
        m_record.nBaud = 10;  // 115200
        m_record.nFlowCtrl = 2;
    }

    // The messages after the card's request, which is refused under Wine.
    std::vector<RecordedMessage> MessagesAfterOpen() const {
        auto messages = m_messages.Messages();
        if (UnderWine() && !messages.empty() && messages.front() == kDriverRefused) {
            messages.erase(messages.begin());
        }
        return messages;
    }

    bool WaitQueued(const PortHandle& port, std::uint32_t count) {
        return Eventually([&] {
            std::uint32_t queued = 0;
            return port->BytesQueued(queued).Ok() && queued >= count;
        });
    }

    // Opens COM `com` on the fixture's channel with the fixture's record.
    PortHandle Open(int com) { return OpenPort(m_channel, com, m_record).handle; }

    // A transfer on the fixture's channel, its failure told as the program
    // tells it; true when it completed.
    bool Told(const SerialResult& result) {
        m_report.Report(result);
        return result.Ok();
    }

    int m_com = 0;
    PortRegistry m_record = DefaultPortRegistry(0);
    DriverRequestRecorder m_driver;
    RecordingMessageSink m_messages;
    CComPort m_channel;
    TransferFailureReport m_report;
};

TEST_F(Win32ComPortTest, OpenConfiguresTheLineAndSendsTheCardRequest) {
    m_record.nStopBits = 1;  // two
    m_record.nFlowCtrl = 0;  // hardware
    const OpenResult opened = OpenPort(m_channel, m_com, m_record);
    const PortHandle port = opened.handle;
    ASSERT_TRUE(port);
    EXPECT_EQ(m_channel.m_hCom, port);

    // The DCB as the driver holds it now.
    LineSettings settings;
    ASSERT_TRUE(port->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.baudRate, 115200u);
    EXPECT_EQ(settings.stopBits, StopBits::Two);
    EXPECT_EQ(settings.dataBits, DataBits::Eight);
    EXPECT_EQ(settings.parity, Parity::None);
    EXPECT_EQ(settings.flowControl, FlowControl::Hardware);
    EXPECT_TRUE(settings.dtrOn);
    // The driver's time-outs: reads 1000 ms + 25 ms a byte, writes 1000 ms + 10 ms a byte.
    CommTimeouts timeouts;
    ASSERT_TRUE(port->GetTimeouts(timeouts).Ok());
    EXPECT_EQ(timeouts, (CommTimeouts{0, 25, 1000, 10, 1000}));

    // The card's configuration request went to the driver whole.
    ASSERT_TRUE(m_driver.Hooked());
    const std::vector<DriverCall> calls = m_driver.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, kIoctlPortConfig);
    const auto expected = BuildPortConfigRequest(m_record).bytes;
    EXPECT_EQ(calls[0].input, std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(calls[0].input.at(0), kFlowHardware);

    if (UnderWine()) {
        // Wine knows no private codes: the request fails, and the operator is
        // told so in a box of its own.
        EXPECT_EQ(calls[0].error, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        EXPECT_EQ(opened.failedSteps, std::vector<SerialResult>{SerialResult::Failure(
                                          SerialStep::DriverRequest, ERROR_NOT_SUPPORTED)});
        EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{kDriverRefused});
    } else {
        EXPECT_EQ(calls[0].error, 0u);
        EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
    }
}

TEST_F(Win32ComPortTest, SoftwareFlowControlReadsBack) {
    m_record.nFlowCtrl = 1;
    m_record.nBaud = 13;  // 921600
    const PortHandle port = Open(m_com + 1);
    ASSERT_TRUE(port);
    LineSettings settings;
    ASSERT_TRUE(port->GetLineSettings(settings).Ok());
    EXPECT_EQ(settings.baudRate, 921600u);
    EXPECT_EQ(settings.stopBits, StopBits::One);
    EXPECT_EQ(settings.flowControl, FlowControl::Software);
    const std::vector<DriverCall> calls = m_driver.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input.at(0), kFlowSoftware);
}

TEST_F(Win32ComPortTest, AReadTakesAtMost450BytesAndLeavesTheRest) {
    ASSERT_TRUE(Open(m_com));
    const std::string sent = Pattern(600);
    ASSERT_TRUE(Told(m_channel.Write(sent.data(), static_cast<int>(sent.size()))));
    ASSERT_TRUE(WaitQueued(m_channel.m_hCom, 600));  // the plug has sent it all back

    char buffer[600] = {};
    int count = 0;
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(count, 450);
    std::string received(buffer, static_cast<std::size_t>(count));
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(count, 150);
    received.append(buffer, static_cast<std::size_t>(count));
    EXPECT_EQ(received, sent);

    // Nothing waiting: empty, the count untouched, nothing shown.
    count = 77;
    const SerialResult empty = m_channel.Read(buffer, &count);
    EXPECT_FALSE(Told(empty));
    EXPECT_EQ(empty.outcome, SerialOutcome::Empty);
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(MessagesAfterOpen().empty());
}

TEST_F(Win32ComPortTest, WhatWasLeftUnreadBeforeAPortClosedIsNotReadAfterItOpensAgain) {
    // The card's ports keep what they received while no handle has them
    // open: the plug's answer to the first open's write still waits when the
    // port opens again, and only the purge at Open keeps it from being read.
    const int com = m_com + 2;
    const PortHandle first = Open(com);
    ASSERT_TRUE(first);
    const std::string stale = Pattern(300);
    ASSERT_TRUE(Told(m_channel.Write(stale.data(), static_cast<int>(stale.size()))));
    ASSERT_TRUE(WaitQueued(first, 300));
    ASSERT_TRUE(first->Close().Ok());

    const PortHandle again = Open(com);
    ASSERT_TRUE(again);
    std::uint32_t queued = 0;
    ASSERT_TRUE(again->BytesQueued(queued).Ok());
    EXPECT_EQ(queued, 0u);
    const std::string fresh = "fresh";
    ASSERT_TRUE(Told(m_channel.Write(fresh.data(), static_cast<int>(fresh.size()))));
    ASSERT_TRUE(WaitQueued(again, 5));
    char buffer[450];
    int count = 0;
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), fresh);
    EXPECT_EQ(m_messages.Messages(), OpenMessages(2));
}

TEST_F(Win32ComPortTest, AMissingPortGivesNullWithoutAMessage) {
    const OpenResult missing = OpenPort(m_channel, kMissingCom, m_record);
    EXPECT_FALSE(missing.handle);
    EXPECT_FALSE(m_channel.m_hCom);
    EXPECT_EQ(missing.failure.step, SerialStep::Open);
    EXPECT_EQ(missing.failure.systemCode, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
    EXPECT_TRUE(m_driver.Calls().empty());
}

TEST_F(Win32ComPortTest, APortIsOpenedOnlyOnce) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine opens a COM port more than once";
    }
    const PortHandle first = Open(m_com);
    ASSERT_TRUE(first);
    CComPort other;
    EXPECT_FALSE(OpenPort(other, m_com, m_record).handle);
    EXPECT_FALSE(other.m_hCom);
    ASSERT_TRUE(first->Close().Ok());
    EXPECT_TRUE(OpenPort(other, m_com, m_record).handle);
}

TEST_F(Win32ComPortTest, ACharacterEndsTheWaitAsAnEvent) {
    const PortHandle port = Open(m_com);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar).Ok());
    ASSERT_TRUE(Told(m_channel.Write("z", 1)));
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 5000), SerialResult::Done(SerialStep::WaitEvent));
    EXPECT_EQ(events & kEvRxChar, kEvRxChar);
    ASSERT_TRUE(WaitQueued(port, 1));
    char buffer[450];
    int count = 0;
    ASSERT_TRUE(Told(m_channel.Read(buffer, &count)));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), "z");
}

TEST_F(Win32ComPortTest, AWaitWithNothingComingTimesOutAndTheNextWaitStillWorks) {
    const PortHandle port = Open(m_com);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar).Ok());
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 200).outcome, SerialOutcome::TimedOut);

    ASSERT_TRUE(Told(m_channel.Write("y", 1)));
    EXPECT_EQ(port->WaitEvent(events, 5000), SerialResult::Done(SerialStep::WaitEvent));
    EXPECT_EQ(events & kEvRxChar, kEvRxChar);
}

TEST_F(Win32ComPortTest, ClearingTheMaskFromAnotherThreadReleasesAPendingWait) {
    const PortHandle port = Open(m_com);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar).Ok());

    std::atomic<bool> ended{false};
    std::atomic<int> result{-1};
    std::uint32_t seen = 99;
    std::thread receiver([&] {
        result = static_cast<int>(port->WaitEvent(seen, SerialDevice::kWaitForever).outcome);
        ended = true;
    });
    // Nothing arrives, so the wait must still be pending when Stop comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(ended.load()) << "the wait ended with nothing to report";
    ASSERT_TRUE(port->SetEventMask(0).Ok());
    receiver.join();
    EXPECT_EQ(result.load(), static_cast<int>(SerialOutcome::Released));
    EXPECT_EQ(seen, 0u);
    // Stop may also clear the mask just before the receive thread starts its
    // next wait: that wait ends at once rather than waiting for ever.
    EXPECT_EQ(port->WaitEvent(seen, 5000).outcome, SerialOutcome::Released);
    EXPECT_TRUE(MessagesAfterOpen().empty());
}

// What the settings change in a DCB as read from the port, mode by mode, and
// what they leave as the driver had it.
TEST(DcbSettings, FlowControlModesSetTheirMembersAndKeepTheRestAsRead) {
    DCB asRead = win32::EmptyDcb();
    asRead.fTXContinueOnXoff = 0;
    asRead.XonChar = 0x11;
    asRead.XoffChar = 0x13;
    asRead.XonLim = 2048;
    asRead.fAbortOnError = 1;
    asRead.EvtChar = 'x';

    PortRegistry record = DefaultPortRegistry(0);
    record.nFlowCtrl = 0;  // Hardware
    DCB hardware = asRead;
    win32::ApplyLineSettings(LineSettingsOf(record), hardware);
    EXPECT_EQ(hardware.fOutxCtsFlow, 1u);
    EXPECT_EQ(hardware.fOutxDsrFlow, 1u);
    EXPECT_EQ(hardware.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(hardware.fOutX, 0u);
    EXPECT_EQ(hardware.fInX, 0u);
    EXPECT_EQ(hardware.fTXContinueOnXoff, 0u);  // as read
    EXPECT_EQ(hardware.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(hardware.fBinary, 1u);

    record.nFlowCtrl = 1;  // Software
    DCB software = asRead;
    win32::ApplyLineSettings(LineSettingsOf(record), software);
    EXPECT_EQ(software.fOutxCtsFlow, 0u);
    EXPECT_EQ(software.fOutxDsrFlow, 0u);
    EXPECT_EQ(software.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(software.fOutX, 1u);
    EXPECT_EQ(software.fInX, 1u);
    EXPECT_EQ(software.fTXContinueOnXoff, 1u);

    for (int none : {2, 3, -1}) {  // None, and values outside the list
        record.nFlowCtrl = none;
        DCB dcb = asRead;
        win32::ApplyLineSettings(LineSettingsOf(record), dcb);
        EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fOutX, 0u);
        EXPECT_EQ(dcb.fInX, 0u);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.XonLim, 2048);
        EXPECT_EQ(dcb.fAbortOnError, 1u);
        EXPECT_EQ(dcb.EvtChar, 'x');
    }
}

TEST(DcbSettings, TheLineValuesGoInAndReadBackWithTheirCodes) {
    const LineSettings five{110, DataBits::Five, Parity::Space, StopBits::OnePointFive};
    DCB dcb = win32::EmptyDcb();
    win32::ApplyLineSettings(five, dcb);
    EXPECT_EQ(dcb.BaudRate, 110u);
    EXPECT_EQ(dcb.ByteSize, 5);
    EXPECT_EQ(dcb.Parity, SPACEPARITY);
    EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
    EXPECT_EQ(win32::ReadLineSettings(dcb), five);
    const LineSettings eight{921600,        DataBits::Eight,       Parity::Mark,
                             StopBits::Two, FlowControl::Software, false};
    win32::ApplyLineSettings(eight, dcb);
    EXPECT_EQ(dcb.Parity, MARKPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(win32::ReadLineSettings(dcb), eight);
}

}  // namespace
}  // namespace quorvel
