#pragma once

#include <cstdint>

namespace quorvel {

// Milliseconds of a monotonic clock that does not wrap, for deadlines that may
// lie days ahead. Code with deadlines takes a clock as a parameter, so that
// tests can drive time by hand instead of waiting for it.
class TickClock {
  public:
    virtual ~TickClock() = default;
    virtual std::uint64_t NowMs() const = 0;
};

// The real clock: the system's steady clock.
class SteadyTickClock final : public TickClock {
  public:
    std::uint64_t NowMs() const override;
    static const SteadyTickClock& Instance();
};

}  // namespace quorvel
