#include "run/RunConsole.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace quorvel {

void RunConsole::PostThreadExit(int) {
    {
        std::lock_guard lock(m_mutex);
        ++m_exits;
    }
    m_posted.notify_all();
}

void RunConsole::RunPending(int waitMs) {
    int exits = 0;
    {
        std::unique_lock lock(m_mutex);
        m_posted.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_exits > 0; });
        exits = m_exits;
        m_exits = 0;
    }
    for (int i = 0; i < exits; ++i) {
        if (onThreadExit) {
            onThreadExit();
        }
    }
}

bool RunConsole::RunUntil(const std::function<bool()>& done, int lookEveryMs, int mostMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(mostMs);
    while (!done()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        RunPending(static_cast<int>(std::min<long long>(left, lookEveryMs)));
    }
    return true;
}

void StandardErrorSink::ShowMessage(const std::string& text, const std::string& caption,
                                    unsigned /*style*/, MessageOwner /*owner*/,
                                    const std::string& detail) {
    std::string line = (caption.empty() ? "Error" : caption) + ": " + text;
    if (!detail.empty()) {
        // The detail's lines become one, each after a "; ".
        std::string oneLine;
        for (const char c : detail) {
            oneLine += c == '\n' ? std::string("; ") : std::string(1, c);
        }
        line += " (" + oneLine + ")";
    }
    {
        std::lock_guard lock(m_mutex);
        m_shown.push_back(line);
    }
    line += "\n";
    std::fputs(line.c_str(), stderr);
}

std::vector<std::string> StandardErrorSink::Shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

}  // namespace quorvel
