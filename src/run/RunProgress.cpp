#include "run/RunProgress.h"

#include <algorithm>
#include <cstdio>

namespace quorvel {

RunProgress::RunProgress(bool terminal, std::vector<int> ports)
    : m_terminal(terminal), m_ports(std::move(ports)) {}

std::string RunProgress::LineOf(const PortStatistics& port, double done) const {
    constexpr int kBar = 20;
    const int filled = static_cast<int>(std::clamp(done, 0.0, 1.0) * kBar);
    const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBar - filled), '-') + "]";
    char line[200];
    std::snprintf(line, sizeof line,
                  "Port%d COM%-3d sent %10llu B %4.0f%%  received %10llu B %4.0f%%  errors %-6llu "
                  "%-18s %s",
                  port.port + 1, port.com, static_cast<unsigned long long>(port.sent),
                  100 * port.sentShare, static_cast<unsigned long long>(port.counts.received),
                  100 * port.receivedShare, static_cast<unsigned long long>(port.counts.Errors()),
                  port.source.c_str(), bar.c_str());
    return line;
}

void RunProgress::Show(const TestStatistics& statistics, double done, double elapsedSeconds) {
    if (!m_terminal) {
        if (m_lastLogSeconds >= 0 && elapsedSeconds - m_lastLogSeconds < kLogEverySeconds) {
            return;
        }
        m_lastLogSeconds = elapsedSeconds;
        for (int port : m_ports) {
            std::printf("%6.1f s %s\n", elapsedSeconds,
                        LineOf(statistics[static_cast<std::size_t>(port)], done).c_str());
        }
        std::fflush(stdout);
        return;
    }
    if (m_drawn) {
        std::printf("\x1b[%zuA", m_ports.size());  // back to the table's first line
    }
    for (int port : m_ports) {
        std::printf("\x1b[2K%s\n",
                    LineOf(statistics[static_cast<std::size_t>(port)], done).c_str());
    }
    std::fflush(stdout);
    m_drawn = true;
}

void RunProgress::End() {
    m_drawn = false;
}

}  // namespace quorvel
