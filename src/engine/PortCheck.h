#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "engine/ConsoleView.h"
#include "engine/DataChecker.h"

namespace quorvel {

// A receiving port's check of its data: the checker its receive thread runs,
// and what it has found since the port's Run, published for the console, the
// statistics and the reports.
class PortCheck {
  public:
    explicit PortCheck(const DataChecker::Streams& streams) : m_checker(streams) {}

    // GUI thread, at the port's Run (number `run`): the check starts afresh
    // with the next bytes the receive thread reads; `stopOnError` ends the run
    // at its first error.
    void StartAfresh(bool stopOnError, std::uint64_t run = 0);

    // What a check of received bytes changed.
    struct Outcome {
        bool errorsChanged = false;
        bool firstError = false;  // the run's first error: a run stopping on error stops
        std::uint64_t errors = 0;
        std::uint64_t run = 0;  // the run the bytes were checked for
    };
    // Receive thread: checks what it read.
    Outcome Check(std::span<const std::uint8_t> bytes);
    // Receive thread, when the test ends: what still waited is judged.
    void Finish();

    // Any thread: what was found since the port's Run.
    CheckCounts Counts() const;
    std::uint8_t Sources() const;  // one bit a port the data may have come from
    // When the run's first error was found (ms since 1970, UTC); 0 for none.
    std::int64_t FirstErrorMs() const;
    bool StopOnError() const { return m_stopOnError.load(); }
    // The run's first error: when, its kind and how many bytes of that kind
    // were counted with it; firstErrorMs is 0 while there is none.
    RunStopped FirstError() const;

  private:
    void Publish();

    DataChecker m_checker;                   // receive thread only
    std::atomic<bool> m_afresh{false};       // set by Run (GUI thread), taken by the receive thread
    std::atomic<bool> m_stopOnError{false};  // set by Run (GUI thread), read by any
    std::uint64_t m_run = 0;                 // set by Run under m_mutex, taken with m_afresh
    std::uint64_t m_checkedRun = 0;          // receive thread only: the run now checked
    mutable std::mutex m_mutex;              // guards what is published below
    CheckCounts m_counts;                    // written by the receive thread
    std::uint8_t m_sources = 0;
    RunStopped m_firstError{StopCause::Error};
};

}  // namespace quorvel
