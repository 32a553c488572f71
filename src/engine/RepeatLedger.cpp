#include "engine/RepeatLedger.h"

#include <algorithm>

namespace quorvel {

void RepeatLedger::Clear() {
    m_forward.clear();
    m_back.clear();
}

void RepeatLedger::Keep(std::vector<Entry>& entries, const Turn& turn, std::uint64_t times) {
    if (times == 0) {
        return;
    }
    // Dearest first, so the cheapest is at the back; of those as cheap, the
    // latest.
    const auto at =
        std::upper_bound(entries.begin(), entries.end(), turn,
                         [](const Turn& t, const Entry& e) { return t.Cost() > e.turn.Cost(); });
    entries.insert(at, Entry{turn, times});
    if (entries.size() > kMostKept) {
        entries.erase(entries.begin());
    }
}

void RepeatLedger::NoteForward(const Turn& turn, std::uint64_t times) {
    Keep(m_forward, turn, times);
}

void RepeatLedger::NoteBack(const Turn& turn, std::uint64_t times) {
    Keep(m_back, turn, times);
}

std::optional<RepeatLedger::Turn> RepeatLedger::PeekBack() const {
    return m_forward.empty() ? std::nullopt : std::optional(m_forward.back().turn);
}

std::optional<RepeatLedger::Turn> RepeatLedger::PeekForward() const {
    return m_back.empty() ? std::nullopt : std::optional(m_back.back().turn);
}

void RepeatLedger::TurnOnce(std::vector<Entry>& from, std::vector<Entry>& to) {
    if (from.empty()) {
        return;
    }
    const Turn turn = from.back().turn;
    if (--from.back().times == 0) {
        from.pop_back();
    }
    Keep(to, Turn{turn.move, turn.to, turn.from}, 1);
}

void RepeatLedger::TurnBack() {
    TurnOnce(m_forward, m_back);
}

void RepeatLedger::TurnForward() {
    TurnOnce(m_back, m_forward);
}

}  // namespace quorvel
