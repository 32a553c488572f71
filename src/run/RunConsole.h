#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/MessageSink.h"
#include "core/PerPort.h"
#include "engine/HeadlessConsole.h"

namespace quorvel {

// The console of an unattended run: nothing is shown (the run reports from
// the runtime's figures), every Enable box is clear, and each port's Stop On
// choice is its record's (none stops by itself without records). A thread's
// end, which the test threads hand to the GUI thread, is queued for the run's
// main thread, which plays the GUI thread and runs it in RunPending.
class RunConsole final : public HeadlessConsole {
  public:
    explicit RunConsole(const PortRecords* records = nullptr) : HeadlessConsole(false, records) {}
    // A test thread has ended: `onThreadExit` runs on the main thread.
    void PostThreadExit(int) override;
    std::function<void()> onThreadExit;

    // Main thread: runs what was posted, waiting at most `waitMs` for it.
    void RunPending(int waitMs);
    // Main thread: runs what is posted until `done` says so, looking again
    // at least every `lookEveryMs`, for at most `mostMs`. False when the time
    // ran out first.
    bool RunUntil(const std::function<bool()>& done, int lookEveryMs, int mostMs);

  private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    int m_exits = 0;  // guarded by m_mutex: ends posted and not yet run
};

// A message shown while an unattended run went on.
struct RunMessage {
    std::optional<int> port;  // 0-7, when it came from the engine's code for one port
    std::string line;         // "Write Error: Write Timeout", caption and text as one line
    bool informs = false;     // it only informs (the information icon): nothing failed
    std::chrono::steady_clock::time_point when;
};

// Messages of an unattended run: each on standard error as one line with its
// caption and, for one that came from a port, the port before it ("Port2
// (COM5): Write Error: Write Timeout"); none waits for a key. A message that
// only informs is told and kept as a note; every other one fails the run, or
// its port.
class StandardErrorSink final : public MessageSink {
  public:
    void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner, const std::string& detail) override;
    void ShowPortMessage(int port, const std::string& text, const std::string& caption,
                         unsigned style, MessageOwner owner, const std::string& detail) override;
    // How each port is named before its messages ("Port2 (COM5)"); until
    // this is called, "Port2".
    void NamePorts(const PerPort<std::string>& names);
    std::string PortLabel(int port) const;
    // The messages shown so far, in order.
    std::vector<RunMessage> Shown() const;

  private:
    void Keep(std::optional<int> port, const std::string& text, const std::string& caption,
              unsigned style, const std::string& detail);

    mutable std::mutex m_mutex;
    // Guarded by m_mutex: written by any thread that reports (the messages)
    // and by the run's main thread before the ports open (the names).
    std::vector<RunMessage> m_shown;
    PerPort<std::string> m_names{[](int port) { return "Port" + std::to_string(port + 1); }};
};

}  // namespace quorvel
