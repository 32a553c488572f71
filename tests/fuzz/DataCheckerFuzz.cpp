// Runs the data checker on a stream with faults the fuzzer's bytes choose:
// the stream's kind and length, and each fault's kind, place and length.
// The balance must always hold, with every byte sent and received counted
// once and no more verified than sent; on a port's own sequence with faults
// apart (as the randomized test has them), the counts must be the truth.
//
// Input: a byte for the kind (low bits) and whether the faults lie apart
// (bit 3), two for the length, four for a seed (the stream's text, the
// bits flipped, the chunks read), then five a fault: its kind, the bytes
// from the last fault's end to it, its length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "fakes/FaultyLine.h"

namespace {

using namespace quorvel;
using namespace quorvel::testing;

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Left(std::size_t bytes) const { return m_at + bytes <= m_size; }
    std::uint32_t Take(std::size_t bytes) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes && m_at < m_size; ++i) {
            value = value << 8 | m_data[m_at++];
        }
        return value;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// The faults in order, none overlapping the one before; bytes added, doubled
// or wrong only within what the checker searches, as the randomized test
// has them.
std::vector<LineFault> FaultsOf(Input& input, std::size_t size, bool apart) {
    std::vector<LineFault> faults;
    std::size_t next = 0;
    while (input.Left(5) && faults.size() < 16) {
        LineFault fault{static_cast<LineFaultKind>(input.Take(1) % 4), 0, 0};
        fault.at = next + input.Take(2) % 8192 + (apart ? 64 : 0);
        fault.length = 1 + input.Take(2) % 6000;
        if (fault.at >= size) {
            break;
        }
        const std::size_t most = apart ? DataChecker::kLongestSearch - DataChecker::kKeyBytes
                                       : DataChecker::kLongestRegion + 1;
        if (fault.kind != LineFaultKind::Lose) {
            fault.length = std::min(fault.length, most);
        }
        if (fault.kind == LineFaultKind::Corrupt && apart) {
            fault.length = 1;
        }
        if (fault.kind == LineFaultKind::Double) {
            fault.length = std::min(fault.length, fault.at);
        }
        faults.push_back(fault);
        const bool consumes =
            fault.kind == LineFaultKind::Corrupt || fault.kind == LineFaultKind::Lose;
        next = fault.at + (consumes ? fault.length : 0);
    }
    return faults;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint32_t head = input.Take(1);
    const auto kind = static_cast<StreamKind>(head % 5);
    const bool apart = (head & 8) != 0;
    const std::size_t length = 64 + input.Take(2) % 20000;
    std::mt19937 random(input.Take(4));
    const auto [sent, unit] = StreamOf(kind, length, random);
    const std::vector<LineFault> faults = FaultsOf(input, sent.size(), apart);
    const std::uint64_t period = ShortestRepeat(unit);
    const FaultyLine line = ApplyFaults(sent, faults, random, apart, period);
    CheckRun run;
    run.period = unit.size();
    const CheckCounts counts = RunChecker(sent, line, run, random);
    if (!counts.Balanced() || counts.received != line.truth.received ||
        counts.expected != line.truth.expected || counts.verified > line.truth.expected) {
        std::abort();
    }
    if (kind == StreamKind::Prbs && apart && !(counts == line.truth)) {
        std::abort();
    }
    return 0;
}
