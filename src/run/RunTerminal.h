#pragma once

#include <string>

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

    // Whether the run has been asked to end: once asked, it stays so, so
    // that every step after the first to notice ends at once too.
    bool InterruptRequested();
    // Whether standard output is a terminal (a live table) or not (plain lines).
    static bool OutputIsTerminal();
    // The name of the machine the run is on, for the reports.
    static std::string HostName();

  private:
    bool m_interrupted = false;  // the run's main thread only
};

}  // namespace quorvel
