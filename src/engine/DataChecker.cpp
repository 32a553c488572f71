// The checker's life and its balance: following the source byte by byte,
// placing what matches, the window of the source's stream, the bytes whose
// time is up, and the end of the test. Faults are judged in
// DataCheckerFaults.cpp, the source found in DataCheckerLock.cpp.
#include <algorithm>
#include <bit>

#include "engine/DataChecker.h"

namespace quorvel {
namespace {

// Source bytes compared with the received ones at a time: a noisy line stops
// matching within a few bytes, and should not pay for copying hundreds.
constexpr std::size_t kFollowBytes = 128;

}  // namespace

DataChecker::DataChecker(const Streams& streams, int self) : m_streams(streams), m_self(self) {}

void DataChecker::StartTest(unsigned dataBits) {
    m_dataBits = dataBits;
    m_session = Session{};
    m_locked = false;
    m_pending.clear();
    m_pendingFrom = 0;
    m_held.clear();
    m_failedLocks = 0;
    m_skip = 0;
    m_sources = 0;
    m_recentRun = 0;
    StartRun(Positions{});
}

void DataChecker::StartRun(const Positions& windowStarts) {
    m_windowStarts = windowStarts;
    m_counts = CheckCounts{};
    // What was received and is still to be judged is judged in this run.
    m_counts.received = Pending().size() + m_held.size();
    m_expectedBefore = 0;
    m_unplacedBeforeLock = 0;
    m_unheld.clear();
    m_ledger.Clear();
    m_latency.Clear();
    m_nextLatencyAt = 0;
    m_sinceRefresh = 0;
    m_sinceLookAround = 0;
    if (m_session.source >= 0) {
        const std::uint64_t start = windowStarts[static_cast<std::size_t>(m_session.source)];
        m_session.windowStart = start;
        m_session.windowFrom = start;
        m_session.placedAny = false;
        m_session.overdueTo = 0;
    }
}

std::span<const std::uint8_t> DataChecker::Pending() const {
    return {m_pending.data() + m_pendingFrom, m_pending.size() - m_pendingFrom};
}

void DataChecker::Consume(std::size_t size) {
    m_consumed += size;
    m_pendingFrom += size;
    if (m_pendingFrom == m_pending.size()) {
        m_pending.clear();
        m_pendingFrom = 0;
    } else if (m_pendingFrom * 2 > m_pending.size()) {
        m_pending.erase(m_pending.begin(),
                        m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingFrom));
        m_pendingFrom = 0;
    }
}

void DataChecker::Check(const std::uint8_t* data, std::size_t size, std::uint64_t nowMs) {
    m_now = nowMs;
    m_counts.received += size;
    m_pending.insert(m_pending.end(), data, data + size);
    Advance();
    RefreshSources();
}

void DataChecker::Advance() {
    bool moved = true;
    while (moved && !Pending().empty()) {
        moved = m_locked ? Follow() : Lock();
    }
}

bool DataChecker::Follow() {
    const std::span<const std::uint8_t> pending = Pending();
    const std::size_t size = std::min(pending.size(), kFollowBytes);
    m_expect.resize(size);
    m_expectAt = m_session.position;
    m_expectGot = Stream().Copy(m_session.position, m_expect.data(), size);
    const auto differ =
        std::mismatch(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(m_expectGot),
                      m_expect.begin());
    const auto same = static_cast<std::size_t>(differ.first - pending.begin());
    if (same > 0) {
        PlaceRun(same);
        return true;
    }
    if (m_expectGot == 0) {
        return PastTheSource();
    }
    return ResolveFault();
}

bool DataChecker::PastTheSource() {
    const SentStream& stream = Stream();
    if (m_session.position < stream.Start()) {
        m_locked = false;  // fallen behind what the stream keeps: found again
        return true;
    }
    if (MoveToAlikeSource() || StartWindowARepeatEarlier()) {
        return true;
    }
    // More bytes than the source has sent: on a repeating stream the place
    // was taken a repeat too far, as a doubled repeat or a fault judged the
    // wrong way shows.
    const SentStream::Repeat repeat = stream.RepeatAt(m_session.position - 1);
    if (repeat.period > 0 && TakeBackARepeat(repeat.period, Pending().size())) {
        return true;
    }
    return ResolveFault();
}

void DataChecker::PlaceRun(std::size_t size) {
    const std::uint64_t position = m_session.position;
    NotePlaced(position);
    CountPlaced(size, 0, 0);
    SampleLatency(position, size);
    Remember(Pending().first(size));
    m_session.position += size;
    m_sinceRefresh += size;
    m_sinceLookAround += size;
    Consume(size);
}

void DataChecker::NotePlaced(std::uint64_t position) {
    if (m_session.placedAny) {
        return;
    }
    // The run's first byte placed: the source's bytes from the window's start
    // up to it never came; a byte from before the window starts it there.
    m_session.placedAny = true;
    if (position > m_session.windowStart) {
        // As many bytes received before it that fit nowhere stand for those
        // first bytes as they arrived: the fewest faults that explain both.
        // Those still kept are compared with them.
        const std::uint64_t gap = position - m_session.windowStart;
        const std::uint64_t under = std::min(gap, m_unplacedBeforeLock);
        const std::uint64_t kept = std::min<std::uint64_t>(under, m_unheld.size());
        m_expect.resize(static_cast<std::size_t>(kept));
        const std::size_t got = Stream().Copy(position - kept, m_expect.data(), m_expect.size());
        std::uint64_t same = 0;
        std::uint64_t bits = (under - kept) * kBitsOfAnyByte;
        for (std::size_t i = 0; i < kept; ++i) {
            const std::uint8_t sent =
                i < got ? m_expect[i] : static_cast<std::uint8_t>(~m_unheld[i]);
            const std::uint8_t arrived = m_unheld[m_unheld.size() - kept + i];
            same += sent == arrived ? 1 : 0;
            bits +=
                static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(sent ^ arrived)));
        }
        m_expectAt = ~std::uint64_t{0};  // the buffer no longer holds the place's bytes
        m_counts.lost += gap - under;
        m_counts.extra -= under;
        CountPlaced(same, under - same, bits);
        m_unplacedBeforeLock = 0;
        m_unheld.clear();
        m_session.windowFrom = m_session.windowStart;
    } else {
        m_session.windowFrom = position;
    }
}

void DataChecker::CountLost(std::uint64_t bytes) {
    // Before the first byte placed, the bytes passed over are counted by it.
    if (m_session.placedAny) {
        m_counts.lost += bytes;
    }
}

void DataChecker::CountPlaced(std::uint64_t matched, std::uint64_t substituted,
                              std::uint64_t bits) {
    m_counts.verified += matched;
    m_counts.corrupted += substituted;
    m_counts.corruptedBits += bits;
}

void DataChecker::SampleLatency(std::uint64_t position, std::size_t size) {
    if (position + size <= m_nextLatencyAt) {
        return;
    }
    const std::uint64_t at = std::max(position, m_nextLatencyAt);
    const std::optional<std::uint64_t> written = Stream().WrittenAtMs(at);
    if (written && m_now >= *written) {
        m_latency.Add(m_now - *written);
    }
    m_nextLatencyAt = at + kLatencyEvery;
}

void DataChecker::Remember(std::span<const std::uint8_t> verified) {
    if (verified.size() >= kKeyBytes) {
        std::copy(verified.end() - kKeyBytes, verified.end(), m_recent.begin());
    } else {
        std::copy(m_recent.begin() + static_cast<std::ptrdiff_t>(verified.size()), m_recent.end(),
                  m_recent.begin());
        std::copy(verified.begin(), verified.end(),
                  m_recent.end() - static_cast<std::ptrdiff_t>(verified.size()));
    }
    m_recentRun += verified.size();
}

std::uint64_t DataChecker::OverdueFrom(std::uint64_t nowMs) const {
    // The bytes written before this much time ago have had time to arrive.
    const std::uint64_t tail = Stream().TailMs();
    return nowMs > tail ? Stream().FirstWrittenAfter(nowMs - tail) : 0;
}

std::uint64_t DataChecker::ProvisionalLost() const {
    if (m_session.source < 0) {
        return 0;
    }
    const std::uint64_t from = m_session.placedAny ? m_session.position : m_session.windowStart;
    return m_session.overdueTo > from ? m_session.overdueTo - from : 0;
}

std::uint64_t DataChecker::SessionExpected() const {
    if (m_session.source < 0) {
        return 0;
    }
    if (m_session.placedAny) {
        return std::max(m_session.position, m_session.overdueTo) - m_session.windowFrom;
    }
    return m_session.overdueTo > m_session.windowStart ? m_session.overdueTo - m_session.windowStart
                                                       : 0;
}

CheckCounts DataChecker::Counts() const {
    CheckCounts counts = m_counts;
    counts.lost += ProvisionalLost();
    counts.bitsChecked = (counts.verified + counts.corrupted) * m_dataBits;
    counts.expected = m_expectedBefore + SessionExpected();
    return counts;
}

bool DataChecker::AwaitsTail() const {
    if (m_session.source < 0) {
        return false;
    }
    if (!Pending().empty()) {
        return true;
    }
    const std::uint64_t end = Stream().End();
    return m_session.position < end && m_session.overdueTo < end;
}

void DataChecker::Tick(std::uint64_t nowMs) {
    m_now = nowMs;
    if (m_session.source < 0) {
        return;
    }
    const std::uint64_t overdue = OverdueFrom(nowMs);
    m_session.overdueTo = std::max(m_session.overdueTo, overdue);
    const std::uint64_t end = Stream().End();
    if (overdue < end) {
        return;
    }
    // The source has been quiet for as long as a byte may take: nothing more
    // of it is on its way, and the last bytes received are judged as they are.
    if (EndWithAlikeSource()) {
        return;
    }
    SettleBeforeLastBytes(end);
    if (m_locked && !Pending().empty()) {
        m_finishing = true;
        Advance();
        m_finishing = false;
    }
    SettleRepeats(end > m_session.position ? end - m_session.position : 0);
}

void DataChecker::SettleBeforeLastBytes(std::uint64_t overdue) {
    // Whole repeats of the source missing at the end, more than the bytes
    // still to judge could fill, are settled first, so that those bytes are
    // judged where they stand.
    if (m_session.source < 0 || !m_locked || overdue <= m_session.position) {
        return;
    }
    const std::uint64_t missing = overdue - m_session.position;
    const std::uint64_t waiting = Pending().size();
    if (missing > waiting) {
        SettleRepeats(missing - waiting);
    }
}

void DataChecker::Finish(std::uint64_t nowMs) {
    m_now = nowMs;
    if (m_session.source >= 0) {
        SettleBeforeLastBytes(std::max(OverdueFrom(nowMs), m_session.overdueTo));
    }
    m_finishing = true;
    Advance();
    if (!m_locked && !m_held.empty()) {
        // No lock at the end: the held bytes are looked up again, at every
        // place the thinned-out searches let by.
        std::vector<std::uint8_t> again(m_held);
        const std::span<const std::uint8_t> pending = Pending();
        again.insert(again.end(), pending.begin(), pending.end());
        m_pending = std::move(again);
        m_pendingFrom = 0;
        m_held.clear();
        m_skip = 0;
        m_searchEveryByte = true;
        Advance();
        m_searchEveryByte = false;
    }
    m_finishing = false;
    CountUnplaced(m_held.size());
    m_held.clear();
    CloseTail(nowMs);
}

void DataChecker::CloseTail(std::uint64_t nowMs) {
    if (m_session.source < 0) {
        return;
    }
    EndWithAlikeSource();
    const std::uint64_t end = Stream().End();
    const std::uint64_t overdue = std::max(OverdueFrom(nowMs), m_session.overdueTo);
    SettleRepeats(overdue > m_session.position ? overdue - m_session.position : 0);
    // The source's bytes not received: lost where their time was up, cut by
    // the stop where they were still on their way.
    const std::uint64_t from = m_session.placedAny ? m_session.position : m_session.windowStart;
    if (end > from) {
        const std::uint64_t cutFrom = std::clamp(overdue, from, end);
        m_counts.lost += cutFrom - from;
        m_counts.cut += end - cutFrom;
        if (!m_session.placedAny) {
            m_session.placedAny = true;
            m_session.windowFrom = m_session.windowStart;
        }
        m_session.position = end;
    }
    m_session.overdueTo = std::max(m_session.overdueTo, end);
}

bool DataChecker::Covers(const RepeatLedger::Reading& reading) const {
    return m_counts.lost >= reading.lost && m_counts.extra >= reading.extra &&
           m_counts.corrupted >= reading.corrupted && m_counts.verified >= reading.verified;
}

void DataChecker::Apply(const RepeatLedger::Turn& turn, bool back) {
    m_counts.lost += turn.to.lost - turn.from.lost;
    m_counts.extra += turn.to.extra - turn.from.extra;
    m_counts.corrupted += turn.to.corrupted - turn.from.corrupted;
    m_counts.corruptedBits += turn.to.bits - std::min(turn.from.bits, m_counts.corruptedBits);
    m_counts.verified += turn.to.verified - turn.from.verified;
    m_session.position = back ? m_session.position - turn.move : m_session.position + turn.move;
}

bool DataChecker::StartWindowARepeatEarlier() {
    // On a repeating stream the run's first bytes are placed at the first
    // repeat in the window, but bytes from before the Run may still have
    // been on their way (a cable partner sending already): where more came
    // than the window holds, it starts a repeat earlier, as far back as a
    // byte could still arrive at the Run.
    const SentStream& stream = Stream();
    const std::uint64_t period = stream.RepeatAt(m_session.position - 1).period;
    const std::uint64_t start = m_windowStarts[static_cast<std::size_t>(m_session.source)];
    if (period == 0 || !m_session.placedAny || start == 0 || m_session.position < period) {
        return false;
    }
    const std::optional<std::uint64_t> lastBefore = stream.WrittenAtMs(start - 1);
    const std::uint64_t tail = stream.TailMs();
    const std::uint64_t floor = !lastBefore          ? start
                                : *lastBefore > tail ? stream.FirstWrittenAfter(*lastBefore - tail)
                                                     : stream.Start();
    if (m_session.windowFrom < floor + period) {
        return false;
    }
    m_session.windowFrom -= period;
    m_session.position -= period;
    return true;
}

bool DataChecker::TakeBackARepeat(std::uint64_t period, std::uint64_t beyond) {
    if (!m_session.placedAny) {
        return false;
    }
    // A fault read forward that costs least read back, else a whole repeat
    // received twice; either only where it costs less than counting the
    // `beyond` bytes received past what was sent as extra.
    const RepeatLedger::Turn doubled{period, {0, 0, 0, 0, period}, {0, period, 0, 0, 0}};
    const std::optional<RepeatLedger::Turn> turn = m_ledger.PeekBack();
    const auto most = static_cast<std::int64_t>(beyond);
    if (turn && turn->Cost() < doubled.Cost() && turn->Cost() < most && Covers(turn->from) &&
        m_session.position >= m_session.windowFrom + turn->move) {
        m_ledger.TurnBack();
        Apply(*turn, true);
        return true;
    }
    if (period > beyond || !Covers(doubled.from) ||
        m_session.position < m_session.windowFrom + period) {
        return false;
    }
    Apply(doubled, true);
    return true;
}

void DataChecker::SettleRepeats(std::uint64_t lostTail) {
    // Whole repeats of the source missing at the end: a fault read back is
    // read forward where that costs less than the repeat lost.
    while (m_session.placedAny) {
        const std::optional<RepeatLedger::Turn> turn = m_ledger.PeekForward();
        if (!turn || turn->move > lostTail ||
            turn->Cost() >= static_cast<std::int64_t>(turn->move) || !Covers(turn->from)) {
            return;
        }
        m_ledger.TurnForward();
        Apply(*turn, false);
        lostTail -= turn->move;
    }
}

}  // namespace quorvel
