#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

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
    static constexpr int kPorts = 8;
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
    // The bytes verified last that a place is found again by.
    static constexpr std::size_t kContext = 16;

  private:
    struct Candidate {
        int port;
        std::uint64_t position;  // of the next byte expected from the port's stream
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
    // The candidates' streams are looked through for where the waiting bytes
    // are (the lock's place was wrong, not the bytes): no error.
    bool Realign();
    // The bytes stop matching where a repeating pattern was locked onto at
    // the wrong repeat: the last bytes verified and the next ones stand
    // together elsewhere in the stream, and the place moves there (no error).
    // `ahead` bytes after the place are looked for with the last ones verified.
    bool Reposition(std::size_t ahead);
    // The bytes held while no lock was found are judged against the stream
    // just before where the lock was found.
    void JudgeHeld(const Candidate& lock);
    bool StreamHolds(const Candidate& at, std::uint64_t offset, const std::uint8_t* bytes,
                     std::size_t size) const;
    // Whether the stream has bytes at the candidate's place that differ from
    // `bytes` (a stream that has not sent that far does not part).
    bool StreamParts(const Candidate& at, const std::uint8_t* bytes, std::size_t size) const;
    // How many bytes the candidate's stream has sent past its place.
    std::uint64_t Following(const Candidate& at) const;
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
    std::vector<std::uint8_t> m_context;  // the last bytes verified, at most kContext
    CheckCounts m_counts;
};

}  // namespace quorvel
