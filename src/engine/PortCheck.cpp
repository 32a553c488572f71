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

void PortCheck::StartAfresh(bool stopOnError, std::uint64_t run) {
    m_stopOnError = stopOnError;
    {
        std::lock_guard lock(m_mutex);
        m_run = run;
        m_counts = CheckCounts{};
        m_sources = 0;
        m_firstError = RunStopped{StopCause::Error};
    }
    m_afresh = true;
}

PortCheck::Outcome PortCheck::Check(std::span<const std::uint8_t> bytes) {
    const bool afresh = m_afresh.exchange(false);
    if (afresh) {
        m_checker.Reset();
        std::lock_guard lock(m_mutex);
        m_checkedRun = m_run;
    }
    const std::uint64_t before = m_checker.Counts().Errors();
    m_checker.Check(bytes.data(), bytes.size());
    Outcome outcome;
    outcome.run = m_checkedRun;
    outcome.errors = m_checker.Counts().Errors();
    // After a Run the count is shown again whatever it is, over anything
    // shown between the Run and now.
    outcome.errorsChanged = afresh || outcome.errors != before;
    outcome.firstError = before == 0 && outcome.errors > 0;
    if (outcome.firstError) {
        std::lock_guard lock(m_mutex);
        const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        m_firstError = FirstErrorOf(m_checker.Counts(), now);
    }
    Publish();
    return outcome;
}

void PortCheck::Finish() {
    m_checker.Finish();
    Publish();
}

void PortCheck::Publish() {
    std::lock_guard lock(m_mutex);
    m_counts = m_checker.Counts();
    m_sources = m_checker.Sources();
}

CheckCounts PortCheck::Counts() const {
    std::lock_guard lock(m_mutex);
    return m_counts;
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
