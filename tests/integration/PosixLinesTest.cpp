// The POSIX backend's modem lines where the system gives them: a
// pseudo-terminal without a card has none and says so; and the watch that
// waits in a blocking call for a tty's lines to change ends when it is told
// to, wherever its thread stands.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "fakes/FakeComPorts.h"
#include "serial/BlockingWatch_posix.h"
#include "serial/SerialDevice.h"

namespace quorvel {
namespace {

using posix::BlockingWatch;
using testing::Eventually;

TEST(PosixLinesTest, APseudoTerminalWithoutACardHasNoModemLinesAndSaysSo) {
    testing::FakeComPorts ports;
    ports.Add(4);
    SerialFailure failure;
    const PortHandle port = OpenComDevice(4, "COM4", failure);
    ASSERT_TRUE(port) << failure.Describe();
    ModemLines lines;
    EXPECT_EQ(port->GetModemLines(lines), SerialResult::Failure(SerialStep::ModemLines, ENOTTY));
    EXPECT_EQ(port->SetOutputLine(OutputLine::Dtr, false),
              SerialResult::Failure(SerialStep::SetModemLine, ENOTTY));
    LineCounts counts;
    EXPECT_EQ(port->GetLineCounts(counts), SerialResult::Failure(SerialStep::LineCounts, ENOTTY));
    // A wait for line events alone has nothing to wait for but its release.
    ASSERT_TRUE(port->SetEventMask(kEvLines).Ok());
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events, 1000).outcome, SerialOutcome::Released);
    EXPECT_EQ(port->WaitEvent(events, 100).outcome, SerialOutcome::TimedOut);
}

// An eventfd's count so far.
std::uint64_t Told(int eventFd) {
    std::uint64_t count = 0;
    return ::read(eventFd, &count, sizeof count) == sizeof count ? count : 0;
}

TEST(BlockingWatchTest, EachReturnIsToldAndTheWatchEndsAWaitThatNeverReturnsByItself) {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<int> calls{0};
    {
        // Three changes, then a wait that only a signal ends.
        BlockingWatch watch(
            [&calls] {
                if (++calls <= 3) {
                    return 0;
                }
                return ::poll(nullptr, 0, -1) < 0 ? errno : 0;
            },
            fd);
        ASSERT_TRUE(Eventually([&] { return calls.load() >= 4; }));
        EXPECT_EQ(Told(fd), 3u);
    }  // ends here, or the test hangs
    EXPECT_GE(calls.load(), 4);
    EXPECT_EQ(Told(fd), 0u);

    // A device that cannot wait ends the watch by itself; it is never asked again.
    std::atomic<int> refused{0};
    {
        BlockingWatch watch(
            [&refused] {
                ++refused;
                return ENOTTY;
            },
            fd);
        ASSERT_TRUE(Eventually([&] { return refused.load() == 1; }));
    }
    EXPECT_EQ(refused.load(), 1);
    ::close(fd);
}

}  // namespace
}  // namespace quorvel
