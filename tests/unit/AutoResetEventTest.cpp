#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/AutoResetEvent.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEvent, ASetLetsExactlyOneWaitThrough) {
    AutoResetEvent event;
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Timeout);
    event.Set();
    event.Set();  // a second set before any wait does not count twice
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Signaled);
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Timeout);
    event.Set();
    event.Reset();
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Timeout);
}

TEST(AutoResetEvent, WaitAnyTakesOnlyTheFirstSignalledEvent) {
    AutoResetEvent write;
    AutoResetEvent exit;
    EXPECT_EQ(AutoResetEvent::WaitAny({&write, &exit}, milliseconds(0)), -1);
    exit.Set();
    EXPECT_EQ(AutoResetEvent::WaitAny({&write, &exit}, milliseconds(0)), 1);
    write.Set();
    exit.Set();
    EXPECT_EQ(AutoResetEvent::WaitAny({&write, &exit}, milliseconds(0)), 0);
    EXPECT_EQ(AutoResetEvent::WaitAny({&write, &exit}, milliseconds(0)), 1);
    EXPECT_EQ(AutoResetEvent::WaitAny({&write, &exit}, milliseconds(0)), -1);
}

TEST(AutoResetEvent, ASetFromAnotherThreadReleasesAnEndlessWait) {
    AutoResetEvent event;
    std::atomic<int> woken{-2};
    std::thread waiter(
        [&] { woken = AutoResetEvent::WaitAny({&event}, AutoResetEvent::kInfinite); });
    event.Set();
    waiter.join();
    EXPECT_EQ(woken.load(), 0);
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Timeout);  // consumed by the waiter
}

TEST(AutoResetEvent, OneSetWakesOneOfTwoWaiters) {
    AutoResetEvent event;
    std::atomic<int> passed{0};
    auto wait = [&] {
        if (event.Wait(AutoResetEvent::kInfinite) == WaitResult::Signaled) {
            ++passed;
        }
    };
    std::thread first(wait);
    std::thread second(wait);
    event.Set();
    while (passed.load() < 1) {
        std::this_thread::yield();
    }
    event.Set();
    first.join();
    second.join();
    EXPECT_EQ(passed.load(), 2);
    EXPECT_EQ(event.Wait(milliseconds(0)), WaitResult::Timeout);
}

}  // namespace
}  // namespace quorvel
