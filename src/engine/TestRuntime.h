#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/PortRegistry.h"
#include "core/AutoResetEvent.h"
#include "core/TickClock.h"
#include "engine/CTestEngine.h"
#include "engine/ConsoleView.h"
#include "engine/PortCheck.h"
#include "engine/SentStream.h"
#include "engine/TestData.h"
#include "engine/ThreadExitCounter.h"
#include "engine/PortTable.h"
#include "serial/TransferWaitSet.h"

namespace quorvel {

// The runtime state of a test and the operations that move it through its
// life: Test > Start opens the chosen ports and starts one write thread and one
// receive thread per open port; Test > Stop tells them to end; close-all, once
// every thread has reported its end, closes the ports. It also carries the
// console's per-port commands (Run, Stop, Stop On, Internal LoopTest).
//
// Threads: every public operation runs on the GUI thread; the queries may be
// asked from any thread where they read an atomic. The write thread and the
// receive threads read the running flag, the handles and the run state; what
// they share with the GUI thread is atomic or guarded by the port's lock, as
// each member says.
class TestRuntime : private PortTable {
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

    // The pause after a packet, as the Delay dialog sets it (decimal text,
    // 0-9999 ms). The text is the GUI thread's; the value is read whole by any.
    void SetWriteDelay(const std::string& text);
    const std::string& WriteDelayText() const { return m_strWriteDelay; }
    int WriteDelayMs() const { return m_nWriteDelayMs.load(); }

    // Whether received bytes are checked (on unless a benchmark measures what
    // checking costs). Set before Test > Start.
    void SetDataChecking(bool on) { m_bCheckData = on; }

    // The data pattern dialog's changes, taken under the port's lock.
    void SetPattern(int port, const PortPatternSettings& pattern);
    void SetFileData(int port, std::vector<std::uint8_t> data);

    PortRecords& Records() { return m_records; }
    const PortRecords& Records() const { return m_records; }
    static bool ValidPort(int port) { return port >= 0 && port < kPortCount; }

    // What the test's state is, for the GUI thread and tests. The command
    // flags: Idle is Start and Setup enabled, Stop not.
    bool StartEnabled() const { return m_bStartEnabled; }
    // Test > Start is offered while no test is under way, and while one is,
    // as long as its console is hidden, which Start then shows again.
    bool StartCommandEnabled() const { return m_bStartEnabled || !m_console.ConsoleShown(); }
    bool StopEnabled() const { return m_bStopEnabled; }
    bool SetupEnabled() const { return m_bSetupEnabled; }
    bool IsIdle() const { return m_bStartEnabled && !m_bStopEnabled && m_bSetupEnabled; }
    // Between Test > Start and Test > Stop.
    bool TestRunning() const { return m_bTestRunning.load(); }
    int OpenPortCount() const { return m_nOpenPorts; }
    bool IsPortOpen(int port) const { return ValidPort(port) && m_bPortOpen[Index(port)]; }
    // The port's handle in the current test; null when it is not open.
    PortHandle Handle(int port) const {
        return ValidPort(port) ? m_hComPort[Index(port)] : nullptr;
    }
    // Why a port chosen at the last Test > Start did not open.
    const SerialFailure& OpenFailure(int port) const { return m_OpenFailure[Index(port)]; }
    // A port's Run is in force (its Stop, a timed stop or Test > Stop ends it).
    bool IsPortRunning(int port) const { return m_RunState[Index(port)].bRunning.load(); }
    // Run presses not yet matched by a Stop press.
    int RunningPortCount() const { return m_nRunningPorts.load(); }
    // Packets of the port's current run.
    std::int32_t PacketCount(int port) const { return m_RunState[Index(port)].nPacketCount.load(); }
    // A file pass is under way on the port: its next turn continues the file.
    bool FilePassUnderWay(int port) const { return m_FileState[Index(port)].bMoreToSend.load(); }
    // The last packet the port built, as its buffer holds it.
    TxPacket LastPacket(int port);
    // The file the port sends.
    PortFileData File(int port);
    // Some thread of a test is still to be joined (the write thread, or a
    // receive thread when `port` is given).
    bool WriteThreadStarted() const { return m_pWriteThread.joinable(); }
    bool ReadThreadStarted(int port) const { return m_RxData[Index(port)].pReadThread.joinable(); }
    std::thread::id WriteThreadId() const { return m_pWriteThread.get_id(); }
    // How often the write thread was woken by a run's first packet, and how
    // many write delays have been waited, since the runtime was made (a file
    // pass waits one, after its first piece).
    std::uint64_t WriteWakeUps() const { return m_nWriteWakeUps.load(); }
    // Bytes the port's receive thread has read since the runtime was made.
    std::uint64_t BytesReceived(int port) const { return m_nBytesReceived[Index(port)].load(); }
    // What the port has put on its line in this test, and what checking the
    // bytes it received since its Run has found.
    const SentStream& Sent(int port) const { return m_Sent[Index(port)]; }
    const PortCheck& Check(int port) const { return *m_Check[Index(port)]; }
    // Bytes the port has sent since its last Run.
    std::uint64_t BytesSentThisRun(int port) const {
        const std::uint64_t end = m_Sent[Index(port)].End();
        const std::uint64_t atRun = m_nSentAtRun[Index(port)].load();
        return end > atRun ? end - atRun : 0;
    }
    std::uint64_t WriteDelaysWaited() const { return m_nWriteDelays.load(); }

    // A port's receive thread blocks: its parameter block and receive area.
    // Written by that receive thread (or, while it does not run, by whoever
    // stands in for it), read by the receive display on the same thread.
    ReadThreadParams& ReadParams(int port) { return m_ReadParams[Index(port)]; }
    PortRxData& RxData(int port) { return m_RxData[Index(port)]; }

  private:
    friend class CTestEngine;
    friend void WriteThread(WriteThreadParams* params, TestRuntime* runtime);
    friend void ReadThread(ReadThreadParams* params, TestRuntime* runtime);
    friend bool ServePort(TestRuntime& runtime, CTestEngine& engine, int port);
    friend void RunCycles(WriteThreadParams& params, TestRuntime& runtime,
                          const std::array<std::unique_ptr<CTestEngine>, kPortCount>& engines);

    static std::size_t Index(int port) { return static_cast<std::size_t>(port); }
    // Run has handed the port's first packet to the write thread, which has
    // not taken it yet.
    bool HasHandedPacket(int port);
    // Closes the ports once every thread of the test has ended.
    void CloseAllPorts();
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

    // Command-enabling flags (GUI thread only).
    bool m_bStartEnabled = true;
    bool m_bStopEnabled = false;
    bool m_bSetupEnabled = true;
    ThreadExitCounter m_threadExits;  // GUI thread only

    // Written by the GUI thread; read by every test thread.
    std::atomic<bool> m_bTestRunning{false};
    // Run presses not yet matched by a Stop press (GUI thread writes; the send
    // operations read it).
    std::atomic<std::int32_t> m_nRunningPorts{0};

    AutoResetEvent m_hWriteEvent;       // wakes the write thread
    AutoResetEvent m_hThreadExitEvent;  // ends the write thread
    std::thread m_pWriteThread;         // started and joined by the GUI thread
    WriteThreadParams m_WriteParams;    // filled by the GUI thread before the thread starts
    std::array<ReadThreadParams, kPortCount> m_ReadParams{};
    std::array<PortRxData, kPortCount> m_RxData{};

    // Per port, guarded by m_portLock[port] where it says so in TestData.h.
    std::array<TxPacket, kPortCount> m_TxPacket{};
    std::array<PortRunState, kPortCount> m_RunState{};
    std::array<FileSendState, kPortCount> m_FileState{};
    std::array<PortFileData, kPortCount> m_File{};
    std::array<std::mutex, kPortCount> m_portLock;

    // Set by Run until the write thread has taken the run's first packet,
    // which Run builds, counts and shows on the GUI thread: the write thread
    // never builds ahead of it. The packet and its count wait for the write
    // thread here, guarded by the port's lock.
    std::array<std::atomic<bool>, kPortCount> m_bFirstPacketPending{};
    std::array<std::optional<TxPacket>, kPortCount> m_HandedPacket{};
    std::array<std::int32_t, kPortCount> m_nHandedCount{};
    // Where the write thread waits while every running port's write is under
    // way; woken by Test > Stop and by a run's first packet.
    TransferWaitSet m_writeWaits;

    // Stop On Time: when a running port's run is to end (clock ms, 0 for
    // never), written by RunPort and StopPort, read by the write thread; and
    // whether the Stop press for it has been asked of the GUI thread.
    std::array<std::atomic<std::uint64_t>, kPortCount> m_nStopAtMs{};
    std::array<std::atomic<bool>, kPortCount> m_bTimedStopPosted{};

    CTestEngine m_Engine;         // used by Start, Stop and close-all
    CTestEngine m_ConsoleEngine;  // the console's engine: Run and Stop

    // Counted by the sending threads, read by anyone.
    std::atomic<std::uint64_t> m_nWriteDelays{0};
    std::atomic<std::uint64_t> m_nWriteWakeUps{0};
    // Counted by each port's receive thread, read by anyone.
    std::array<std::atomic<std::uint64_t>, kPortCount> m_nBytesReceived{};

    // Verified data: what each port sent (the write thread appends, the
    // receive threads read) and each receiving port's check (its receive
    // thread checks, Run starts it afresh, anyone reads what it found).
    std::array<SentStream, kPortCount> m_Sent;
    std::array<std::unique_ptr<PortCheck>, kPortCount> m_Check;
    std::array<std::atomic<std::uint64_t>, kPortCount> m_nSentAtRun{};  // set by Run (GUI thread)
    std::atomic<bool> m_bCheckData{true};  // set before a test, read by the receive threads

    std::string m_strWriteDelay;           // GUI thread
    std::atomic<int> m_nWriteDelayMs{10};  // read by every sending thread
    std::mutex m_delayMutex;               // with m_delayEnds: a delay that ends at Stop
    std::condition_variable m_delayEnds;
};

// The thread procedures.
void WriteThread(WriteThreadParams* params, TestRuntime* runtime);
void ReadThread(ReadThreadParams* params, TestRuntime* runtime);

}  // namespace quorvel
