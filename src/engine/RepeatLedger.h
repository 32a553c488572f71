#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel {

// On a stream that repeats every P bytes, some faults read as well a repeat
// further back as forward: the bytes after a gap that fit g bytes along fit
// as well P - g bytes back (g bytes lost, or P - g received twice), and on a
// text of a few letters a run of P wrong values reads as well as P bytes
// added. The bytes cannot tell; the count of what was sent and received by
// the end can. The ledger keeps the faults that can be read the other way,
// so that the balance turns those it must, the ones that cost least first,
// instead of counting whole repeats on top.
//
// Threads: the checker's (the receive thread's) only.
class RepeatLedger {
  public:
    // The counts one reading gives the bytes where the readings differ.
    struct Reading {
        std::uint64_t lost = 0;
        std::uint64_t extra = 0;
        std::uint64_t corrupted = 0;
        std::uint64_t bits = 0;  // wrong in the corrupted bytes
        std::uint64_t verified = 0;
        std::int64_t Errors() const { return static_cast<std::int64_t>(lost + extra + corrupted); }
    };
    // Reading a fault the other way: from its reading now to the other, the
    // place in the stream moving by `move` bytes (back for a fault read
    // forward, forward for one read back).
    struct Turn {
        std::uint64_t move = 0;
        Reading from;
        Reading to;
        std::int64_t Cost() const { return to.Errors() - from.Errors(); }
    };

    void Clear();
    // A fault read forward (it took `move` more of the stream than the other
    // reading would), or back; `times`: how many repeats it may turn.
    void NoteForward(const Turn& turn, std::uint64_t times = 1);
    void NoteBack(const Turn& turn, std::uint64_t times = 1);
    // The fault read forward that costs least read back, and the one read
    // back that costs least read forward; nothing when there is none.
    std::optional<Turn> PeekBack() const;
    std::optional<Turn> PeekForward() const;
    // Turns that fault once; it can then be turned back again.
    void TurnBack();
    void TurnForward();

    // Faults kept each way; beyond, those costing most to turn are forgotten.
    static constexpr std::size_t kMostKept = 64;

  private:
    struct Entry {
        Turn turn;
        std::uint64_t times;
    };
    static void Keep(std::vector<Entry>& entries, const Turn& turn, std::uint64_t times);
    static void TurnOnce(std::vector<Entry>& from, std::vector<Entry>& to);

    std::vector<Entry> m_forward;  // read forward, by cost of reading back, dearest first
    std::vector<Entry> m_back;     // read back, by cost of reading forward, dearest first
};

}  // namespace quorvel
