// Finding where the received bytes come from: the first bytes looked up in
// every port's stream, the bytes held before a lock judged against the
// stream just before it, and the ports that send alike looked at again.
#include <algorithm>
#include <bit>
#include <limits>

#include "engine/DataChecker.h"

namespace quorvel {
namespace {

// While nothing fits anywhere (other line settings, a foreign sender), the
// searches thin out to one in this many bytes, so garbage costs little: fewer
// than are held, so that where a stream begins every byte of it is still
// held to be placed.
constexpr std::size_t kMostSkipped = 32;
// Received bytes compared with a stream where their first bytes were found,
// and the share of them that must match there.
constexpr std::size_t kLockCompared = 32;

}  // namespace

bool DataChecker::Lock() {
    const std::span<const std::uint8_t> pending = Pending();
    if (m_finishing && m_skip == 0 && pending.size() < kKeyBytes && LockOnFewBytes()) {
        return true;
    }
    if (m_skip > 0 || (m_finishing && pending.size() < kKeyBytes)) {
        // Let by while searches keep failing; held to be judged by a later lock.
        const std::size_t size = m_skip > 0 ? std::min(m_skip, pending.size()) : pending.size();
        m_held.insert(m_held.end(), pending.begin(),
                      pending.begin() + static_cast<std::ptrdiff_t>(size));
        m_skip -= std::min(m_skip, size);
        Consume(size);
        TrimHeld();
        return true;
    }
    if (pending.size() < kKeyBytes) {
        return false;
    }
    std::array<std::uint64_t, kPorts> places{};
    std::uint8_t found = 0;
    const bool weak = !TellsAPlace(pending.data(), kKeyBytes);
    for (int port = 0; port < kPorts; ++port) {
        if (const std::optional<std::uint64_t> place = PlaceIn(port, weak)) {
            places[static_cast<std::size_t>(port)] = *place;
            found = static_cast<std::uint8_t>(found | (1u << port));
        }
    }
    if (found == 0) {
        if (!LockAtRunStart()) {
            HoldUnplaced();
        }
        return true;
    }
    const int source = SourceAmong(found);
    const std::uint64_t place = places[static_cast<std::size_t>(source)];
    m_failedLocks = 0;
    m_sources = found;
    m_locked = true;
    AdoptUnplaced();
    if (source == m_session.source) {
        ResumeWithHeld(place);
    } else {
        StartSession(source, place);
        SpillHeld();
        m_session.position = PlaceAfterHeld(place);
        JudgeHeldBefore(m_session.position);
    }
    return true;
}

void DataChecker::HoldUnplaced() {
    // The oldest byte fits nowhere; later searches thin out.
    m_held.push_back(Pending().front());
    Consume(1);
    ++m_failedLocks;
    const std::size_t skip = std::size_t{1} << std::min<std::size_t>(m_failedLocks, 10);
    m_skip = m_searchEveryByte ? 0 : std::min(skip, kMostSkipped) - 1;
    TrimHeld();
}

int DataChecker::SourceAmong(std::uint8_t found) const {
    // The source the balance follows: the one it followed, else the port
    // itself, else the lowest-numbered.
    if (m_session.source >= 0 && (found & (1u << m_session.source)) != 0) {
        return m_session.source;
    }
    if (m_self >= 0 && (found & (1u << m_self)) != 0) {
        return m_self;
    }
    return std::countr_zero(static_cast<unsigned>(found));
}

void DataChecker::SpillHeld() {
    // Only the held bytes nearest the lock are aligned byte by byte; those
    // before them stand for the stream's bytes before, as they came.
    if (m_held.size() > kHeldAligned) {
        const std::size_t spilled = m_held.size() - kHeldAligned;
        m_counts.extra += spilled;
        m_unplacedBeforeLock += spilled;
        m_unheld.insert(m_unheld.end(), m_held.begin(),
                        m_held.begin() + static_cast<std::ptrdiff_t>(spilled));
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(spilled));
        if (m_unheld.size() > kLongestSearch) {
            m_unheld.erase(
                m_unheld.begin(),
                m_unheld.begin() + static_cast<std::ptrdiff_t>(m_unheld.size() - kLongestSearch));
        }
    }
}

std::optional<std::uint64_t> DataChecker::PlaceIn(int port, bool weak) const {
    const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
    if (stream == nullptr) {
        return std::nullopt;
    }
    // Where the stream the bytes were lost from stood, or where this run's
    // window starts: the nearest place from there, so a repeating stream's
    // bytes count from the first repeat they can be.
    const std::span<const std::uint8_t> pending = Pending();
    const bool resumed = port == m_session.source;
    const std::uint64_t from =
        resumed ? m_session.position : m_windowStarts[static_cast<std::size_t>(port)];
    std::optional<std::uint64_t> place = stream->FindFrom(pending.data(), from);
    if (!place && !resumed) {
        place = stream->FindNewest(pending.data());  // on its way from before the Run
    }
    if (!place) {
        return std::nullopt;
    }
    // A run of like bytes inside a stream that does not repeat so often
    // stands in many places: the lock waits for bytes that tell one. Bytes
    // that tell a place are placed by them; a text of a letter or two over
    // and over must go on fitting too.
    const std::uint64_t period = stream->RepeatAt(*place).period;
    if (weak && (period == 0 || period > kKeyBytes)) {
        return std::nullopt;
    }
    return !weak || Fits(*stream, *place) ? place : std::nullopt;
}

std::uint64_t DataChecker::PlaceAfterHeld(std::uint64_t place) {
    // On a repeating stream the bytes held before the lock decide which
    // repeat its place is: the one where they and the bytes before the place
    // fit with the fewest faults, near where as many bytes after the
    // window's start would put it.
    const SentStream& stream = Stream();
    const std::uint64_t period = stream.RepeatAt(place).period;
    if (period == 0 || m_held.empty()) {
        return place;
    }
    const std::uint64_t target = m_session.windowStart + m_held.size();
    const std::uint64_t near = target > place ? (target - place) / period : 0;
    std::array<std::uint8_t, kKeyBytes> key{};
    std::copy_n(Pending().begin(), kKeyBytes, key.begin());
    std::uint64_t best = place;
    std::int64_t bestCost = std::numeric_limits<std::int64_t>::max();
    for (std::uint64_t k = near > 0 ? near - 1 : 0; k <= near + 1; ++k) {
        const std::uint64_t candidate = place + k * period;
        std::array<std::uint8_t, kKeyBytes> sent{};
        if (stream.Copy(candidate, sent.data(), sent.size()) != sent.size() || sent != key) {
            continue;
        }
        if (const std::optional<RegionResult> region = AlignHeld(candidate)) {
            const std::int64_t cost =
                region->cost + static_cast<std::int64_t>(HeldGap(*region, candidate)) * kIndelCost;
            if (cost < bestCost) {
                best = candidate;
                bestCost = cost;
            }
        }
    }
    return best;
}

bool DataChecker::LockAtRunStart() {
    // The run's first bytes, with a fault too close after them to look them
    // up by: placed where a port's run began, if they are what it sent there.
    const std::span<const std::uint8_t> pending = Pending();
    if (m_session.source >= 0 || !m_held.empty() || m_counts.unrecognised != 0) {
        return false;
    }
    std::array<std::uint8_t, kAnchorBytes> sent{};
    for (int port = 0; port < kPorts; ++port) {
        const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
        const std::uint64_t place = m_windowStarts[static_cast<std::size_t>(port)];
        if (stream == nullptr || stream->Copy(place, sent.data(), sent.size()) != sent.size() ||
            !std::equal(sent.begin(), sent.end(), pending.begin())) {
            continue;
        }
        m_locked = true;
        m_sources = static_cast<std::uint8_t>(1u << port);
        StartSession(port, place);
        return true;
    }
    return false;
}

bool DataChecker::LockOnFewBytes() {
    // The last bytes of all, too few to look up: the last of them are placed
    // where the stream they were lost from stood, or where a port's run
    // began, if they are what it sent there (all it sent, or four bytes at
    // least); those before them are held.
    const std::span<const std::uint8_t> pending = Pending();
    for (std::size_t size = pending.size(); size > 0; --size) {
        const std::span<const std::uint8_t> last = pending.last(size);
        for (int port = 0; port < kPorts; ++port) {
            const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
            const bool resumed = port == m_session.source;
            if (stream == nullptr || (m_session.source >= 0 && !resumed)) {
                continue;
            }
            const std::uint64_t place =
                resumed ? m_session.position : m_windowStarts[static_cast<std::size_t>(port)];
            // (Bytes of a run stand in any part of it, but where the stream
            // repeats within a key.)
            std::vector<std::uint8_t> sent(size);
            const std::uint64_t there = stream->End() > place ? stream->End() - place : 0;
            const std::uint64_t period = stream->RepeatAt(place).period;
            const bool placed =
                TellsAPlace(last.data(), size) || (period != 0 && period <= kKeyBytes);
            if ((size < kAnchorBytes && size != there) || !placed ||
                stream->Copy(place, sent.data(), sent.size()) != sent.size() ||
                !std::equal(sent.begin(), sent.end(), last.begin())) {
                continue;
            }
            m_held.insert(m_held.end(), pending.begin(),
                          pending.end() - static_cast<std::ptrdiff_t>(size));
            Consume(pending.size() - size);
            m_locked = true;
            m_sources = static_cast<std::uint8_t>(1u << port);
            AdoptUnplaced();
            if (resumed) {
                ResumeWithHeld(place);
            } else {
                StartSession(port, place);
                SpillHeld();
                JudgeHeldBefore(place);
            }
            return true;
        }
    }
    return false;
}

bool DataChecker::Fits(const SentStream& stream, std::uint64_t place) const {
    const std::span<const std::uint8_t> pending = Pending();
    std::array<std::uint8_t, kLockCompared> sent{};
    const std::size_t got =
        stream.Copy(place, sent.data(), std::min(pending.size(), kLockCompared));
    if (got < kKeyBytes) {
        return false;
    }
    std::size_t same = 0;
    for (std::size_t i = 0; i < got; ++i) {
        same += sent[i] == pending[i] ? 1 : 0;
    }
    return same * 4 >= got * 3;
}

void DataChecker::StartSession(int source, std::uint64_t place) {
    if (m_session.source >= 0) {
        // The bytes come from another port now: what the balance counted of
        // the last one stays, and the new one's window starts.
        m_counts.lost += ProvisionalLost();
        m_expectedBefore += SessionExpected();
    }
    const std::uint64_t start = m_windowStarts[static_cast<std::size_t>(source)];
    m_session = Session{source, place, start, start, false, 0};
    m_ledger.Clear();
    m_nextLatencyAt = 0;
}

void DataChecker::ResumeWithHeld(std::uint64_t place) {
    // Found again in the stream the bytes were lost from, at or after where
    // they stood: the bytes held since are aligned with what it sent between.
    const std::int64_t shift = static_cast<std::int64_t>(place - m_session.position) -
                               static_cast<std::int64_t>(m_held.size());
    const std::optional<RegionResult> region = AlignTo(m_held, shift);
    if (region) {
        Commit(*region, m_held, shift);
    } else {
        m_counts.extra += m_held.size();
        CountLost(place - m_session.position);
        m_session.position = place;
    }
    m_held.clear();
}

std::optional<RegionResult> DataChecker::AlignHeld(std::uint64_t place) {
    // The held bytes came just before the ones the lock was found with: they
    // are aligned backwards from the lock's place with what the stream sent
    // before it, within the run's window where the lock lies in it.
    const SentStream& stream = Stream();
    const std::uint64_t reach = m_held.size() + static_cast<std::uint64_t>(kBand);
    std::uint64_t floor = std::max(stream.Start(), place > reach ? place - reach : 0);
    if (place >= m_session.windowStart) {
        floor = std::max(floor, m_session.windowStart);
    }
    m_heldBefore.resize(static_cast<std::size_t>(place - std::min(floor, place)));
    m_heldBefore.resize(stream.Copy(floor, m_heldBefore.data(), m_heldBefore.size()));
    std::reverse(m_heldBefore.begin(), m_heldBefore.end());
    m_heldReversed.assign(m_held.rbegin(), m_held.rend());
    // Where bytes were let go unheld before them, those stand for the
    // stream's bytes before as they came: the held ones end where they do.
    const SourceView view{m_heldBefore, {}, 0};
    if (m_unplacedBeforeLock > 0) {
        if (std::optional<RegionResult> region = m_aligner.OpenEnd(m_heldReversed, view, 0, 0)) {
            return region;
        }
    }
    return m_aligner.OpenEnd(m_heldReversed, view, -static_cast<std::int64_t>(m_held.size()),
                             static_cast<std::int64_t>(kBand));
}

std::uint64_t DataChecker::HeldGap(const RegionResult& region, std::uint64_t place) const {
    // The source's bytes from the window's start to the earliest held byte
    // placed: lost.
    const std::uint64_t earliest =
        region.lastPlaced >= 0 ? place - 1 - static_cast<std::uint64_t>(region.lastPlaced) : place;
    return earliest > m_session.windowStart ? earliest - m_session.windowStart : 0;
}

void DataChecker::JudgeHeldBefore(std::uint64_t place) {
    if (m_held.empty()) {
        return;
    }
    const std::optional<RegionResult> region = AlignHeld(place);
    if (JudgeAllBeforeForward(place, region)) {
        return;
    }
    const std::size_t held = m_held.size();
    m_held.clear();
    if (!region) {
        m_counts.extra += held;
        m_unplacedBeforeLock += held;
        return;
    }
    if (region->lastPlaced >= 0) {
        NotePlaced(place - 1 - static_cast<std::uint64_t>(region->lastPlaced));
    }
    // (Stream bytes passed over before the earliest placed are the gap from
    // the window's start, counted with it.)
    CountLost(region->deleted - region->deletedAfterLast);
    CountPlaced(region->matched, region->substituted, region->flippedBits);
    m_counts.extra += region->inserted;
    m_unplacedBeforeLock += region->inserted;
}

bool DataChecker::JudgeAllBeforeForward(std::uint64_t place,
                                        const std::optional<RegionResult>& backward) {
    // Where every byte received before the lock is still here (held, or let
    // go unheld and kept), they are all aligned forward from the window's
    // start too: a gap of any length may lie among them, and the run's first
    // bytes before garbage are found. Where that costs less than the held
    // bytes aligned back with the rest standing as they came, it is the
    // reading.
    const std::uint64_t start = m_session.windowStart;
    if (place < start || m_unplacedBeforeLock > m_unheld.size()) {
        return false;
    }
    const auto unheld = static_cast<std::size_t>(m_unplacedBeforeLock);
    std::vector<std::uint8_t> before(m_unheld.end() - static_cast<std::ptrdiff_t>(unheld),
                                     m_unheld.end());
    before.insert(before.end(), m_held.begin(), m_held.end());
    const std::int64_t shift =
        static_cast<std::int64_t>(place - start) - static_cast<std::int64_t>(before.size());
    m_session.position = start;
    const std::optional<RegionResult> forward = AlignTo(before, shift, kSlack);
    m_session.position = place;
    if (!forward || forward->cost >= BackwardCost(backward, place)) {
        return false;
    }
    // The bytes let go unheld were counted as bytes of no place: they are
    // judged with the rest now.
    m_counts.extra -= unheld;
    m_unplacedBeforeLock = 0;
    m_unheld.clear();
    m_held.clear();
    m_session.position = start;
    Commit(*forward, before, shift);
    return true;
}

std::int64_t DataChecker::BackwardCost(const std::optional<RegionResult>& region,
                                       std::uint64_t place) const {
    // The held bytes aligned back, the bytes let go unheld standing for as
    // many of the stream's before them (a wrong value each, as a byte of no
    // place would be near enough), the rest of the gap lost and of them extra.
    if (!region) {
        return std::numeric_limits<std::int64_t>::max();
    }
    const std::uint64_t gap = HeldGap(*region, place);
    const std::uint64_t under = std::min(gap, m_unplacedBeforeLock);
    const std::int64_t wrong =
        kSubstitutionCost + kBitCost * static_cast<std::int64_t>(kBitsOfAnyByte);
    return region->cost + static_cast<std::int64_t>(under) * wrong +
           static_cast<std::int64_t>(gap - under + m_unplacedBeforeLock - under) * kIndelCost;
}

void DataChecker::AdoptUnplaced() {
    // The run has a source: the bytes that fit no stream while none was
    // known are bytes of no place in its stream.
    m_unplacedBeforeLock += m_counts.unrecognised;
    m_counts.extra += m_counts.unrecognised;
    m_counts.unrecognised = 0;
}

void DataChecker::TrimHeld() {
    if (m_held.size() > kMostHeld) {
        // Let go unjudged, and kept a while to be compared with the stream
        // should its first bytes turn out to lie under them.
        const std::size_t dropped = m_held.size() - kMostHeld;
        CountUnplaced(dropped);
        m_unheld.insert(m_unheld.end(), m_held.begin(),
                        m_held.begin() + static_cast<std::ptrdiff_t>(dropped));
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(dropped));
        if (m_unheld.size() > kLongestSearch) {
            m_unheld.erase(
                m_unheld.begin(),
                m_unheld.begin() + static_cast<std::ptrdiff_t>(m_unheld.size() - kLongestSearch));
        }
    }
}

void DataChecker::CountUnplaced(std::uint64_t bytes) {
    // Bytes that fit no port's stream: unrecognised, until a source is found
    // and they are bytes of no place in its stream.
    m_counts.unrecognised += bytes;
}

bool DataChecker::HoldsRecent(int port) const {
    const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
    return stream != nullptr && stream->FindNewest(m_recent.data()).has_value();
}

void DataChecker::RefreshSources() {
    if (!m_locked || m_recentRun < kKeyBytes) {
        return;
    }
    const auto own = static_cast<std::uint8_t>(1u << m_session.source);
    if (m_sinceLookAround >= kLookAroundBytes) {
        // Ports that started sending the same bytes later are sources too.
        std::uint8_t sources = own;
        for (int port = 0; port < kPorts; ++port) {
            if (port != m_session.source && HoldsRecent(port)) {
                sources = static_cast<std::uint8_t>(sources | (1u << port));
            }
        }
        m_sources = sources;
        m_sinceLookAround = 0;
        m_sinceRefresh = 0;
    } else if (m_sinceRefresh >= kRefreshBytes && m_sources != own) {
        // A port whose stream has parted from the bytes is no source.
        for (int port = 0; port < kPorts; ++port) {
            if (port != m_session.source && (m_sources & (1u << port)) != 0 && !HoldsRecent(port)) {
                m_sources = static_cast<std::uint8_t>(m_sources & ~(1u << port));
            }
        }
        m_sinceRefresh = 0;
    }
}

std::optional<std::uint64_t> DataChecker::AlikePlace(int port,
                                                     std::span<const std::uint8_t> next) const {
    // Where in the port's stream the bytes verified last stand: of the places
    // its stream holds them, a repeat apart where it repeats, the one as far
    // into its window as they are into the window followed now (the ports
    // send alike, so the same count of bytes stands at the same place), or a
    // repeat either side of it; the first after which it holds `next` too.
    const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
    if (stream == nullptr || m_recentRun < kKeyBytes) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> found = stream->FindNewest(m_recent.data());
    if (!found) {
        return std::nullopt;
    }
    const std::uint64_t newest = *found + kKeyBytes;
    const std::uint64_t period = stream->RepeatAt(*found).period;
    const std::uint64_t target = m_windowStarts[static_cast<std::size_t>(port)] +
                                 (m_session.position - m_session.windowFrom);
    std::uint64_t nearest = newest;
    if (period > 0 && newest > target) {
        nearest -= std::min(newest / period, (newest - target + period / 2) / period) * period;
    }
    std::array<std::uint8_t, kAnchorBytes * 4> sent{};
    const std::size_t size = std::min(next.size(), sent.size());
    for (const std::uint64_t place :
         {nearest, nearest + period, nearest - std::min(nearest, period)}) {
        const std::size_t got = place <= newest && place >= stream->Start()
                                    ? stream->Copy(place, sent.data(), size)
                                    : 0;
        const bool holdsNext =
            got == size &&
            std::equal(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(size),
                       next.begin());
        if (place <= newest && holdsNext) {
            return place;
        }
        if (period == 0) {
            break;
        }
    }
    return std::nullopt;
}

void DataChecker::FollowFrom(int source, std::uint64_t place) {
    // What the balance counted of the port followed so far stays; the new
    // one's window starts at the place, all its bytes before it being the
    // same as those of the port followed.
    m_counts.lost += ProvisionalLost();
    m_expectedBefore += SessionExpected();
    m_session = Session{source, place, place, place, true, 0};
    m_ledger.Clear();
    m_nextLatencyAt = 0;
}

bool DataChecker::MoveToAlikeSource() {
    // More bytes than the port followed has sent, which another port sending
    // alike has sent after the same bytes: it is the source.
    const std::span<const std::uint8_t> pending = Pending();
    for (int port = 0; port < kPorts; ++port) {
        if (port == m_session.source || (m_sources & (1u << port)) == 0) {
            continue;
        }
        if (const std::optional<std::uint64_t> place = AlikePlace(port, pending)) {
            FollowFrom(port, *place);
            return true;
        }
    }
    return false;
}

bool DataChecker::EndWithAlikeSource() {
    // The bytes ended before the port followed had sent all of its own, but
    // another port sending alike has sent no more than them: it is the
    // source, and none of its bytes is missing.
    if (!m_locked || !Pending().empty() || m_session.position >= Stream().End()) {
        return false;
    }
    for (int port = 0; port < kPorts; ++port) {
        if (port == m_session.source || (m_sources & (1u << port)) == 0) {
            continue;
        }
        const SentStream* stream = m_streams[static_cast<std::size_t>(port)];
        const std::optional<std::uint64_t> found = stream != nullptr && m_recentRun >= kKeyBytes
                                                       ? stream->FindNewest(m_recent.data())
                                                       : std::nullopt;
        const std::optional<std::uint64_t> place = found && *found + kKeyBytes == stream->End()
                                                       ? std::optional(stream->End())
                                                       : std::nullopt;
        if (place) {
            FollowFrom(port, *place);
            return true;
        }
    }
    return false;
}

}  // namespace quorvel
