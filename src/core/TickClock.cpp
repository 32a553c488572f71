#include "core/TickClock.h"

#include <chrono>

namespace quorvel {

std::uint32_t TickCountMs() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

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
