#pragma once

#include <functional>
#include <mutex>

#include "serial/SerialDevice.h"

namespace quorvel {

// A port's modem lines in a test and what its UART counted, as the statistics
// and the reports give them: since the port's last Run.
struct PortLineFigures {
    bool available = false;  // the device has modem lines and counts
    ModemLines lines;        // as they stand
    LineCounts counts;       // since the last Run (the test's start before any)
};

// One port's modem lines in a test: whether its device has them, whether the
// operator may switch its RTS (not while the handshake drives it), the lines
// as last read and the UART's counts.
//
// Threads: the GUI thread starts them at Test > Start, marks each Run and
// sets them after switching DTR or RTS; the receive thread sets them at each
// line event; any thread reads. One short lock guards them all.
class PortLines {
  public:
    // Test > Start: the port opened with these lines and counts, or
    // (`available` false) without any.
    void Start(bool available, bool rtsSwitchable, const ModemLines& lines,
               const LineCounts& counts);
    // Reads the lines and counts from `device` again, keeps them and hands
    // the lines to `show`: one at a time, so that what is shown last is what
    // was read last, whichever thread reads. Nothing on a port without lines.
    void Refresh(SerialDevice& device, const std::function<void(const ModemLines&)>& show);
    // Run: the counts begin again from here.
    void MarkRun();

    bool Available() const;
    bool RtsSwitchable() const;
    PortLineFigures SinceRun() const;

  private:
    std::mutex m_refreshing;  // held through a whole Refresh, before m_mutex
    mutable std::mutex m_mutex;
    bool m_available = false;
    bool m_rtsSwitchable = false;
    ModemLines m_lines;
    LineCounts m_latest;  // since the port's open
    LineCounts m_atRun;   // m_latest when the last Run began
};

}  // namespace quorvel
