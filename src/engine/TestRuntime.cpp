#include "engine/TestRuntime.h"

#include <chrono>

#include "core/DecimalText.h"
#include "core/MessageSink.h"
#include "serial/DriverRequests.h"

namespace quorvel {

std::atomic<ConsoleView*> g_pTestDialog{nullptr};

namespace {

constexpr int kMaxWriteDelayMs = 9999;

void ShowError(const std::string& text, const char* caption) {
    ShowMessage(text, caption, mb::kOk | mb::kIconExclamation);
}

}  // namespace

TestRuntime::TestRuntime(PortRecords& records, ConsoleHost& console, ThreadExitSink& mainWindow,
                         const TickClock& clock)
    : m_records(records),
      m_console(console),
      m_mainWindow(mainWindow),
      m_clock(clock),
      m_Engine(*this),
      m_ConsoleEngine(*this),
      m_strWriteDelay("10") {
    DataChecker::Streams streams{};
    for (std::size_t i = 0; i < kPortCount; ++i) {
        streams[i] = &m_Sent[i];
    }
    for (auto& check : m_Check) {
        check = std::make_unique<PortCheck>(streams);
    }
}

TestRuntime::~TestRuntime() {
    // A runtime that goes while a test runs (the program is torn down) ends
    // the test's threads before the state they use goes with it.
    if (m_bTestRunning) {
        OnTestStop();
    }
    JoinThreads();
    for (std::size_t i = 0; i < kPortCount; ++i) {
        if (m_hComPort[i]) {
            static_cast<void>(m_hComPort[i]->Close());  // the program is going: nobody to tell
        }
    }
}

void TestRuntime::OnTestStart() {
    if (!m_bStartEnabled) {
        // A test runs or stops and the operator has hidden its console: it
        // comes back as it was, placed where a start puts it.
        if (m_console.CreateOrFocusConsole()) {
            m_console.PlaceConsole();
        }
        return;
    }
    m_hThreadExitEvent.Reset();
    m_nOpenPorts = 0;
    OpenAllPorts(*this, m_records);
    if (!m_bAnyPortOpen) {
        ShowError("Unable to open any communication port", "ERROR");
        ReturnToIdle();
        return;
    }
    m_bStartEnabled = false;
    m_bStopEnabled = true;
    m_bSetupEnabled = false;

    if (!m_console.CreateOrFocusConsole()) {
        // No thread runs to report an end, so the start undoes itself: the
        // ports it opened are closed and the commands return to Idle.
        ShowError("Unable to create the Serial Communication Test Dialog", "Error");
        CloseAllPorts();
        return;
    }

    // A run left over from a test whose console went away must not carry on,
    // and nothing sent in an earlier test is looked for in this one.
    for (std::size_t i = 0; i < kPortCount; ++i) {
        m_Sent[i].Reset();
        m_nSentAtRun[i] = 0;
        m_Check[i]->StartAfresh(false);
        m_RunState[i].bRunning = false;
        m_FileState[i].bMoreToSend = false;
        m_bFirstPacketPending[i] = false;
        m_HandedPacket[i].reset();
        m_nStopAtMs[i] = 0;
    }
    m_bTestRunning = true;
    m_nRunningPorts = 0;
    m_WriteParams.hPorts = m_hComPort;
    m_hWriteEvent.Reset();
    m_WriteParams.nPorts = kPortCount;
    m_WriteParams.pbTestRunning = &m_bTestRunning;
    m_WriteParams.hMainWnd = &m_mainWindow;
    m_WriteParams.hWriteEvent = &m_hWriteEvent;
    m_WriteParams.hThreadExitEvent = &m_hThreadExitEvent;
    m_pWriteThread = std::thread(WriteThread, &m_WriteParams, this);

    for (std::size_t i = 0; i < kPortCount; ++i) {
        if (!m_bPortOpen[i]) {
            continue;
        }
        ReadThreadParams& params = m_ReadParams[i];
        params.hPort = m_hComPort[i];
        params.pbTestRunning = &m_bTestRunning;
        params.nPort = static_cast<std::int32_t>(i);
        params.hMainWnd = &m_mainWindow;
        params.pnRxCount = &m_RxData[i].nRxCount;
        params.pRxData = m_RxData[i].szRxText.data();
        m_RxData[i].pReadThread = std::thread(ReadThread, &params, this);
    }
    m_console.PlaceConsole();
    m_Engine.EnableRunButtons();
}

void TestRuntime::OnTestStop() {
    m_bTestRunning = false;
    {
        std::lock_guard lock(m_delayMutex);  // a write delay under way sees the flag
    }
    m_delayEnds.notify_all();
    m_hThreadExitEvent.Set();
    m_writeWaits.Wake();  // writes under way are cancelled at once
    for (std::size_t i = 0; i < kPortCount; ++i) {
        if (!m_bPortOpen[i]) {
            continue;
        }
        if (g_pTestDialog.load() != nullptr) {
            m_Engine.StopPort(static_cast<int>(i));
        }
        // Releases the receive thread's wait; a port that cannot take it is
        // gone, and its thread's wait has failed already.
        static_cast<void>(m_hComPort[i]->SetEventMask(0));
    }
    for (auto& file : m_FileState) {
        file.bMoreToSend = false;
    }
}

bool TestRuntime::OnThreadExit() {
    if (!m_threadExits.Count(m_nOpenPorts)) {
        return false;
    }
    CloseAllPorts();
    return true;
}

void TestRuntime::CloseAllPorts() {
    ReturnToIdle();
    JoinThreads();  // every thread has reported its end; none uses a handle now
    for (std::size_t i = 0; i < kPortCount; ++i) {
        if (!m_bPortOpen[i]) {
            continue;
        }
        m_bPortOpen[i] = false;
        // Neither result is examined: the port is given up either way.
        static_cast<void>(m_hComPort[i]->Purge(purge::kAll));
        static_cast<void>(m_hComPort[i]->Close());
        m_hComPort[i] = nullptr;
    }
    m_WriteParams.hPorts = {};
    m_Engine.DisableRunButtons();
}

void TestRuntime::ReturnToIdle() {
    m_bStartEnabled = true;
    m_bStopEnabled = false;
    m_bSetupEnabled = true;
}

void TestRuntime::JoinThreads() {
    if (m_pWriteThread.joinable()) {
        m_pWriteThread.join();
    }
    for (auto& rx : m_RxData) {
        if (rx.pReadThread.joinable()) {
            rx.pReadThread.join();
        }
    }
    for (auto& params : m_ReadParams) {
        params.hPort = nullptr;
    }
}

void TestRuntime::OnRunPort(int port) {
    if (!ValidPort(port)) {
        ShowError("DEFAULT", "Error");
        return;
    }
    const auto i = static_cast<std::size_t>(port);
    if (!m_bPortOpen[i]) {
        return;
    }
    if (ConsoleView* console = g_pTestDialog.load()) {
        console->SetErrorCountText(port, "0");
    }
    ++m_nRunningPorts;
    m_nSentAtRun[i] = m_Sent[i].End();
    m_bFirstPacketPending[i] = true;
    m_RunState[i].bRunning = true;
    m_ConsoleEngine.RunPort(port);
}

void TestRuntime::OnStopPort(int port) {
    --m_nRunningPorts;
    m_ConsoleEngine.StopPort(port);
}

void TestRuntime::EnableStopTime(int port) {
    if (ConsoleView* console = g_pTestDialog.load(); console && ValidPort(port)) {
        console->SetStopTimeBoxesEnabled(port, true);
    }
}

void TestRuntime::DisableStopTime(int port) {
    if (ConsoleView* console = g_pTestDialog.load(); console && ValidPort(port)) {
        console->SetStopTimeBoxesEnabled(port, false);
    }
}

void TestRuntime::OnLoopTest(int port, bool checked) {
    if (!ValidPort(port)) {
        ShowError("DEFAULT", "Error");
        return;
    }
    const auto i = static_cast<std::size_t>(port);
    m_records.m_PortTest[i].nLoopTest = checked ? 1 : 0;
    const LoopbackRequest request = BuildLoopbackRequest(port, checked);
    const PortHandle& handle = m_hComPort[i];
    if (!handle ||
        !handle->DriverRequest(kIoctlLoopback, request.bytes.data(), request.bytes.size()).Ok()) {
        ShowError("Unable to set/reset Local LoopBack on port " + std::to_string(port), "Error");
    }
}

void TestRuntime::SetWriteDelay(const std::string& text) {
    m_strWriteDelay = text;
    m_nWriteDelayMs = LeadingDigitsToInt(text, kMaxWriteDelayMs);
}

void TestRuntime::SetPattern(int port, const PortPatternSettings& pattern) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_portLock[static_cast<std::size_t>(port)]);
    m_records.m_PortPattern[static_cast<std::size_t>(port)] = pattern;
}

void TestRuntime::SetFileData(int port, std::vector<std::uint8_t> data) {
    if (!ValidPort(port)) {
        return;
    }
    if (data.size() > kMaxFileData) {
        data.resize(kMaxFileData);
    }
    std::lock_guard lock(m_portLock[static_cast<std::size_t>(port)]);
    PortFileData& file = m_File[static_cast<std::size_t>(port)];
    file.nFileLength = static_cast<std::int32_t>(data.size());
    file.FileData = std::move(data);
}

bool TestRuntime::HasHandedPacket(int port) {
    std::lock_guard lock(m_portLock[Index(port)]);
    return m_HandedPacket[Index(port)].has_value();
}

TxPacket TestRuntime::LastPacket(int port) {
    std::lock_guard lock(m_portLock[Index(port)]);
    return m_TxPacket[Index(port)];
}

PortFileData TestRuntime::File(int port) {
    std::lock_guard lock(m_portLock[Index(port)]);
    return m_File[Index(port)];
}

void TestRuntime::WaitWriteDelay() {
    ++m_nWriteDelays;
    const int delay = m_nWriteDelayMs.load();
    if (delay <= 0) {
        return;
    }
    std::unique_lock lock(m_delayMutex);
    m_delayEnds.wait_for(lock, std::chrono::milliseconds(delay),
                         [this] { return !m_bTestRunning.load(); });
}

bool TestRuntime::StopTimeReached(int port) const {
    const std::uint64_t stopAt = m_nStopAtMs[static_cast<std::size_t>(port)].load();
    return stopAt != 0 && m_clock.NowMs() >= stopAt;
}

}  // namespace quorvel
