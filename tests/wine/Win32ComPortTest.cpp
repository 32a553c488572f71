// CComPort and the Win32 backend on real COM ports with loopback plugs (see
// PluggedComPorts.h). What Wine does not do as Windows does is skipped only
// when Wine is detected, so the same executable checks a Windows machine with
// the card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
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
            return port->BytesQueued(queued) && queued >= count;
        });
    }

    int m_com = 0;
    PortRegistry m_record = DefaultPortRegistry(0);
    DriverRequestRecorder m_driver;
    RecordingMessageSink m_messages;
    CComPort m_channel;
};

TEST_F(Win32ComPortTest, OpenConfiguresTheLineAndSendsTheCardRequest) {
    m_record.nStopBits = 1;  // two
    m_record.nFlowCtrl = 0;  // hardware
    const PortHandle port = m_channel.Open(m_com, m_record);
    ASSERT_TRUE(port);
    EXPECT_EQ(m_channel.m_hCom, port);

    // The DCB as the driver holds it now.
    LineState state;
    ASSERT_TRUE(port->GetLineState(state));
    EXPECT_EQ(state.BaudRate, 115200u);
    EXPECT_EQ(state.StopBits, line::kTwoStopBits);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, line::kNoParity);
    EXPECT_EQ(state.fOutxCtsFlow, 1);
    if (!UnderWine()) {  // Wine reads RTS handshaking back as RTS on
        EXPECT_EQ(state.fRtsControl, line::kRtsControlHandshake);
    }
    EXPECT_EQ(state.fOutX, 0);
    EXPECT_EQ(state.fInX, 0);
    // The driver's time-outs: reads 1000 ms + 25 ms a byte, writes 1000 ms + 10 ms a byte.
    CommTimeouts timeouts;
    ASSERT_TRUE(port->GetTimeouts(timeouts));
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
        EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{kDriverRefused});
    } else {
        EXPECT_EQ(calls[0].error, 0u);
        EXPECT_TRUE(m_messages.Messages().empty());
    }
}

TEST_F(Win32ComPortTest, SoftwareFlowControlReadsBack) {
    m_record.nFlowCtrl = 1;
    m_record.nBaud = 13;  // 921600
    const PortHandle port = m_channel.Open(m_com + 1, m_record);
    ASSERT_TRUE(port);
    LineState state;
    ASSERT_TRUE(port->GetLineState(state));
    EXPECT_EQ(state.BaudRate, 921600u);
    EXPECT_EQ(state.StopBits, line::kOneStopBit);
    EXPECT_EQ(state.fOutX, 1);
    EXPECT_EQ(state.fInX, 1);
    EXPECT_EQ(state.fOutxCtsFlow, 0);
    const std::vector<DriverCall> calls = m_driver.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input.at(0), kFlowSoftware);
}

TEST_F(Win32ComPortTest, AReadTakesAtMost450BytesAndLeavesTheRest) {
    ASSERT_TRUE(m_channel.Open(m_com, m_record));
    const std::string sent = Pattern(600);
    ASSERT_TRUE(m_channel.Write(sent.data(), static_cast<int>(sent.size())));
    ASSERT_TRUE(WaitQueued(m_channel.m_hCom, 600));  // the plug has sent it all back

    char buffer[600] = {};
    int count = 0;
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 450);
    std::string received(buffer, static_cast<std::size_t>(count));
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 150);
    received.append(buffer, static_cast<std::size_t>(count));
    EXPECT_EQ(received, sent);

    // Nothing waiting: false, the count untouched, nothing shown.
    count = 77;
    EXPECT_FALSE(m_channel.Read(buffer, &count));
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(MessagesAfterOpen().empty());
}

TEST_F(Win32ComPortTest, WhatWasLeftUnreadBeforeAPortClosedIsNotReadAfterItOpensAgain) {
    // The card's ports keep what they received while no handle has them
    // open: the plug's answer to the first open's write still waits when the
    // port opens again, and only the purge at Open keeps it from being read.
    const int com = m_com + 2;
    const PortHandle first = m_channel.Open(com, m_record);
    ASSERT_TRUE(first);
    const std::string stale = Pattern(300);
    ASSERT_TRUE(m_channel.Write(stale.data(), static_cast<int>(stale.size())));
    ASSERT_TRUE(WaitQueued(first, 300));
    first->Close();

    const PortHandle again = m_channel.Open(com, m_record);
    ASSERT_TRUE(again);
    std::uint32_t queued = 0;
    ASSERT_TRUE(again->BytesQueued(queued));
    EXPECT_EQ(queued, 0u);
    const std::string fresh = "fresh";
    ASSERT_TRUE(m_channel.Write(fresh.data(), static_cast<int>(fresh.size())));
    ASSERT_TRUE(WaitQueued(again, 5));
    char buffer[450];
    int count = 0;
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), fresh);
    EXPECT_EQ(m_messages.Messages(), OpenMessages(2));
}

TEST_F(Win32ComPortTest, AMissingPortGivesNullWithoutAMessage) {
    EXPECT_FALSE(m_channel.Open(kMissingCom, m_record));
    EXPECT_FALSE(m_channel.m_hCom);
    EXPECT_TRUE(m_messages.Messages().empty());
    EXPECT_TRUE(m_driver.Calls().empty());
}

TEST_F(Win32ComPortTest, APortIsOpenedOnlyOnce) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine opens a COM port more than once";
    }
    const PortHandle first = m_channel.Open(m_com, m_record);
    ASSERT_TRUE(first);
    CComPort other;
    EXPECT_FALSE(other.Open(m_com, m_record));
    EXPECT_FALSE(other.m_hCom);
    first->Close();
    EXPECT_TRUE(other.Open(m_com, m_record));
}

TEST_F(Win32ComPortTest, ACharacterEndsTheWaitAsAnEvent) {
    const PortHandle port = m_channel.Open(m_com, m_record);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar));
    ASSERT_TRUE(m_channel.Write("z", 1));
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 5000), CommWait::Event);
    EXPECT_EQ(events & kEvRxChar, kEvRxChar);
    ASSERT_TRUE(WaitQueued(port, 1));
    char buffer[450];
    int count = 0;
    ASSERT_TRUE(m_channel.Read(buffer, &count));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(count)), "z");
}

TEST_F(Win32ComPortTest, AWaitWithNothingComingTimesOutAndTheNextWaitStillWorks) {
    const PortHandle port = m_channel.Open(m_com, m_record);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar));
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 200), CommWait::TimedOut);

    ASSERT_TRUE(m_channel.Write("y", 1));
    EXPECT_EQ(port->WaitEvent(events, 5000), CommWait::Event);
    EXPECT_EQ(events & kEvRxChar, kEvRxChar);
}

TEST_F(Win32ComPortTest, ClearingTheMaskFromAnotherThreadReleasesAPendingWait) {
    const PortHandle port = m_channel.Open(m_com, m_record);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar));

    std::atomic<bool> ended{false};
    std::atomic<int> result{-1};
    std::uint32_t seen = 99;
    std::thread receiver([&] {
        result = static_cast<int>(port->WaitEvent(seen, SerialDevice::kWaitForever));
        ended = true;
    });
    // Nothing arrives, so the wait must still be pending when Stop comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(ended.load()) << "the wait ended with nothing to report";
    ASSERT_TRUE(port->SetEventMask(0));
    receiver.join();
    EXPECT_EQ(result.load(), static_cast<int>(CommWait::Released));
    EXPECT_EQ(seen, 0u);
    // Stop may also clear the mask just before the receive thread starts its
    // next wait: that wait ends at once rather than waiting for ever.
    EXPECT_EQ(port->WaitEvent(seen, 5000), CommWait::Released);
    EXPECT_TRUE(MessagesAfterOpen().empty());
}

}  // namespace
}  // namespace quorvel
