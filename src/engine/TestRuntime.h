#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/PortRegistry.h"
#include "core/AutoResetEvent.h"
#include "core/TickClock.h"
#include "engine/CTestEngine.h"
#include "engine/ConsoleView.h"
#include "engine/TestData.h"
#include "serial/PortTable.h"

namespace quorvel {

// The runtime state of a test and the operations that move it through its
// life: Test > Start opens the chosen ports and starts one write thread and one
// receive thread per open port; Test > Stop tells them to end; close-all, once
// every thread has reported its end, closes the ports. It also carries the
// console's per-port commands (Run, Stop, Stop On, Internal LoopTest).
//
// Threads: every public operation runs on the GUI thread. The write thread
// and the receive threads read the running flag, the handles and the run
// state; what they share with the GUI thread is atomic or guarded by the
// port's lock, as each member says.
class TestRuntime : public PortTable {
  public:
    TestRuntime(PortRecords& records, ConsoleHost& console, ThreadExitSink& mainWindow,
                const TickClock& clock = SteadyTickClock::Instance());
    ~TestRuntime();
    TestRuntime(const TestRuntime&) = delete;
    TestRuntime& operator=(const TestRuntime&) = delete;

    void OnTestStart();
    void OnTestStop();
    void CloseAllPorts();

    // The console's per-port commands; `port` is 0-7.
    void OnRunPort(int port);
    void OnStopPort(int port);
    void EnableStopTime(int port);
    void DisableStopTime(int port);
    void OnLoopTest(int port, bool checked);

    // The pause after a packet, as the Delay dialog sets it (decimal text,
    // 0-9999 ms). The text is the GUI thread's; the value is read whole by any.
    void SetWriteDelay(const std::string& text);
    const std::string& WriteDelayText() const { return m_strWriteDelay; }
    int WriteDelayMs() const { return m_nWriteDelayMs.load(); }

    // The data pattern dialog's changes, taken under the port's lock.
    void SetPattern(int port, const PortPatternSettings& pattern);
    void SetFileData(int port, std::vector<std::uint8_t> data);

    PortRecords& Records() { return m_records; }
    static bool ValidPort(int port) { return port >= 0 && port < kPortCount; }

    // Command-enabling flags (GUI thread only).
    bool m_bStartEnabled = true;
    bool m_bStopEnabled = false;
    bool m_bSetupEnabled = true;

    // Written by the GUI thread; read by every test thread.
    std::atomic<bool> m_bTestRunning{false};
    // Run presses not yet matched by a Stop press (GUI thread writes; the send
    // operations read it).
    std::atomic<std::int32_t> m_nRunningPorts{0};

    AutoResetEvent m_hWriteEvent;       // wakes the write thread
    AutoResetEvent m_hThreadExitEvent;  // ends the write thread
    std::thread m_pWriteThread;         // joined at close-all
    WriteThreadParams m_WriteParams;
    std::array<ReadThreadParams, kPortCount> m_ReadParams{};
    std::array<PortRxData, kPortCount> m_RxData{};

    // Per port, guarded by m_portLock[port] where it says so in TestData.h.
    std::array<TxPacket, kPortCount> m_TxPacket{};
    std::array<PortRunState, kPortCount> m_RunState{};
    std::array<FileSendState, kPortCount> m_FileState{};
    std::array<PortFileData, kPortCount> m_File{};
    std::array<std::mutex, kPortCount> m_portLock;

    // Set by Run until the port's first packet is built on the GUI thread, so
    // the write thread never sends a run's packets out of order.
    std::array<std::atomic<bool>, kPortCount> m_bFirstPacketPending{};

    // Stop On Time: when a running port's run is to end (clock ms, 0 for
    // never), written by RunPort and StopPort, read by the write thread; and
    // whether the Stop press for it has been asked of the GUI thread.
    std::array<std::atomic<std::uint64_t>, kPortCount> m_nStopAtMs{};
    std::array<std::atomic<bool>, kPortCount> m_bTimedStopPosted{};

    CTestEngine m_Engine;  // used by Start, Stop and close-all

    // How many write delays have been waited since the runtime was made (for
    // diagnostics and tests: a file pass waits one, after its first piece).
    std::atomic<std::uint64_t> m_nWriteDelays{0};

  private:
    friend class CTestEngine;
    friend void WriteThread(WriteThreadParams* params, TestRuntime* runtime);

    // The write delay after a packet; ends early when the test stops.
    void WaitWriteDelay();
    // True once a running port's timed run is over (write thread).
    bool StopTimeReached(int port) const;
    void ReturnToIdle();
    void JoinThreads();

    PortRecords& m_records;
    ConsoleHost& m_console;
    ThreadExitSink& m_mainWindow;
    const TickClock& m_clock;
    CTestEngine m_ConsoleEngine;  // the console's engine: Run and Stop

    std::string m_strWriteDelay;           // GUI thread
    std::atomic<int> m_nWriteDelayMs{10};  // read by every sending thread
    std::mutex m_delayMutex;               // with m_delayEnds: a delay that ends at Stop
    std::condition_variable m_delayEnds;
};

// The thread procedures.
void WriteThread(WriteThreadParams* params, TestRuntime* runtime);
void ReadThread(ReadThreadParams* params, TestRuntime* runtime);

}  // namespace quorvel
