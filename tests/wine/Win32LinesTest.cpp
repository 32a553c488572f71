// The Win32 backend's modem lines on a COM port with a loopback plug (see
// PluggedComPorts.h): the lines read as the plug joins them, DTR and RTS
// switched, a change of a line ending a wait as an event, and the line
// counts. Under Wine the harness's preload library plays the plug's lines.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"
#include "wine/PluggedComPorts.h"

namespace quorvel {
namespace {

using testing::PluggedCom;
using testing::RecordingMessageSink;

class Win32LinesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A port of its own: the other suites' tests use the first.
        m_com = PluggedCom() > 0 ? PluggedCom() + 2 : 0;
        if (m_com <= 0) {
            GTEST_SKIP() << "no COM port with a loopback plug given (QUORVEL_WINE_COM)";
        }
        m_record.nBaud = 10;
        m_record.nFlowCtrl = 2;  // none: RTS is the program's
    }

    PortHandle Open() { return OpenPort(m_channel, m_com, m_record).handle; }

    static ModemLines Lines(SerialDevice& port) {
        ModemLines lines;
        EXPECT_TRUE(port.GetModemLines(lines).Ok());
        return lines;
    }

    int m_com = 0;
    PortRegistry m_record = DefaultPortRegistry(0);
    RecordingMessageSink m_messages;
    CComPort m_channel;
};

TEST_F(Win32LinesTest, TheLinesReadAsThePlugJoinsThemAndDtrAndRtsSwitch) {
    const PortHandle port = Open();
    ASSERT_TRUE(port);
    EXPECT_EQ(Lines(*port), (ModemLines{true, true, true, true, true, true}));
    ASSERT_TRUE(port->SetOutputLine(OutputLine::Rts, false).Ok());
    EXPECT_EQ(Lines(*port), (ModemLines{false, true, true, true, true, false}));
    ASSERT_TRUE(port->SetOutputLine(OutputLine::Dtr, false).Ok());
    EXPECT_EQ(Lines(*port), (ModemLines{}));
    ASSERT_TRUE(port->SetOutputLine(OutputLine::Dtr, true).Ok());
    ASSERT_TRUE(port->SetOutputLine(OutputLine::Rts, true).Ok());
    EXPECT_EQ(Lines(*port), (ModemLines{true, true, true, true, true, true}));

    // A clean line: no errors counted.
    LineCounts counts;
    ASSERT_TRUE(port->GetLineCounts(counts).Ok());
    EXPECT_EQ(counts.Errors(), 0u);
}

TEST_F(Win32LinesTest, AChangeOfALineEndsTheWaitAsItsEventAndIsCounted) {
    const PortHandle port = Open();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->SetEventMask(kEvRxChar | kEvLines).Ok());
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 200).outcome, SerialOutcome::TimedOut);

    // RTS drops while the wait is pending: CTS follows through the plug.
    std::thread switcher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(port->SetOutputLine(OutputLine::Rts, false).Ok());
    });
    const SerialResult waited = port->WaitEvent(events, 5000);
    switcher.join();
    EXPECT_EQ(waited, SerialResult::Done(SerialStep::WaitEvent));
    EXPECT_EQ(events & kEvLines, kEvCts);
    LineCounts counts;
    ASSERT_TRUE(port->GetLineCounts(counts).Ok());
    EXPECT_EQ(counts.ctsChanges, 1u);
    EXPECT_EQ(counts.dsrChanges + counts.dcdChanges + counts.riChanges, 0u);
}

}  // namespace
}  // namespace quorvel
