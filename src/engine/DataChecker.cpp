#include "engine/DataChecker.h"

#include <algorithm>

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
    m_context.clear();
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
    while (!m_candidates.empty() && !m_waiting.empty()) {
        const std::size_t waiting = m_waiting.size();
        Verify();
        if (m_waiting.size() == waiting && !Reposition(std::min(m_waiting.size(), kLookAhead))) {
            break;
        }
    }
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
        // their place is looked for again, which is no error.
        return Realign();
    }
    if (longest == 0) {
        // Judged against the stream that has the most of what follows: one
        // that ended sooner cannot tell.
        std::stable_sort(
            m_candidates.begin(), m_candidates.end(),
            [this](const Candidate& a, const Candidate& b) { return Following(a) > Following(b); });
        return Classify();
    }
    // A candidate whose stream parts from the bytes where another's goes on
    // cannot be their source. One whose stream only ended sooner still can:
    // its place was taken a period too far on a repeating pattern, and it is
    // found again after the bytes just verified.
    const std::size_t tail = std::min(longest, kLockWindow);
    std::vector<Candidate> kept;
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
        }
    }
    m_candidates = std::move(kept);
    m_counts.verified += longest;
    m_errorsInARow = 0;
    // The bytes just verified stand before whatever comes next.
    const std::size_t context = std::min(longest, kContext);
    m_context.insert(m_context.end(),
                     m_waiting.begin() + static_cast<std::ptrdiff_t>(longest - context),
                     m_waiting.begin() + static_cast<std::ptrdiff_t>(longest));
    if (m_context.size() > kContext) {
        m_context.erase(m_context.begin(), m_context.end() - static_cast<std::ptrdiff_t>(kContext));
    }
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
    return true;
}

std::uint64_t DataChecker::Following(const Candidate& at) const {
    const std::uint64_t end = m_streams[static_cast<std::size_t>(at.port)]->End();
    return end > at.position ? end - at.position : 0;
}

bool DataChecker::Reposition(std::size_t ahead) {
    // The last bytes verified and the next ones, taken together, are looked
    // for in the stream: a real fault makes a sequence no stream holds, while
    // a lock taken at the wrong repeat of a repeating pattern shows here as
    // the sequence standing elsewhere.
    if (m_context.size() < kLookAhead || ahead == 0 || ahead > m_waiting.size()) {
        return false;
    }
    std::vector<std::uint8_t> sequence(m_context.begin(), m_context.end());
    sequence.insert(sequence.end(), m_waiting.begin(),
                    m_waiting.begin() + static_cast<std::ptrdiff_t>(ahead));
    std::vector<Candidate> moved;
    for (const Candidate& candidate : m_candidates) {
        const SentStream& stream = *m_streams[static_cast<std::size_t>(candidate.port)];
        const std::uint64_t end = stream.End();
        std::uint64_t position = 0;
        if (stream.FindNewest(sequence.data(), sequence.size(),
                              end > kSearchSpan ? end - kSearchSpan : 0, 0, position)) {
            moved.push_back({candidate.port, position + m_context.size()});
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

bool DataChecker::StreamHolds(const Candidate& at, std::uint64_t offset, const std::uint8_t* bytes,
                              std::size_t size) const {
    std::vector<std::uint8_t> expected(size);
    const std::size_t got = m_streams[static_cast<std::size_t>(at.port)]->Copy(
        at.position + offset, expected.data(), size);
    return got == size && std::equal(expected.begin(), expected.end(), bytes);
}

bool DataChecker::Classify() {
    if (m_waiting.size() < 1 + kLookAhead) {
        return false;  // the next bytes decide
    }
    if (Reposition(kLookAhead)) {
        return true;
    }
    const Candidate primary = m_candidates.front();
    const std::uint8_t* next = m_waiting.data() + 1;
    std::uint64_t advance = 0;
    std::size_t consumed = 0;
    if (StreamHolds(primary, 1, next, kLookAhead)) {
        ++m_counts.corrupted;  // the stream goes on after a wrong byte
        advance = 1;
        consumed = 1;
    } else if (StreamHolds(primary, 0, next, kLookAhead)) {
        ++m_counts.extra;  // the stream goes on with the byte after it
        consumed = 1;
    } else {
        // The stream goes on further along: bytes of it were lost.
        std::vector<std::uint8_t> ahead(kLongestGap + kLookAhead);
        const std::size_t got = m_streams[static_cast<std::size_t>(primary.port)]->Copy(
            primary.position + 1, ahead.data(), ahead.size());
        const auto end = ahead.begin() + static_cast<std::ptrdiff_t>(got);
        const auto found = std::search(ahead.begin(), end, m_waiting.begin(),
                                       m_waiting.begin() + static_cast<std::ptrdiff_t>(kLookAhead));
        if (found != end) {
            advance = 1 + static_cast<std::uint64_t>(found - ahead.begin());
            m_counts.lost += advance;
        } else if (m_errorsInARow >= kMostErrorsInARow) {
            m_candidates.clear();  // the lock is lost: looked for again
            m_errorsInARow = 0;
            return true;
        } else {
            ++m_counts.corrupted;  // more than one error close together: one at a time
            advance = 1;
            consumed = 1;
        }
    }
    ++m_errorsInARow;
    m_context.clear();  // what follows an error is no context to place bytes by
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
