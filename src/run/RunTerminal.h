#pragma once

namespace quorvel {

// The terminal side of an unattended run. Ctrl+C (and, where there are
// signals, SIGTERM) is taken as a request to end the run cleanly instead of
// ending the program: made first thing in main, before any thread starts, so
// every thread leaves the signal to it. One per platform.
class RunTerminal {
  public:
    RunTerminal();
    ~RunTerminal();
    RunTerminal(const RunTerminal&) = delete;
    RunTerminal& operator=(const RunTerminal&) = delete;

    // Whether the run was asked to end since the last call.
    bool InterruptRequested();
    // Whether standard output is a terminal (a live table) or not (plain lines).
    static bool OutputIsTerminal();
};

}  // namespace quorvel
