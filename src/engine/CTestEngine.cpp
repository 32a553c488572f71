#include "engine/CTestEngine.h"

#include <algorithm>
#include <cstring>

#include "core/DecimalText.h"
#include "core/MessageSink.h"
#include "engine/PacketBuilder.h"
#include "engine/TestRuntime.h"

namespace quorvel {
namespace {

constexpr std::int32_t kMaxStopHours = 9'999'999;

void ShowDefault() {
    ShowMessage("DEFAULT", "Error", mb::kOk | mb::kIconExclamation);
}

}  // namespace

CTestEngine::CTestEngine(TestRuntime& runtime, bool writeThread)
    : m_runtime(runtime), m_bWriteThread(writeThread) {
    for (TransferFailureReport& failures : m_failures) {
        failures.ShowRepeatsOnce(true);
    }
}

void CTestEngine::SendPacket(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    TestRuntime& rt = m_runtime;
    {
        std::lock_guard lock(rt.m_portLock[static_cast<std::size_t>(port)]);
        rt.m_FileState[static_cast<std::size_t>(port)].nOffset = 0;  // a file starts again
    }
    if (g_pTestDialog.load() == nullptr) {
        if (m_bWriteThread) {
            rt.WaitWriteDelay();
        }
        return;
    }
    TxPacket packet;
    std::int32_t count = 0;
    if (!Build(port, Piece::First, packet, count)) {
        return;
    }
    if (m_bWriteThread) {
        m_packet = packet;
        StartWrite(port, Piece::First, count);
    } else {
        HandOver(port, packet, count);
    }
}

void CTestEngine::SendNextFileChunk(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    if (g_pTestDialog.load() == nullptr) {
        return;
    }
    std::int32_t count = 0;
    if (Build(port, Piece::Next, m_packet, count)) {
        StartWrite(port, Piece::Next, count);
    }
}

void CTestEngine::SendHandedPacket(int port) {
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    std::int32_t count = 0;
    {
        std::lock_guard lock(rt.m_portLock[i]);
        if (!rt.m_HandedPacket[i]) {
            return;
        }
        m_packet = *rt.m_HandedPacket[i];
        count = rt.m_nHandedCount[i];
        rt.m_HandedPacket[i].reset();
        rt.m_bFirstPacketPending[i] = false;  // later packets follow this one
    }
    StartWrite(port, Piece::First, count, true);  // Run showed its count
}

bool CTestEngine::Build(int port, Piece piece, TxPacket& packet, std::int32_t& count) {
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    ConsoleView* console = g_pTestDialog.load();
    const bool show = console != nullptr && console->IsEnableChecked(port);
    {
        std::lock_guard lock(rt.m_portLock[i]);
        if (!MayBuild(port, piece)) {
            return false;
        }
        TxPacket& shared = rt.m_TxPacket[i];
        if (piece == Piece::Next) {
            BuildNextFilePiece(shared, rt.m_FileState[i], rt.m_File[i]);
        } else {
            BuildFirstPiece(shared, rt.m_FileState[i], rt.m_records.m_PortPattern[i], rt.m_File[i]);
        }
        count = ++rt.m_RunState[i].nPacketCount;
        packet = shared;
    }
    if (show) {
        ShowTxData(reinterpret_cast<const char*>(packet.data.data()), port);
    }
    return true;
}

bool CTestEngine::MayBuild(int port, Piece piece) const {
    const auto i = static_cast<std::size_t>(port);
    const TestRuntime& rt = m_runtime;
    // A port whose run has ended builds, counts and sends nothing more: its
    // Stop (the button, a timed stop or Test > Stop) may have come while this
    // thread was on its way here.
    if (!rt.m_RunState[i].bRunning) {
        return false;
    }
    // A file continues only while its pass is under way: Stop ends the pass.
    if (piece == Piece::Next && !rt.m_FileState[i].bMoreToSend) {
        return false;
    }
    // The write thread never builds ahead of a run's first packet, which Run
    // builds on the GUI thread.
    return !(m_bWriteThread && rt.m_bFirstPacketPending[i]);
}

void CTestEngine::HandOver(int port, const TxPacket& packet, std::int32_t count) {
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    {
        std::lock_guard lock(rt.m_portLock[i]);
        rt.m_HandedPacket[i] = packet;
        rt.m_nHandedCount[i] = count;
    }
    if (ConsoleView* console = g_pTestDialog.load()) {
        console->SetPacketCountText(port, std::to_string(count));
    }
    if (count == 1 && rt.m_nRunningPorts.load() == 1) {
        ++rt.m_nWriteWakeUps;
        rt.m_hWriteEvent.Set();  // the only running port's first packet wakes the write thread
    }
    rt.m_writeWaits.Wake();  // a write thread waiting for other ports' writes takes it at once
}

void CTestEngine::StartWrite(int port, Piece piece, std::int32_t count, bool countShown) {
    const auto i = static_cast<std::size_t>(port);
    CComPort& channel = m_channels[i];
    channel.SetHandle(m_runtime.m_hComPort[i]);
    m_writePort = port;
    m_piece = piece;
    m_count = count;
    m_countShown = countShown;
    if (piece == Piece::Next) {
        if (ConsoleView* console = g_pTestDialog.load()) {
            console->SetTxdIndicator(port, true);
        }
    }
    // Known as sent before it can reach any receiver; taken back if it does
    // not go out.
    SentStream& sent = m_runtime.m_Sent[i];
    sent.Append(m_packet.data.data(), static_cast<std::size_t>(m_packet.nLength));
    const SerialResult started =
        channel.StartWrite(m_packet.data.data(), m_packet.nLength, m_write);
    m_failures[i].Report(started);
    if (started.Failed()) {
        sent.Retract(static_cast<std::size_t>(m_packet.nLength));
    }
    if (started.outcome != SerialOutcome::Pending) {
        Finish(port);
    }
}

std::uint32_t CTestEngine::WriteTimeLeftMs() const {
    return m_write.Active() ? m_channels[static_cast<std::size_t>(m_writePort)].TimeLeftMs(m_write)
                            : SerialDevice::kWaitForever;
}

bool CTestEngine::ServiceWrite(int port) {
    if (!m_write.Active()) {
        return false;
    }
    const auto i = static_cast<std::size_t>(port);
    std::uint32_t written = 0;
    const SerialResult result = m_channels[i].ContinueWrite(m_write, 0, written);
    if (result.outcome == SerialOutcome::Pending) {
        return false;
    }
    m_failures[i].Report(result);
    if (result.Failed()) {
        const auto length = static_cast<std::uint32_t>(m_packet.nLength);
        m_runtime.m_Sent[i].Retract(length - std::min(written, length));
    }
    Finish(port);
    return true;
}

void CTestEngine::Finish(int port) {
    if (ConsoleView* console = g_pTestDialog.load()) {
        if (m_piece == Piece::Next) {
            console->SetTxdIndicator(port, false);
        }
        if (!m_countShown) {
            console->SetPacketCountText(port, std::to_string(m_count));
        }
    }
    if (m_piece == Piece::First) {
        m_runtime.WaitWriteDelay();
    }
}

void CTestEngine::ShowTxData(std::string text, int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    if (ConsoleView* console = g_pTestDialog.load()) {
        console->AppendTransmitText(port, text);
    }
}

void CTestEngine::CheckRxData(int port) {
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    const std::int32_t count = std::clamp<std::int32_t>(rt.m_RxData[i].nRxCount, 0, kMaxPacket);
    PortCheck& check = *rt.m_Check[i];
    const PortCheck::Outcome outcome =
        check.Check(reinterpret_cast<const std::uint8_t*>(rt.m_ReadParams[i].pRxData),
                    static_cast<std::size_t>(count));
    ConsoleView* console = g_pTestDialog.load();
    if (console == nullptr) {
        return;
    }
    if (outcome.errorsChanged) {
        console->SetErrorCountText(port, std::to_string(outcome.errors));
    }
    if (outcome.firstError && check.StopOnError() && rt.m_RunState[i].bRunning) {
        console->PostStopPress(port, StopCause::Error);
    }
}

void CTestEngine::FinishCheck(int port) {
    PortCheck& check = *m_runtime.m_Check[static_cast<std::size_t>(port)];
    const std::uint64_t before = check.Counts().Errors();
    check.Finish();
    const std::uint64_t errors = check.Counts().Errors();
    ConsoleView* console = g_pTestDialog.load();
    if (console != nullptr && errors != before) {
        console->SetErrorCountText(port, std::to_string(errors));
    }
}

void CTestEngine::ShowRxData(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    m_nRxPort = port;
    const auto i = static_cast<std::size_t>(port);
    PortRxData& rx = m_runtime.m_RxData[i];
    const std::size_t count =
        static_cast<std::size_t>(std::clamp<std::int32_t>(rx.nRxCount, 0, kMaxPacket));
    const char* chunk = m_runtime.m_ReadParams[i].pRxData;
    if (count > 0 && chunk != rx.szRxText.data()) {
        std::memcpy(rx.szRxText.data(), chunk, count);
    }
    rx.szRxText[count] = '\0';
    ConsoleView* console = g_pTestDialog.load();
    if (console != nullptr && console->IsEnableChecked(port)) {
        console->AppendReceiveText(port, rx.szRxText.data());  // shown up to a NUL byte
    }
}

void CTestEngine::RunPort(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    m_nPort = port;
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    ConsoleView* console = g_pTestDialog.load();
    if (console == nullptr) {
        rt.m_bFirstPacketPending[i] = false;
        return;
    }
    {
        std::lock_guard lock(rt.m_portLock[i]);
        rt.m_RunState[i].nErrorCount = 0;
        rt.m_RunState[i].nPacketCount = 0;
    }
    console->SetPacketCountText(port, "0");
    console->SetErrorCountText(port, "0");
    console->SetPortButtons(port, false, true, false);
    console->ClearDataBoxes(port);
    if (rt.m_hComPort[i]) {
        static_cast<void>(rt.m_hComPort[i]->Purge(purge::kRxClear));  // not examined
    }

    // Stop On Time: the run ends by itself once it has lasted the hours and
    // minutes in the boxes as they stand now; 0:00 means no limit.
    std::uint64_t stopAt = 0;
    if (console->IsStopOnTimeChosen(port)) {
        const std::uint64_t hours = LeadingDigitsToInt(console->HourText(port), kMaxStopHours);
        const std::uint64_t minutes = LeadingDigitsToInt(console->MinuteText(port), kMaxStopHours);
        const std::uint64_t lengthMs = (hours * 60 + minutes) * 60 * 1000;
        if (lengthMs > 0) {
            stopAt = rt.m_clock.NowMs() + lengthMs;
        }
    }
    rt.m_bTimedStopPosted[i] = false;
    rt.m_nStopAtMs[i] = stopAt;
    // Stop On Error: the check starts afresh, and its first error ends the run.
    rt.m_Check[i]->StartAfresh(console->IsStopOnErrorChosen(port));

    SendPacket(port);
}

void CTestEngine::StopPort(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    // Under the port's lock: a packet being built finishes before the run
    // ends, and none is built after.
    std::unique_lock lock(rt.m_portLock[i]);
    rt.m_FileState[i].bMoreToSend = false;
    ConsoleView* console = g_pTestDialog.load();
    if (console == nullptr) {
        return;
    }
    rt.m_RunState[i].bRunning = false;
    rt.m_nStopAtMs[i] = 0;
    rt.m_RunState[i].nErrorCount = 0;
    rt.m_RunState[i].nPacketCount = 0;
    lock.unlock();
    console->SetPortButtons(port, true, false, true);
}

void CTestEngine::EnableRunButtons() {
    if (ConsoleView* console = g_pTestDialog.load()) {
        for (int port = 0; port < kPortCount; ++port) {
            console->SetPortButtons(port, true, false, true);
        }
    }
}

void CTestEngine::DisableRunButtons() {
    if (ConsoleView* console = g_pTestDialog.load()) {
        for (int port = 0; port < kPortCount; ++port) {
            console->SetPortButtons(port, false, false, false);
        }
    }
}

}  // namespace quorvel
