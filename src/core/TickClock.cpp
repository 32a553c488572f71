#include "core/TickClock.h"

#include <chrono>

namespace quorvel {

std::uint64_t SteadyTickClock::NowMs() const {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

const SteadyTickClock& SteadyTickClock::Instance() {
    static const SteadyTickClock clock;
    return clock;
}

}  // namespace quorvel
