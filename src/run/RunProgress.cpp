#include "run/RunProgress.h"

#include "run/RunLines.h"

#include <algorithm>
#include <cstdio>

namespace quorvel {

RunProgress::RunProgress(bool terminal, std::vector<int> ports)
    : m_terminal(terminal), m_ports(std::move(ports)) {}

std::string RunProgress::LineOf(const PortStatistics& port, double done) const {
    constexpr int kBar = 20;
    const int filled = static_cast<int>(std::clamp(done, 0.0, 1.0) * kBar);
    // Built in place: GCC 12 warns of an overlap in "[" + std::string&& at -O3.
    std::string bar(kBar + 2, '-');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    char line[256];
    std::snprintf(line, sizeof line,
                  "Port%d COM%-3d %s sent %10llu B %4.0f%%  received %10llu B %4.0f%%  "
                  "errors %-6llu line errors %-5s %s",
                  port.port + 1, port.com, bar.c_str(), static_cast<unsigned long long>(port.sent),
                  100 * port.sentShare, static_cast<unsigned long long>(port.counts.received),
                  100 * port.receivedShare, static_cast<unsigned long long>(port.counts.Errors()),
                  LineErrorCount(port.lines).c_str(), port.source.c_str());
    return line;
}

void RunProgress::Show(const TestStatistics& statistics, double done, double elapsedSeconds) {
    if (!m_terminal) {
        if (m_lastLogSeconds >= 0 && elapsedSeconds - m_lastLogSeconds < kLogEverySeconds) {
            return;
        }
        m_lastLogSeconds = elapsedSeconds;
        for (int port : m_ports) {
            std::printf("%6.1f s %s\n", elapsedSeconds, LineOf(statistics[port], done).c_str());
        }
        std::fflush(stdout);
        return;
    }
    if (m_drawn) {
        std::printf("\x1b[%zuA", m_ports.size());  // back to the table's first line
    }
    // A line wider than the terminal is cut rather than wrapped, so that the
    // table keeps a line a port and is redrawn where it stands.
    std::printf("\x1b[?7l");
    for (int port : m_ports) {
        std::printf("\x1b[2K%s\n", LineOf(statistics[port], done).c_str());
    }
    std::printf("\x1b[?7h");
    std::fflush(stdout);
    m_drawn = true;
}

void RunProgress::End() {
    m_drawn = false;
}

}  // namespace quorvel
