#include "engine/CTestEngine.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/DecimalText.h"
#include "core/MessageSink.h"
#include "engine/TestParts.h"

namespace quorvel {
namespace {

constexpr std::int32_t kMaxStopHours = 9'999'999;

void ShowDefault() {
    ShowMessage("DEFAULT", "Error", mb::kOk | mb::kIconExclamation);
}

// A packet read as text, as the transmit box shows it: up to its first NUL.
std::string PacketText(const TxPacket& packet) {
    return reinterpret_cast<const char*>(packet.data.data());
}

}  // namespace

CTestEngine::CTestEngine(TestParts& parts, bool writeThread)
    : m_parts(parts), m_bWriteThread(writeThread) {
    for (int port = 0; port < kPortCount; ++port) {
        m_failures[port].ShowRepeatsOnce(true);
        m_failures[port].ForPort(port);
    }
}

void CTestEngine::SendPacket(int port) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    PortSender& sender = m_parts.senders[port];
    sender.RestartFile();  // a file starts again
    ConsoleView* console = m_parts.Console();
    if (console == nullptr) {
        if (m_bWriteThread) {
            m_parts.delay.Wait(m_parts.testRunning);
        }
        return;
    }
    const bool show = console->IsEnableChecked(port);
    const std::optional<PortSender::Packet> packet = sender.Build(Piece::First, m_bWriteThread);
    if (!packet) {
        return;
    }
    ShowBuilt(port, *packet, show);
    if (m_bWriteThread) {
        m_packet = packet->bytes;
        StartWrite(port, Piece::First, packet->count, false, packet->count == 1, packet->period);
    } else {
        HandOver(port, *packet);
    }
}

void CTestEngine::SendNextFileChunk(int port) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    ConsoleView* console = m_parts.Console();
    if (console == nullptr) {
        return;
    }
    const bool show = console->IsEnableChecked(port);
    const std::optional<PortSender::Packet> packet =
        m_parts.senders[port].Build(Piece::Next, m_bWriteThread);
    if (packet) {
        ShowBuilt(port, *packet, show);
        m_packet = packet->bytes;
        StartWrite(port, Piece::Next, packet->count);
    }
}

void CTestEngine::SendHandedPacket(int port) {
    const std::optional<PortSender::Packet> handed = m_parts.senders[port].TakeHandedPacket();
    if (!handed) {
        return;
    }
    m_packet = handed->bytes;
    // Run showed its count; the run's bytes start here.
    StartWrite(port, Piece::First, handed->count, true, true, handed->period);
}

void CTestEngine::ShowBuilt(int port, const PortSender::Packet& packet, bool show) {
    if (show) {
        ShowTxData(PacketText(packet.bytes), port);
    }
}

void CTestEngine::HandOver(int port, const PortSender::Packet& packet) {
    m_parts.senders[port].HandOver(packet);
    if (ConsoleView* console = m_parts.Console()) {
        console->ShowPacketCount(port, packet.count);
    }
    WriteThreadSignals& write = m_parts.write;
    if (packet.count == 1 && m_parts.runningPorts.load() == 1) {
        ++write.wakeUps;
        write.m_hWriteEvent.Set();  // the only running port's first packet wakes the write thread
    }
    write.writeWaits.Wake();  // a write thread waiting for other ports' writes takes it at once
}

void CTestEngine::StartWrite(int port, Piece piece, std::int32_t count, bool countShown,
                             bool runStart, std::uint64_t period) {
    CComPort& channel = m_channels[port];
    channel.SetHandle(m_parts.Handle(port));
    m_writePort = port;
    m_piece = piece;
    m_count = count;
    m_countShown = countShown;
    if (ConsoleView* console = m_parts.Console()) {
        console->SetTxdIndicator(port, true);  // every packet, every file piece
    }
    // Known as sent before it can reach any receiver; taken back if it does
    // not go out.
    SentStream& sent = m_parts.senders[port].Sent();
    const auto length = static_cast<std::size_t>(m_packet.nLength);
    if (runStart) {
        sent.BeginRun(period);
    }
    sent.Append(m_packet.data.data(), length, m_parts.clock.NowMs());
    const SerialResult started =
        channel.StartWrite(m_packet.data.data(), m_packet.nLength, m_write);
    m_failures[port].Report(started);
    if (started.Failed()) {
        sent.Retract(length);
    }
    if (started.outcome != SerialOutcome::Pending) {
        Finish(port);
    }
}

std::uint32_t CTestEngine::WriteTimeLeftMs() const {
    return m_write.Active() ? m_channels[m_writePort].TimeLeftMs(m_write)
                            : SerialDevice::kWaitForever;
}

bool CTestEngine::ServiceWrite(int port) {
    if (!m_write.Active()) {
        return false;
    }
    std::uint32_t written = 0;
    const SerialResult result = m_channels[port].ContinueWrite(m_write, 0, written);
    if (result.outcome == SerialOutcome::Pending) {
        return false;
    }
    m_failures[port].Report(result);
    if (result.Failed()) {
        const auto length = static_cast<std::uint32_t>(m_packet.nLength);
        m_parts.senders[port].Sent().Retract(length - std::min(written, length));
    }
    Finish(port);
    return true;
}

void CTestEngine::Finish(int port) {
    if (ConsoleView* console = m_parts.Console()) {
        console->SetTxdIndicator(port, false);
        if (!m_countShown) {
            console->ShowPacketCount(port, m_count);
        }
    }
    if (m_piece == Piece::First) {
        m_parts.delay.Wait(m_parts.testRunning);
    }
}

void CTestEngine::ShowTxData(std::string text, int port) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    if (ConsoleView* console = m_parts.Console()) {
        console->AppendTransmitText(port, text);
    }
}

void CTestEngine::CheckRxData(int port, std::span<const std::uint8_t> chunk) {
    TakeOutcome(port, m_parts.receivers[port].Check().Check(chunk, m_parts.clock.NowMs()));
}

void CTestEngine::TickCheck(int port) {
    TakeOutcome(port, m_parts.receivers[port].Check().Tick(m_parts.clock.NowMs()));
}

void CTestEngine::TakeOutcome(int port, const PortCheck::Outcome& outcome) {
    ConsoleView* console = m_parts.Console();
    if (console == nullptr) {
        return;
    }
    if (outcome.errorsChanged) {
        console->ShowErrorCount(port, outcome.errors);
    }
    if (outcome.firstError && m_parts.receivers[port].Check().StopOnError()) {
        StopPort(port, StopCause::Error, outcome.run);
    }
}

void CTestEngine::FinishCheck(int port) {
    PortCheck& check = m_parts.receivers[port].Check();
    const std::uint64_t before = check.Counts().Errors();
    check.Finish(m_parts.clock.NowMs());
    const std::uint64_t errors = check.Counts().Errors();
    ConsoleView* console = m_parts.Console();
    if (console != nullptr && errors != before) {
        console->ShowErrorCount(port, errors);
    }
}

void CTestEngine::ShowRxData(int port, std::span<const std::uint8_t> chunk) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    m_nRxPort = port;
    const std::span<const char> latest = m_parts.receivers[port].KeepLatest(chunk);
    ConsoleView* console = m_parts.Console();
    if (console != nullptr && console->IsEnableChecked(port)) {
        // Shown as text: up to its first NUL byte.
        const std::string_view text(latest.data(), strnlen(latest.data(), latest.size()));
        console->AppendReceiveText(port, text);
    }
}

std::uint64_t CTestEngine::StopTimeOf(ConsoleView& console, int port) const {
    // Stop On Time: the run ends by itself once it has lasted the hours and
    // minutes in the boxes as they stand now; 0:00 means no limit.
    if (!console.IsStopOnTimeChosen(port)) {
        return 0;
    }
    const std::uint64_t hours = LeadingDigitsToInt(console.HourText(port), kMaxStopHours);
    const std::uint64_t minutes = LeadingDigitsToInt(console.MinuteText(port), kMaxStopHours);
    const std::uint64_t lengthMs = (hours * 60 + minutes) * 60 * 1000;
    return lengthMs > 0 ? m_parts.clock.NowMs() + lengthMs : 0;
}

void CTestEngine::RunPort(int port) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    m_nPort = port;
    PortSender& sender = m_parts.senders[port];
    ConsoleView* console = m_parts.Console();
    if (console == nullptr) {
        sender.BeginRun(0);
        sender.NoteRunBegan(m_parts.clock.NowMs());
        sender.ForgoFirstPacket();
        return;
    }
    const std::uint64_t run = sender.BeginRun(StopTimeOf(*console, port));
    sender.NoteRunBegan(m_parts.clock.NowMs());
    console->ShowPacketCount(port, 0);
    console->ShowErrorCount(port, 0);
    console->SetPortButtons(port, false, true, false);
    console->ClearDataBoxes(port);
    if (const PortHandle& handle = m_parts.Handle(port)) {
        static_cast<void>(handle->Purge(purge::kRxClear));  // a failed purge is not reported
    }
    // Stop On Error: the check starts afresh, and its first error ends the run.
    m_parts.receivers[port].Check().StartAfresh(console->IsStopOnErrorChosen(port), run);
    m_parts.lines[port].MarkRun();  // the line errors count from the Run, as the data's do
    SendPacket(port);
}

void CTestEngine::StopPort(int port, StopCause cause, std::optional<std::uint64_t> run) {
    if (!ValidPort(port)) {
        ShowDefault();
        return;
    }
    PortSender& sender = m_parts.senders[port];
    ConsoleView* console = m_parts.Console();
    if (console == nullptr) {
        sender.EndFilePass();
        return;
    }
    const bool ended = sender.EndRun(run, cause);
    if (ended) {
        sender.NoteRunEnded(m_parts.clock.NowMs());
    }
    if (ended && cause != StopCause::TestStop) {
        --m_parts.runningPorts;  // Test > Stop leaves the count of runs as it is
    }
    if (!ended && cause != StopCause::Button && cause != StopCause::TestStop) {
        return;  // the run a thread saw has already ended: nothing to tell
    }
    console->SetPortButtons(port, true, false, true);
    if (cause == StopCause::Time) {
        console->ShowRunStopped(port, RunStopped{StopCause::Time});
    } else if (cause == StopCause::Error) {
        console->ShowRunStopped(port, m_parts.receivers[port].Check().FirstError());
    }
}

void CTestEngine::EnableRunButtons() {
    if (ConsoleView* console = m_parts.Console()) {
        for (int port = 0; port < kPortCount; ++port) {
            console->SetPortButtons(port, true, false, true);
        }
    }
}

void CTestEngine::DisableRunButtons() {
    if (ConsoleView* console = m_parts.Console()) {
        for (int port = 0; port < kPortCount; ++port) {
            console->SetPortButtons(port, false, false, false);
        }
    }
}

}  // namespace quorvel
