#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/TickClock.h"

namespace quorvel {
namespace {

TEST(TickClock, CountsMillisecondsForward) {
    const std::uint64_t before64 = SteadyTickClock::Instance().NowMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Only lower bounds: the machine may be slow, never fast.
    EXPECT_GE(SteadyTickClock::Instance().NowMs() - before64, 20u);
}

}  // namespace
}  // namespace quorvel
