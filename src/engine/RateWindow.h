#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace quorvel {

// What a port received while its line was busy, for its rate. The rate is
// taken on what arrived: the count of what a port sent runs ahead of its line
// by what the driver (or the card) queues, so only the receiving end shows
// what went over the line. The window opens at the first look after the
// queues on the way have filled (`settleSeconds`) at which bytes are arriving,
// and closes at the last look before the one at which the last bytes came:
// the line was busy all through it, however long the port's queue took to
// drain after it stopped sending.
class RateWindow {
  public:
    RateWindow() = default;
    explicit RateWindow(double settleSeconds) : m_settleSeconds(settleSeconds) {}

    // The port had received `received` bytes at `seconds` into the run.
    void Look(double seconds, std::uint64_t received);

    // The share of `lineRate` (characters a second) received, in per cent;
    // nothing while the window is shorter than kShortestSeconds, too brief
    // for looks a tenth of a second apart to tell a rate. `held` gives the
    // seconds between two moments of the run in which the port was held from
    // reading (--hold-receive), which are left out.
    std::optional<double> ReceivedPercent(
        double lineRate, const std::function<double(double, double)>& held = {}) const;

    static constexpr double kShortestSeconds = 0.25;

  private:
    struct Sample {
        double seconds = 0.0;
        std::uint64_t received = 0;
    };

    double m_settleSeconds = 0.0;
    std::optional<Sample> m_start;
    Sample m_lastChange;  // the last look at which more had come
    Sample m_beforeLast;  // the one before it: the line was still busy then
};

inline void RateWindow::Look(double seconds, std::uint64_t received) {
    if (!m_start) {
        if (seconds >= m_settleSeconds && received > 0) {
            m_start = Sample{seconds, received};
            m_lastChange = m_beforeLast = *m_start;
        }
        return;
    }
    if (received != m_lastChange.received) {
        m_beforeLast = m_lastChange;
        m_lastChange = Sample{seconds, received};
    }
}

inline std::optional<double> RateWindow::ReceivedPercent(
    double lineRate, const std::function<double(double, double)>& held) const {
    if (!m_start || lineRate <= 0) {
        return std::nullopt;
    }
    const double seconds = m_beforeLast.seconds - m_start->seconds -
                           (held ? held(m_start->seconds, m_beforeLast.seconds) : 0.0);
    if (seconds < kShortestSeconds || m_beforeLast.received < m_start->received) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(m_beforeLast.received - m_start->received) / seconds /
           lineRate;
}

}  // namespace quorvel
