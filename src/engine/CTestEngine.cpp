#include "engine/CTestEngine.h"

#include <algorithm>
#include <cstring>

#include "core/DecimalText.h"
#include "core/MessageSink.h"
#include "engine/TestRuntime.h"

namespace quorvel {
namespace {

constexpr std::int32_t kMaxStopHours = 9'999'999;

void ShowDefault() {
    ShowMessage("DEFAULT", "Error", mb::kOk | mb::kIconExclamation);
}

// The length of `text` cut to at most kMaxPacket bytes without splitting a
// UTF-8 character.
std::size_t PacketLengthOf(const std::string& text) {
    std::size_t length = std::min<std::size_t>(text.size(), kMaxPacket);
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    return length;
}

void Fill(TxPacket& packet, const std::uint8_t* bytes, std::size_t length) {
    std::copy(bytes, bytes + length, packet.data.begin());
    packet.nLength = static_cast<std::int32_t>(length);
}

void Fill(TxPacket& packet, std::string_view text) {
    Fill(packet, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The next piece of the port's file: 450 bytes while at least that many
// remain, then the rest (which may be 0 bytes).
void FillFilePiece(TxPacket& packet, FileSendState& state, const PortFileData& file) {
    std::int32_t length = state.nRemaining;
    if (state.nRemaining >= kMaxPacket) {
        state.nRemaining -= kMaxPacket;
        state.bMoreToSend = true;
        length = kMaxPacket;
    } else {
        state.bMoreToSend = false;
    }
    const std::int32_t available = std::clamp<std::int32_t>(
        static_cast<std::int32_t>(file.FileData.size()) - state.nOffset, 0, length);
    Fill(packet, file.FileData.data() + state.nOffset, static_cast<std::size_t>(available));
    packet.nLength = std::max<std::int32_t>(length, 0);
    std::fill(packet.data.begin() + available, packet.data.begin() + packet.nLength, 0);
    state.nOffset += packet.nLength;
}

}  // namespace

CTestEngine::CTestEngine(TestRuntime& runtime, bool writeThread)
    : m_runtime(runtime), m_bWriteThread(writeThread) {
    for (CComPort& channel : m_channels) {
        channel.ReportRepeatedFailuresOnce(true);
    }
}

void CTestEngine::SendPacket(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    Send(port, Piece::First);
}

void CTestEngine::SendNextFileChunk(int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    Send(port, Piece::Next);
}

void CTestEngine::Send(int port, Piece piece) {
    const auto i = static_cast<std::size_t>(port);
    TestRuntime& rt = m_runtime;
    if (piece == Piece::First) {
        std::lock_guard lock(rt.m_portLock[i]);
        rt.m_FileState[i].nOffset = 0;  // a file always starts again at its first byte
    }
    ConsoleView* console = g_pTestDialog.load();
    if (console == nullptr) {
        if (piece == Piece::First) {
            rt.WaitWriteDelay();
        }
        return;
    }
    CComPort& channel = m_channels[i];
    channel.SetHandle(rt.m_hComPort[i]);
    const bool show = console->IsEnableChecked(port);

    // Built and counted under the port's lock, sent from a copy with no lock
    // held: the first packet (GUI thread) and the later ones (write thread)
    // never build into the same buffer or bump the same counter at once.
    TxPacket packet;
    std::int32_t count = 0;
    {
        std::lock_guard lock(rt.m_portLock[i]);
        if (!MayBuild(port, piece)) {
            return;
        }
        TxPacket& shared = rt.m_TxPacket[i];
        const PortPatternSettings& pattern = rt.m_records.m_PortPattern[i];
        FileSendState& fileState = rt.m_FileState[i];
        if (piece == Piece::Next) {
            FillFilePiece(shared, fileState, rt.m_File[i]);
        } else if (pattern.nAlpha != 0) {
            Fill(shared, kAlphabets);
        } else if (pattern.nQuickBrown != 0) {
            Fill(shared, kQuickBrown);
        } else if (pattern.nUserData != 0) {
            Fill(shared, std::string_view(pattern.strUserData)
                             .substr(0, PacketLengthOf(pattern.strUserData)));
        } else {
            fileState.bMoreToSend = false;
            fileState.nRemaining = rt.m_File[i].nFileLength;
            FillFilePiece(shared, fileState, rt.m_File[i]);
        }
        shared.data[static_cast<std::size_t>(shared.nLength)] = 0;
        count = ++rt.m_RunState[i].nPacketCount;
        packet = shared;
    }

    if (show) {
        ShowTxData(reinterpret_cast<const char*>(packet.data.data()), port);
    }
    if (piece == Piece::Next) {
        console->SetTxdIndicator(port, true);
    }
    channel.Write(packet.data.data(), packet.nLength);
    if (piece == Piece::Next) {
        console->SetTxdIndicator(port, false);
    }
    console->SetPacketCountText(port, std::to_string(count));
    if (!m_bWriteThread) {
        // The write thread takes the port over only now, so the run's first
        // packet is shown, written and counted before any later one.
        rt.m_bFirstPacketPending[i] = false;
        if (count == 1 && rt.m_nRunningPorts.load() == 1) {
            ++rt.m_nWriteWakeUps;
            rt.m_hWriteEvent.Set();  // the only running port's first packet wakes the write thread
        }
    }
    if (piece == Piece::First) {
        rt.WaitWriteDelay();
    }
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

void CTestEngine::ShowTxData(std::string text, int port) {
    if (!TestRuntime::ValidPort(port)) {
        ShowDefault();
        return;
    }
    if (ConsoleView* console = g_pTestDialog.load()) {
        console->AppendTransmitText(port, text);
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
        rt.m_hComPort[i]->Purge(purge::kRxClear);
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
