// Which of the ways on after a fault is the true one: compared over the same
// received bytes, by how far each goes on matching the stream, then by what
// its region costs.
#include <algorithm>

#include "engine/DataChecker.h"

namespace quorvel {

DataChecker::Seen DataChecker::SeenFrom(const Anchor& anchor, std::size_t from, std::size_t to) {
    Seen seen;
    std::size_t after = 0;
    for (std::size_t i = 0; i < anchor.missCount; ++i) {
        const std::size_t at = anchor.misses[i];
        if (at < from) {
            ++seen.before;
        } else if (at < to && ++after == kFitMisses) {
            seen.reach = at;
            return seen;
        }
    }
    // Wrong bytes not kept lie after those kept: where all kept lie before
    // `from`, it is not known how the way on went on.
    const bool unknown = anchor.missCount == kMissesKept && anchor.misses[kMissesKept - 1] < from;
    seen.open = !unknown;
    seen.reach = unknown ? from : to;
    return seen;
}

bool DataChecker::Better(const Anchor& a, const Anchor& b) const {
    // The way on that goes on furthest is the true one: inside a run of like
    // bytes several fit for a while, and only where the run ends does the
    // true one show. Of those that go on as far as there are bytes, the
    // cheapest; of those as cheap, the nearer, then bytes lost before bytes
    // added. On a repeating stream, ways on a whole number of repeats apart
    // go on alike: the cheaper is the one.
    //
    // Two ways on are compared over the same received bytes: from the later
    // anchor on, the nearer's wrong bytes before it counting as wrong values
    // in its region (a way on found later holds the faults before it in its
    // region, and would otherwise seem to go on further for it).
    const auto period = static_cast<std::int64_t>(m_searchPeriod);
    const bool alike = period > 0 && (a.shift - b.shift) % period == 0;
    if (alike && a.region.cost != b.region.cost) {
        return a.region.cost < b.region.cost;
    }
    const std::size_t from = std::max(a.at, b.at);
    const std::size_t to = std::min(a.comparedTo, b.comparedTo);
    const Seen seenA = SeenFrom(a, from, to);
    const Seen seenB = SeenFrom(b, from, to);
    if (seenA.open != seenB.open) {
        return seenA.open;
    }
    if (!seenA.open && seenA.reach != seenB.reach) {
        return seenA.reach > seenB.reach;
    }
    const std::int64_t costA =
        a.region.cost + static_cast<std::int64_t>(seenA.before) * kSubstitutionCost;
    const std::int64_t costB =
        b.region.cost + static_cast<std::int64_t>(seenB.before) * kSubstitutionCost;
    if (costA != costB) {
        return costA < costB;
    }
    if (a.at != b.at) {
        return a.at < b.at;
    }
    return a.shift > 0 && b.shift < 0;
}

bool DataChecker::Decided(const Anchor& best) const {
    // Another way that goes on as far as the bytes do could still part from
    // the stream once more bytes come, unless the comparison went as far as
    // it ever goes.
    if (!best.open || best.capped) {
        return true;
    }
    return std::none_of(m_candidates.begin(), m_candidates.end(), [&](const Anchor& other) {
        return other.open && (other.at != best.at || other.shift != best.shift);
    });
}

}  // namespace quorvel
