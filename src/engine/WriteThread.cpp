// The write thread: one for all eight ports. It sleeps on the write event and
// the thread-exit event; woken by a run's first packet, it visits the ports
// 1 to 8 in turn and sends one packet for each running port per cycle, until
// no port runs or the test stops.
#include <chrono>
#include <memory>
#include <thread>

#include "core/MessageSink.h"
#include "core/ThreadName.h"
#include "core/ThreadPriority.h"
#include "engine/TestRuntime.h"

namespace quorvel {
namespace {

// How long a cycle that sent nothing (no console, or only ports whose time is
// up) waits before the next, so that it never spins.
constexpr std::chrono::milliseconds kIdleCyclePause{20};

bool AnyPortRunning(const TestRuntime& runtime) {
    for (int port = 0; port < kPortCount; ++port) {
        if (runtime.IsPortRunning(port)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void WriteThread(WriteThreadParams* params, TestRuntime* runtime) {
    NameThisThread("quorvel-write");
    LowerThisThreadPriority();
    std::array<std::unique_ptr<CTestEngine>, kPortCount> engines;
    for (auto& engine : engines) {
        engine = std::make_unique<CTestEngine>(*runtime, true);
    }
    bool end = false;
    while (!end) {
        const int woken = AutoResetEvent::WaitAny({params->hWriteEvent, params->hThreadExitEvent},
                                                  AutoResetEvent::kInfinite);
        if (woken == 1) {
            end = true;
            continue;
        }
        if (woken != 0) {
            ShowMessage("WaitForMultipleObjects failed in write thread", "Error",
                        mb::kOk | mb::kIconExclamation);
            continue;
        }
        // The cycles also end when the test stops: with the console gone, Stop
        // cannot clear the ports' running flags, and the thread must still end.
        while (params->pbTestRunning->load() && AnyPortRunning(*runtime)) {
            bool sent = false;
            for (int port = 0; port < kPortCount; ++port) {
                const auto i = static_cast<std::size_t>(port);
                if (!runtime->m_RunState[i].bRunning || runtime->m_bFirstPacketPending[i]) {
                    continue;
                }
                if (runtime->StopTimeReached(port)) {
                    ConsoleView* console = g_pTestDialog.load();
                    if (console != nullptr && !runtime->m_bTimedStopPosted[i].exchange(true)) {
                        console->PostStopPress(port);
                    }
                    continue;
                }
                if (g_pTestDialog.load() == nullptr) {
                    continue;
                }
                if (runtime->m_FileState[i].bMoreToSend) {
                    engines[i]->SendNextFileChunk(port);
                } else {
                    engines[i]->SendPacket(port);
                }
                sent = true;
            }
            if (!sent) {
                std::this_thread::sleep_for(kIdleCyclePause);
            }
        }
    }
    params->hMainWnd->PostThreadExit(0);
}

}  // namespace quorvel
