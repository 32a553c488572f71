#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/PortRegistry.h"
#include "core/PerPort.h"
#include "engine/DataChecker.h"
#include "engine/PortLines.h"
#include "engine/PortVerdict.h"
#include "engine/RateWindow.h"

namespace quorvel {

class TestRuntime;

// One port's figures in a test, as the statistics window and the reports show
// them: since the port's last Run.
struct PortStatistics {
    int port = 0;  // 0-7
    int com = 0;
    std::uint32_t baud = 0;  // bit/s
    std::string pattern;     // "alphabets", "quickbrown", "user:TEXT", "file", "prbs"
    // What the pattern cannot show (empty for the port's own sequence).
    std::string cannotShow;
    // How long its last run lasted (to now while it runs); nothing before
    // its first Run.
    std::optional<double> runSeconds;
    // "not open", "idle", "running", "stopped on time", "stopped on error"
    std::string state;
    // "itself", "Port3", "any of Port1, Port3", "unrecognised", "nothing received"
    std::string source;
    std::uint8_t sources = 0;  // the ports the data may have come from, one bit a port
    std::uint64_t sent = 0;
    CheckCounts counts;             // the balance: expected, received, verified, errors by kind
    LatencyFigures latency;         // from a byte's write to its arrival, over the run
    double sentShare = 0.0;         // of the line rate, over the last sampling interval
    double receivedShare = 0.0;     // likewise
    std::int64_t firstErrorMs = 0;  // ms since 1970 (UTC); 0 for none
    PortLineFigures lines;          // the modem lines and the UART's line errors
    // The share of its line rate it received while its line was busy, in
    // per cent, over the run; nothing until a rate could be measured.
    std::optional<double> receivedPercent;
    // PASS or FAIL by the rules an unattended run judges by; nothing for a
    // port that has not run in this test.
    std::optional<PortVerdict> verdict;
};

using TestStatistics = PerPort<PortStatistics>;

// Takes the statistics of all eight ports, the rates from what moved since
// the sample before. Any thread may sample; the sampler is its caller's own.
class StatisticsSampler {
  public:
    explicit StatisticsSampler(const TestRuntime& runtime) : m_runtime(runtime) {}
    // `nowMs`: the runtime's clock.
    TestStatistics Sample(std::uint64_t nowMs);

    // Rates are taken over at least this long, so a window refreshed at once
    // shows the last steady figures rather than a burst.
    static constexpr std::uint64_t kShortestRateMs = 500;

  private:
    // The port's rate over its run (which began at `runBeganMs`, 0 for none).
    std::optional<double> RunRate(const PortStatistics& row, std::uint64_t runBeganMs,
                                  std::uint64_t nowMs, double lineRate);

    const TestRuntime& m_runtime;
    std::uint64_t m_lastMs = 0;
    PerPort<double> m_sentShare{};
    PerPort<double> m_receivedShare{};
    PerPort<std::uint64_t> m_lastSent{};
    PerPort<std::uint64_t> m_lastReceived{};
    // Each port's rate over its run, opened again when a run begins.
    PerPort<RateWindow> m_runRates{};
    PerPort<std::uint64_t> m_rateRunBegan{};
};

// What a port's records choose to send, as the reports name it:
// "alphabets", "quickbrown", "user:TEXT", "file" or "prbs".
std::string PatternText(const PortPatternSettings& pattern);
// What a check of the pattern cannot show, in a few words; empty for the
// port's own sequence, which shows every fault where it lies.
std::string PatternCannotShow(const PortPatternSettings& pattern);

// The bit error rate as the window and the CSV show it ("2.50e-05", "0");
// empty while no bit was checked.
std::string BitErrorRateText(const CheckCounts& counts);
// A latency in ms; empty while none was measured.
std::string LatencyText(const LatencyFigures& latency, std::uint64_t ms);

// A port's verdict in the statistics: the rules of an unattended run (the
// data from a port that sent it, no errors, no line errors), its received
// rate judged only where the write delay is 0, as the other figures ask for
// the line's full rate; nothing for a port that has not run in this test.
std::optional<PortVerdict> JudgeStatistics(const PortStatistics& row, bool judgeRate);

// "itself", "Port3", "any of Port1, Port3", and for no source at all
// "unrecognised", or "nothing received" when nothing came.
std::string SourceText(int port, std::uint8_t sources, std::uint64_t received);
// "Port3" or "any of Port1, Port3" for the ports of `sources` (at least one).
std::string SourceNames(std::uint8_t sources);

// "2026-12-07T10:04:12Z" for a time in ms since 1970 (UTC); empty for 0.
std::string UtcTimeText(std::int64_t ms);

// The statistics as comma-separated values: the time they were taken
// (`takenMs`, ms since 1970), a header line, then a line a port.
std::string StatisticsCsv(const TestStatistics& statistics, std::int64_t takenMs);

}  // namespace quorvel
