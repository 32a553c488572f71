#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/MessageSink.h"
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

// Messages of an unattended run: each on standard error as one line with its
// caption ("ERROR: Unable to open the communication port COM5 (...)"); none
// waits for a key.
class StandardErrorSink final : public MessageSink {
  public:
    void ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                     MessageOwner owner, const std::string& detail) override;
    // The lines shown so far, in order: a failure a port reported while the
    // run went on (a write that timed out) fails the run.
    std::vector<std::string> Shown() const;

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_shown;  // guarded by m_mutex: written by any thread that reports
};

}  // namespace quorvel
