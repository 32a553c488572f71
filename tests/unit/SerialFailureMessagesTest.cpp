// What the operator is told of a serial step that failed: each failed step
// carries its step and the system's code up from the port, and becomes its
// own message, in order, with the texts and captions the operator knows.
#include <gtest/gtest.h>

#include <memory>

#include "engine/SerialFailureMessages.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialDevice.h"
#include "serial/CComPort.h"

namespace quorvel {
namespace {

using testing::RecordedMessage;
using testing::RecordingMessageSink;
using testing::ScriptedSerialDevice;

RecordedMessage TransferBox(const char* text, const char* caption) {
    return {text, caption, 0x00, MessageOwner::MainWindow};
}

TEST(SerialFailureMessages, EverySetUpStepRunsAndTheFailedOnesAreToldInOrder) {
    RecordingMessageSink messages;
    auto port = std::make_shared<ScriptedSerialDevice>();
    const SerialStep steps[] = {SerialStep::SetupQueues,     SerialStep::GetLineSettings,
                                SerialStep::Purge,           SerialStep::SetTimeouts,
                                SerialStep::SetLineSettings, SerialStep::DriverRequest};
    int code = 21;
    for (const SerialStep step : steps) {
        port->FailAt(step, code++);
    }
    CComPort channel;
    OpenResult opened{port, {}, channel.SetUp(port, LineSettings{}, PortConfigRequest{})};
    EXPECT_EQ(channel.m_hCom, port);
    EXPECT_EQ(port->Steps(), std::vector<SerialStep>(std::begin(steps), std::end(steps)));
    ASSERT_EQ(opened.failedSteps.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(opened.failedSteps[i], SerialResult::Failure(steps[i], 21 + static_cast<int>(i)));
    }

    ShowOpenSetUpFailures(opened);
    EXPECT_EQ(messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Error while setting up the Rx and Tx buffer sizes", "ERROR", 0x30},
                  {"Error while getting the current DCB settings", "ERROR", 0x30},
                  {"Unable to pass data into driver", "", 0x00, MessageOwner::None}}));

    // A set-up that went through has nothing to tell.
    messages.Clear();
    auto good = std::make_shared<ScriptedSerialDevice>();
    const OpenResult clean{good, {}, channel.SetUp(good, LineSettings{}, PortConfigRequest{})};
    EXPECT_TRUE(clean.failedSteps.empty());
    ShowOpenSetUpFailures(clean);
    EXPECT_TRUE(messages.Messages().empty()) << messages.Shown();
}

TEST(SerialFailureMessages, AFailedTransferSaysWhichStepFailedAndWhy) {
    RecordingMessageSink messages;
    auto port = std::make_shared<ScriptedSerialDevice>();
    CComPort channel;
    channel.SetHandle(port);
    TransferFailureReport report;

    port->FailAt(SerialStep::WriteEvent, 8);
    const SerialResult noEvent = channel.Write("x", 1);
    EXPECT_EQ(noEvent, SerialResult::Failure(SerialStep::WriteEvent, 8));
    report.Report(noEvent);
    port->Succeed(SerialStep::WriteEvent);
    port->FailAt(SerialStep::Write, 5);
    const SerialResult refused = channel.Write("x", 1);
    EXPECT_EQ(refused, SerialResult::Failure(SerialStep::Write, 5));
    report.Report(refused);

    char buffer[CComPort::kMaxRead];
    int count = 77;
    const SerialResult empty = channel.Read(buffer, &count);  // nothing queued: nothing asked
    EXPECT_EQ(empty, SerialResult::Of(SerialOutcome::Empty, SerialStep::BytesQueued));
    EXPECT_EQ(count, 77);
    report.Report(empty);
    port->Queue(3);
    port->FailAt(SerialStep::ReadEvent, 14);
    report.Report(channel.Read(buffer, &count));
    port->Succeed(SerialStep::ReadEvent);
    port->FailAt(SerialStep::Read, 6);
    report.Report(channel.Read(buffer, &count));
    port->FailAt(SerialStep::BytesQueued, 5);
    const SerialResult gone = channel.Read(buffer, &count);
    EXPECT_EQ(gone, SerialResult::Failure(SerialStep::BytesQueued, 5));
    report.Report(gone);
    EXPECT_EQ(count, 77);

    EXPECT_EQ(messages.Messages(),
              (std::vector<RecordedMessage>{
                  TransferBox("Error creating overlapped write event handle", "Write Error"),
                  TransferBox("Unable to Write to the comm port", "Write Error"),
                  TransferBox("Error creating the overlapped read event handle", "Read Error"),
                  TransferBox("Unable to Read to the comm port", "Read Error"),
                  TransferBox("Unable to Read to the comm port", "Read Error")}));
}

TEST(SerialFailureMessages, AChannelOfTheTestThreadsTellsARepeatOnceUntilATransferSucceeds) {
    RecordingMessageSink messages;
    const SerialResult refused = SerialResult::Failure(SerialStep::Write, 5);
    const SerialResult otherCode = SerialResult::Failure(SerialStep::Write, 6);
    const SerialResult timedOut = SerialResult::Of(SerialOutcome::TimedOut, SerialStep::Write);
    TransferFailureReport quiet;
    quiet.ShowRepeatsOnce(true);
    TransferFailureReport everyTime;
    for (const SerialResult& result : {refused, otherCode, timedOut, refused}) {
        quiet.Report(result);
        everyTime.Report(result);
    }
    quiet.Report(SerialResult::Of(SerialOutcome::Pending, SerialStep::Write));
    quiet.Report(refused);  // still the last one shown
    quiet.Report(SerialResult::Done(SerialStep::Write));
    quiet.Report(refused);  // a success came in between
    const RecordedMessage unable = TransferBox("Unable to Write to the comm port", "Write Error");
    const RecordedMessage timeout = TransferBox("Write Timeout", "Write Error");
    // The channel that shows every failure shows all four; the quiet one
    // leaves out a repeat of the box it showed last (whatever the system's
    // code), and shows it again once a transfer has succeeded.
    EXPECT_EQ(messages.Messages(), (std::vector<RecordedMessage>{unable, unable, unable, timeout,
                                                                 timeout, unable, unable, unable}));
}

TEST(RepeatedFailureFilter, ARepeatIsKnownByItsTextNotByWhereTheTextIsKept) {
    RepeatedFailureFilter filter;
    filter.ShowRepeatsOnce(true);
    const std::string first = "Unable to Write to the comm port";
    const std::string second = first;  // equal text, another object
    EXPECT_TRUE(filter.ShouldShow(first, "Write Error"));
    EXPECT_FALSE(filter.ShouldShow(second, "Write Error"));
    EXPECT_FALSE(filter.ShouldShow(std::string(first), std::string("Write Error")));
    EXPECT_TRUE(filter.ShouldShow("Write Timeout", "Write Error"));  // another failure
    EXPECT_TRUE(filter.ShouldShow(first, "Write Error"));
    filter.Clear();  // a transfer succeeded in between
    EXPECT_TRUE(filter.ShouldShow(second, "Write Error"));

    RepeatedFailureFilter everyTime;
    EXPECT_TRUE(everyTime.ShouldShow(first, "Write Error"));
    EXPECT_TRUE(everyTime.ShouldShow(second, "Write Error"));
}

}  // namespace
}  // namespace quorvel
