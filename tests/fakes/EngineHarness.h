#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "engine/TestRuntime.h"
#include "fakes/FakeConsole.h"
#include "fakes/ManualClock.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel::testing {

// A test runtime as the program drives it: the test's own thread plays the GUI
// thread, a recording console stands for the test console, and messages are
// recorded. Thread-exit notifications are counted on the GUI thread and the
// last one of a test runs close-all, as the main window does.
//
// Every port starts unchosen at 921600 bit/s (packets take well under a
// millisecond) with no write delay. A test that is still running when the
// harness goes is stopped and its ports closed first.
class EngineHarness {
  public:
    EngineHarness() {
        for (auto& record : m_records.m_PortRegistry) {
            record.nBaud = 13;
            record.nPortOpen = 0;
        }
        m_gui.onThreadExit = [this] {
            if (m_runtime.OnThreadExit()) {
                m_exitsAtCloseAll = m_gui.exitNotifications;
                ++m_closeAlls;
            }
        };
        m_runtime.SetWriteDelay("0");
    }

    ~EngineHarness() {
        if (m_runtime.TestRunning()) {
            StopTest();
        }
        m_gui.Close();  // the runtime's end must not wait for a GUI loop that no longer turns
    }

    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    // The ports Test > Start opens.
    void Choose(std::initializer_list<int> ports) {
        for (int port : ports) {
            m_records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen = 1;
        }
    }

    // The pattern the port sends: the first of Alphabets, Quick Brown and the
    // user's `text` that is set, else the port's file.
    void SetPattern(int port, int alpha, int quick, int user, std::string text = {}) {
        PortPatternSettings pattern = m_records.m_PortPattern[static_cast<std::size_t>(port)];
        pattern.nAlpha = alpha;
        pattern.nQuickBrown = quick;
        pattern.nUserData = user;
        pattern.nFile = 0;
        pattern.strUserData = std::move(text);
        m_runtime.SetPattern(port, pattern);
    }

    // Test > Start, and whether every chosen port opened: a test that needs
    // its ports asserts this before it goes on.
    ::testing::AssertionResult StartTest() {
        m_runtime.OnTestStart();
        for (int port = 0; port < 8; ++port) {
            if (m_records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen != 0 &&
                !m_runtime.IsPortOpen(port)) {
                auto failure = ::testing::AssertionFailure()
                               << "Port" << port + 1 << " did not open";
                for (const auto& message : m_messages.Messages()) {
                    failure << "; " << message.text;
                }
                return failure;
            }
        }
        return ::testing::AssertionSuccess();
    }

    // Runs the GUI loop until the port's transmit box shows `packets` packets.
    bool WaitSent(int port, std::size_t packets) {
        return m_gui.RunUntil(
            [&] { return m_console.Snapshot(port).transmitted.size() >= packets; });
    }

    // Whether Start, Stop and Setup are enabled as while a test runs, and as
    // in Idle.
    ::testing::AssertionResult CommandsOfATest() const { return Commands(false, true, false); }
    ::testing::AssertionResult CommandsOfIdle() const { return Commands(true, false, true); }

    // Whether the program is Idle as if no Start had been chosen: the
    // commands as before, no console placed, no thread started.
    ::testing::AssertionResult NothingStarted() {
        if (::testing::AssertionResult idle = CommandsOfIdle(); !idle) {
            return idle;
        }
        if (m_gui.placements != 0 || m_gui.Console() != nullptr) {
            return ::testing::AssertionFailure() << "a console was shown";
        }
        if (m_runtime.WriteThreadStarted()) {
            return ::testing::AssertionFailure() << "the write thread was started";
        }
        return ::testing::AssertionSuccess();
    }

    // Test > Stop, then the GUI loop until close-all has run.
    bool StopTest() {
        m_runtime.OnTestStop();
        return m_gui.RunUntil([&] { return m_runtime.StartEnabled(); });
    }

    RecordingMessageSink m_messages;
    PortRecords m_records = DefaultPortRecords();
    RecordingConsole m_console;
    FakeGui m_gui{m_console};
    ManualClock m_clock;
    int m_closeAlls = 0;
    int m_exitsAtCloseAll = 0;  // the exit notifications seen when close-all last ran
    TestRuntime m_runtime{m_records, m_gui, m_gui, m_clock};

  private:
    ::testing::AssertionResult Commands(bool start, bool stop, bool setup) const {
        if (m_runtime.StartEnabled() == start && m_runtime.StopEnabled() == stop &&
            m_runtime.SetupEnabled() == setup) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "Start, Stop and Setup enabled: " << m_runtime.StartEnabled() << " "
               << m_runtime.StopEnabled() << " " << m_runtime.SetupEnabled();
    }
};

}  // namespace quorvel::testing
