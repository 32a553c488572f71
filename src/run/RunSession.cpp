#include "run/RunSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "card/ProgramPorts.h"
#include "config/PortOpenSettings.h"
#include "engine/RateWindow.h"
#include "engine/TestRuntime.h"
#include "run/RunConsole.h"
#include "run/RunPlan.h"
#include "run/RunProgress.h"
#include "run/RunReports.h"
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
// then is not waited for. Once the run has been interrupted, it waits a
// second at most.
constexpr int kMostCloseSeconds = 30;
constexpr double kMostCloseAfterInterruptSeconds = 1.0;
// The queues on a port's way fill within this long of its start (or a
// quarter of its sending, when that is shorter).
constexpr double kSettleSeconds = 0.5;
// A port given a count of bytes has the line time they need and this much
// more (a write that waits longer times out) before it is stopped short.
constexpr double kBytesGraceSeconds = 11.0;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

std::string UtcNowText() {
    using namespace std::chrono;
    return UtcTimeText(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

// What a port sends, as the reports name it: the option, or its records' choice.
std::string TestedPatternText(const PortPatternSettings& pattern, const RunOptions& options) {
    return options.pattern ? *options.pattern : PatternText(pattern);
}

// "Port2 (COM5)" for each port, as its messages and test case are named.
PerPort<std::string> LabelsOf(const PortRecords& records) {
    return PerPort<std::string>([&records](int port) {
        return PortName(port) + " (COM" +
               std::to_string(records.m_PortRegistry[port].nComBase + 1) + ")";
    });
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
          m_progress(RunTerminal::OutputIsTerminal(), m_plan.chosen),
          m_labels(LabelsOf(m_plan.records)) {
        m_console.onThreadExit = [this] { m_runtime.OnThreadExit(); };
    }

    // Starts the card and opens the chosen ports; false, with the reason,
    // when no port opened.
    bool Open(std::string& reason);
    // Every chosen port that opened sends, for the time or the bytes asked,
    // until the run is interrupted.
    void Send(RunResult& result);
    // Lets what is still on its way arrive before the verdict, so the checker
    // sees every byte the card delivered; not after an interruption.
    void Drain(RunResult& result);
    // Test > Stop, then close-all, waited for at most kMostCloseSeconds.
    // False when it did not come.
    bool Close(RunResult& result);
    // Each port's figures and verdict, as the test left them, with the
    // failures the messages tell of it.
    void Judge(RunResult& result, const std::vector<RunMessage>& messages);

  private:
    // One look at the ports while they send; false once they are done.
    bool LookWhileSending(RunResult& result);
    // Each port's received count, for its rate.
    void LookAtRates(double elapsed);
    // Whether a chosen port still runs: a port's record may stop it by its
    // time or at its first error before the run's end.
    bool AnyPortRunning() const;
    std::uint64_t ReceivedByAll() const;
    double LineRate(int port) const {
        return LineCharactersPerSecond(m_plan.records.m_PortRegistry[port]);
    }
    // How long a port is to send: the time asked, or its bytes' line time.
    double SendingSeconds(int port) const;
    bool Interrupted(RunResult& result);

    const RunOptions& m_options;
    RunPlan m_plan;  // its records are the runtime's
    RunTerminal& m_terminal;
    ProgramPorts m_ports;  // before the runtime, whose end closes the ports on it
    RunConsole m_console;
    TestRuntime m_runtime;
    StatisticsSampler m_sampler;
    RunProgress m_progress;
    const PerPort<std::string> m_labels;
    Clock::time_point m_start;
    // A port's rate is taken while its line is busy; each chosen port's
    // window, in the order of the chosen ports, and when it stopped sending.
    std::vector<RateWindow> m_windows;
    std::vector<std::optional<double>> m_sentFor;
    PerPort<std::string> m_states;  // each port's state as the ports closed
};

bool UnattendedTest::Open(std::string& reason) {
    if (std::string error; !m_ports.Start(&error)) {
        reason = "the simulated card cannot start: " + error;
        return false;
    }
    m_runtime.SetWriteDelay(std::to_string(m_options.delayMs.value_or(kDefaultRunDelayMs)));
    for (int port : m_plan.chosen) {
        if (m_plan.file) {
            m_runtime.SetFileData(port, *m_plan.file);
        }
        m_runtime.LimitRunsTo(port, m_options.bytes.value_or(0));
    }
    m_runtime.OnTestStart();
    if (!m_runtime.TestRunning()) {
        reason = "no port could be opened";
        return false;
    }
    return true;
}

double UnattendedTest::SendingSeconds(int port) const {
    if (!m_options.bytes) {
        return m_options.seconds;
    }
    const double lineRate = LineRate(port);
    return lineRate > 0 ? static_cast<double>(*m_options.bytes) / lineRate : 0.0;
}

void UnattendedTest::Send(RunResult& result) {
    m_start = Clock::now();
    for (int port : m_plan.chosen) {
        const PortRegistry& record = m_plan.records.m_PortRegistry[port];
        PortResult tested;
        tested.figures.port = port;
        tested.opened = m_runtime.IsPortOpen(port);
        tested.expectedSource = m_options.expectedSource[port];
        tested.label = m_labels[port];
        tested.baud = LineSettingsOf(record).baudRate;
        tested.pattern = TestedPatternText(m_plan.records.m_PortPattern[port], m_options);
        tested.bytesAsked = m_options.bytes;
        result.ports.push_back(tested);
        m_windows.emplace_back(std::min(kSettleSeconds, SendingSeconds(port) / 4));
        m_sentFor.emplace_back(tested.opened ? std::nullopt : std::optional(0.0));
        if (tested.opened) {
            m_runtime.OnRunPort(port);
        }
    }
    StartReceiveHolds(m_runtime, m_options.lines, m_plan.chosen);
    while (LookWhileSending(result)) {
    }
    const double sentFor = SecondsSince(m_start);
    for (std::size_t i = 0; i < m_plan.chosen.size(); ++i) {
        m_sentFor[i] = m_sentFor[i].value_or(sentFor);
        if (m_runtime.IsPortRunning(m_plan.chosen[i])) {
            m_runtime.OnStopPort(m_plan.chosen[i]);
        }
    }
    m_progress.End();
}

bool UnattendedTest::LookWhileSending(RunResult& result) {
    // The last look of a timed run comes when its time is up, not after it.
    const double left = m_options.seconds - SecondsSince(m_start);
    const int waitMs = m_options.bytes
                           ? kLookEveryMs
                           : static_cast<int>(std::clamp(std::ceil(left * 1000.0), 0.0,
                                                         static_cast<double>(kLookEveryMs)));
    m_console.RunPending(waitMs);
    const double elapsed = SecondsSince(m_start);
    const TestStatistics figures = m_sampler.Sample(NowMs());
    LookAtRates(elapsed);
    double done = m_options.bytes ? 1.0 : elapsed / m_options.seconds;
    for (std::size_t i = 0; i < m_plan.chosen.size(); ++i) {
        const int port = m_plan.chosen[i];
        const bool running = m_runtime.IsPortRunning(port);
        if (!running && !m_sentFor[i]) {
            m_sentFor[i] = elapsed;  // its bytes sent, or its record's Stop On ended it
        }
        if (!m_options.bytes) {
            continue;
        }
        const std::uint64_t sent = figures[port].sent;
        done = std::min(done, static_cast<double>(sent) / static_cast<double>(*m_options.bytes));
        if (running && elapsed > SendingSeconds(port) + kBytesGraceSeconds) {
            m_runtime.OnStopPort(port);  // it could not send its bytes: stopped short
            m_sentFor[i] = elapsed;
        }
    }
    m_progress.Show(figures, done, elapsed);
    if (Interrupted(result) || !AnyPortRunning()) {
        return false;
    }
    return m_options.bytes || elapsed < m_options.seconds;
}

void UnattendedTest::LookAtRates(double elapsed) {
    for (std::size_t i = 0; i < m_plan.chosen.size(); ++i) {
        m_windows[i].Look(elapsed, m_runtime.BytesReceived(m_plan.chosen[i]));
    }
}

bool UnattendedTest::Interrupted(RunResult& result) {
    result.interrupted = result.interrupted || m_terminal.InterruptRequested();
    return result.interrupted;
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
    if (Interrupted(result)) {
        return;  // what came is judged as far as it goes
    }
    const Clock::time_point began = Clock::now();
    Clock::time_point lastArrival = began;
    std::uint64_t received = ReceivedByAll();
    const bool quiet = m_console.RunUntil(
        [&] {
            LookAtRates(SecondsSince(m_start));
            if (const std::uint64_t now = ReceivedByAll(); now != received) {
                received = now;
                lastArrival = Clock::now();
            }
            return SecondsSince(lastArrival) >= kQuietSeconds || Interrupted(result);
        },
        kLookEveryMs, kMostDrainSeconds * 1000);
    if (!quiet && !result.interrupted) {
        result.reported.push_back("Still receiving " +
                                  std::to_string(std::lround(SecondsSince(began))) +
                                  " s after the ports stopped: what came later was not judged");
        result.reportedByNoPort.push_back(result.reported.back());
    }
}

bool UnattendedTest::Close(RunResult& result) {
    // How each port's run ended, as the test knew it before its ports closed.
    const TestStatistics beforeClose = m_sampler.Sample(NowMs());
    for (int port = 0; port < kPortCount; ++port) {
        m_states[port] = beforeClose[port].state;
    }
    m_runtime.OnTestStop();
    const Clock::time_point began = Clock::now();
    std::optional<Clock::time_point> interruptedAt;
    m_console.RunUntil(
        [&] {
            if (!interruptedAt && Interrupted(result)) {
                interruptedAt = Clock::now();
            }
            return m_runtime.IsIdle() || (interruptedAt && SecondsSince(*interruptedAt) >=
                                                               kMostCloseAfterInterruptSeconds);
        },
        kLookEveryMs, kMostCloseSeconds * 1000);
    const bool closed = m_runtime.IsIdle();
    if (!closed) {
        result.reported.push_back("The ports did not close within " +
                                  std::to_string(std::lround(SecondsSince(began))) +
                                  " s after the test stopped: a test thread did not end");
        result.reportedByNoPort.push_back(result.reported.back());
    }
    return closed;
}

void UnattendedTest::Judge(RunResult& result, const std::vector<RunMessage>& messages) {
    const TestStatistics figures = m_sampler.Sample(NowMs());
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        PortResult& port = result.ports[i];
        const int index = m_plan.chosen[i];
        port.figures = figures[index];
        port.figures.state = m_states[index];
        port.seconds = m_sentFor[i].value_or(0.0);
        port.receivedPercent =
            m_windows[i].ReceivedPercent(LineRate(index), [this](double from, double to) {
                return HeldSecondsWithin(m_options.lines, from, to);
            });
        port.card = m_ports.FaultCountsOf(index);
        for (const RunMessage& message : messages) {
            if (!message.informs && message.port == index &&
                std::find(port.reported.begin(), port.reported.end(), message.line) ==
                    port.reported.end()) {
                port.reported.push_back(message.line);
            }
        }
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

// The messages shown while the run went on, each once: the notes, and the
// failures, the port's name before those that came from a tested port.
void TakeMessages(const std::vector<RunMessage>& messages, const PerPort<std::string>& labels,
                  const std::vector<int>& tested, RunResult& result) {
    const auto once = [](std::vector<std::string>& list, const std::string& line) {
        if (std::find(list.begin(), list.end(), line) != list.end()) {
            return false;
        }
        list.push_back(line);
        return true;
    };
    for (const RunMessage& message : messages) {
        const bool ofTestedPort =
            message.port && std::find(tested.begin(), tested.end(), *message.port) != tested.end();
        const std::string line =
            message.port ? labels[*message.port] + ": " + message.line : message.line;
        if (message.informs) {
            once(result.notes, line);
        } else if (once(result.reported, line) && !ofTestedPort) {
            result.reportedByNoPort.push_back(line);
        }
    }
}

// What the run told as it went, with the seconds since its start, and its
// final table: the log a CI system keeps with the results.
std::string RunLog(const RunResult& result, const RunOptions& options,
                   const std::vector<RunMessage>& messages, const PerPort<std::string>& labels,
                   Clock::time_point start) {
    std::string log = "quorvel-run " + options.programVersion + " on " + result.host +
                      ", started " + result.started + "\n";
    for (const RunMessage& message : messages) {
        char when[32];
        std::snprintf(when, sizeof when, "%7.2f s ",
                      std::chrono::duration<double>(message.when - start).count());
        log += when + (message.port ? labels[*message.port] + ": " : "") + message.line +
               (message.informs ? " (note)\n" : "\n");
    }
    return log + ResultTable(result);
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
        !WriteReport(options.junitFile, ResultJUnit(result, options), reason)) {
        return RunStatus::CouldNotRun;
    }
    if (result.interrupted) {
        return RunStatus::Interrupted;
    }
    return result.Passed() ? RunStatus::Passed : RunStatus::Failed;
}

}  // namespace

bool StopTestAndAwaitClose(TestRuntime& runtime, RunConsole& console, int mostMs) {
    runtime.OnTestStop();
    return console.RunUntil([&runtime] { return runtime.IsIdle(); }, kLookEveryMs, mostMs);
}

RunStatus RunUnattended(const RunOptions& options, RunTerminal& terminal,
                        StandardErrorSink& messages, std::string& reason, const TickClock& clock) {
    const Clock::time_point start = Clock::now();
    RunResult result;
    result.started = UtcNowText();
    result.host = RunTerminal::HostName();
    RunPlan plan;
    if (!PrepareRun(options, plan, reason)) {
        return RunStatus::CouldNotRun;
    }
    const PerPort<std::string> labels = LabelsOf(plan.records);
    const std::vector<int> tested = plan.chosen;
    messages.NamePorts(labels);
    auto test = std::make_unique<UnattendedTest>(options, std::move(plan), terminal, clock);
    if (!test->Open(reason)) {
        return RunStatus::CouldNotRun;
    }
    test->Send(result);
    test->Drain(result);
    const bool closed = test->Close(result);
    const std::vector<RunMessage> shown = messages.Shown();
    TakeMessages(shown, labels, tested, result);
    test->Judge(result, shown);
    if (!closed) {
        Abandon(std::move(test));
    }
    result.seconds = SecondsSince(start);
    result.log = RunLog(result, options, shown, labels, start);
    return Report(result, options, reason);
}

}  // namespace quorvel
