// The transfer time-out of CComPort, on a clock the test drives: a write that
// never completes ends with "Write Timeout" once the time-out has passed since
// its first poll, however the waits between polls fall.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "engine/SerialFailureMessages.h"
#include "fakes/ManualClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialDevice.h"
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
    SerialResult Poll(std::uint32_t waitMs) override {
        m_clock.Advance(std::max<std::uint64_t>(1, static_cast<std::uint64_t>(waitMs * m_share)));
        return ++m_polls < 1000 ? SerialResult::Of(SerialOutcome::Pending, SerialStep::Write)
                                : SerialResult::Failure(SerialStep::Write, 0);
    }
    std::uint32_t BytesTransferred() const override { return 0; }

  private:
    ManualClock& m_clock;
    const double m_share;
    int m_polls = 0;
};

// A port whose writes all stay pending.
class StalledPort final : public testing::ScriptedSerialDevice {
  public:
    StalledPort(ManualClock& clock, double share) : m_clock(clock), m_share(share) {}
    SerialResult StartWrite(const std::uint8_t*, std::uint32_t, std::uint32_t& written,
                            std::unique_ptr<PendingTransfer>& pending) override {
        written = 0;
        pending = std::make_unique<NeverCompletes>(m_clock, m_share);
        return SerialResult::Of(SerialOutcome::Pending, SerialStep::Write);
    }

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
        const SerialResult result = channel.Write("x", 1);
        EXPECT_FALSE(result.Ok());
        EXPECT_EQ(result, SerialResult::Of(SerialOutcome::TimedOut, SerialStep::Write));
        TransferFailureReport().Report(result);
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
