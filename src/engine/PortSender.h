#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "config/PortRegistry.h"
#include "engine/ConsoleView.h"
#include "engine/PrbsSequence.h"
#include "engine/SentStream.h"
#include "engine/TestData.h"

namespace quorvel {

// One port's sending: whether its run is in force, its packets and their
// count, how far its file pass has gone, the run's first packet on its way to
// the write thread, when a timed run ends, and the bytes the port has put on
// its line.
//
// Threads: the GUI thread begins a run and builds its first packet; the write
// thread builds every later one; a run may end on the GUI thread (Stop, Test >
// Stop), on the write thread (Stop On Time) or on the port's receive thread
// (Stop On Error). Everything a packet is built from is guarded by the port's
// lock, held only while a packet is built or handed over; the flags the write
// thread looks at between packets are atomic.
class PortSender {
  public:
    // `pattern`: the port's pattern choice in the records, which this sender
    // guards from now on (SetPattern writes it under the port's lock).
    // `port`: the port (0-7), whose own pseudo-random sequence it sends.
    PortSender(PortPatternSettings& pattern, int port) : m_pattern(pattern), m_prbs(port) {}
    PortSender(const PortSender&) = delete;
    PortSender& operator=(const PortSender&) = delete;

    // A packet as built and counted: the port's packet buffer, copied.
    struct Packet {
        TxPacket bytes;
        std::int32_t count = 0;     // the packet's number in its run, from 1
        std::uint64_t period = 0;   // how the run's bytes repeat (0: never)
    };
    enum class Piece {
        First,  // the start of the pattern (a file pass starts again)
        Next,   // the next piece of a file pass under way
    };

    // Test > Start: nothing left over from an earlier test carries on. The
    // port's line takes `dataBits` of each byte, a byte its `tailMs` at most
    // to arrive; `indexed`: whether its bytes are looked up (data checked).
    void StartTest(unsigned dataBits = 8, std::uint64_t tailMs = SentStream::kDefaultTailMs,
                   bool indexed = true);
    // Run (GUI thread): the run begins; its first packet is to come from Run,
    // and the write thread builds nothing before it. `stopAtMs` is when a
    // timed run ends (clock ms), 0 for never. Returns the run's number, which
    // a thread that ends the run by itself names, so that a later run is never
    // ended for what happened in an earlier one.
    std::uint64_t BeginRun(std::uint64_t stopAtMs);
    // Run without a console: the run is in force but no first packet comes,
    // so the write thread must not wait for one.
    void ForgoFirstPacket() { m_bFirstPacketPending = false; }
    // The run ends (any thread). Under the port's lock, so a packet being
    // built is finished first and none is built after. True when the run was
    // in force, so that one run is ended once whoever ends it. With `run`
    // given, only that run is ended. `cause` is kept as what ended it.
    bool EndRun(std::optional<std::uint64_t> run = std::nullopt,
                StopCause cause = StopCause::Button);
    // What ended the port's last run; nothing while it runs or never ran.
    std::optional<StopCause> EndedBy() const;
    // The file pass under way ends, so the file starts again at its first
    // byte (Test > Stop, for every port).
    void EndFilePass() { m_file.bMoreToSend = false; }

    // Builds and counts the port's next packet; nothing when the port may not
    // send now (its run has ended, a file piece without a pass, or the write
    // thread asking before the run's first packet has gone).
    std::optional<Packet> Build(Piece piece, bool byWriteThread);
    // A file pattern starts again at its first byte.
    void RestartFile();

    // The run's first packet, built by Run, waits here for the write thread.
    void HandOver(const Packet& packet);
    bool HasHandedPacket();
    std::optional<Packet> TakeHandedPacket();
    bool FirstPacketPending() const { return m_bFirstPacketPending.load(); }

    // Stop On Time: the number of the run in force when its time is up.
    std::optional<std::uint64_t> RunWhoseTimeIsUp(std::uint64_t nowMs);

    // How many bytes each run that begins from now on sends, 0 for no limit
    // (an unattended run's --bytes; any thread while the port does not run).
    // The packet that reaches the limit is cut to fit, and no other follows.
    void LimitRunsTo(std::uint64_t bytes) { m_nRunLimit = bytes; }
    // The number of the run in force once it has built every byte of its
    // limit, so that the write thread ends it.
    std::optional<std::uint64_t> RunThatHasBuiltItsBytes();

    // The data pattern dialog's changes (while the port does not run).
    void SetPattern(const PortPatternSettings& pattern);
    void SetFileData(std::vector<std::uint8_t> data);

    bool IsRunning() const { return m_run.bRunning.load(); }
    std::int32_t PacketCount() const { return m_run.nPacketCount.load(); }
    bool FilePassUnderWay() const { return m_file.bMoreToSend.load(); }
    TxPacket LastPacket();
    PortFileData File();

    // What the port has put on its line in this test: the write thread
    // appends as it writes, the receive threads read.
    SentStream& Sent() { return m_sent; }
    const SentStream& Sent() const { return m_sent; }
    // Bytes the port has sent since its last Run.
    std::uint64_t BytesSentThisRun() const;

    // When the port's last run began and ended (clock ms), as the one who
    // began or ended it says.
    void NoteRunBegan(std::uint64_t nowMs);
    void NoteRunEnded(std::uint64_t nowMs);
    // When the last run began, 0 for none yet; how long it ran (to `nowMs`
    // while it runs), nothing when no run has begun.
    std::uint64_t RunBeganMs() const { return m_nRunBeganMs.load(); }
    std::optional<std::uint64_t> RunLengthMs(std::uint64_t nowMs) const;

  private:
    // Whether the next packet may be built now; the port's lock is held.
    bool MayBuild(Piece piece, bool byWriteThread) const;
    // Cuts the packet just built to what the run's limit leaves; the lock is held.
    void FitToLimit();

    std::mutex m_lock;               // the port's lock
    PortPatternSettings& m_pattern;  // guarded by m_lock for writes
    TxPacket m_TxPacket;             // the last packet built; guarded by m_lock
    PortRunState m_run;              // counts changed under m_lock
    FileSendState m_file;            // see FileSendState
    PortFileData m_data;             // guarded by m_lock
    // Set by Run until the write thread has taken the run's first packet,
    // which waits in m_handed (guarded by m_lock): the write thread never
    // builds ahead of it.
    std::atomic<bool> m_bFirstPacketPending{false};
    std::optional<Packet> m_handed;
    // When a timed run ends (clock ms, 0 for never): written under m_lock by
    // Run and by the run's end, read by the write thread.
    std::atomic<std::uint64_t> m_nStopAtMs{0};
    std::uint64_t m_nRun = 0;  // the number of the latest run; guarded by m_lock
    // The limit for runs to come (written by the host, read by Run), and the
    // limit and the bytes built of the run in force (guarded by m_lock).
    std::atomic<std::uint64_t> m_nRunLimit{0};
    std::uint64_t m_nLimit = 0;
    std::uint64_t m_nBuilt = 0;
    // What ended the last run (a StopCause), kNotEnded while none has: written
    // under m_lock by whoever begins or ends a run, read by any thread.
    static constexpr int kNotEnded = -1;
    std::atomic<int> m_endedBy{kNotEnded};
    // The port's pseudo-random sequence, the bits of a byte its line takes,
    // and how the current run's bytes repeat: guarded by m_lock.
    PrbsSequence m_prbs;
    std::uint8_t m_dataMask = 0xFF;
    std::uint64_t m_runPeriod = 0;
    SentStream m_sent;
    // When the last run began and ended (clock ms; ended 0 while it runs):
    // written by whoever begins or ends it, read by the statistics.
    std::atomic<std::uint64_t> m_nRunBeganMs{0};
    std::atomic<std::uint64_t> m_nRunEndedMs{0};
    std::atomic<std::uint64_t> m_nSentAtRun{0};  // written by Run (GUI thread), read by any
};

}  // namespace quorvel
