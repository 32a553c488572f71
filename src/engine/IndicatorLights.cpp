#include "engine/IndicatorLights.h"

#include <algorithm>

namespace quorvel {
namespace {

void LookAgainIn(std::optional<std::uint64_t>& againInMs, std::uint64_t ms) {
    againInMs = againInMs ? std::min(*againInMs, ms) : ms;
}

}  // namespace

bool ActivityLight::Moved(std::uint64_t nowMs, bool busy) {
    const bool ended = m_busy && !busy;
    m_busy = busy;
    m_moved = true;
    m_lastMs = nowMs;
    return !m_shown || ended;
}

bool ActivityLight::Lit(std::uint64_t nowMs) const {
    return m_busy || (m_moved && nowMs < m_lastMs + kActivityMs);
}

std::optional<bool> ActivityLight::Take(std::uint64_t nowMs,
                                        std::optional<std::uint64_t>& againInMs) {
    const bool lit = Lit(nowMs);
    if (lit && !m_busy) {
        LookAgainIn(againInMs, m_lastMs + kActivityMs - nowMs);
    }
    if (lit == m_shown) {
        return std::nullopt;
    }
    m_shown = lit;
    return lit;
}

bool LineLights::Set(const ModemLines& lines) {
    bool any = false;
    for (std::size_t i = 0; i < kLines.size(); ++i) {
        if (lines.*kLines[i] != m_level.*kLines[i]) {
            m_moved[i] = true;
            any = true;
        }
    }
    m_level = lines;
    return any;
}

std::optional<ModemLines> LineLights::Take(std::optional<std::uint64_t>& againInMs) {
    if (std::none_of(m_moved.begin(), m_moved.end(), [](bool moved) { return moved; })) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kLines.size(); ++i) {
        if (!m_moved[i]) {
            continue;
        }
        if (m_level.*kLines[i] != m_shown.*kLines[i]) {
            m_shown.*kLines[i] = m_level.*kLines[i];
            m_moved[i] = false;
        } else {
            // It went and came back: shown changed now, as it stands next time.
            m_shown.*kLines[i] = !(m_level.*kLines[i]);
            LookAgainIn(againInMs, 0);
        }
    }
    return m_shown;
}

}  // namespace quorvel
