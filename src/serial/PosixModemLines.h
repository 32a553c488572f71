// The modem lines and UART counts of a port opened by the POSIX backend:
// from the driver that plays the port's UART (the simulated card), or else
// from the tty itself. Private to the POSIX backend's files.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/BlockingWatch_posix.h"
#include "serial/ComDeviceLookup.h"
#include "serial/SerialResult.h"

namespace quorvel::posix {

// One open port's lines. A tty's come from TIOCMGET, TIOCMBIS/TIOCMBIC and
// TIOCGICOUNT, its changes from a BlockingWatch in TIOCMIWAIT; a port whose
// driver plays its UART gets all of it from the driver, which writes the
// change descriptor itself. A pseudo-terminal that no driver answers for has
// no lines at all, and says so.
//
// The counts are taken from the open on. Threads: any thread reads the lines
// and counts and switches DTR and RTS; only the port's one waiting thread
// takes events (TakeEvents). Made and closed by the thread that opens and
// closes the port.
class PosixModemLines {
  public:
    PosixModemLines(int fd, std::shared_ptr<ModemLineDriver> driver);
    ~PosixModemLines() { Close(); }
    PosixModemLines(const PosixModemLines&) = delete;
    PosixModemLines& operator=(const PosixModemLines&) = delete;

    SerialResult Get(ModemLines& lines) const;
    SerialResult Set(OutputLine line, bool on);
    SerialResult Counts(LineCounts& counts) const;

    // The descriptor a wait polls for changes of the lines; -1 when the port
    // has no lines.
    int ChangeFd() const { return m_changeFd; }
    // Waiting thread: the events since it last looked. `changeSeen`: the
    // change descriptor woke it (it is drained here); `charsArrived`:
    // characters did, which on a tty may bring line errors that no change
    // of the lines tells of.
    std::uint32_t TakeEvents(bool changeSeen, bool charsArrived);

    // The port closes: the watch ends and the driver lets go of the
    // descriptor before it is closed.
    void Close();

  private:
    // The lines and counts as the source has them (the counts since it
    // began): 0, or the system's error.
    int Read(ModemLines& lines, LineCounts& counts) const;

    const int m_fd;
    const std::shared_ptr<ModemLineDriver> m_driver;
    bool m_hasLines = false;                 // fixed at the open
    bool m_ttyCounts = false;                // the tty answers TIOCGICOUNT; fixed at the open
    LineCounts m_atOpen;                     // the source's counts at the open; fixed then
    int m_changeFd = -1;                     // eventfd written at every change; -1 without lines
    std::unique_ptr<BlockingWatch> m_watch;  // the tty's TIOCMIWAIT; null for a driver's lines
    // What the waiting thread last saw, against which TakeEvents finds what
    // changed. Waiting thread only, after the open.
    ModemLines m_seenLines;
    LineCounts m_seenCounts;
};

}  // namespace quorvel::posix
