#pragma once

#include <cstdint>

namespace quorvel {

// A receiving port's balance since its Run. Every byte its source put on the
// line in the check's window is expected, and is verified, corrupted, lost or
// cut by Test > Stop; every byte received is verified, corrupted, extra or
// unrecognised:
//
//   expected = verified + corrupted + lost + cut
//   received = verified + corrupted + extra + unrecognised
//
// Expected grows as the check passes the source's bytes: the bytes still on
// their way are in neither figure until they arrive or their time is up.
struct CheckCounts {
    std::uint64_t received = 0;
    std::uint64_t expected = 0;
    std::uint64_t verified = 0;
    std::uint64_t corrupted = 0;      // a wrong value where the stream goes on
    std::uint64_t corruptedBits = 0;  // the bits that were wrong in them
    std::uint64_t lost = 0;           // bytes of the source's stream that never came
    std::uint64_t extra = 0;          // bytes that fit no position of the source's stream
    std::uint64_t unrecognised = 0;   // bytes that fit no port's stream at all
    std::uint64_t cut = 0;            // on their way when Test > Stop closed the ports
    std::uint64_t bitsChecked = 0;    // the bits of the verified and corrupted bytes

    // What the Error Count box shows. Bytes cut by the stop are no error.
    std::uint64_t Errors() const { return corrupted + lost + extra + unrecognised; }
    // Bit errors over bits checked; 0 before any bit was checked.
    double BitErrorRate() const {
        return bitsChecked == 0
                   ? 0.0
                   : static_cast<double>(corruptedBits) / static_cast<double>(bitsChecked);
    }
    // Both sides of the balance add up, and no more was verified than sent.
    bool Balanced() const {
        return expected == verified + corrupted + lost + cut &&
               received == verified + corrupted + extra + unrecognised;
    }
    bool operator==(const CheckCounts&) const = default;
};

}  // namespace quorvel
