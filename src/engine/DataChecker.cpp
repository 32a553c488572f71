#include "engine/DataChecker.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quorvel {
namespace {

// How far back in a stream a lock is looked for: more than can be in flight.
constexpr std::uint64_t kSearchSpan = 64 * 1024;
// Bytes held while no lock is found, to be judged once one is; beyond this
// the oldest are unrecognised.
constexpr std::size_t kMostHeld = 64;
// While nothing fits anywhere (other line settings, a foreign sender), the
// searches thin out to one in this many bytes, so garbage costs little.
constexpr std::size_t kMostSkipped = 1024;
// Errors in a row, with no byte matching in between, after which the lock is
// taken as lost and looked for again.
constexpr std::size_t kMostErrorsInARow = 64;
// The matching bytes after one fault that show it for what it is: a lock at
// the wrong repeat of a pattern parts from the bytes at once.
constexpr std::size_t kLoneFaultFit = 32;
// Windows of the received bytes looked for in one search for a long gap.
constexpr std::size_t kLongGapWindows = 4;

// Whether `size` bytes hold enough different values to stand for one place
// in a stream.
bool Telling(const std::uint8_t* bytes, std::size_t size) {
    std::array<bool, 256> seen{};
    std::size_t values = 0;
    for (std::size_t i = 0; i < size && values < 4; ++i) {
        values += seen[bytes[i]] ? 0 : 1;
        seen[bytes[i]] = true;
    }
    return values >= 4;
}

}  // namespace

DataChecker::DataChecker(const Streams& streams) : m_streams(streams) {}

void DataChecker::Reset() {
    m_candidates.clear();
    m_waiting.clear();
    m_held.clear();
    m_failedLocks = 0;
    m_skip = 0;
    m_errorsInARow = 0;
    m_sinceLookAround = 0;
    m_sinceLongGapSearch = kLongGapSearchSpacing;
    m_placed = 0;
    m_counts = CheckCounts{};
}

std::uint8_t DataChecker::Sources() const {
    std::uint8_t sources = 0;
    for (const Candidate& candidate : m_candidates) {
        sources = static_cast<std::uint8_t>(sources | (1u << candidate.port));
    }
    return sources;
}

void DataChecker::Check(const std::uint8_t* data, std::size_t size) {
    m_counts.received += size;
    m_sinceLongGapSearch += size;
    m_waiting.insert(m_waiting.end(), data, data + size);
    bool moved = true;
    while (moved && !m_waiting.empty()) {
        moved = m_candidates.empty() ? Lock() : Verify();
    }
}

void DataChecker::Finish() {
    // What still fits the stream is verified as ever (moved to its place
    // with what there is of it, if need be); only the rest is judged byte by
    // byte.
    m_finishing = true;
    while (!m_candidates.empty() && !m_waiting.empty()) {
        const std::size_t waiting = m_waiting.size();
        Verify();
        if (m_waiting.size() == waiting && !Reposition(std::min(m_waiting.size(), kLookAhead)) &&
            !ClassifyTail()) {
            break;
        }
    }
    m_finishing = false;
    if (!m_candidates.empty()) {
        // Byte by byte against the stream: a match is verified, the rest are
        // wrong values where the stream should have gone on.
        const Candidate& at = m_candidates.front();
        std::vector<std::uint8_t> expected(m_waiting.size());
        const std::size_t got = m_streams[static_cast<std::size_t>(at.port)]->Copy(
            at.position, expected.data(), expected.size());
        for (std::size_t i = 0; i < m_waiting.size(); ++i) {
            if (i < got && expected[i] == m_waiting[i]) {
                ++m_counts.verified;
            } else {
                ++m_counts.corrupted;
            }
        }
    } else {
        m_counts.unrecognised += m_waiting.size();
    }
    m_counts.unrecognised += m_held.size();
    m_waiting.clear();
    m_held.clear();
}

bool DataChecker::ClassifyTail() {
    // Too few bytes are left to look ahead with: a way of going on is taken
    // only if all of them then match, the one with the most matching for the
    // fewest errors.
    if (m_candidates.empty()) {
        return false;  // the lock was lost on the way: the rest is judged without it
    }
    const Candidate at = m_candidates.front();
    const std::size_t size = m_waiting.size();
    std::vector<std::uint8_t> stream(kLookAhead + size);
    const std::size_t got = m_streams[static_cast<std::size_t>(at.port)]->Copy(
        at.position, stream.data(), stream.size());
    Way best;
    std::ptrdiff_t bestScore = 0;
    const auto consider = [&](Way::Kind kind, std::uint64_t advance, std::size_t consumed,
                              std::size_t errors) {
        const std::size_t rest = size - consumed;
        const auto from = stream.begin() + static_cast<std::ptrdiff_t>(advance);
        if (advance + rest > got ||
            !std::equal(m_waiting.begin() + static_cast<std::ptrdiff_t>(consumed), m_waiting.end(),
                        from)) {
            return;
        }
        const std::ptrdiff_t score =
            static_cast<std::ptrdiff_t>(rest) - static_cast<std::ptrdiff_t>(errors);
        if (best.kind == Way::Kind::None || score > bestScore) {
            best = {kind, advance, consumed, rest};
            bestScore = score;
        }
    };
    consider(Way::Kind::Corrupted, 1, 1, 1);
    consider(Way::Kind::Extra, 0, 1, 1);
    for (std::uint64_t gap = 1; gap <= kLookAhead; ++gap) {
        consider(Way::Kind::Lost, gap, 0, gap);
    }
    if (best.kind == Way::Kind::None) {
        return false;
    }
    CountError(best);
    m_counts.verified += best.fit;
    m_waiting.clear();
    return true;
}

void DataChecker::CountError(const Way& way) {
    switch (way.kind) {
        case Way::Kind::Corrupted:
            ++m_counts.corrupted;
            break;
        case Way::Kind::Extra:
            ++m_counts.extra;
            break;
        case Way::Kind::Lost:
            m_counts.lost += way.advance;
            break;
        case Way::Kind::None:
        case Way::Kind::Undecided:
            break;
    }
}

void DataChecker::Consume(std::size_t size) {
    m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(size));
}

bool DataChecker::Lock() {
    if (m_skip > 0) {
        // Let by while searches keep failing; held to be judged by a later lock.
        const std::size_t size = std::min(m_skip, m_waiting.size());
        m_held.insert(m_held.end(), m_waiting.begin(),
                      m_waiting.begin() + static_cast<std::ptrdiff_t>(size));
        Consume(size);
        m_skip -= size;
    } else {
        if (m_waiting.size() < kLockWindow) {
            return false;
        }
        for (int port = 0; port < kPorts; ++port) {
            const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
            std::uint64_t position = 0;
            const std::uint64_t end = stream != nullptr ? stream->End() : 0;
            if (stream != nullptr &&
                stream->FindNewest(m_waiting.data(), kLockWindow,
                                   end > kSearchSpan ? end - kSearchSpan : 0, 0, position)) {
                m_candidates.push_back({port, position});
            }
        }
        if (!m_candidates.empty()) {
            m_failedLocks = 0;
            JudgeHeld(m_candidates.front());
            m_placed = 0;
            return true;
        }
        // The oldest byte fits nowhere; later searches thin out.
        m_held.push_back(m_waiting.front());
        Consume(1);
        ++m_failedLocks;
        m_skip = std::min<std::size_t>(std::size_t{1} << std::min<std::size_t>(m_failedLocks, 10),
                                       kMostSkipped) -
                 1;
    }
    if (m_held.size() > kMostHeld) {
        m_counts.unrecognised += m_held.size() - kMostHeld;
        m_held.erase(m_held.begin(),
                     m_held.begin() + static_cast<std::ptrdiff_t>(m_held.size() - kMostHeld));
    }
    return true;
}

void DataChecker::JudgeHeld(const Candidate& lock) {
    // The held bytes came just before the ones the lock was found with: they
    // are judged against the bytes just before that place in the stream.
    const std::size_t held = m_held.size();
    const std::uint64_t before = std::min<std::uint64_t>(held, lock.position);
    const std::size_t unplaced = held - static_cast<std::size_t>(before);
    m_counts.unrecognised += unplaced;
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(before));
    const std::size_t got = m_streams[static_cast<std::size_t>(lock.port)]->Copy(
        lock.position - before, expected.data(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const bool kept = i < got;
        if (kept && expected[i] == m_held[unplaced + i]) {
            ++m_counts.verified;
        } else if (kept) {
            ++m_counts.corrupted;
        } else {
            ++m_counts.unrecognised;
        }
    }
    m_held.clear();
}

bool DataChecker::Verify() {
    const std::size_t size = m_waiting.size();
    std::vector<std::uint8_t> expected(size);
    std::vector<std::size_t> matched(m_candidates.size(), 0);
    std::vector<bool> parted(m_candidates.size(), false);
    std::size_t longest = 0;
    bool anyKept = false;
    for (std::size_t c = 0; c < m_candidates.size(); ++c) {
        const Candidate& candidate = m_candidates[c];
        const std::size_t got = m_streams[static_cast<std::size_t>(candidate.port)]->Copy(
            candidate.position, expected.data(), size);
        anyKept = anyKept || got > 0;
        const auto end = expected.begin() + static_cast<std::ptrdiff_t>(got);
        matched[c] = static_cast<std::size_t>(
            std::mismatch(expected.begin(), end, m_waiting.begin()).first - expected.begin());
        parted[c] = matched[c] < got;
        longest = std::max(longest, matched[c]);
    }
    if (!anyKept) {
        // The bytes run past what the candidates have sent (the lock was taken
        // a period too far on a repeating pattern) or behind what they keep:
        // their place is looked for again, which is no error: by what the
        // source sent before it where there is enough of that, otherwise by
        // the bytes alone.
        return Reposition(std::min(m_waiting.size(), kLookAhead)) || Realign();
    }
    if (longest == 0) {
        // Judged against the stream that has the most of what follows: one
        // that ended sooner cannot tell.
        // Each stream's length is read once: the senders go on appending, and
        // a sort whose order moves under it is undefined.
        std::vector<std::pair<std::uint64_t, Candidate>> byFollowing;
        for (const Candidate& candidate : m_candidates) {
            byFollowing.emplace_back(Following(candidate), candidate);
        }
        std::stable_sort(byFollowing.begin(), byFollowing.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (std::size_t c = 0; c < byFollowing.size(); ++c) {
            m_candidates[c] = byFollowing[c].second;
        }
        return Classify();
    }
    // A candidate whose stream parts from the bytes where another's goes on
    // cannot be their source. One whose stream only ended sooner still can:
    // its place was taken a period too far on a repeating pattern, and it is
    // found again after the bytes just verified.
    const std::size_t tail = std::min(longest, kLockWindow);
    std::vector<Candidate> kept;
    m_placed += longest;
    for (std::size_t c = 0; c < m_candidates.size(); ++c) {
        const Candidate& candidate = m_candidates[c];
        std::uint64_t position = 0;
        const SentStream& stream = *m_streams[static_cast<std::size_t>(candidate.port)];
        if (matched[c] == longest) {
            kept.push_back({candidate.port, candidate.position + longest});
        } else if (!parted[c] &&
                   stream.FindNewest(
                       m_waiting.data() + longest - tail, tail,
                       candidate.position > kSearchSpan ? candidate.position - kSearchSpan : 0, 0,
                       position)) {
            kept.push_back({candidate.port, position + tail});
            m_placed = std::min<std::uint64_t>(m_placed, tail);  // found again by these alone
        }
    }
    m_candidates = std::move(kept);
    m_counts.verified += longest;
    m_errorsInARow = 0;
    m_sinceLookAround += longest;
    if (m_sinceLookAround >= kLookAroundBytes && longest >= kLockWindow) {
        LookAround(m_waiting.data() + longest - kLockWindow);
    }
    Consume(longest);
    return true;
}

void DataChecker::LookAround(const std::uint8_t* window) {
    m_sinceLookAround = 0;
    for (int port = 0; port < kPorts; ++port) {
        const bool known = std::any_of(m_candidates.begin(), m_candidates.end(),
                                       [port](const Candidate& c) { return c.port == port; });
        const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
        std::uint64_t position = 0;
        const std::uint64_t end = stream != nullptr ? stream->End() : 0;
        if (!known && stream != nullptr &&
            stream->FindNewest(window, kLockWindow, end > kSearchSpan ? end - kSearchSpan : 0, 0,
                               position)) {
            m_candidates.push_back({port, position + kLockWindow});
        }
    }
}

bool DataChecker::Realign() {
    if (m_waiting.size() < kLockWindow && !m_finishing) {
        return false;  // fewer bytes could be placed anywhere: the next ones decide
    }
    const std::size_t size = std::min(m_waiting.size(), kLockWindow);
    std::vector<Candidate> kept;
    for (const Candidate& candidate : m_candidates) {
        const SentStream& stream = *m_streams[static_cast<std::size_t>(candidate.port)];
        const std::uint64_t end = stream.End();
        std::uint64_t position = 0;
        if (stream.FindNewest(m_waiting.data(), size, end > kSearchSpan ? end - kSearchSpan : 0, 0,
                              position)) {
            kept.push_back({candidate.port, position});
        }
    }
    m_candidates = std::move(kept);  // none: the lock is looked for afresh
    m_placed = 0;                    // the new place stands for nothing received before it yet
    return true;
}

std::uint64_t DataChecker::Following(const Candidate& at) const {
    const std::uint64_t end = m_streams[static_cast<std::size_t>(at.port)]->End();
    return end > at.position ? end - at.position : 0;
}

DataChecker::Candidate DataChecker::WithRoomToJudge(const Candidate& at) const {
    // A place taken a period too far on a repeating stream (the sender being
    // periods ahead of what arrives) has too little of the stream after it to
    // tell a fault's kind by. The newest place with the same bytes before it,
    // as far back as the place has gone since the lock, that has room enough
    // after it is the same place to the receiver.
    const std::size_t room = kLongestGap + 1 + kDecideBytes;
    const std::size_t past = static_cast<std::size_t>(std::min<std::uint64_t>(m_placed, kHistory));
    if (Following(at) >= room || past < kContext || at.position < past) {
        return at;
    }
    const SentStream& stream = *m_streams[static_cast<std::size_t>(at.port)];
    std::vector<std::uint8_t> sequence(past);
    std::uint64_t position = 0;
    const std::uint64_t end = stream.End();
    if (stream.Copy(at.position - past, sequence.data(), past) != past ||
        !stream.FindNewest(sequence.data() + past - kContext, kContext,
                           end > kSearchSpan ? end - kSearchSpan : 0, room, position,
                           std::span<const std::uint8_t>(sequence.data(), past - kContext))) {
        return at;
    }
    return {at.port, position + kContext};
}

bool DataChecker::Reposition(std::size_t ahead) {
    // What the source sent just before the place, and the next bytes
    // received, taken together, are looked for in its stream: a real fault
    // makes a sequence no stream holds, while a lock taken at the wrong
    // repeat of a repeating pattern shows here as the sequence standing
    // elsewhere. Only a place with the same past as far back as the place
    // has gone since the lock is the same repeat: a byte lost or added inside
    // a run of like bytes only seems to move the place, and is an error.
    const std::size_t past = static_cast<std::size_t>(std::min<std::uint64_t>(m_placed, kHistory));
    if (past < kLookAhead || ahead == 0 || ahead > m_waiting.size()) {
        return false;
    }
    const std::size_t context = std::min(past, kContext);
    std::vector<std::uint8_t> sequence(past + ahead);
    std::copy_n(m_waiting.begin(), ahead, sequence.begin() + static_cast<std::ptrdiff_t>(past));
    std::vector<Candidate> moved;
    for (const Candidate& candidate : m_candidates) {
        const SentStream& stream = *m_streams[static_cast<std::size_t>(candidate.port)];
        const std::uint64_t end = stream.End();
        std::uint64_t position = 0;
        if (candidate.position < past ||
            stream.Copy(candidate.position - past, sequence.data(), past) != past) {
            continue;
        }
        const std::span<const std::uint8_t> earlier(sequence.data(), past - context);
        if (stream.FindNewest(sequence.data() + past - context, context + ahead,
                              end > kSearchSpan ? end - kSearchSpan : 0, 0, position, earlier)) {
            moved.push_back({candidate.port, position + context});
        }
    }
    if (moved.empty()) {
        return false;
    }
    m_candidates = std::move(moved);
    return true;
}

bool DataChecker::StreamParts(const Candidate& at, const std::uint8_t* bytes,
                              std::size_t size) const {
    std::vector<std::uint8_t> expected(size);
    const std::size_t got =
        m_streams[static_cast<std::size_t>(at.port)]->Copy(at.position, expected.data(), size);
    return !std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(got),
                       bytes);
}

DataChecker::Way DataChecker::FindWayOn(const Candidate& at, std::size_t misses) const {
    // The stream from the place on, far enough for the longest gap and then
    // as many bytes as are compared.
    const std::size_t compared = std::min(m_waiting.size(), kDecideBytes);
    std::vector<std::uint8_t> stream(kLongestGap + 1 + compared);
    const std::size_t got = m_streams[static_cast<std::size_t>(at.port)]->Copy(
        at.position, stream.data(), stream.size());
    Way best;
    bool tied = false;
    const auto consider = [&](Way::Kind kind, std::uint64_t advance, std::size_t consumed) {
        if (advance >= got) {
            return;
        }
        // Every way is compared on as many bytes (one fewer than are waiting,
        // as a way may judge the first), so none wins by length alone.
        const std::size_t comparable =
            std::min(compared - 1, got - static_cast<std::size_t>(advance));
        if (comparable < kLookAhead) {
            return;
        }
        // How far the way goes on before its `misses`th wrong byte (other
        // faults close after this one).
        const std::uint8_t* received = m_waiting.data() + consumed;
        const std::uint8_t* sent = stream.data() + advance;
        if (misses > 2 && received[0] != sent[0]) {
            return;  // two faults at one place are not taken on top of a third
        }
        std::size_t fit = 0;
        for (std::size_t missed = 0; fit < comparable; ++fit) {
            missed += received[fit] != sent[fit] ? 1 : 0;
            if (missed == misses) {
                break;
            }
        }
        if (fit < kLookAhead || (best.kind != Way::Kind::None && fit < best.fit)) {
            return;
        }
        tied = best.kind != Way::Kind::None && fit == best.fit;
        if (!tied) {
            best = {kind, advance, consumed, fit, fit == comparable};
        }
    };
    consider(Way::Kind::Corrupted, 1, 1);  // the stream goes on after a wrong byte
    consider(Way::Kind::Extra, 0, 1);      // the stream goes on with the byte after it
    for (std::uint64_t gap = 1; gap <= kLongestGap; ++gap) {
        consider(Way::Kind::Lost, gap, 0);  // the stream goes on further along
    }
    if (tied && best.open && m_waiting.size() < kDecideBytes && !m_finishing) {
        best.kind = Way::Kind::Undecided;  // the bytes to come tell the ways apart
    }
    return best;
}

DataChecker::Way DataChecker::FindLongGap(const Candidate& at) {
    if (m_sinceLongGapSearch < kLongGapSearchSpacing) {
        return {};
    }
    // The bytes are looked for a window at a time, so that a fault close
    // after the gap does not hide it; a window of few values (a file's zero
    // fill, the NULs of a break, a run of like bytes) stands in too many
    // places to tell one by.
    const std::size_t judged = std::min(m_waiting.size(), kDecideBytes);
    std::vector<std::size_t> offsets;
    for (std::size_t offset = 0; offset + kLockWindow <= judged && offsets.size() < kLongGapWindows;
         offset += kLockWindow) {
        if (Telling(m_waiting.data() + offset, kLockWindow)) {
            offsets.push_back(offset);
        }
    }
    if (offsets.size() < kLongGapWindows && judged < kDecideBytes && !m_finishing) {
        return {Way::Kind::Undecided};  // the bytes to come give more windows
    }
    const SentStream& stream = *m_streams[static_cast<std::size_t>(at.port)];
    for (const std::size_t offset : offsets) {
        // The nearest place the window stands, so that on a repeating stream
        // (a file sent over and over) the loss counted is the least the bytes
        // show. Where it stands within the longest gap, the usual search
        // tells the faults there once it is past those close together.
        std::uint64_t position = 0;
        if (!stream.FindOldest(m_waiting.data() + offset, kLockWindow, at.position, position)) {
            continue;
        }
        if (position < at.position + offset + kLongestGap + 1) {
            break;
        }
        // Faults among the bytes before the window (bytes lost or added)
        // move the place their first byte stands for: the place is set back
        // by half the longest gap, and the usual search for a gap that
        // follows finds the true one, so the loss is counted whole.
        const std::uint64_t gap = position - offset - at.position;
        return {Way::Kind::Lost, gap - kLongestGap / 2, 0, kLockWindow};
    }
    m_sinceLongGapSearch = 0;  // no long gap: errors close together
    return {};
}

bool DataChecker::Classify() {
    if (m_waiting.size() < 1 + kLookAhead) {
        return false;  // the next bytes decide
    }
    // Of the ways the bytes may go on, the one that goes on furthest is
    // taken: inside a run of like bytes several fit for a while, and only
    // where the run ends does the true one show; a second fault close after
    // this one is passed over. Ties go to the first way. Only when no way
    // goes far past a second fault (a byte lost with two corrupted close
    // after it) is a third allowed: allowing it always would let a wrong way
    // pass over the true one's next fault.
    const Candidate primary = WithRoomToJudge(m_candidates.front());
    Way way = FindWayOn(primary, 2);
    // One fault with the stream going on well after it is judged at once.
    // Anything else may be a lock at the wrong repeat of a repeating
    // pattern, which shows only where the repeats end: that search reads
    // much of the stream, so a noisy line is not made to pay it at every
    // fault.
    const bool oneFault = (way.open || way.fit >= kLoneFaultFit) &&
                          (way.kind == Way::Kind::Corrupted || way.kind == Way::Kind::Extra ||
                           way.kind == Way::Kind::Lost);
    if (!oneFault && Reposition(kLookAhead)) {
        return true;
    }
    m_candidates.front() = primary;
    if (way.kind == Way::Kind::None) {
        way = FindWayOn(primary, 3);
    }
    if (way.kind == Way::Kind::None) {
        way = FindLongGap(primary);
    }
    if (way.kind == Way::Kind::Undecided) {
        return false;
    }
    if (way.kind == Way::Kind::None) {
        if (m_errorsInARow >= kMostErrorsInARow) {
            m_candidates.clear();  // the lock is lost: looked for again
            m_errorsInARow = 0;
            return true;
        }
        way = {Way::Kind::Corrupted, 1, 1, 0};  // more than one error close together: one at a time
    }
    CountError(way);
    const std::uint64_t advance = way.advance;
    const std::size_t consumed = way.consumed;
    m_placed += advance;
    ++m_errorsInARow;
    // The other candidates go the same way; one whose stream then parts
    // from the judging stream cannot be the source (one that has not sent
    // that far yet still can). The received bytes are not the measure: more
    // errors may lie among them.
    std::vector<std::uint8_t> judged(kLookAhead);
    const std::size_t known = m_streams[static_cast<std::size_t>(primary.port)]->Copy(
        primary.position + advance, judged.data(), judged.size());
    std::vector<Candidate> kept;
    for (const Candidate& candidate : m_candidates) {
        const Candidate moved{candidate.port, candidate.position + advance};
        if (candidate.port == primary.port || !StreamParts(moved, judged.data(), known)) {
            kept.push_back(moved);
        }
    }
    m_candidates = std::move(kept);
    Consume(consumed);
    return true;
}

}  // namespace quorvel
