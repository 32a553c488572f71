#pragma once

#include <atomic>
#include <cstdint>

#include "config/PortRegistry.h"
#include "core/PerPort.h"
#include "core/TickClock.h"
#include "engine/ConsoleView.h"
#include "engine/PortLines.h"
#include "engine/PortReceiver.h"
#include "engine/PortSender.h"
#include "engine/PortTable.h"
#include "engine/ReceiveHold.h"
#include "engine/WriteDelay.h"
#include "engine/WriteThreadSignals.h"

namespace quorvel {

// The parts of a test that its operations and threads share: the port table,
// each port's sender and receiver, what wakes the write thread, the write
// delay, and the flags every thread reads. Each part owns its fields and
// guards them itself; this only ties them together, so that the test's life
// (TestRuntime), the per-port operations (CTestEngine) and the test threads
// reach the same ones. Made once by the runtime, for the program's life.
struct TestParts {
    TestParts(PortRecords& records, ConsoleHost& host, ThreadExitSink& mainWindow,
              const TickClock& clock);
    TestParts(const TestParts&) = delete;
    TestParts& operator=(const TestParts&) = delete;

    // The test console, or null while there is none (any thread).
    ConsoleView* Console() const { return host.Console(); }
    // The port's handle in the current test (null when not open).
    const PortHandle& Handle(int port) const { return ports.m_hComPort[port]; }

    PortRecords& records;  // GUI thread; the pattern choices are guarded by their senders
    ConsoleHost& host;
    ThreadExitSink& mainWindow;
    const TickClock& clock;

    // Written by the GUI thread at Test > Start and close-all; the test's
    // threads only read the handles while the test runs.
    PortTable ports;
    PerPort<PortSender> senders;
    PerPort<PortReceiver> receivers;
    PerPort<PortLines> lines;    // each port's modem lines and UART counts
    PerPort<ReceiveHold> holds;  // a pause in a port's reading, for flow control
    WriteThreadSignals write;
    WriteDelay delay;

    // Between Test > Start and Test > Stop: written by the GUI thread, read by
    // every test thread.
    std::atomic<bool> testRunning{false};
    // Runs in force (m_nRunningPorts): Test > Start sets it to 0, Run raises
    // it, the end of a run lowers it; the send operations read it.
    std::atomic<std::int32_t> runningPorts{0};
    // Whether received bytes are checked (on unless a benchmark measures what
    // checking costs): set before a test, read by the receive threads.
    std::atomic<bool> checkData{true};
};

}  // namespace quorvel
