#include "engine/PortCheck.h"

#include <chrono>

namespace quorvel {
namespace {

std::string Bytes(std::uint64_t count, const char* kind) {
    return std::to_string(count) + (count == 1 ? " byte " : " bytes ") + kind;
}

// The kind of what made the count of errors grow from none.
std::string FirstErrorKind(const CheckCounts& counts) {
    if (counts.lost > 0) {
        return Bytes(counts.lost, "lost");
    }
    if (counts.corrupted > 0) {
        return Bytes(counts.corrupted, "corrupted");
    }
    if (counts.extra > 0) {
        return Bytes(counts.extra, "extra");
    }
    return Bytes(counts.unrecognised, "unrecognised");
}

}  // namespace

void PortCheck::StartAfresh(bool stopOnError) {
    m_stopOnError = stopOnError;
    {
        std::lock_guard lock(m_mutex);
        m_counts = CheckCounts{};
        m_sources = 0;
        m_firstErrorMs = 0;
        m_firstError.clear();
    }
    m_afresh = true;
}

PortCheck::Outcome PortCheck::Check(const std::uint8_t* data, std::size_t size) {
    const bool afresh = m_afresh.exchange(false);
    if (afresh) {
        m_checker.Reset();
    }
    const std::uint64_t before = m_checker.Counts().Errors();
    m_checker.Check(data, size);
    Outcome outcome;
    outcome.errors = m_checker.Counts().Errors();
    // After a Run the count is shown again whatever it is, over anything
    // shown between the Run and now.
    outcome.errorsChanged = afresh || outcome.errors != before;
    outcome.firstError = before == 0 && outcome.errors > 0;
    if (outcome.firstError) {
        std::lock_guard lock(m_mutex);
        m_firstErrorMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        m_firstError = FirstErrorKind(m_checker.Counts());
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
    return m_firstErrorMs;
}

std::string PortCheck::FirstErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_firstError;
}

}  // namespace quorvel
