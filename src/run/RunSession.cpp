#include "run/RunSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "card/ProgramPorts.h"
#include "config/PortOpenSettings.h"
#include "engine/TestRuntime.h"
#include "run/RunConsole.h"
#include "run/RunPlan.h"
#include "run/RunProgress.h"
#include "run/RunResult.h"
#include "run/RunTerminal.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

// How often the run looks at its ports. After the ports stop sending, the
// bytes still on their way have all arrived once no port has received
// anything for kQuietSeconds; a line that keeps receiving is given up on
// after kMostDrainSeconds.
constexpr int kLookEveryMs = 100;
constexpr double kQuietSeconds = 0.5;
constexpr int kMostDrainSeconds = 30;
// After Test > Stop every test thread ends within the transfer time-out (a
// write under way is cancelled at once, a receive wait released), and then
// close-all comes. A run waits this long for it; a thread still not ended
// then is not waited for.
constexpr int kMostCloseSeconds = 30;
// The queues on a port's way fill within this long of its start.
constexpr double kSettleSeconds = 0.5;

// What a port received between two moments of the run, for its rate. The
// rate is taken on what arrived: the count of what a port sent runs ahead of
// its line by whatever the driver and the card queue, so only the receiving
// end shows what went over the line.
struct RateWindow {
    bool started = false;
    bool ended = false;
    double startSeconds = 0.0;
    double endSeconds = 0.0;
    std::uint64_t receivedAtStart = 0;
    std::uint64_t receivedAtEnd = 0;

    void Start(const PortStatistics& f, double seconds) {
        started = true;
        startSeconds = seconds;
        receivedAtStart = f.counts.received;
    }
    void End(const PortStatistics& f, double seconds) {
        ended = true;
        endSeconds = seconds;
        receivedAtEnd = f.counts.received;
    }
    // `heldSeconds`: time of the window in which the port was held from
    // reading, left out.
    double ReceivedPercent(double lineRate, double heldSeconds = 0.0) const {
        const double seconds = endSeconds - startSeconds - heldSeconds;
        return seconds > 0 && lineRate > 0 && receivedAtEnd >= receivedAtStart
                   ? 100.0 * static_cast<double>(receivedAtEnd - receivedAtStart) / seconds /
                         lineRate
                   : 0.0;
    }
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

// The test of an unattended run, from the opening of its ports to their
// closing: the card, the console whose part the run's thread plays, and the
// runtime over the plan's records. Its steps come in order: Open, Send,
// Drain, Close, Judge.
class UnattendedTest {
  public:
    UnattendedTest(const RunOptions& options, RunPlan plan, RunTerminal& terminal,
                   const TickClock& clock)
        : m_options(options),
          m_plan(std::move(plan)),
          m_terminal(terminal),
          m_ports(options.card),
          m_console(&m_plan.records),
          m_runtime(m_plan.records, m_console, m_console, clock),
          m_sampler(m_runtime),
          m_progress(RunTerminal::OutputIsTerminal(), m_plan.chosen) {
        m_console.onThreadExit = [this] { m_runtime.OnThreadExit(); };
    }

    // Starts the card and opens the chosen ports; false, with the reason,
    // when no port opened.
    bool Open(std::string& reason);
    // Every chosen port that opened sends, for the time or the bytes asked.
    void Send(RunResult& result);
    // Lets what is still on its way arrive before the verdict, so the checker
    // sees every byte the card delivered.
    void Drain(RunResult& result);
    // Test > Stop, then close-all, waited for at most kMostCloseSeconds.
    // False when it did not come.
    bool Close(RunResult& result);
    // Each port's figures and verdict, as the test left them.
    void Judge(RunResult& result);

  private:
    // One look at the ports while they send; false once they are done.
    bool LookWhileSending(RunResult& result);
    // Whether a chosen port still runs: a port's record may stop it by its
    // time or at its first error before the run's end.
    bool AnyPortRunning() const;
    std::uint64_t ReceivedByAll() const;

    const RunOptions& m_options;
    RunPlan m_plan;  // its records are the runtime's
    RunTerminal& m_terminal;
    ProgramPorts m_ports;  // before the runtime, whose end closes the ports on it
    RunConsole m_console;
    TestRuntime m_runtime;
    StatisticsSampler m_sampler;
    RunProgress m_progress;
    Clock::time_point m_start;
    // Rates are taken while the ports send steadily: from a moment after the
    // start, once the queues on the way have filled, to each port's end.
    std::vector<RateWindow> m_windows;
    PerPort<std::string> m_states;  // each port's state as the ports closed
};

bool UnattendedTest::Open(std::string& reason) {
    if (std::string error; !m_ports.Start(&error)) {
        reason = "the simulated card cannot start: " + error;
        return false;
    }
    m_runtime.SetWriteDelay(std::to_string(m_options.delayMs.value_or(0)));
    if (m_plan.file) {
        for (int port : m_plan.chosen) {
            m_runtime.SetFileData(port, *m_plan.file);
        }
    }
    m_runtime.OnTestStart();
    if (!m_runtime.TestRunning()) {
        reason = "no port could be opened";
        return false;
    }
    return true;
}

void UnattendedTest::Send(RunResult& result) {
    m_start = Clock::now();
    for (int port : m_plan.chosen) {
        PortResult tested;
        tested.figures.port = port;
        tested.opened = m_runtime.IsPortOpen(port);
        tested.expectedSource = m_options.expectedSource[static_cast<std::size_t>(port)];
        result.ports.push_back(tested);
        if (tested.opened) {
            m_runtime.OnRunPort(port);
        }
    }
    StartReceiveHolds(m_runtime, m_options.lines, m_plan.chosen);
    m_windows.assign(result.ports.size(), RateWindow{});
    while (LookWhileSending(result)) {
    }
    const TestStatistics atEnd = m_sampler.Sample(NowMs());
    const double sentFor = SecondsSince(m_start);
    for (std::size_t i = 0; i < m_plan.chosen.size(); ++i) {
        const int port = m_plan.chosen[i];
        if (!m_windows[i].ended) {
            m_windows[i].End(atEnd[static_cast<std::size_t>(port)], sentFor);
        }
        if (m_runtime.IsPortRunning(port)) {
            m_runtime.OnStopPort(port);
        }
    }
}

bool UnattendedTest::LookWhileSending(RunResult& result) {
    m_console.RunPending(kLookEveryMs);
    const double elapsed = SecondsSince(m_start);
    const TestStatistics figures = m_sampler.Sample(NowMs());
    double done = m_options.bytes ? 1.0 : elapsed / m_options.seconds;
    for (std::size_t i = 0; i < m_plan.chosen.size(); ++i) {
        const PortStatistics& f = figures[static_cast<std::size_t>(m_plan.chosen[i])];
        RateWindow& window = m_windows[i];
        if (!window.started && elapsed >= std::min(kSettleSeconds, m_options.seconds / 4)) {
            window.Start(f, elapsed);
        }
        if (window.started && !window.ended && !m_runtime.IsPortRunning(f.port)) {
            window.End(f, elapsed);  // its record's Stop On time or error ended it
        }
        if (!m_options.bytes || !m_runtime.IsPortRunning(f.port)) {
            continue;
        }
        if (f.sent >= *m_options.bytes) {
            m_runtime.OnStopPort(f.port);  // this port has sent its share
            window.End(f, elapsed);
        }
        done = std::min(done, static_cast<double>(f.sent) / static_cast<double>(*m_options.bytes));
    }
    m_progress.Show(figures, done, elapsed);
    if (m_terminal.InterruptRequested()) {
        result.interrupted = true;
        return false;
    }
    return done < 1.0 && AnyPortRunning();
}

bool UnattendedTest::AnyPortRunning() const {
    return std::any_of(m_plan.chosen.begin(), m_plan.chosen.end(),
                       [this](int port) { return m_runtime.IsPortRunning(port); });
}

std::uint64_t UnattendedTest::ReceivedByAll() const {
    std::uint64_t total = 0;
    for (int port = 0; port < kPortCount; ++port) {
        total += m_runtime.BytesReceived(port);
    }
    return total;
}

void UnattendedTest::Drain(RunResult& result) {
    Clock::time_point lastArrival = Clock::now();
    std::uint64_t received = ReceivedByAll();
    const bool quiet = m_console.RunUntil(
        [&] {
            if (const std::uint64_t now = ReceivedByAll(); now != received) {
                received = now;
                lastArrival = Clock::now();
            }
            return SecondsSince(lastArrival) >= kQuietSeconds || m_terminal.InterruptRequested();
        },
        kLookEveryMs, kMostDrainSeconds * 1000);
    if (!quiet) {
        result.reported.push_back("Still receiving " + std::to_string(kMostDrainSeconds) +
                                  " s after the ports stopped: what came later was not judged");
    }
}

bool UnattendedTest::Close(RunResult& result) {
    // How each port's run ended, as the test knew it before its ports closed.
    const TestStatistics beforeClose = m_sampler.Sample(NowMs());
    for (int port = 0; port < kPortCount; ++port) {
        m_states[port] = beforeClose[port].state;
    }
    const bool closed = StopTestAndAwaitClose(m_runtime, m_console, kMostCloseSeconds * 1000);
    m_progress.End();
    if (!closed) {
        result.reported.push_back("The ports did not close within " +
                                  std::to_string(kMostCloseSeconds) +
                                  " s after the test stopped: a test thread did not end");
    }
    return closed;
}

void UnattendedTest::Judge(RunResult& result) {
    const TestStatistics figures = m_sampler.Sample(NowMs());
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        PortResult& port = result.ports[i];
        const int index = m_plan.chosen[i];
        port.figures = figures[static_cast<std::size_t>(index)];
        port.figures.state = m_states[index];
        port.seconds = m_windows[i].endSeconds;
        const double lineRate =
            LineCharactersPerSecond(m_plan.records.m_PortRegistry[static_cast<std::size_t>(index)]);
        const RateWindow& window = m_windows[i];
        port.receivedPercent = window.ReceivedPercent(
            lineRate, HeldSecondsWithin(m_options.lines, window.startSeconds, window.endSeconds));
        port.card = m_ports.FaultCountsOf(index);
        quorvel::Judge(port, m_options);
    }
}

// A test whose threads did not end is neither closed nor joined: joining
// would wait for ever. It is left as it stands and goes with the process,
// which ends once the run has reported. It stays reachable from here, so that
// a leak checker does not count it (volatile: an optimiser would drop a
// pointer that is only written). Written once by the run's thread; read by
// none.
UnattendedTest* volatile g_pAbandonedTest = nullptr;

void Abandon(std::unique_ptr<UnattendedTest> test) {
    g_pAbandonedTest = test.release();
}

// Failures the ports reported while the run went on, each once.
void TakeReported(const StandardErrorSink& messages, RunResult& result) {
    for (const std::string& failure : messages.Shown()) {
        if (std::find(result.reported.begin(), result.reported.end(), failure) ==
            result.reported.end()) {
            result.reported.push_back(failure);
        }
    }
}

bool WriteReport(const std::string& path, const std::string& text, std::string& reason) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        reason = "the report " + path + " cannot be written";
        return false;
    }
    return true;
}

// The run's last step: the final table, then the reports asked for.
RunStatus Report(const RunResult& result, const RunOptions& options, std::string& reason) {
    std::fputs(ResultTable(result).c_str(), stdout);
    std::fflush(stdout);
    if (!options.jsonFile.empty() &&
        !WriteReport(options.jsonFile, ResultJson(result, options), reason)) {
        return RunStatus::CouldNotRun;
    }
    if (!options.junitFile.empty() &&
        !WriteReport(options.junitFile, ResultJUnit(result), reason)) {
        return RunStatus::CouldNotRun;
    }
    return result.Passed() ? RunStatus::Passed : RunStatus::Failed;
}

}  // namespace

bool StopTestAndAwaitClose(TestRuntime& runtime, RunConsole& console, int mostMs) {
    runtime.OnTestStop();
    return console.RunUntil([&runtime] { return runtime.IsIdle(); }, kLookEveryMs, mostMs);
}

RunStatus RunUnattended(const RunOptions& options, RunTerminal& terminal,
                        const StandardErrorSink& messages, std::string& reason,
                        const TickClock& clock) {
    RunPlan plan;
    if (!PrepareRun(options, plan, reason)) {
        return RunStatus::CouldNotRun;
    }
    auto test = std::make_unique<UnattendedTest>(options, std::move(plan), terminal, clock);
    if (!test->Open(reason)) {
        return RunStatus::CouldNotRun;
    }
    RunResult result;
    test->Send(result);
    test->Drain(result);
    const bool closed = test->Close(result);
    test->Judge(result);
    if (!closed) {
        Abandon(std::move(test));
    }
    TakeReported(messages, result);
    return Report(result, options, reason);
}

}  // namespace quorvel
