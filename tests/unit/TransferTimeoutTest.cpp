// The transfer time-out of CComPort, on a clock the test drives: a write that
// never completes ends with "Write Timeout" once the time-out has passed since
// its first poll, however the waits between polls fall.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "fakes/ManualClock.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/CComPort.h"

namespace quorvel {
namespace {

using testing::ManualClock;
using testing::RecordedMessage;
using testing::RecordingMessageSink;

// A write that the device never completes. Each poll uses up `share` of the
// time it is given on the test's clock (at least a millisecond), as a wait
// that ends early would (a second writer's turn, a signal); after many polls
// it gives up with a failure, so a time-out that never comes fails the test
// instead of hanging it.
class NeverCompletes final : public PendingTransfer {
  public:
    NeverCompletes(ManualClock& clock, double share) : m_clock(clock), m_share(share) {}
    IoPoll Poll(std::uint32_t waitMs) override {
        m_clock.Advance(std::max<std::uint64_t>(1, static_cast<std::uint64_t>(waitMs * m_share)));
        return ++m_polls < 1000 ? IoPoll::Pending : IoPoll::Failed;
    }
    std::uint32_t BytesTransferred() const override { return 0; }

  private:
    ManualClock& m_clock;
    const double m_share;
    int m_polls = 0;
};

// A port whose writes all stay pending.
class StalledPort final : public SerialDevice {
  public:
    StalledPort(ManualClock& clock, double share) : m_clock(clock), m_share(share) {}
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return true; }
    bool GetLineState(LineState&) override { return true; }
    bool SetLineState(const LineState&) override { return true; }
    bool SetTimeouts(const CommTimeouts&) override { return true; }
    bool GetTimeouts(CommTimeouts&) override { return true; }
    bool Purge(unsigned) override { return true; }
    bool SetEventMask(std::uint32_t) override { return true; }
    CommWait WaitEvent(std::uint32_t&, std::uint32_t) override { return CommWait::TimedOut; }
    bool BytesQueued(std::uint32_t& count) override {
        count = 0;
        return true;
    }
    IoStart StartWrite(const std::uint8_t*, std::uint32_t, std::uint32_t& written,
                       std::unique_ptr<PendingTransfer>& pending) override {
        written = 0;
        pending = std::make_unique<NeverCompletes>(m_clock, m_share);
        return IoStart::Pending;
    }
    IoStart StartRead(std::uint8_t*, std::uint32_t, std::uint32_t&,
                      std::unique_ptr<PendingTransfer>&) override {
        return IoStart::Failed;
    }
    bool DriverRequest(std::uint32_t, const std::uint8_t*, std::size_t) override { return true; }
    void Close() override {}

  private:
    ManualClock& m_clock;
    const double m_share;
};

TEST(TransferTimeoutTest, RunsFromTheFirstPollWhateverTheWaitsBetweenPolls) {
    constexpr std::uint32_t kTimeoutMs = 200;
    for (const double share : {1.0, 0.5, 0.1}) {
        SCOPED_TRACE(share);
        RecordingMessageSink messages;
        ManualClock clock;
        CComPort channel;
        channel.SetClock(clock);
        channel.SetTransferTimeoutMs(kTimeoutMs);
        channel.SetHandle(std::make_shared<StalledPort>(clock, share));
        const std::uint64_t start = clock.NowMs();
        EXPECT_FALSE(channel.Write("x", 1));
        EXPECT_EQ(messages.Messages(),
                  (std::vector<RecordedMessage>{
                      {"Write Timeout", "Write Error", 0, MessageOwner::MainWindow}}));
        // Past the time-out, and well before twice its time.
        EXPECT_GT(clock.NowMs() - start, kTimeoutMs);
        EXPECT_LE(clock.NowMs() - start, kTimeoutMs + kTimeoutMs / 10);
    }
}

}  // namespace
}  // namespace quorvel
