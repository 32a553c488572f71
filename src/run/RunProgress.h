#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TestStatistics.h"

namespace quorvel {

// The progress of an unattended run while it goes: on a terminal a table, a
// line a port, drawn again in place; otherwise a plain line a port every few
// seconds, for a log.
class RunProgress {
  public:
    RunProgress(bool terminal, std::vector<int> ports);

    // `done` is how far the run has come (0 to 1); `elapsedSeconds` since it began.
    void Show(const TestStatistics& statistics, double done, double elapsedSeconds);
    // The run has ended: the live table is left as it stands.
    void End();

    static constexpr double kLogEverySeconds = 5.0;

  private:
    std::string LineOf(const PortStatistics& port, double done) const;

    const bool m_terminal;
    const std::vector<int> m_ports;
    bool m_drawn = false;          // the table is on the screen
    double m_lastLogSeconds = -1;  // when the last plain lines went out
};

}  // namespace quorvel
