#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/PerPort.h"
#include "engine/CheckCounts.h"
#include "engine/LatencyHistogram.h"
#include "engine/RegionAligner.h"
#include "engine/RepeatLedger.h"
#include "engine/SentStream.h"

namespace quorvel {

// Checks every byte a port receives against what its source sent, and keeps
// the balance of the two (CheckCounts).
//
// It finds the source by the sent stream the received bytes continue (the
// port's own through a plug or the card's internal loopback, another port's
// through a cable), looking their first bytes up in each stream's index.
// From then on it follows that stream byte by byte. Where the bytes stop
// matching, it looks for the next place where they match the stream again
// (an anchor): a few shifts either side byte by byte, then the stream's index
// for a long gap, and the stream's next bytes among the received ones for a
// long insertion. The received bytes between are aligned with the stream's
// by the cheapest edits (RegionAligner): each is verified, corrupted (with
// its wrong bits) or extra, each stream byte passed over lost. The work for
// a byte is bounded whatever the line does.
//
// The balance follows one source: the one it locked onto, or of ports sending
// alike, the port itself, else the lowest-numbered; where the bytes run past
// what that one has sent, or end before it does, and another sending alike
// has sent just them, that one from there on. Its window in that stream
// starts where the stream stood at the port's Run, or earlier where the first
// byte placed lies earlier (bytes on their way from before the Run). Bytes of
// the source that have not come once their time is up are lost; those still
// on their way when Test > Stop ends the test are cut by the stop.
//
// Streams that repeat (the fixed lines, the user's text, a file) cannot tell
// a gap of whole repeats, nor g bytes lost from P - g doubled; the balance
// counts them by what was sent and received all the same (RepeatLedger).
//
// Threads: the port's receive thread only; the streams are read under their
// own locks.
class DataChecker {
  public:
    static constexpr int kPorts = kPortCount;
    using Streams = std::array<const SentStream*, kPorts>;
    using Positions = std::array<std::uint64_t, kPorts>;

    // `self`: the checking port (0-7), which is the source of choice among
    // ports sending alike; -1 for none.
    explicit DataChecker(const Streams& streams, int self = -1);

    // A new test: the streams start again and nothing is known. `dataBits`:
    // the bits a character carries, for the bit error rate.
    void StartTest(unsigned dataBits = 8);
    // The port's Run: the balance starts afresh, its window in each port's
    // stream starting at `windowStarts`; where the received bytes stand in
    // their stream is kept, so bytes on their way from before are placed.
    void StartRun(const Positions& windowStarts);
    void Reset() { StartTest(m_dataBits); }

    // Received bytes, read at `nowMs`; what cannot be judged yet waits.
    void Check(const std::uint8_t* data, std::size_t size, std::uint64_t nowMs = 0);
    // Nothing came for a while: the source's bytes whose time is up are
    // lost, and once the source has been quiet that long, the last bytes
    // received are judged with what there is.
    void Tick(std::uint64_t nowMs);
    // The test ends (Test > Stop closes the ports): what waits is judged, and
    // the source's bytes still on their way are cut by the stop, those whose
    // time was up lost.
    void Finish(std::uint64_t nowMs);

    // Whether a later Tick may still change the balance (bytes of the
    // source on their way or not yet judged).
    bool AwaitsTail() const;

    CheckCounts Counts() const;
    // The ports the bytes may have come from, one bit a port (bit 0: Port1);
    // 0 while nothing could be placed.
    std::uint8_t Sources() const { return m_sources; }
    LatencyFigures Latency() const { return m_latency.Figures(); }

    // Bytes a lock is looked up with, and an anchor found by.
    static constexpr std::size_t kKeyBytes = SentStream::kKeyBytes;
    static constexpr std::size_t kAnchorBytes = 4;
    // Shifts looked at byte by byte on either side of a fault: faults further
    // apart are found through the stream's index.
    static constexpr std::int64_t kBand = 8;
    // Shifts to spare around a fault's ends for faults close together.
    static constexpr std::int64_t kSlack = 2;
    // Received bytes after a fault looked at for an anchor shift by shift;
    // beyond, only for a long gap or insertion, and past kLongestSearch they
    // are judged without an anchor (a line too noisy for one, or bytes of no
    // place in the stream).
    static constexpr std::size_t kLongestRegion = 512;
    static constexpr std::size_t kLongestSearch = 4096;
    // Bytes held while no lock is found, to be judged once one is: the
    // nearest the lock byte by byte, those before as they came.
    static constexpr std::size_t kMostHeld = 512;
    static constexpr std::size_t kHeldAligned = 64;
    // How often, in bytes verified, the ports sending alike are looked at
    // again, and other ports looked at for the same bytes.
    static constexpr std::size_t kRefreshBytes = 256;
    static constexpr std::size_t kLookAroundBytes = 4096;
    // How far ways on after a fault are compared, and the wrong bytes that
    // end a comparison.
    static constexpr std::size_t kFitBytes = 512;
    static constexpr std::size_t kFitMisses = 2;
    // Wrong bytes of a way on kept to compare it with ways on from elsewhere.
    static constexpr std::size_t kMissesKept = 8;
    // The bits any byte differs from another in, on the average: the bits
    // of a wrong byte whose value the check never compared.
    static constexpr std::uint64_t kBitsOfAnyByte = 4;
    // A latency is taken once in this many bytes placed.
    static constexpr std::uint64_t kLatencyEvery = 64;

  private:
    // The source the balance follows, and where its next byte stands.
    struct Session {
        int source = -1;
        std::uint64_t position = 0;
        std::uint64_t windowStart = 0;
        std::uint64_t windowFrom = 0;  // the window's first byte, once a byte is placed
        bool placedAny = false;
        std::uint64_t overdueTo = 0;  // the source's bytes before this are past their time
    };
    // Where the bytes are found again after a fault, and what lies between.
    struct Anchor {
        bool found = false;
        bool settled = false;  // no better anchor can follow
        std::size_t at = 0;    // received bytes before it
        std::int64_t shift = 0;
        RegionResult region;
        std::size_t reach = 0;  // received bytes from the fault to the way on's parting
        bool open = false;      // it went on as far as the bytes were compared
        bool capped = false;    // and that as far as they ever are
        // The received bytes compared from `at` on, and the first wrong ones
        // among them (received indexes), for ways on compared from one place.
        std::size_t comparedTo = 0;
        std::array<std::size_t, kMissesKept> misses{};
        std::size_t missCount = 0;
    };
    // A way on as seen from received byte `from` to `to`: the wrong bytes it
    // had before `from`, and whether and where it parts from the stream after.
    struct Seen {
        std::size_t before = 0;
        bool open = false;
        std::size_t reach = 0;
    };

    const SentStream& Stream() const {
        return *m_streams[static_cast<std::size_t>(m_session.source)];
    }
    std::span<const std::uint8_t> Pending() const;
    void Consume(std::size_t size);
    void Advance();

    // DataChecker.cpp: following the source, and the balance.
    bool Follow();
    bool PastTheSource();
    void PlaceRun(std::size_t size);
    void NotePlaced(std::uint64_t position);
    void CountLost(std::uint64_t bytes);
    void CountPlaced(std::uint64_t matched, std::uint64_t substituted, std::uint64_t bits);
    void SampleLatency(std::uint64_t position, std::size_t size);
    void Remember(std::span<const std::uint8_t> verified);
    std::uint64_t ProvisionalLost() const;
    std::uint64_t SessionExpected() const;
    std::uint64_t OverdueFrom(std::uint64_t nowMs) const;
    bool Covers(const RepeatLedger::Reading& reading) const;
    void Apply(const RepeatLedger::Turn& turn, bool back);
    void NoteReadings(std::uint64_t place, const RegionResult& region, std::int64_t shift,
                      std::span<const std::uint8_t> bytes);
    bool StartWindowARepeatEarlier();
    bool TakeBackARepeat(std::uint64_t period, std::uint64_t beyond);
    void SettleRepeats(std::uint64_t lostTail);
    void SettleBeforeLastBytes(std::uint64_t overdue);
    void CloseTail(std::uint64_t nowMs);

    // Whether `size` bytes can stand for one place: a run of one byte (a
    // file's fill, a line of dashes) or of two in turn stands in many places
    // alike.
    static bool TellsAPlace(const std::uint8_t* bytes, std::size_t size);

    // DataCheckerFaults.cpp: a fault's region.
    bool ResolveFault();
    bool SearchDue(std::size_t waiting);
    void FetchSource(std::size_t size);
    std::optional<RegionResult> AlignTo(std::span<const std::uint8_t> region, std::int64_t shift,
                                        std::int64_t slack = kSlack);
    bool LoneSubstitution();
    Anchor FindAnchor();
    Anchor SearchAnchors(std::size_t from);
    std::size_t ScanForAnchors(std::size_t at, std::size_t span);
    // DataCheckerWaysOn.cpp: which way on is the true one.
    static Seen SeenFrom(const Anchor& anchor, std::size_t from, std::size_t to);
    bool Better(const Anchor& a, const Anchor& b) const;
    bool Decided(const Anchor& best) const;
    // (DataCheckerFaults.cpp again.)
    void TryBand(std::size_t at);
    void TryLongJump(std::size_t at);
    void ConsiderPlace(std::size_t at, std::uint64_t place);
    void Consider(std::size_t at, std::int64_t shift);
    void MeasureReach(Anchor& anchor);
    void Commit(const RegionResult& region, std::span<const std::uint8_t> bytes,
                std::int64_t shift);
    bool IsDoubled(std::uint64_t place, const RegionResult& region,
                   std::span<const std::uint8_t> bytes) const;
    void JudgeLastBytes();
    bool PassOver();

    // DataCheckerLock.cpp: finding the source.
    bool Lock();
    void HoldUnplaced();
    int SourceAmong(std::uint8_t found) const;
    bool LockOnFewBytes();
    bool LockAtRunStart();
    bool Fits(const SentStream& stream, std::uint64_t place) const;
    std::optional<std::uint64_t> PlaceIn(int port, bool weak) const;
    std::uint64_t PlaceAfterHeld(std::uint64_t place);
    std::optional<RegionResult> AlignHeld(std::uint64_t place);
    std::uint64_t HeldGap(const RegionResult& region, std::uint64_t place) const;
    bool JudgeAllBeforeForward(std::uint64_t place, const std::optional<RegionResult>& backward);
    std::int64_t BackwardCost(const std::optional<RegionResult>& region, std::uint64_t place) const;
    void StartSession(int source, std::uint64_t place);
    void ResumeWithHeld(std::uint64_t place);
    void JudgeHeldBefore(std::uint64_t place);
    void TrimHeld();
    void SpillHeld();
    void CountUnplaced(std::uint64_t bytes);
    void AdoptUnplaced();
    void RefreshSources();
    bool HoldsRecent(int port) const;
    std::optional<std::uint64_t> AlikePlace(int port, std::span<const std::uint8_t> next) const;
    bool MoveToAlikeSource();
    bool EndWithAlikeSource();
    void FollowFrom(int source, std::uint64_t place);

    Streams m_streams;
    int m_self;
    unsigned m_dataBits = 8;
    Positions m_windowStarts{};
    Session m_session;
    bool m_locked = false;
    bool m_finishing = false;  // judged with what there is: nothing more will come
    std::uint64_t m_now = 0;

    std::vector<std::uint8_t> m_pending;  // received, not yet judged, from m_pendingFrom
    std::size_t m_pendingFrom = 0;
    std::vector<std::uint8_t> m_held;    // received while no lock was found
    std::vector<std::uint8_t> m_unheld;  // and let go from it since, the newest
    std::size_t m_failedLocks = 0;       // lock searches in a row that found nothing
    std::uint64_t m_consumed = 0;        // received bytes judged since the test began
    // Received bytes after a fault found to hold no anchor: from the fault at
    // this place, after this many bytes judged.
    std::size_t m_searchedTo = 0;
    std::uint64_t m_searchedAt = 0;
    std::uint64_t m_searchedFrom = 0;
    std::size_t m_skip = 0;  // bytes to let by before the next search
    // The fault last searched without a decision, and the bytes waiting it
    // is searched again with.
    struct Undecided {
        std::uint64_t position = ~std::uint64_t{0};
        std::uint64_t consumed = 0;
        std::size_t until = 0;
    };
    Undecided m_undecided;
    bool m_searchEveryByte = false;  // no bytes let by: the held ones looked at again

    CheckCounts m_counts;  // lost without the bytes whose time is up; expected by the sessions
    std::uint64_t m_expectedBefore = 0;  // of the sessions before this one in the run
    // Bytes of this run counted extra before the source's first byte placed.
    std::uint64_t m_unplacedBeforeLock = 0;
    RepeatLedger m_ledger;
    LatencyHistogram m_latency;
    std::uint64_t m_nextLatencyAt = 0;

    std::uint8_t m_sources = 0;
    std::array<std::uint8_t, kKeyBytes> m_recent{};  // the last bytes verified in a row
    std::size_t m_recentRun = 0;                     // how many verified in a row
    std::size_t m_sinceRefresh = 0;
    std::size_t m_sinceLookAround = 0;

    RegionAligner m_aligner;
    std::vector<std::uint8_t> m_expect;  // the source's bytes from m_expectAt on
    std::uint64_t m_expectAt = 0;
    std::size_t m_expectGot = 0;               // how many of them the stream had
    std::vector<std::uint8_t> m_far;           // and past a long gap
    std::vector<std::uint8_t> m_fit;           // and after an anchor
    std::vector<Anchor> m_candidates;          // the anchors of the fault judged now
    std::vector<std::uint8_t> m_heldBefore;    // the stream before a lock, last first
    std::vector<std::uint8_t> m_heldReversed;  // the held bytes, last first
    std::vector<std::int64_t> m_triedShifts;   // shifts an anchor that tells its place was on
    std::vector<std::int64_t> m_triedInRuns;   // and one inside a run of like bytes
    bool m_weakResumeTried = false;
    std::size_t m_searchFrom = 0;      // where the search now made began
    std::uint64_t m_searchPeriod = 0;  // how the stream repeats where it looks
};

}  // namespace quorvel
