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
    PortCheck(const DataChecker::Streams& streams, int port)
        : m_streams(streams), m_checker(streams, port) {}

    // GUI thread, at Test > Start, before the receive thread starts: the
    // streams start again; `dataBits` is the bits a character carries.
    void StartTest(unsigned dataBits);
    // GUI thread, at the port's Run (number `run`): the balance starts afresh
    // with the next bytes the receive thread reads, its window in each
    // port's stream starting where that stream stands now; `stopOnError`
    // ends the run at its first error.
    void StartAfresh(bool stopOnError, std::uint64_t run = 0);

    // What a check of received bytes changed.
    struct Outcome {
        bool errorsChanged = false;
        bool firstError = false;  // the run's first error: a run stopping on error stops
        std::uint64_t errors = 0;
        std::uint64_t run = 0;  // the run the bytes were checked for
    };
    // Receive thread: checks what it read at `nowMs`.
    Outcome Check(std::span<const std::uint8_t> bytes, std::uint64_t nowMs = 0);
    // Receive thread, when nothing came for a while: the source's bytes whose
    // time is up are lost.
    Outcome Tick(std::uint64_t nowMs);
    // Receive thread, when the test ends: what still waited is judged, and the
    // source's bytes on their way are cut by the stop.
    void Finish(std::uint64_t nowMs = 0);
    // Receive thread: whether a Tick may still change the balance.
    bool AwaitsTail() const { return m_checker.AwaitsTail(); }

    // Any thread: what was found since the port's Run.
    CheckCounts Counts() const;
    LatencyFigures Latency() const;
    std::uint8_t Sources() const;  // one bit a port the data may have come from
    // When the run's first error was found (ms since 1970, UTC); 0 for none.
    std::int64_t FirstErrorMs() const;
    bool StopOnError() const { return m_stopOnError.load(); }
    // The run's first error: when, its kind and how many bytes of that kind
    // were counted with it; firstErrorMs is 0 while there is none.
    RunStopped FirstError() const;

  private:
    // Takes what the GUI thread asked for (a new test, a Run) before judging.
    bool TakeRequests();
    Outcome Judged(bool afresh, std::uint64_t before);
    void Publish();

    DataChecker::Streams m_streams;
    DataChecker m_checker;  // receive thread only
    std::atomic<bool> m_newTest{
        false};  // set by Test > Start (GUI thread), taken by the receive thread
    std::atomic<bool> m_afresh{false};       // set by Run (GUI thread), taken by the receive thread
    std::atomic<bool> m_stopOnError{false};  // set by Run (GUI thread), read by any
    mutable std::mutex m_mutex;              // guards what follows
    // Set by Test > Start and Run under m_mutex, taken with m_newTest and m_afresh.
    unsigned m_dataBits = 8;
    std::uint64_t m_run = 0;
    DataChecker::Positions m_windowStarts{};
    std::uint64_t m_checkedRun = 0;  // receive thread only: the run now checked
    // Published by the receive thread.
    CheckCounts m_counts;
    LatencyFigures m_latency;
    std::uint8_t m_sources = 0;
    RunStopped m_firstError{StopCause::Error};
};

}  // namespace quorvel
