#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/TickClock.h"

namespace quorvel {
namespace {

TEST(TickClock, CountsMillisecondsForward) {
    const std::uint32_t before = TickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::uint32_t elapsed = SteadyTickClock::Instance().NowMs() - before;
    // Only a lower bound: the machine may be slow, never fast.
    EXPECT_GE(elapsed, 20u);
}

}  // namespace
}  // namespace quorvel
