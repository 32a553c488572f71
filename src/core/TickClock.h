#pragma once

#include <cstdint>

namespace quorvel {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Win32 tick
// count. Deadlines built from it must be compared the way their users say
// (the transfer primitives compare unsigned, as the original driver code did).
std::uint32_t TickCountMs();

// A source of ticks that code with deadlines takes as a parameter, so that
// tests can drive time by hand instead of waiting for it.
class TickClock {
  public:
    virtual ~TickClock() = default;
    virtual std::uint32_t NowMs() const = 0;
};

// The real clock: TickCountMs().
class SteadyTickClock final : public TickClock {
  public:
    std::uint32_t NowMs() const override { return TickCountMs(); }
    static const SteadyTickClock& Instance();
};

}  // namespace quorvel
