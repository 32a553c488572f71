// The write thread: one for all eight ports. It sleeps on the write event and
// the thread-exit event; woken by a run's first packet, it visits the ports
// 1 to 8 in turn and sends one packet for each running port per cycle, until
// no port runs or the test stops. A port's write goes on while the thread
// serves the others: a port whose write has not ended is passed over in that
// cycle, so one port that cannot send never holds the rest.
#include <algorithm>
#include <memory>
#include <vector>

#include "core/MessageSink.h"
#include "core/ThreadName.h"
#include "core/ThreadPriority.h"
#include "engine/TestRuntime.h"

namespace quorvel {
namespace {

// How long a cycle that sent nothing and has no write under way (no console,
// or only ports whose time is up) waits before the next, so that it never spins.
constexpr std::uint32_t kIdleCyclePauseMs = 20;

using Engines = std::array<std::unique_ptr<CTestEngine>, kPortCount>;

bool AnyPortRunning(const TestRuntime& runtime) {
    for (int port = 0; port < kPortCount; ++port) {
        if (runtime.IsPortRunning(port)) {
            return true;
        }
    }
    return false;
}

bool AnyWriteUnderWay(const Engines& engines) {
    return std::any_of(engines.begin(), engines.end(),
                       [](const auto& engine) { return engine->WriteUnderWay(); });
}

}  // namespace

// One visit of the cycle to `port`; true when it moved something on.
bool ServePort(TestRuntime& runtime, CTestEngine& engine, int port) {
    const auto i = static_cast<std::size_t>(port);
    if (engine.WriteUnderWay()) {
        // The port's next packet waits for its last one: it gets its turn in
        // the next cycle.
        return engine.ServiceWrite(port);
    }
    if (!runtime.m_RunState[i].bRunning) {
        return false;
    }
    if (runtime.HasHandedPacket(port)) {
        engine.SendHandedPacket(port);
        return true;
    }
    if (runtime.m_bFirstPacketPending[i]) {
        return false;
    }
    if (runtime.StopTimeReached(port)) {
        ConsoleView* console = g_pTestDialog.load();
        if (console != nullptr && !runtime.m_bTimedStopPosted[i].exchange(true)) {
            console->PostStopPress(port, StopCause::Time);
        }
        return false;
    }
    if (g_pTestDialog.load() == nullptr) {
        return false;
    }
    if (runtime.m_FileState[i].bMoreToSend) {
        engine.SendNextFileChunk(port);
    } else {
        engine.SendPacket(port);
    }
    return true;
}

// Cycles over the ports until no port runs and no write is under way, or the
// test stops. When a whole cycle moved nothing, the thread waits for a write
// to move on, for its time-out, or for Test > Stop or a run's first packet.
void RunCycles(WriteThreadParams& params, TestRuntime& runtime, const Engines& engines) {
    while (params.pbTestRunning->load() && (AnyPortRunning(runtime) || AnyWriteUnderWay(engines))) {
        bool moved = false;
        for (int port = 0; port < kPortCount; ++port) {
            moved = ServePort(runtime, *engines[static_cast<std::size_t>(port)], port) || moved;
        }
        if (moved) {
            continue;
        }
        std::vector<PendingTransfer*> writes;
        std::uint32_t waitMs = kIdleCyclePauseMs;
        for (const auto& engine : engines) {
            if (engine->WriteUnderWay()) {
                writes.push_back(engine->WriteRequest());
                waitMs = writes.size() == 1 ? engine->WriteTimeLeftMs()
                                            : std::min(waitMs, engine->WriteTimeLeftMs());
            }
        }
        runtime.m_writeWaits.Wait(writes, waitMs);
    }
}

void WriteThread(WriteThreadParams* params, TestRuntime* runtime) {
    NameThisThread("quorvel-write");
    LowerThisThreadPriority();
    Engines engines;
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
        RunCycles(*params, *runtime, engines);
    }
    // Test > Stop: what is still being written is cancelled, so the ports can
    // close at once even when one of them takes nothing.
    for (auto& engine : engines) {
        engine->CancelWrite();
    }
    params->hMainWnd->PostThreadExit(0);
}

}  // namespace quorvel
