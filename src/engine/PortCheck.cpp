#include "engine/PortCheck.h"

#include <chrono>

namespace quorvel {
namespace {

// What made the count of errors grow from none, at `ms`.
RunStopped FirstErrorOf(const CheckCounts& counts, std::int64_t ms) {
    RunStopped first{StopCause::Error, ms};
    if (counts.lost > 0) {
        first.firstErrorKind = ErrorKind::Lost;
        first.firstErrorBytes = counts.lost;
    } else if (counts.corrupted > 0) {
        first.firstErrorKind = ErrorKind::Corrupted;
        first.firstErrorBytes = counts.corrupted;
    } else if (counts.extra > 0) {
        first.firstErrorKind = ErrorKind::Extra;
        first.firstErrorBytes = counts.extra;
    } else {
        first.firstErrorKind = ErrorKind::Unrecognised;
        first.firstErrorBytes = counts.unrecognised;
    }
    return first;
}

}  // namespace

void PortCheck::StartTest(unsigned dataBits) {
    {
        std::lock_guard lock(m_mutex);
        m_dataBits = dataBits;
    }
    m_newTest = true;
    StartAfresh(false);
}

void PortCheck::StartAfresh(bool stopOnError, std::uint64_t run) {
    // Where every stream stands now: the bytes sent from here on are this
    // run's, those sent before it only where they are still on their way.
    DataChecker::Positions starts{};
    for (std::size_t port = 0; port < starts.size(); ++port) {
        starts[port] = m_streams[port] != nullptr ? m_streams[port]->End() : 0;
    }
    m_stopOnError = stopOnError;
    {
        std::lock_guard lock(m_mutex);
        m_run = run;
        m_windowStarts = starts;
        m_counts = CheckCounts{};
        m_latency = LatencyFigures{};
        m_sources = 0;
        m_firstError = RunStopped{StopCause::Error};
    }
    m_afresh = true;
}

bool PortCheck::TakeRequests() {
    const bool newTest = m_newTest.exchange(false);
    const bool afresh = m_afresh.exchange(false);
    if (!newTest && !afresh) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (newTest) {
        m_checker.StartTest(m_dataBits);
    }
    m_checker.StartRun(m_windowStarts);
    m_checkedRun = m_run;
    return true;
}

PortCheck::Outcome PortCheck::Check(std::span<const std::uint8_t> bytes, std::uint64_t nowMs) {
    const bool afresh = TakeRequests();
    const std::uint64_t before = m_checker.Counts().Errors();
    m_checker.Check(bytes.data(), bytes.size(), nowMs);
    return Judged(afresh, before);
}

PortCheck::Outcome PortCheck::Tick(std::uint64_t nowMs) {
    const bool afresh = TakeRequests();
    const std::uint64_t before = m_checker.Counts().Errors();
    m_checker.Tick(nowMs);
    return Judged(afresh, before);
}

PortCheck::Outcome PortCheck::Judged(bool afresh, std::uint64_t before) {
    Outcome outcome;
    outcome.run = m_checkedRun;
    const CheckCounts counts = m_checker.Counts();
    outcome.errors = counts.Errors();
    // After a Run the count is shown again whatever it is, over anything
    // shown between the Run and now.
    outcome.errorsChanged = afresh || outcome.errors != before;
    outcome.firstError = before == 0 && outcome.errors > 0;
    if (outcome.firstError) {
        std::lock_guard lock(m_mutex);
        const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        m_firstError = FirstErrorOf(counts, now);
    }
    Publish();
    return outcome;
}

void PortCheck::Finish(std::uint64_t nowMs) {
    TakeRequests();
    m_checker.Finish(nowMs);
    Publish();
}

void PortCheck::Publish() {
    const CheckCounts counts = m_checker.Counts();
    const LatencyFigures latency = m_checker.Latency();
    std::lock_guard lock(m_mutex);
    m_counts = counts;
    m_latency = latency;
    m_sources = m_checker.Sources();
}

CheckCounts PortCheck::Counts() const {
    std::lock_guard lock(m_mutex);
    return m_counts;
}

LatencyFigures PortCheck::Latency() const {
    std::lock_guard lock(m_mutex);
    return m_latency;
}

std::uint8_t PortCheck::Sources() const {
    std::lock_guard lock(m_mutex);
    return m_sources;
}

std::int64_t PortCheck::FirstErrorMs() const {
    std::lock_guard lock(m_mutex);
    return m_firstError.firstErrorMs;
}

RunStopped PortCheck::FirstError() const {
    std::lock_guard lock(m_mutex);
    return m_firstError;
}

}  // namespace quorvel
