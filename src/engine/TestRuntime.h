#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "config/PortRegistry.h"
#include "core/TickClock.h"
#include "engine/CTestEngine.h"
#include "engine/ConsoleView.h"
#include "engine/TestParts.h"
#include "engine/ThreadExitCounter.h"

namespace quorvel {

// A test's life: Test > Start opens the chosen ports and starts one write
// thread and one receive thread per open port; Test > Stop tells them to end;
// close-all, once every thread has reported its end, closes the ports. It
// also takes the console's per-port commands (Run, Stop, Stop On, Internal
// LoopTest) to the engine's operations, and answers what the GUI, the
// unattended runs and the tests ask of a test.
//
// Threads: every operation runs on the GUI thread; the queries may be asked
// from any thread where they read an atomic (see the parts they ask).
class TestRuntime {
  public:
    TestRuntime(PortRecords& records, ConsoleHost& console, ThreadExitSink& mainWindow,
                const TickClock& clock = SteadyTickClock::Instance());
    ~TestRuntime();
    TestRuntime(const TestRuntime&) = delete;
    TestRuntime& operator=(const TestRuntime&) = delete;

    // Test > Start. While a test is under way it only brings the console back.
    void OnTestStart();
    void OnTestStop();
    // A test thread has ended (the main window's WM_USER+1, counted on the GUI
    // thread): the (open ports + 1)-th notification of a test runs close-all.
    // True when it did.
    bool OnThreadExit();
    // Exit notifications counted towards the current test's close-all.
    int ThreadExitsCounted() const { return m_threadExits.m_nThreadsExited; }

    // The console's per-port commands; `port` is 0-7.
    void OnRunPort(int port);
    void OnStopPort(int port);
    void EnableStopTime(int port);
    void DisableStopTime(int port);
    void OnLoopTest(int port, bool checked);
    // The operator clicks the port's DTR or RTS indicator: the line is
    // raised (`on`) or dropped.
    void OnSetOutputLine(int port, OutputLine line, bool on);

    // The port's receive thread reads nothing from `startInMs` from now for
    // `lengthMs`, as a program that stops reading (Test > Stop ends it). Set
    // while the test runs.
    void HoldReceive(int port, std::uint32_t startInMs, std::uint32_t lengthMs);
    // A hold of the port's reading has run (any thread).
    bool ReceiveHeld(int port) const { return ValidPort(port) && m_parts.holds[port].Held(); }

    // The pause after a packet, as the Delay dialog sets it (decimal text,
    // 0-9999 ms).
    void SetWriteDelay(const std::string& text) { m_parts.delay.Set(text); }
    const std::string& WriteDelayText() const { return m_parts.delay.Text(); }
    int WriteDelayMs() const { return m_parts.delay.Ms(); }

    // Whether received bytes are checked (on unless a benchmark measures what
    // checking costs). Set before Test > Start.
    void SetDataChecking(bool on) { m_parts.checkData = on; }

    // How many bytes each run of `port` sends from now on (0: no limit), as
    // an unattended run's --bytes asks; the port's last packet is cut to fit.
    void LimitRunsTo(int port, std::uint64_t bytes) {
        if (ValidPort(port)) {
            m_parts.senders[port].LimitRunsTo(bytes);
        }
    }

    // The data pattern dialog's changes, taken under the port's lock.
    void SetPattern(int port, const PortPatternSettings& pattern);
    void SetFileData(int port, std::vector<std::uint8_t> data);

    PortRecords& Records() { return m_parts.records; }
    const PortRecords& Records() const { return m_parts.records; }

    // What the test's state is, for the GUI thread and tests. The command
    // flags: Idle is Start and Setup enabled, Stop not.
    bool StartEnabled() const { return m_bStartEnabled; }
    // Test > Start is offered while no test is under way, and while one is,
    // as long as its console is hidden, which Start then shows again.
    bool StartCommandEnabled() const { return m_bStartEnabled || !m_parts.host.ConsoleShown(); }
    bool StopEnabled() const { return m_bStopEnabled; }
    bool SetupEnabled() const { return m_bSetupEnabled; }
    bool IsIdle() const { return m_bStartEnabled && !m_bStopEnabled && m_bSetupEnabled; }
    // Between Test > Start and Test > Stop.
    bool TestRunning() const { return m_parts.testRunning.load(); }
    int OpenPortCount() const { return m_parts.ports.m_nOpenPorts; }
    bool IsPortOpen(int port) const { return ValidPort(port) && m_parts.ports.m_bPortOpen[port]; }
    // The port's handle in the current test; null when it is not open.
    PortHandle Handle(int port) const { return ValidPort(port) ? m_parts.Handle(port) : nullptr; }
    // Why a port chosen at the last Test > Start did not open.
    const SerialFailure& OpenFailure(int port) const { return m_parts.ports.m_OpenFailure[port]; }

    // A port's sending and receiving (any thread; see PortSender and PortReceiver).
    const PortSender& Sender(int port) const { return m_parts.senders[port]; }
    PortSender& Sender(int port) { return m_parts.senders[port]; }
    const PortReceiver& Receiver(int port) const { return m_parts.receivers[port]; }
    bool IsPortRunning(int port) const { return Sender(port).IsRunning(); }
    std::int32_t PacketCount(int port) const { return Sender(port).PacketCount(); }
    bool FilePassUnderWay(int port) const { return Sender(port).FilePassUnderWay(); }
    TxPacket LastPacket(int port) { return Sender(port).LastPacket(); }
    PortFileData File(int port) { return Sender(port).File(); }
    const SentStream& Sent(int port) const { return Sender(port).Sent(); }
    std::uint64_t BytesSentThisRun(int port) const { return Sender(port).BytesSentThisRun(); }
    std::uint64_t BytesReceived(int port) const { return Receiver(port).BytesReceived(); }
    const PortCheck& Check(int port) const { return Receiver(port).Check(); }
    // The port's modem lines and UART counts (any thread).
    const PortLines& Lines(int port) const { return m_parts.lines[port]; }
    // Runs in force.
    int RunningPortCount() const { return m_parts.runningPorts.load(); }

    // Some thread of a test is still to be joined (the write thread, or a
    // receive thread when `port` is given).
    bool WriteThreadStarted() const { return m_pWriteThread.joinable(); }
    bool ReadThreadStarted(int port) const { return Receiver(port).ThreadStarted(); }
    std::thread::id WriteThreadId() const { return m_pWriteThread.get_id(); }
    // How often the write thread was woken by a run's first packet, and how
    // many write delays have been waited, since the runtime was made (a file
    // pass waits one, after its first piece).
    std::uint64_t WriteWakeUps() const { return m_parts.write.wakeUps.load(); }
    std::uint64_t WriteDelaysWaited() const { return m_parts.delay.Waited(); }

    // The per-port operations the console's buttons use (Run, Stop).
    CTestEngine& ConsoleEngine() { return m_ConsoleEngine; }

  private:
    void StartThreads();
    // Closes the ports once every thread of the test has ended.
    void CloseAllPorts();
    void ReturnToIdle();
    void JoinThreads();

    TestParts m_parts;

    // Command-enabling flags (GUI thread only).
    bool m_bStartEnabled = true;
    bool m_bStopEnabled = false;
    bool m_bSetupEnabled = true;
    ThreadExitCounter m_threadExits;  // GUI thread only

    std::thread m_pWriteThread;       // started and joined by the GUI thread
    WriteThreadParams m_WriteParams;  // filled by the GUI thread before the thread starts

    CTestEngine m_Engine;         // used by Start, Stop and close-all
    CTestEngine m_ConsoleEngine;  // the console's engine: Run and Stop
};

}  // namespace quorvel
