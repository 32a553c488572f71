#include "engine/PortSender.h"

#include <algorithm>
#include <utility>

#include "engine/PacketBuilder.h"

namespace quorvel {

void PortSender::StartTest(unsigned dataBits, std::uint64_t tailMs, bool indexed) {
    std::lock_guard lock(m_lock);
    m_sent.Reset(tailMs, indexed);
    m_prbs.Restart();
    m_dataMask = static_cast<std::uint8_t>((1u << std::min(dataBits, 8u)) - 1);
    m_nSentAtRun = 0;
    m_run.bRunning = false;
    m_file.bMoreToSend = false;
    m_bFirstPacketPending = false;
    m_handed.reset();
    m_nStopAtMs = 0;
}

std::uint64_t PortSender::BeginRun(std::uint64_t stopAtMs) {
    m_nSentAtRun = m_sent.End();
    m_bFirstPacketPending = true;
    std::lock_guard lock(m_lock);
    m_runPeriod = PatternPeriod(m_pattern, m_data);
    m_nStopAtMs = stopAtMs;
    m_run.nErrorCount = 0;
    m_run.nPacketCount = 0;
    m_run.bRunning = true;
    m_endedBy = kNotEnded;
    m_nLimit = m_nRunLimit.load();
    m_nBuilt = 0;
    return ++m_nRun;
}

bool PortSender::EndRun(std::optional<std::uint64_t> run, StopCause cause) {
    std::lock_guard lock(m_lock);
    if (run && *run != m_nRun) {
        return false;  // that run has ended already, and another has begun
    }
    m_file.bMoreToSend = false;
    const bool wasRunning = m_run.bRunning.exchange(false);
    if (wasRunning) {
        m_endedBy = static_cast<int>(cause);
    }
    m_nStopAtMs = 0;
    m_run.nErrorCount = 0;
    m_run.nPacketCount = 0;
    return wasRunning;
}

std::optional<PortSender::Packet> PortSender::Build(Piece piece, bool byWriteThread) {
    std::lock_guard lock(m_lock);
    if (!MayBuild(piece, byWriteThread)) {
        return std::nullopt;
    }
    if (piece == Piece::Next) {
        BuildNextFilePiece(m_TxPacket, m_file, m_data);
    } else {
        BuildFirstPiece(m_TxPacket, m_file, m_pattern, m_data, m_prbs, m_dataMask);
    }
    FitToLimit();
    return Packet{m_TxPacket, ++m_run.nPacketCount, m_runPeriod};
}

void PortSender::FitToLimit() {
    if (m_nLimit == 0) {
        return;
    }
    const std::uint64_t left = m_nLimit - m_nBuilt;
    if (static_cast<std::uint64_t>(m_TxPacket.nLength) >= left) {
        m_TxPacket.nLength = static_cast<std::int32_t>(left);
        m_TxPacket.data[static_cast<std::size_t>(left)] = 0;
        m_file.bMoreToSend = false;  // a file pass ends with the limit
    }
    m_nBuilt += static_cast<std::uint64_t>(m_TxPacket.nLength);
}

bool PortSender::MayBuild(Piece piece, bool byWriteThread) const {
    // A port whose run has ended builds, counts and sends nothing more: its
    // Stop may have come while the building thread was on its way here.
    if (!m_run.bRunning) {
        return false;
    }
    // A file continues only while its pass is under way: Stop ends the pass.
    if (piece == Piece::Next && !m_file.bMoreToSend) {
        return false;
    }
    // A run with a limit builds nothing once it has built its bytes.
    if (m_nLimit != 0 && m_nBuilt >= m_nLimit) {
        return false;
    }
    // The write thread never builds ahead of a run's first packet, which Run
    // builds on the GUI thread.
    return !(byWriteThread && m_bFirstPacketPending);
}

void PortSender::RestartFile() {
    std::lock_guard lock(m_lock);
    m_file.nOffset = 0;
}

void PortSender::HandOver(const Packet& packet) {
    std::lock_guard lock(m_lock);
    m_handed = packet;
}

bool PortSender::HasHandedPacket() {
    std::lock_guard lock(m_lock);
    return m_handed.has_value();
}

std::optional<PortSender::Packet> PortSender::TakeHandedPacket() {
    std::lock_guard lock(m_lock);
    if (!m_handed) {
        return std::nullopt;
    }
    m_bFirstPacketPending = false;  // later packets follow this one
    return std::exchange(m_handed, std::nullopt);
}

std::optional<StopCause> PortSender::EndedBy() const {
    const int cause = m_endedBy.load();
    return cause == kNotEnded ? std::nullopt : std::optional(static_cast<StopCause>(cause));
}

std::optional<std::uint64_t> PortSender::RunWhoseTimeIsUp(std::uint64_t nowMs) {
    const auto due = [this, nowMs] {
        const std::uint64_t stopAt = m_nStopAtMs.load();
        return stopAt != 0 && nowMs >= stopAt;
    };
    if (!due()) {
        return std::nullopt;  // the write thread looks often: no lock while nothing is due
    }
    std::lock_guard lock(m_lock);
    return due() ? std::optional(m_nRun) : std::nullopt;
}

std::optional<std::uint64_t> PortSender::RunThatHasBuiltItsBytes() {
    std::lock_guard lock(m_lock);
    return m_run.bRunning && m_nLimit != 0 && m_nBuilt >= m_nLimit ? std::optional(m_nRun)
                                                                   : std::nullopt;
}

void PortSender::SetPattern(const PortPatternSettings& pattern) {
    std::lock_guard lock(m_lock);
    m_pattern = pattern;
}

void PortSender::SetFileData(std::vector<std::uint8_t> data) {
    if (data.size() > kMaxFileData) {
        data.resize(kMaxFileData);
    }
    std::lock_guard lock(m_lock);
    m_data.nFileLength = static_cast<std::int32_t>(data.size());
    m_data.FileData = std::move(data);
}

TxPacket PortSender::LastPacket() {
    std::lock_guard lock(m_lock);
    return m_TxPacket;
}

PortFileData PortSender::File() {
    std::lock_guard lock(m_lock);
    return m_data;
}

std::uint64_t PortSender::BytesSentThisRun() const {
    const std::uint64_t end = m_sent.End();
    const std::uint64_t atRun = m_nSentAtRun.load();
    return end > atRun ? end - atRun : 0;
}

void PortSender::NoteRunBegan(std::uint64_t nowMs) {
    m_nRunEndedMs = 0;
    m_nRunBeganMs = nowMs;
}

void PortSender::NoteRunEnded(std::uint64_t nowMs) {
    m_nRunEndedMs = nowMs;
}

std::optional<std::uint64_t> PortSender::RunLengthMs(std::uint64_t nowMs) const {
    const std::uint64_t began = m_nRunBeganMs.load();
    if (began == 0) {
        return std::nullopt;
    }
    const std::uint64_t ended = m_nRunEndedMs.load();
    const std::uint64_t end = ended != 0 ? ended : nowMs;
    return end > began ? end - began : 0;
}

}  // namespace quorvel
