#include "engine/TestRuntime.h"

#include <algorithm>

#include "config/PortOpenSettings.h"
#include "core/MessageSink.h"
#include "engine/LineControl.h"
#include "serial/DriverRequests.h"
#include "serial/LineSettings.h"

namespace quorvel {

void ReadThread(ReadThreadParams params, TestParts* parts);
void WriteThread(WriteThreadParams* params, TestParts* parts);

namespace {

void ShowError(const std::string& text, const char* caption) {
    ShowMessage(text, caption, mb::kOk | mb::kIconExclamation);
}

// The bits of a character the port's line carries: 5 to 8.
unsigned DataBitsOf(const PortRegistry& record) {
    return 5 + static_cast<unsigned>(std::clamp(record.nDataBits, 0, 3));
}

// How long after its write a byte of the port may still arrive: the line
// time of a full transmit queue and a packet waiting to join it, and a second
// for the threads and the card on the way.
std::uint64_t TailMsOf(const PortRegistry& record) {
    constexpr double kQueuedBytes = 4096 + kMaxPacket;
    constexpr std::uint64_t kSpareMs = 1000;
    const double rate = LineCharactersPerSecond(record);
    const double lineMs = rate > 0 ? kQueuedBytes * 1000.0 / rate : 0.0;
    return static_cast<std::uint64_t>(lineMs) + kSpareMs;
}

}  // namespace

TestRuntime::TestRuntime(PortRecords& records, ConsoleHost& console, ThreadExitSink& mainWindow,
                         const TickClock& clock)
    : m_parts(records, console, mainWindow, clock), m_Engine(m_parts), m_ConsoleEngine(m_parts) {}

TestRuntime::~TestRuntime() {
    // A runtime that goes while a test runs (the program is torn down) ends
    // the test's threads before the state they use goes with it.
    if (m_parts.testRunning) {
        OnTestStop();
    }
    JoinThreads();
    for (const PortHandle& handle : m_parts.ports.m_hComPort) {
        if (handle) {
            static_cast<void>(handle->Close());  // the program is going: nobody to tell
        }
    }
}

void TestRuntime::OnTestStart() {
    if (!m_bStartEnabled) {
        // A test runs or stops and the operator has hidden its console: it
        // comes back as it was, placed where a start puts it.
        if (m_parts.host.CreateOrFocusConsole()) {
            m_parts.host.PlaceConsole();
        }
        return;
    }
    m_parts.write.m_hThreadExitEvent.Reset();
    m_parts.ports.m_nOpenPorts = 0;
    OpenAllPorts(m_parts.ports, m_parts.records);
    if (!m_parts.ports.m_bAnyPortOpen) {
        ShowError("Unable to open any communication port", "ERROR");
        ReturnToIdle();
        return;
    }
    m_bStartEnabled = false;
    m_bStopEnabled = true;
    m_bSetupEnabled = false;

    if (!m_parts.host.CreateOrFocusConsole()) {
        // No thread runs to report an end, so the start undoes itself: the
        // ports it opened are closed and the commands return to Idle.
        ShowError("Unable to create the Serial Communication Test Dialog", "Error");
        CloseAllPorts();
        return;
    }

    // A run left over from a test whose console went away must not carry on,
    // and nothing sent in an earlier test is looked for in this one.
    for (int port = 0; port < kPortCount; ++port) {
        const PortRegistry& record = m_parts.records.m_PortRegistry[static_cast<std::size_t>(port)];
        const unsigned dataBits = DataBitsOf(record);
        m_parts.senders[port].StartTest(dataBits, TailMsOf(record), m_parts.checkData.load());
        m_parts.receivers[port].Check().StartTest(dataBits);
    }
    m_parts.testRunning = true;
    m_parts.runningPorts = 0;
    StartLines(m_parts);
    StartThreads();
    m_parts.host.PlaceConsole();
    m_Engine.EnableRunButtons();
}

void TestRuntime::StartThreads() {
    m_WriteParams.hPorts = m_parts.ports.m_hComPort;
    m_parts.write.m_hWriteEvent.Reset();
    m_WriteParams.nPorts = kPortCount;
    m_WriteParams.pbTestRunning = &m_parts.testRunning;
    m_WriteParams.hMainWnd = &m_parts.mainWindow;
    m_WriteParams.hWriteEvent = &m_parts.write.m_hWriteEvent;
    m_WriteParams.hThreadExitEvent = &m_parts.write.m_hThreadExitEvent;
    m_pWriteThread = std::thread(WriteThread, &m_WriteParams, &m_parts);

    for (int port = 0; port < kPortCount; ++port) {
        if (!m_parts.ports.m_bPortOpen[port]) {
            continue;
        }
        const ReadThreadParams params{m_parts.Handle(port), &m_parts.testRunning,
                                      &m_parts.mainWindow, port};
        m_parts.receivers[port].StartThread(std::thread(ReadThread, params, &m_parts));
    }
}

void TestRuntime::OnTestStop() {
    m_parts.testRunning = false;
    m_parts.delay.EndWaits();
    for (ReceiveHold& hold : m_parts.holds) {
        hold.Release();
    }
    m_parts.write.m_hThreadExitEvent.Set();
    m_parts.write.writeWaits.Wake();  // writes under way are cancelled at once
    for (int port = 0; port < kPortCount; ++port) {
        if (!m_parts.ports.m_bPortOpen[port]) {
            continue;
        }
        m_Engine.StopPort(port, StopCause::TestStop);
        // Releases the receive thread's wait; a port that cannot take it is
        // gone, and its thread's wait has failed already.
        static_cast<void>(m_parts.Handle(port)->SetEventMask(0));
    }
    for (PortSender& sender : m_parts.senders) {
        sender.EndFilePass();
    }
}

bool TestRuntime::OnThreadExit() {
    if (!m_threadExits.Count(m_parts.ports.m_nOpenPorts)) {
        return false;
    }
    CloseAllPorts();
    return true;
}

void TestRuntime::CloseAllPorts() {
    ReturnToIdle();
    JoinThreads();  // every thread has reported its end; none uses a handle now
    PortTable& ports = m_parts.ports;
    for (int port = 0; port < kPortCount; ++port) {
        if (!ports.m_bPortOpen[port]) {
            continue;
        }
        ports.m_bPortOpen[port] = false;
        // Neither result is examined: the port is given up either way.
        static_cast<void>(ports.m_hComPort[port]->Purge(purge::kAll));
        static_cast<void>(ports.m_hComPort[port]->Close());
        ports.m_hComPort[port] = nullptr;
    }
    m_WriteParams.hPorts = {};
    m_Engine.DisableRunButtons();
    EndLines(m_parts);
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
    for (PortReceiver& receiver : m_parts.receivers) {
        receiver.JoinThread();
    }
}

void TestRuntime::OnRunPort(int port) {
    if (!ValidPort(port)) {
        ShowError("DEFAULT", "Error");
        return;
    }
    if (!m_parts.ports.m_bPortOpen[port]) {
        // Nothing runs; the panel says why instead of leaving the operator
        // with a Run that does nothing.
        if (ConsoleView* console = m_parts.Console()) {
            console->ShowNotOpen(port);
        }
        return;
    }
    ++m_parts.runningPorts;
    m_ConsoleEngine.RunPort(port);
}

void TestRuntime::OnStopPort(int port) {
    m_ConsoleEngine.StopPort(port, StopCause::Button);
}

void TestRuntime::EnableStopTime(int port) {
    if (ConsoleView* console = m_parts.Console(); console && ValidPort(port)) {
        console->SetStopTimeBoxesEnabled(port, true);
    }
}

void TestRuntime::DisableStopTime(int port) {
    if (ConsoleView* console = m_parts.Console(); console && ValidPort(port)) {
        console->SetStopTimeBoxesEnabled(port, false);
    }
}

void TestRuntime::OnLoopTest(int port, bool checked) {
    if (!ValidPort(port)) {
        ShowError("DEFAULT", "Error");
        return;
    }
    m_parts.records.m_PortTest[port].nLoopTest = checked ? 1 : 0;
    const LoopbackRequest request = BuildLoopbackRequest(port, checked);
    const PortHandle& handle = m_parts.Handle(port);
    if (!handle ||
        !handle->DriverRequest(kIoctlLoopback, request.bytes.data(), request.bytes.size()).Ok()) {
        ShowError("Unable to set/reset Local LoopBack on port " + std::to_string(port), "Error");
    }
}

void TestRuntime::OnSetOutputLine(int port, OutputLine line, bool on) {
    SwitchOutputLine(m_parts, port, line, on);
}

void TestRuntime::HoldReceive(int port, std::uint32_t startInMs, std::uint32_t lengthMs) {
    if (ValidPort(port) && m_parts.testRunning) {
        m_parts.holds[port].Schedule(startInMs, lengthMs);
        // A receive thread waiting for characters learns of it now.
        if (const PortHandle& handle = m_parts.Handle(port)) {
            static_cast<void>(handle->SetEventMask(kEvRxChar | kEvLines));
        }
    }
}

void TestRuntime::SetPattern(int port, const PortPatternSettings& pattern) {
    if (ValidPort(port)) {
        m_parts.senders[port].SetPattern(pattern);
    }
}

void TestRuntime::SetFileData(int port, std::vector<std::uint8_t> data) {
    if (ValidPort(port)) {
        m_parts.senders[port].SetFileData(std::move(data));
    }
}

}  // namespace quorvel
