#pragma once

#include <string>

#include "core/TickClock.h"
#include "run/RunOptions.h"

namespace quorvel {
class StandardErrorSink;
}

namespace quorvel {

class RunConsole;
class RunTerminal;
class TestRuntime;

// The exit status of an unattended run.
enum class RunStatus {
    Passed = 0,                            // every chosen port passed
    Failed = 1,                            // a port failed
    CouldNotRun = 2,                       // a bad option, an unreadable file, no port opened
    Interrupted = kInterruptedExitStatus,  // Ctrl+C or SIGTERM: never a pass
};

// An unattended run from start to verdict: the records (profile store or
// configuration file) and the options over them, the ports (the simulated
// card when asked for), the test on the chosen ports for its time or bytes,
// live progress, the final table and the reports. The caller's thread plays
// the GUI thread. `messages` is the sink installed for the run: what it shows
// while the run goes on fails the run (and the port it came from), unless it
// only informs. `reason` says why a run could not happen.
// `clock` is the engine's: the moments a port's Stop On time is measured by.
RunStatus RunUnattended(const RunOptions& options, RunTerminal& terminal,
                        StandardErrorSink& messages, std::string& reason,
                        const TickClock& clock = SteadyTickClock::Instance());

// The run's step after its ports have stopped sending: Test > Stop, then the
// wait for close-all, which the test threads' exit notices bring through
// `console`. It waits at most `mostMs`; false when close-all did not come.
bool StopTestAndAwaitClose(TestRuntime& runtime, RunConsole& console, int mostMs);

}  // namespace quorvel
