#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serial/CComPort.h"

namespace quorvel {

// What the operator is told when a step on a serial port fails. The serial
// layer answers results (the step, the system's code); these turn a failed
// step into its message box, with the texts, captions, icons and owners the
// operator knows.

// Shows the messages of the set-up steps of an open that failed, in the order
// they ran: the queues ("Error while setting up the Rx and Tx buffer
// sizes"), the reading of the current settings ("Error while getting the
// current DCB settings"), both "ERROR" with the exclamation icon over the
// main window, and the card's request ("Unable to pass data into driver",
// standing on its own). Purge, time-outs and line settings are not told. A
// device that did not open is told by the caller.
// With `port` (0-7), the messages name the test's port where the sink
// reports by port.
void ShowOpenSetUpFailures(const OpenResult& opened, std::optional<int> port = std::nullopt);

// Keeps a channel that fails packet after packet from showing the same
// failure over and over: while repeats are to be shown once, a failure equal
// to the last one shown (same text and caption, compared by value) is not
// shown again until a transfer succeeds.
class RepeatedFailureFilter {
  public:
    void ShowRepeatsOnce(bool once) { m_once = once; }

    // True when this failure is to be shown; it is then the last one shown.
    bool ShouldShow(std::string_view text, std::string_view caption);
    // A transfer succeeded: the next failure is shown whatever it is.
    void Clear() { m_shown = false; }

  private:
    bool m_once = false;
    bool m_shown = false;  // a failure was shown since the last success
    std::string m_lastText;
    std::string m_lastCaption;
};

// The transfer messages of one channel: each failed write or read is shown
// ("Write Error" or "Read Error", no icon, over the main window), or, for a
// channel that sends packet after packet on its own (the test
// threads), a failure is shown once and kept quiet while it repeats, until a
// transfer succeeds again. Used by the thread that uses the channel.
class TransferFailureReport {
  public:
    void ShowRepeatsOnce(bool once) { m_repeats.ShowRepeatsOnce(once); }
    // The test's port (0-7) the channel belongs to, which its messages name
    // where the sink reports by port.
    void ForPort(int port) { m_port = port; }
    // Tells what `result` of a write or read has to tell.
    void Report(const SerialResult& result);

  private:
    RepeatedFailureFilter m_repeats;
    std::optional<int> m_port;
};

}  // namespace quorvel
