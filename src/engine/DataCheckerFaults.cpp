// Where the received bytes stop matching their source: the place they match
// it again (an anchor), and what the bytes between were.
#include <algorithm>
#include <bit>
#include <cstdlib>

#include "engine/DataChecker.h"

namespace quorvel {
namespace {

// A region without an anchor is judged half at a time: as the stream's bytes
// where at least one in this many match (a line too noisy for an anchor),
// else as bytes of no place in it.
constexpr std::size_t kNoisyMatchesOneIn = 8;

// Shifts in the order they are tried: 0, +1, -1, +2, -2, ...
std::int64_t NthShift(std::int64_t n) {
    return n % 2 == 1 ? (n + 1) / 2 : -(n / 2);
}

}  // namespace

bool DataChecker::TellsAPlace(const std::uint8_t* bytes, std::size_t size) {
    // Bytes that go on as they began, a byte or two bytes in turn, say
    // nothing of where in such a run they stand; where a run ends they do.
    for (std::size_t i = 2; i < size; ++i) {
        if (bytes[i] != bytes[i - 2]) {
            return true;
        }
    }
    return false;
}

void DataChecker::FetchSource(std::size_t size) {
    // Fetched again unless all of them are here (the stream may have more of
    // them by now).
    if (m_expectAt == m_session.position && m_expectGot >= size) {
        return;
    }
    m_expect.resize(size);
    m_expectAt = m_session.position;
    m_expectGot = Stream().Copy(m_session.position, m_expect.data(), size);
}

bool DataChecker::ResolveFault() {
    const std::size_t waiting = Pending().size();
    if (waiting < 1 + kAnchorBytes && !m_finishing) {
        return false;  // the next bytes tell
    }
    if (LoneSubstitution()) {
        return true;
    }
    if (!SearchDue(waiting)) {
        return false;
    }
    const Anchor anchor = FindAnchor();
    // The last bytes of all, where the way on is a run of like bytes that
    // reaches their end: nothing after it tells one way on from another, and
    // they are aligned whole, to the stream's end.
    if (anchor.found && m_finishing && anchor.open && anchor.reach >= waiting &&
        std::abs(anchor.shift) <= kBand &&
        !TellsAPlace(Pending().data() + anchor.at, kAnchorBytes)) {
        JudgeLastBytes();
        return true;
    }
    if (anchor.found && (anchor.settled || m_finishing)) {
        Commit(anchor.region, Pending().first(anchor.at), anchor.shift);
        Consume(anchor.at);
        return true;
    }
    if (anchor.found || (!m_finishing && waiting < kLongestSearch + kKeyBytes)) {
        return false;  // the bytes to come may hold a cheaper way on, or the first
    }
    if (m_finishing) {
        JudgeLastBytes();
        return true;
    }
    return PassOver();
}

bool DataChecker::SearchDue(std::size_t waiting) {
    // A fault the bytes so far could not decide is looked at again once
    // half as many more have come: a few looks a fault, however small the
    // pieces the bytes arrive in.
    const bool sameFault =
        m_undecided.position == m_session.position && m_undecided.consumed == m_consumed;
    if (!m_finishing && sameFault && waiting < m_undecided.until) {
        return false;
    }
    m_undecided = {m_session.position, m_consumed,
                   waiting + std::max(kAnchorBytes * 4, waiting / 2)};
    return true;
}

bool DataChecker::LoneSubstitution() {
    // One wrong value with the stream going on after it, where neither a byte
    // lost nor one added explains the bytes as well: nothing else costs as
    // little, so no search is needed (the commonest fault of a noisy line).
    const std::span<const std::uint8_t> pending = Pending();
    FetchSource(1 + kAnchorBytes);
    if (pending.size() < 1 + kAnchorBytes || m_expectGot < 1 + kAnchorBytes) {
        return false;
    }
    const std::uint8_t* got = pending.data();
    const std::uint8_t* sent = m_expect.data();
    const bool goesOn = std::equal(got + 1, got + 1 + kAnchorBytes, sent + 1);
    const bool oneLost = std::equal(got, got + kAnchorBytes, sent + 1);
    const bool oneAdded = std::equal(got + 1, got + 1 + kAnchorBytes, sent);
    if (!goesOn || oneLost || oneAdded) {
        return false;
    }
    const bool placedBefore = m_session.placedAny;
    NotePlaced(m_session.position);
    CountPlaced(0, 1,
                static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(got[0] ^ sent[0]))));
    if (placedBefore) {
        RegionResult lone;
        lone.substituted = 1;
        NoteReadings(m_session.position, lone, 0, {});
    }
    ++m_session.position;
    m_recentRun = 0;
    Consume(1);
    return true;
}

DataChecker::Anchor DataChecker::FindAnchor() {
    Anchor best = SearchAnchors(0);
    if (!best.found || best.open) {
        return best;
    }
    // Other ways on part from the stream about where the best does: a second
    // fault close after this one (inside a run of like bytes, where either
    // may be read several ways). The region runs on past them both, to an
    // anchor after it, and is aligned whole.
    // (On a repeating stream, a way on a whole number of repeats off is the
    // same one.)
    const auto period = static_cast<std::int64_t>(Stream().RepeatAt(m_session.position).period);
    std::size_t rival = 0;
    for (const Anchor& other : m_candidates) {
        const bool repeatOff = period > 0 && (other.shift - best.shift) % period == 0;
        if (other.shift != best.shift && !repeatOff &&
            other.reach + static_cast<std::size_t>(kBand) >= best.reach) {
            rival = std::max(rival, other.reach);
        }
    }
    if (rival == 0) {
        return best;
    }
    const Anchor further = SearchAnchors(std::max(best.reach, rival));
    if (!further.found) {
        best.settled = false;  // the bytes to come hold it
        return best;
    }
    return further;
}

std::size_t DataChecker::ScanForAnchors(std::size_t at, std::size_t span) {
    // Anchors inside a run of like bytes fit at many shifts: where the stream
    // does not repeat within the band, the search goes on past the run, to
    // the first anchor that tells its place. On a repeating stream a jump
    // forward may be bytes received twice, found again a repeat on. Returns
    // where the scan stopped.
    const std::uint64_t period = Stream().RepeatAt(m_session.position).period;
    m_searchPeriod = period;
    const bool runsHide = period == 0 || period > static_cast<std::uint64_t>(2 * kBand + 1);
    const std::size_t repeatOn =
        static_cast<std::size_t>(std::min<std::uint64_t>(period, kFitBytes));
    std::optional<std::size_t> first;
    std::optional<std::size_t> telling;
    for (; at + kAnchorBytes <= span; ++at) {
        const std::size_t since = first.value_or(at);
        const std::size_t last = telling || !runsHide ? since + repeatOn : since + kFitBytes;
        if (first && at > std::max(last, telling.value_or(0)) + static_cast<std::size_t>(kBand)) {
            break;
        }
        const std::size_t before = m_candidates.size();
        if (at <= kLongestRegion) {
            TryBand(at);
        }
        TryLongJump(at);
        if (m_candidates.size() > before) {
            first = first.value_or(at);
            if (!telling && TellsAPlace(Pending().data() + at, kAnchorBytes)) {
                telling = at;
            }
        }
    }
    return at;
}

DataChecker::Anchor DataChecker::SearchAnchors(std::size_t from) {
    // The places the bytes match the stream again from `from` on, from the
    // nearest to a band's width after it, one a shift. Bytes found to hold
    // none are not looked at again while the fault waits for more.
    const std::size_t span = std::min(Pending().size(), kLongestSearch + kKeyBytes);
    FetchSource(std::min(span, kLongestRegion) + static_cast<std::size_t>(kBand + kSlack) +
                kAnchorBytes);
    // (Judging the last bytes looks at bytes a search before passed over.)
    const bool sameFault = from == 0 && !m_finishing && m_searchedAt == m_session.position &&
                           m_searchedFrom == m_consumed;
    m_candidates.clear();
    m_triedShifts.clear();
    m_triedInRuns.clear();
    m_weakResumeTried = false;
    m_searchFrom = from;
    std::size_t at = sameFault ? m_searchedTo : from;
    at = ScanForAnchors(at, span);
    if (m_candidates.empty()) {
        if (from == 0) {
            m_searchedTo = at;
            m_searchedAt = m_session.position;
            m_searchedFrom = m_consumed;
        }
        return {};
    }
    Anchor best = m_candidates.front();
    for (const Anchor& candidate : m_candidates) {
        best = Better(candidate, best) ? candidate : best;
    }
    const bool horizonSeen = at + kAnchorBytes <= span || span >= kLongestSearch;
    best.settled = horizonSeen && Decided(best);
    return best;
}

void DataChecker::TryBand(std::size_t at) {
    const std::uint8_t* got = Pending().data() + at;
    for (std::int64_t n = 0; n <= 2 * kBand; ++n) {
        const std::int64_t shift = NthShift(n);
        const std::int64_t index = static_cast<std::int64_t>(at) + shift;
        if (index < 0 || index + static_cast<std::int64_t>(kAnchorBytes) >
                             static_cast<std::int64_t>(m_expectGot)) {
            continue;
        }
        if (std::equal(got, got + kAnchorBytes, m_expect.data() + index)) {
            Consider(at, shift);
        }
    }
}

void DataChecker::TryLongJump(std::size_t at) {
    const std::span<const std::uint8_t> pending = Pending();
    // Bytes of few values stand in too many places to be looked for, unless
    // the stream is all such bytes (a text of a letter or two over and over),
    // or nothing more will come, where the stream found again at the first
    // of them is the way on that adds the fewest bytes.
    const std::uint64_t period = Stream().RepeatAt(m_session.position).period;
    const bool shortRepeat = period != 0 && period <= static_cast<std::uint64_t>(2 * kBand + 1);
    if (!shortRepeat &&
        !TellsAPlace(pending.data() + at, std::min(kAnchorBytes, pending.size() - at))) {
        if (!m_finishing || m_weakResumeTried) {
            return;
        }
        m_weakResumeTried =
            at > static_cast<std::size_t>(kBand) && m_expectGot >= kAnchorBytes &&
            std::equal(pending.begin() + static_cast<std::ptrdiff_t>(at),
                       pending.begin() + static_cast<std::ptrdiff_t>(at + kAnchorBytes),
                       m_expect.begin());
        if (m_weakResumeTried) {
            Consider(at, -static_cast<std::int64_t>(at));
        }
        return;
    }
    // The stream found again where it stood: the bytes before were added
    // (a long insertion, a block received twice). Looked at even where the
    // band found an anchor: on a repeating stream that may be a repeat off.
    if (at > static_cast<std::size_t>(kBand) && m_expectGot >= kAnchorBytes &&
        std::equal(pending.begin() + static_cast<std::ptrdiff_t>(at),
                   pending.begin() + static_cast<std::ptrdiff_t>(at + kAnchorBytes),
                   m_expect.begin())) {
        Consider(at, -static_cast<std::int64_t>(at));
    }
    // The stream found again further along: the bytes between lost (a gap,
    // an overrun). The index is asked at every fourth byte.
    if (at % kAnchorBytes != 0 || at + kKeyBytes > pending.size()) {
        return;
    }
    const std::optional<std::uint64_t> place =
        Stream().FindFrom(pending.data() + at, m_session.position);
    if (!place) {
        return;
    }
    ConsiderPlace(at, *place);
    // Where the stream holds the same bytes over and over for a stretch (a
    // file of a repeating line), that place may read the bytes since the
    // fault as added: the nearest from where the byte would stand with
    // nothing lost (less a band) is a way on too, unless it lies a whole
    // number of the stream's repeats on (the same way on; the balance turns
    // such readings by what was sent and received).
    const std::uint64_t nearest = m_session.position + at;
    const std::uint64_t nearer = nearest - std::min<std::uint64_t>(nearest, kBand);
    if (*place >= nearer) {
        return;
    }
    const std::optional<std::uint64_t> again = Stream().FindFrom(pending.data() + at, nearer);
    if (again && (period == 0 || (*again - *place) % period != 0)) {
        ConsiderPlace(at, *again);
    }
}

void DataChecker::ConsiderPlace(std::size_t at, std::uint64_t place) {
    const std::int64_t shift =
        static_cast<std::int64_t>(place - m_session.position) - static_cast<std::int64_t>(at);
    if (std::abs(shift) > kBand || at > kLongestRegion) {
        Consider(at, shift);
    }
}

void DataChecker::MeasureReach(Anchor& anchor) {
    // How far the received bytes go on matching the stream from the anchor,
    // to their kFitMisses-th wrong byte (faults close after this one are
    // passed over).
    const std::span<const std::uint8_t> pending = Pending();
    const std::size_t compared = std::min(pending.size() - anchor.at, kFitBytes);
    m_fit.resize(compared);
    const std::int64_t from = static_cast<std::int64_t>(m_session.position) +
                              static_cast<std::int64_t>(anchor.at) + anchor.shift;
    const std::size_t got = Stream().Copy(static_cast<std::uint64_t>(from), m_fit.data(), compared);
    // (Bytes past what the stream has sent cannot part from it: on a
    // repeating stream the place may be a repeat ahead, as the end shows.)
    std::size_t missed = 0;
    std::size_t length = compared;
    anchor.missCount = 0;
    for (std::size_t i = 0; i < std::min(compared, got) && anchor.missCount < kMissesKept; ++i) {
        if (pending[anchor.at + i] == m_fit[i]) {
            continue;
        }
        anchor.misses[anchor.missCount++] = anchor.at + i;
        if (++missed == kFitMisses) {
            length = i + 1;
        }
    }
    anchor.open = missed < kFitMisses;
    anchor.capped = anchor.open && compared == kFitBytes;
    anchor.reach = anchor.at + length;
    anchor.comparedTo = anchor.at + compared;
}

std::optional<RegionResult> DataChecker::AlignTo(std::span<const std::uint8_t> region,
                                                 std::int64_t shift, std::int64_t slack) {
    // The source's bytes the alignment may reach: all of them from the place
    // while the band is one, else those by the start and by the far end.
    const auto size = static_cast<std::int64_t>(region.size());
    const std::int64_t reach = size + std::max<std::int64_t>(shift, 0) + slack + 1;
    SourceView view;
    if (shift <= 0 || shift + 2 * slack + 1 <= RegionAligner::kWidestBand) {
        FetchSource(static_cast<std::size_t>(reach));
        view.near = {m_expect.data(), m_expectGot};
    } else {
        FetchSource(static_cast<std::size_t>(size + 2 * slack + 1));
        view.near = {m_expect.data(), m_expectGot};
        view.farFrom = shift - slack;
        m_far.resize(static_cast<std::size_t>(size + 2 * slack + 1));
        const std::size_t got =
            Stream().Copy(m_session.position + static_cast<std::uint64_t>(view.farFrom),
                          m_far.data(), m_far.size());
        view.far = {m_far.data(), got};
    }
    return m_aligner.ToAnchor(region, view, shift, slack);
}

void DataChecker::Consider(std::size_t at, std::int64_t shift) {
    // One anchor a shift: a later one on the same shift is the same way on,
    // unless the first was inside a run of like bytes and this one tells
    // its place.
    const bool telling = TellsAPlace(Pending().data() + at, kAnchorBytes);
    std::vector<std::int64_t>& tried = telling ? m_triedShifts : m_triedInRuns;
    if (std::find(tried.begin(), tried.end(), shift) != tried.end()) {
        return;
    }
    tried.push_back(shift);
    // Far from the fault the region may hold others: the band spares twice
    // as much as it looks at.
    const std::int64_t slack =
        m_searchFrom > 0 || at > static_cast<std::size_t>(kBand) ? 2 * kBand : kSlack;
    const std::optional<RegionResult> region = AlignTo(Pending().first(at), shift, slack);
    if (!region) {
        return;
    }
    Anchor anchor;
    anchor.found = true;
    anchor.at = at;
    anchor.shift = shift;
    anchor.region = *region;
    MeasureReach(anchor);
    m_candidates.push_back(anchor);
}

void DataChecker::Commit(const RegionResult& region, std::span<const std::uint8_t> bytes,
                         std::int64_t shift) {
    const std::size_t received = bytes.size();
    const std::uint64_t place = m_session.position;
    const bool placedBefore = m_session.placedAny;
    if (region.firstPlaced >= 0) {
        NotePlaced(place + static_cast<std::uint64_t>(region.firstPlaced));
    }
    CountLost(placedBefore ? region.deleted : region.deleted - region.deletedBeforeFirst);
    CountPlaced(region.matched, region.substituted, region.flippedBits);
    m_counts.extra += region.inserted;
    if (placedBefore) {
        NoteReadings(place, region, shift, bytes);
    }
    m_session.position = static_cast<std::uint64_t>(static_cast<std::int64_t>(place) +
                                                    static_cast<std::int64_t>(received) + shift);
    m_recentRun = 0;
}

void DataChecker::NoteReadings(std::uint64_t place, const RegionResult& region, std::int64_t shift,
                               std::span<const std::uint8_t> bytes) {
    // On a repeating stream, what a fault could read as a repeat the other
    // way: a jump forward (lost) as one back (doubled) or the other way
    // round, and wrong values as bytes added or the other way round, a
    // repeat's worth at a time.
    const auto period = Stream().RepeatAt(place).period;
    if (period == 0) {
        return;
    }
    const auto p = static_cast<std::int64_t>(period);
    if (shift != 0 && std::abs(shift) < p) {
        const auto lost = static_cast<std::uint64_t>(shift > 0 ? shift : p + shift);
        const std::uint64_t doubled = period - lost;
        const RepeatLedger::Reading forward{lost, 0, 0, 0, doubled};
        const RepeatLedger::Reading back{0, doubled, 0, 0, 0};
        if (shift > 0) {
            m_ledger.NoteForward({period, forward, back});
        } else if (IsDoubled(place, region, bytes)) {
            m_ledger.NoteBack({period, back, forward});
        }
    }
    // Wrong values carry the bits the region found; bytes added read as
    // wrong values would differ in half their bits, as any byte does.
    const std::uint64_t bitsEach =
        region.substituted == 0
            ? 4
            : (region.flippedBits + region.substituted / 2) / region.substituted;
    const RepeatLedger::Reading wrong{0, 0, period, period * bitsEach, 0};
    const RepeatLedger::Reading added{0, period, 0, 0, 0};
    m_ledger.NoteForward({period, wrong, added}, region.substituted / period);
    m_ledger.NoteBack({period, added, wrong}, region.inserted / period);
}

bool DataChecker::IsDoubled(std::uint64_t place, const RegionResult& region,
                            std::span<const std::uint8_t> bytes) const {
    // Bytes added only read as bytes lost the other way where they are the
    // stream's bytes received a second time: the ones just before the place.
    const std::size_t size = bytes.size();
    if (region.inserted != size || place < size) {
        return false;
    }
    std::vector<std::uint8_t> before(size);
    return Stream().Copy(place - size, before.data(), size) == size &&
           std::equal(before.begin(), before.end(), bytes.begin());
}

void DataChecker::JudgeLastBytes() {
    // Nothing follows to find the stream by: the cheapest alignment of what
    // there is, ending anywhere, all of them at once (the ends of parts would
    // not be free), within the band; bytes too few to look up may stand after
    // a gap of any length searched.
    const std::span<const std::uint8_t> pending = Pending();
    const std::size_t size = std::min(pending.size(), kLongestSearch + kAnchorBytes);
    const bool few = size < kKeyBytes;
    const std::int64_t lowest = -static_cast<std::int64_t>(std::min(size, kLongestRegion));
    const std::int64_t highest = few ? static_cast<std::int64_t>(kLongestSearch) : kBand;
    FetchSource(size + static_cast<std::size_t>(highest) + 1);
    const SourceView view{{m_expect.data(), m_expectGot}, {}, 0};
    std::optional<RegionResult> region =
        m_aligner.OpenEnd(pending.first(size), view, lowest, highest);
    // Where the stream has fewer bytes left than were received, the first of
    // them may all be added, and the last stand for those bytes.
    const std::size_t left = std::min(m_expectGot, size);
    if (!few && left < kKeyBytes) {
        RegionResult added;
        added.inserted = size - left;
        for (std::size_t i = 0; i < left; ++i) {
            const std::uint8_t got = pending[size - left + i];
            const bool same = got == m_expect[i];
            added.matched += same ? 1 : 0;
            added.substituted += same ? 0 : 1;
            added.flippedBits +=
                static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(got ^ m_expect[i])));
            added.firstPlaced =
                added.firstPlaced < 0 ? static_cast<std::int64_t>(i) : added.firstPlaced;
        }
        added.cost = static_cast<std::int64_t>(added.inserted) * kIndelCost +
                     static_cast<std::int64_t>(added.substituted) * kSubstitutionCost +
                     static_cast<std::int64_t>(added.flippedBits) * kBitCost;
        added.endShift = static_cast<std::int64_t>(left) - static_cast<std::int64_t>(size);
        if (!region || added.cost <= region->cost) {
            region = added;
        }
    }
    if (!region) {
        m_counts.extra += size;  // not reached: adding every byte always fits
    } else {
        Commit(*region, pending.first(size), region->endShift);
    }
    Consume(size);
}

bool DataChecker::PassOver() {
    const std::span<const std::uint8_t> pending = Pending();
    const std::size_t size = kLongestRegion;
    FetchSource(size);
    std::size_t same = 0;
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < m_expectGot && i < size; ++i) {
        same += pending[i] == m_expect[i] ? 1 : 0;
        bits += static_cast<std::uint64_t>(
            std::popcount(static_cast<unsigned>(pending[i] ^ m_expect[i])));
    }
    if (m_expectGot == size && same * kNoisyMatchesOneIn >= size) {
        // A line too noisy to find an anchor on: the bytes stand where the
        // stream goes on, each right or wrong.
        NotePlaced(m_session.position);
        CountPlaced(same, size - same, bits);
        m_session.position += size;
    } else {
        // Bytes that fit no place in the stream: the lock is lost and looked
        // for again.
        m_counts.extra += size;
        m_locked = false;
    }
    m_recentRun = 0;
    Consume(size);
    return true;
}

}  // namespace quorvel
