#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/StreamIndex.h"

namespace quorvel {

// The bytes one port has put on its line, in the order they went, kept as far
// back as any byte still on its way can reach (the driver's queue, the card,
// a cable, the receiver's queue, a receive thread's lag). Each byte has a
// position: how many bytes the port had sent before it in this test. Beside
// the bytes it keeps when each was written, how each run's bytes repeat, and
// an index of where every run of StreamIndex::kKeyBytes bytes stands.
//
// Threads: the write thread appends; the receive threads read; both only
// under the stream's lock, held for a copy or a look-up.
class SentStream {
  public:
    // Far more than can be in flight at once at any line rate.
    static constexpr std::size_t kCapacity = 256 * 1024;
    static constexpr std::size_t kKeyBytes = StreamIndex::kKeyBytes;

    SentStream();

    // A new test: nothing sent. `tailMs`: how long after its write a byte may
    // still arrive (the port's queue at its line rate, and some); `indexed`:
    // whether receivers look its bytes up (they do while data is checked).
    void Reset(std::uint64_t tailMs = kDefaultTailMs, bool indexed = true);
    std::uint64_t TailMs() const;

    // A run's bytes follow: they repeat every `period` bytes (0: never).
    void BeginRun(std::uint64_t period);
    // Bytes about to go on the line at `nowMs` (appended before the write
    // starts, so a receiver never sees them before they are known here) ...
    void Append(const std::uint8_t* data, std::size_t size, std::uint64_t nowMs = 0);
    // ... and those of them that did not, when a write ends short.
    void Retract(std::size_t size);

    // The position after the last byte sent, and of the oldest byte kept.
    std::uint64_t End() const;
    std::uint64_t Start() const;
    // Copies the bytes from `from` on, at most `size`, that are kept; how many.
    std::size_t Copy(std::uint64_t from, std::uint8_t* out, std::size_t size) const;

    // When the byte at `position` was written; nothing when that is no longer
    // known (or the byte was not written).
    std::optional<std::uint64_t> WrittenAtMs(std::uint64_t position) const;
    // The first position written after `ms` (End when every byte was
    // written by then): the bytes before it were all written by `ms`.
    std::uint64_t FirstWrittenAfter(std::uint64_t ms) const;

    // How the bytes around `position` repeat: every `period` bytes (0:
    // never) from `from` on, within the run that holds `position`.
    struct Repeat {
        std::uint64_t period = 0;
        std::uint64_t from = 0;
    };
    Repeat RepeatAt(std::uint64_t position) const;

    // Where the kKeyBytes bytes at `key` stand: the nearest place at or after
    // `from`, or the newest place anywhere in the stream; nothing when none.
    std::optional<std::uint64_t> FindFrom(const std::uint8_t* key, std::uint64_t from) const;
    std::optional<std::uint64_t> FindNewest(const std::uint8_t* key) const;

    static constexpr std::uint64_t kDefaultTailMs = 1000;

  private:
    struct Written {
        std::uint64_t end;  // the position after the bytes written at `ms`
        std::uint64_t ms;
    };
    struct Run {
        std::uint64_t from;
        std::uint64_t period;
    };

    std::uint64_t StartLocked() const;
    bool HoldsKeyAt(std::uint64_t place, std::uint64_t key) const;
    std::uint64_t KeyAt(std::uint64_t place) const;
    // The first kept place at or after `from` with the same bytes as `place`,
    // a period of the run at a time, where the run repeats.
    std::optional<std::uint64_t> ByPeriod(std::uint64_t place, std::uint64_t from,
                                          std::uint64_t key) const;
    Repeat RepeatAtLocked(std::uint64_t position) const;
    void IndexNewBytes();

    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_ring;  // byte at position p is m_ring[p % kCapacity]
    std::uint64_t m_end = 0;
    std::uint64_t m_tailMs = kDefaultTailMs;
    bool m_indexed = true;
    StreamIndex m_index;
    std::uint64_t m_indexedTo = 0;    // keys starting before this are in the index
    std::deque<Written> m_written;    // oldest first, one entry a millisecond
    std::uint64_t m_writtenFrom = 0;  // the position the oldest entry starts at
    std::deque<Run> m_runs;           // oldest first
};

}  // namespace quorvel
