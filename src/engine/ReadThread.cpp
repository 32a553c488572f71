// A receive thread: one per open port. It waits for received characters and
// for the changes of the port's modem lines, reads what is queued (at most
// 450 bytes at a time) and passes each chunk to the check and to the receive
// display, and shows the lines as they change, until the test stops.
#include <array>
#include <chrono>
#include <span>
#include <string>
#include <thread>

#include "core/MessageSink.h"
#include "core/ThreadName.h"
#include "engine/CTestEngine.h"
#include "engine/LineControl.h"
#include "engine/SerialFailureMessages.h"
#include "engine/TestParts.h"

namespace quorvel {
namespace {

// After a failed wait (a port that has gone) the thread looks again this much
// later, so that it neither spins nor misses the end of the test.
constexpr std::chrono::milliseconds kFailedWaitPause{50};
// While the check waits for its source's last bytes, the thread looks at the
// check this often when nothing arrives, so that bytes that never come are
// counted lost once their time is up; otherwise it waits for bytes alone.
constexpr std::uint32_t kTailLookMs = 200;

// One chunk read: counted, checked (unless a benchmark turned checking off)
// and shown.
void TakeChunk(TestParts& parts, CTestEngine& engine, int port,
               std::span<const std::uint8_t> chunk) {
    parts.receivers[port].CountReceived(chunk.size());
    if (ConsoleView* console = parts.Console()) {
        console->ShowReceiveActivity(port);
    }
    if (parts.checkData.load()) {
        engine.CheckRxData(port, chunk);
    }
    engine.ShowRxData(port, chunk);
}

}  // namespace

void ReadThread(ReadThreadParams params, TestParts* parts) {
    NameThisThread(("quorvel-rx" + std::to_string(params.nPort + 1)).c_str());
    CComPort channel;
    TransferFailureReport failures;
    failures.ShowRepeatsOnce(true);
    failures.ForPort(params.nPort);
    CTestEngine engine(*parts);
    std::array<std::uint8_t, 500> buffer{};
    int count = 0;
    channel.SetHandle(params.hPort);
    // Not examined: a port that cannot take the mask fails its wait below.
    static_cast<void>(params.hPort->SetEventMask(kEvRxChar | kEvLines));
    ReceiveHold& hold = parts->holds[params.nPort];

    // A wait that fails is reported once; while it keeps failing the
    // operator is not asked again.
    bool failureShown = false;
    const PortCheck& check = parts->receivers[params.nPort].Check();
    while (params.pbTestRunning->load()) {
        if (hold.WaitThrough()) {
            continue;  // the test may have stopped meanwhile
        }
        std::uint32_t events = 0;
        const bool checking = parts->checkData.load();
        const std::uint32_t waitMs = hold.MsUntilHold(
            checking && check.AwaitsTail() ? kTailLookMs : SerialDevice::kWaitForever);
        const SerialResult waited = params.hPort->WaitEvent(events, waitMs);
        if (waited.outcome == SerialOutcome::TimedOut) {
            if (checking) {
                engine.TickCheck(params.nPort);  // the tail's time may have run out
            }
            continue;
        }
        if (waited.outcome == SerialOutcome::Failed) {
            if (params.pbTestRunning->load() && !failureShown) {
                ShowPortMessage(params.nPort, "WaitForSingleObject Failed", "Error",
                                mb::kOk | mb::kIconExclamation);
                failureShown = true;
            }
            std::this_thread::sleep_for(kFailedWaitPause);
            if (checking) {
                engine.TickCheck(params.nPort);  // a port gone: what it sent never comes
            }
            continue;
        }
        failureShown = false;
        if (waited.Ok() && (events & kEvLines) != 0) {
            TakeLineChange(*parts, params.nPort, *params.hPort);
        }
        if (waited.Ok() && (events & kEvRxChar) != 0) {
            const SerialResult read = channel.Read(buffer.data(), &count);
            failures.Report(read);
            if (read.Ok() && count != 0) {
                TakeChunk(*parts, engine, params.nPort,
                          std::span(buffer.data(), static_cast<std::size_t>(count)));
            }
        }
        // A release without a character (the mask cleared by Test > Stop)
        // leads straight to the loop test.
    }
    if (parts->checkData.load()) {
        engine.FinishCheck(params.nPort);
    }
    TakeLineChange(*parts, params.nPort, *params.hPort);  // what the last events left uncounted
    params.hMainWnd->PostThreadExit(params.nPort);
}

}  // namespace quorvel
