#include "engine/PortLines.h"

namespace quorvel {

void PortLines::Start(bool available, bool rtsSwitchable, const ModemLines& lines,
                      const LineCounts& counts) {
    std::lock_guard lock(m_mutex);
    m_available = available;
    m_rtsSwitchable = available && rtsSwitchable;
    m_lines = available ? lines : ModemLines{};
    m_latest = m_atRun = available ? counts : LineCounts{};
}

void PortLines::Refresh(SerialDevice& device, const std::function<void(const ModemLines&)>& show) {
    std::lock_guard refreshing(m_refreshing);
    if (!Available()) {
        return;
    }
    ModemLines lines;
    LineCounts counts;
    const bool read = device.GetModemLines(lines).Ok();
    const bool counted = device.GetLineCounts(counts).Ok();
    {
        std::lock_guard lock(m_mutex);
        if (read) {
            m_lines = lines;
        }
        if (counted) {
            m_latest = counts;
        }
    }
    if (read) {
        show(lines);
    }
}

void PortLines::MarkRun() {
    std::lock_guard lock(m_mutex);
    m_atRun = m_latest;
}

bool PortLines::Available() const {
    std::lock_guard lock(m_mutex);
    return m_available;
}

bool PortLines::RtsSwitchable() const {
    std::lock_guard lock(m_mutex);
    return m_rtsSwitchable;
}

PortLineFigures PortLines::SinceRun() const {
    std::lock_guard lock(m_mutex);
    return {m_available, m_lines, m_latest.Since(m_atRun)};
}

}  // namespace quorvel
