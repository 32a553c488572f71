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
#include "engine/CTestEngine.h"
#include "engine/TestParts.h"

namespace quorvel {
namespace {

// How long a cycle that sent nothing and has no write under way (no console,
// or only ports whose time is up) waits before the next, so that it never spins.
constexpr std::uint32_t kIdleCyclePauseMs = 20;

using Engines = PerPort<std::unique_ptr<CTestEngine>>;

bool AnyPortRunning(const TestParts& parts) {
    return std::any_of(parts.senders.begin(), parts.senders.end(),
                       [](const PortSender& sender) { return sender.IsRunning(); });
}

bool AnyWriteUnderWay(const Engines& engines) {
    return std::any_of(engines.begin(), engines.end(),
                       [](const auto& engine) { return engine->WriteUnderWay(); });
}

// One visit of the cycle to `port`; true when it moved something on.
bool ServePort(TestParts& parts, CTestEngine& engine, int port) {
    if (engine.WriteUnderWay()) {
        // The port's next packet waits for its last one: it gets its turn in
        // the next cycle.
        return engine.ServiceWrite(port);
    }
    PortSender& sender = parts.senders[port];
    if (!sender.IsRunning()) {
        return false;
    }
    if (sender.HasHandedPacket()) {
        engine.SendHandedPacket(port);
        return true;
    }
    if (sender.FirstPacketPending()) {
        return false;
    }
    if (parts.Console() == nullptr) {
        return false;
    }
    if (const std::optional<std::uint64_t> run = sender.RunWhoseTimeIsUp(parts.clock.NowMs())) {
        engine.StopPort(port, StopCause::Time, run);  // Stop On Time
        return true;
    }
    if (const std::optional<std::uint64_t> run = sender.RunThatHasBuiltItsBytes()) {
        // Its last packet has gone: the run has sent what it was to send.
        engine.StopPort(port, StopCause::Button, run);
        return true;
    }
    if (sender.FilePassUnderWay()) {
        engine.SendNextFileChunk(port);
    } else {
        engine.SendPacket(port);
    }
    return true;
}

// Cycles over the ports until no port runs and no write is under way, or the
// test stops. When a whole cycle moved nothing, the thread waits for a write
// to move on, for its time-out, or for Test > Stop or a run's first packet.
void RunCycles(WriteThreadParams& params, TestParts& parts, const Engines& engines) {
    while (params.pbTestRunning->load() && (AnyPortRunning(parts) || AnyWriteUnderWay(engines))) {
        bool moved = false;
        for (int port = 0; port < kPortCount; ++port) {
            moved = ServePort(parts, *engines[port], port) || moved;
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
        parts.write.writeWaits.Wait(writes, waitMs);
    }
}

}  // namespace

void WriteThread(WriteThreadParams* params, TestParts* parts) {
    NameThisThread("quorvel-write");
    LowerThisThreadPriority();
    Engines engines;
    for (auto& engine : engines) {
        engine = std::make_unique<CTestEngine>(*parts, true);
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
        RunCycles(*params, *parts, engines);
    }
    // Test > Stop: what is still being written is cancelled, so the ports can
    // close at once even when one of them takes nothing.
    for (auto& engine : engines) {
        engine->CancelWrite();
    }
    params->hMainWnd->PostThreadExit(0);
}

}  // namespace quorvel
