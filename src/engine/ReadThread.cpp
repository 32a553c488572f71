// A receive thread: one per open port. It waits for received characters,
// reads what is queued (at most 450 bytes at a time) and hands each chunk to
// the receive display, until the test stops.
#include <chrono>
#include <string>
#include <thread>

#include "core/MessageSink.h"
#include "core/ThreadName.h"
#include "engine/SerialFailureMessages.h"
#include "engine/TestRuntime.h"

namespace quorvel {
namespace {

// After a failed wait (a port that has gone) the thread looks again this much
// later, so that it neither spins nor misses the end of the test.
constexpr std::chrono::milliseconds kFailedWaitPause{50};

}  // namespace

void ReadThread(ReadThreadParams* params, TestRuntime* runtime) {
    NameThisThread(("quorvel-rx" + std::to_string(params->nPort + 1)).c_str());
    CComPort channel;
    TransferFailureReport failures;
    failures.ShowRepeatsOnce(true);
    CTestEngine engine(*runtime);
    std::array<char, 500> buffer{};
    int count = 0;
    channel.SetHandle(params->hPort);
    // Not examined: a port that cannot take the mask fails its wait below.
    static_cast<void>(params->hPort->SetEventMask(kEvRxChar));

    // A wait that fails is reported once; while it keeps failing the
    // operator is not asked again.
    bool failureShown = false;
    while (params->pbTestRunning->load()) {
        std::uint32_t events = 0;
        const SerialResult waited = params->hPort->WaitEvent(events, SerialDevice::kWaitForever);
        if (waited.Failed()) {
            if (params->pbTestRunning->load() && !failureShown) {
                ShowMessage("WaitForSingleObject Failed", "Error", mb::kOk | mb::kIconExclamation);
                failureShown = true;
            }
            std::this_thread::sleep_for(kFailedWaitPause);
            continue;
        }
        failureShown = false;
        if (waited.Ok() && (events & kEvRxChar) != 0) {
            const SerialResult read = channel.Read(buffer.data(), &count);
            failures.Report(read);
            if (read.Ok() && count != 0) {
                runtime->m_nBytesReceived[static_cast<std::size_t>(params->nPort)] +=
                    static_cast<std::uint64_t>(count);
                params->pRxData = buffer.data();
                *params->pnRxCount = count;
                if (runtime->m_bCheckData.load()) {
                    engine.CheckRxData(params->nPort);
                }
                engine.ShowRxData(params->nPort);
            }
        }
        // A release without a character (the mask cleared by Test > Stop)
        // leads straight to the loop test.
    }
    engine.FinishCheck(params->nPort);
    params->hMainWnd->PostThreadExit(params->nPort);
}

}  // namespace quorvel
