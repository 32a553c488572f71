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
                                    unsigned style, MessageOwner /*owner*/,
                                    const std::string& detail) {
    Keep(std::nullopt, text, caption, style, detail);
}

void StandardErrorSink::ShowPortMessage(int port, const std::string& text,
                                        const std::string& caption, unsigned style,
                                        MessageOwner /*owner*/, const std::string& detail) {
    Keep(ValidPort(port) ? std::optional(port) : std::nullopt, text, caption, style, detail);
}

void StandardErrorSink::Keep(std::optional<int> port, const std::string& text,
                             const std::string& caption, unsigned style,
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
    std::string shown;
    {
        std::lock_guard lock(m_mutex);
        m_shown.push_back(
            RunMessage{port, line, IsInformationOnly(style), std::chrono::steady_clock::now()});
        shown = port ? m_names[*port] + ": " + line : line;
    }
    shown += "\n";
    std::fputs(shown.c_str(), stderr);
}

void StandardErrorSink::NamePorts(const PerPort<std::string>& names) {
    std::lock_guard lock(m_mutex);
    m_names = names;
}

std::string StandardErrorSink::PortLabel(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_names[port] : std::string();
}

std::vector<RunMessage> StandardErrorSink::Shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

}  // namespace quorvel
