#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/PerPort.h"
#include "engine/SentStream.h"

namespace quorvel {

// What a receiving port's checker has counted since the port's Run, one per
// byte: every byte received is verified, or is an error of one kind.
struct CheckCounts {
    std::uint64_t received = 0;
    std::uint64_t verified = 0;
    std::uint64_t corrupted = 0;     // a wrong value where the stream goes on
    std::uint64_t lost = 0;          // bytes of the source's stream that never came
    std::uint64_t extra = 0;         // bytes that fit no position of the source's stream
    std::uint64_t unrecognised = 0;  // bytes that fit no port's stream at all

    std::uint64_t Errors() const { return corrupted + lost + extra + unrecognised; }
    bool operator==(const CheckCounts&) const = default;
};

// Checks every byte a port receives against what its sender sent. It finds
// the source by locking onto the sent stream that the received bytes
// continue (the port's own, through a plug or the card's internal loopback,
// or another port's, through a cable), then compares byte by byte. Where the
// bytes stop matching it looks a few bytes ahead to tell a corrupted byte
// (the stream goes on after it), lost bytes (it goes on further along) and an
// extra byte (it goes on with the next one). When several ports have sent the
// same bytes, all of them stay candidates until their streams part; bytes
// that fit no port's stream are unrecognised.
//
// Threads: used by the port's receive thread only.
class DataChecker {
  public:
    static constexpr int kPorts = kPortCount;
    using Streams = std::array<const SentStream*, kPorts>;

    explicit DataChecker(const Streams& streams);

    // The port's Run: the check starts afresh.
    void Reset();
    // Checks received bytes; what cannot be judged yet waits for the next ones.
    void Check(const std::uint8_t* data, std::size_t size);
    // Nothing more will come (the test ends): what still waits is judged with
    // what there is.
    void Finish();

    const CheckCounts& Counts() const { return m_counts; }
    // The ports the bytes may have come from, one bit a port (bit 0: Port1);
    // 0 while nothing could be placed.
    std::uint8_t Sources() const;

    // Received bytes a lock is looked for with; and how far ahead the checker
    // looks to tell what kind an error is.
    static constexpr std::size_t kLockWindow = 16;
    static constexpr std::size_t kLookAhead = 8;
    // The most bytes of a source's stream that may be lost in one gap and still
    // be told as lost rather than as the loss of the lock.
    static constexpr std::size_t kLongestGap = 2048;
    // How often, in bytes verified, the other ports are looked at.
    static constexpr std::size_t kLookAroundBytes = 4096;
    // The bytes before the place that a place is found again by; and the most
    // of what the source sent before the place that a new place must have
    // before it too.
    static constexpr std::size_t kContext = 16;
    static constexpr std::size_t kHistory = 16 * 1024;
    // The most received bytes that ways of going on after an error are
    // compared on before one is taken.
    static constexpr std::size_t kDecideBytes = 256;
    // Bytes received after a search that found no long gap before the next:
    // each search reads the whole kept stream, so where errors come thick (a
    // noisy line) it is made only now and then, while the gaps of an
    // overrun, which may come close together, are each found.
    static constexpr std::size_t kLongGapSearchSpacing = 512;

  private:
    struct Candidate {
        int port;
        std::uint64_t position;  // of the next byte expected from the port's stream
    };
    // A way the received bytes may go on where they stop matching the stream.
    struct Way {
        enum class Kind { None, Undecided, Corrupted, Extra, Lost };
        Kind kind = Kind::None;
        std::uint64_t advance = 0;  // stream bytes passed over
        std::size_t consumed = 0;   // received bytes judged
        std::size_t fit = 0;        // received bytes after those that then match but one
        bool open = false;          // it goes on as far as there are bytes to compare
    };

    // Tries to place the waiting bytes in a port's stream; false when they do
    // not fit anywhere yet (the oldest may then be counted unrecognised).
    bool Lock();
    // Compares the waiting bytes with the candidates' streams; false when it
    // needs more bytes (or more of the stream) to go on.
    bool Verify();
    // The waiting bytes do not match the stream at their place: tells the
    // error's kind, counts it and moves on. False when it needs more bytes.
    bool Classify();
    // The way of going on at `at` that fits the most waiting bytes, each way
    // followed until it meets `misses` wrong bytes.
    Way FindWayOn(const Candidate& at, std::size_t misses) const;
    // The stream goes on further along than gaps are looked for byte by byte
    // (a receive queue that overran, a line cut for a while): the next bytes
    // are looked for in the rest of the kept stream, and the nearest place
    // they stand is taken, so the loss counted is the least the bytes show.
    Way FindLongGap(const Candidate& at);
    // At the end, the last few bytes stop matching: the way of going on that
    // explains all of them, if there is one, is counted. False otherwise.
    bool ClassifyTail();
    // The candidates' streams are looked through for where the waiting bytes
    // are (the lock's place was wrong, not the bytes): no error. False while
    // too few bytes wait to tell a place by.
    bool Realign();
    // The bytes stop matching where a repeating pattern was locked onto at
    // the wrong repeat: what the source sent before the place and the next
    // bytes stand together elsewhere in the stream, and the place moves there
    // (no error). `ahead` bytes after the place are looked for.
    bool Reposition(std::size_t ahead);
    // The bytes held while no lock was found are judged against the stream
    // just before where the lock was found.
    void JudgeHeld(const Candidate& lock);
    // Whether the stream has bytes at the candidate's place that differ from
    // `bytes` (a stream that has not sent that far does not part).
    bool StreamParts(const Candidate& at, const std::uint8_t* bytes, std::size_t size) const;
    // How many bytes the candidate's stream has sent past its place.
    std::uint64_t Following(const Candidate& at) const;
    // `at`, or the same place a period back on a repeating stream where more
    // of the stream follows it to judge a fault by.
    Candidate WithRoomToJudge(const Candidate& at) const;
    // Counts the error that `way` of going on stands for.
    void CountError(const Way& way);
    void Consume(std::size_t size);
    // Ports that started sending the same bytes after the lock was found
    // become candidates too: `window` is the last kLockWindow bytes verified.
    void LookAround(const std::uint8_t* window);

    Streams m_streams;
    std::vector<Candidate> m_candidates;  // empty while not locked
    std::vector<std::uint8_t> m_waiting;  // received, not yet judged
    std::vector<std::uint8_t> m_held;     // received before a lock, judged once one is found
    std::size_t m_failedLocks = 0;        // lock searches in a row that found nothing
    std::size_t m_skip = 0;               // bytes to let by before the next search
    std::size_t m_errorsInARow = 0;       // classifications without a match in between
    std::size_t m_sinceLookAround = 0;    // bytes verified since the other ports were looked at
    // Bytes received since a search for a long gap found nothing.
    std::size_t m_sinceLongGapSearch = kLongGapSearchSpacing;
    // How far along the source's stream the place has moved since the lock:
    // how much of what came before the place the received bytes stand for.
    std::uint64_t m_placed = 0;
    bool m_finishing = false;  // Finish() judges what is left: no waiting for more
    CheckCounts m_counts;
};

}  // namespace quorvel
