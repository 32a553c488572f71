#include "run/RunSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>

#include "card/ProgramPorts.h"
#include "card/SimulatedCard.h"
#include "config/ConfigFile.h"
#include "config/PortOpenSettings.h"
#include "config/PortRecordStore.h"
#include "config/UserProfileStore.h"
#include "core/RegularFile.h"
#include "engine/TestRuntime.h"
#include "run/RunConsole.h"
#include "run/RunProgress.h"
#include "run/RunResult.h"
#include "run/RunTerminal.h"
#include "serial/ComDeviceLookup.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

// How often the run looks at its ports. After the ports stop sending, the
// bytes still on their way have all arrived once no port has received
// anything for kQuietSeconds; a line that keeps receiving is given up on
// after kMostDrainSeconds.
constexpr int kLookEveryMs = 100;
constexpr double kQuietSeconds = 0.5;
constexpr double kMostDrainSeconds = 30.0;
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
    double ReceivedPercent(double lineRate) const {
        const double seconds = endSeconds - startSeconds;
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

// The records the run starts from, with the options over them.
bool PrepareRecords(const RunOptions& options, PortRecords& records, std::string& reason) {
    if (!options.configFile.empty()) {
        if (LoadConfigurationFile(options.configFile, records) != ConfigFileResult::Ok) {
            reason = "the configuration file " + options.configFile + " cannot be read";
            return false;
        }
    } else {
        std::string where;
        const std::unique_ptr<ProfileStore> store = OpenUserProfileStore(where);
        LoadAllRecords(*store, records);
    }
    for (std::size_t i = 0; i < kPortCount; ++i) {
        PortRegistry& record = records.m_PortRegistry[i];
        if (options.ports) {
            record.nPortOpen = 0;
        }
        if (options.baud) {
            record.nBaud = *BaudIndexOf(*options.baud);
        }
        PortPatternSettings& pattern = records.m_PortPattern[i];
        if (options.pattern) {
            const std::string& kind = *options.pattern;
            pattern.nAlpha = kind == "alphabets" ? 1 : 0;
            pattern.nQuickBrown = kind == "quickbrown" ? 1 : 0;
            pattern.nUserData = kind.rfind("user:", 0) == 0 ? 1 : 0;
            pattern.nFile = kind.rfind("file:", 0) == 0 ? 1 : 0;
            if (pattern.nUserData != 0) {
                pattern.strUserData = kind.substr(5);
            }
        }
        // An unattended run tests for ever: it ends by its own time or bytes.
        PortTestSettings& test = records.m_PortTest[i];
        test.nTestForever = 1;
        test.nStopTime = test.nStopError = 0;
    }
    if (options.ports) {
        for (int port : *options.ports) {
            records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen = 1;
        }
    }
    return true;
}

// The ports the run tests: those chosen to be opened.
std::vector<int> ChosenPorts(const PortRecords& records) {
    std::vector<int> ports;
    for (int port = 0; port < kPortCount; ++port) {
        if (records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen != 0) {
            ports.push_back(port);
        }
    }
    return ports;
}

// Lets what is still on its way arrive before the verdict, so the checker
// sees every byte the card delivered. False when the lines still received
// after kMostDrainSeconds: the rest was never judged.
bool DrainLines(const TestRuntime& runtime, RunConsole& console, RunTerminal& terminal) {
    const auto receivedByAll = [&runtime] {
        std::uint64_t total = 0;
        for (int port = 0; port < kPortCount; ++port) {
            total += runtime.BytesReceived(port);
        }
        return total;
    };
    const Clock::time_point start = Clock::now();
    Clock::time_point lastArrival = start;
    std::uint64_t received = receivedByAll();
    while (SecondsSince(lastArrival) < kQuietSeconds && SecondsSince(start) < kMostDrainSeconds &&
           !terminal.InterruptRequested()) {
        console.RunPending(kLookEveryMs);
        if (const std::uint64_t now = receivedByAll(); now != received) {
            received = now;
            lastArrival = Clock::now();
        }
    }
    return SecondsSince(lastArrival) >= kQuietSeconds || terminal.InterruptRequested();
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

}  // namespace

RunStatus RunUnattended(const RunOptions& options, RunTerminal& terminal,
                        const StandardErrorSink& messages, std::string& reason) {
    PortRecords records = DefaultPortRecords();
    if (!PrepareRecords(options, records, reason)) {
        return RunStatus::CouldNotRun;
    }
    const std::vector<int> chosen = ChosenPorts(records);
    if (chosen.empty()) {
        reason = "no port is chosen for testing";
        return RunStatus::CouldNotRun;
    }
    std::optional<std::string> file;
    if (options.pattern && options.pattern->rfind("file:", 0) == 0) {
        file = ReadRegularFile(options.pattern->substr(5), kMaxFileData);
        if (!file) {
            reason = "the pattern file " + options.pattern->substr(5) + " cannot be read";
            return RunStatus::CouldNotRun;
        }
    }
    if (const DeviceMapReading map = ReadDeviceMap(); !map.fault.empty()) {
        reason = map.fault;
        return RunStatus::CouldNotRun;
    }

    ProgramPorts ports(options.card);
    if (std::string error; !ports.Start(&error)) {
        reason = "the simulated card cannot start: " + error;
        return RunStatus::CouldNotRun;
    }
    RunConsole console;
    TestRuntime runtime(records, console, console);
    console.onThreadExit = [&runtime] { runtime.OnThreadExit(); };
    runtime.SetWriteDelay(std::to_string(options.delayMs.value_or(0)));
    if (file) {
        for (int port : chosen) {
            runtime.SetFileData(port, std::vector<std::uint8_t>(file->begin(), file->end()));
        }
    }
    runtime.OnTestStart();
    if (!runtime.TestRunning()) {
        reason = "no port could be opened";
        return RunStatus::CouldNotRun;
    }

    // The test: every chosen port that opened runs, for the time or the bytes asked.
    RunResult result;
    const Clock::time_point start = Clock::now();
    for (int port : chosen) {
        PortResult tested;
        tested.figures.port = port;
        tested.opened = runtime.IsPortOpen(port);
        tested.expectedSource = options.expectedSource[static_cast<std::size_t>(port)];
        result.ports.push_back(tested);
        if (tested.opened) {
            runtime.OnRunPort(port);
        }
    }
    // Rates are taken while the ports send steadily: from a moment after the
    // start, once the queues on the way have filled, to each port's end.
    std::vector<RateWindow> windows(result.ports.size());
    StatisticsSampler sampler(runtime);
    RunProgress progress(RunTerminal::OutputIsTerminal(), chosen);
    bool sending = true;
    while (sending) {
        console.RunPending(kLookEveryMs);
        const double elapsed = SecondsSince(start);
        const TestStatistics figures = sampler.Sample(NowMs());
        double done = options.bytes ? 1.0 : elapsed / options.seconds;
        for (std::size_t i = 0; i < result.ports.size(); ++i) {
            const PortStatistics& f = figures[static_cast<std::size_t>(chosen[i])];
            RateWindow& window = windows[i];
            if (!window.started && elapsed >= std::min(kSettleSeconds, options.seconds / 4)) {
                window.Start(f, elapsed);
            }
            if (!options.bytes || !runtime.IsPortRunning(f.port)) {
                continue;
            }
            if (f.sent >= *options.bytes) {
                runtime.OnStopPort(f.port);  // this port has sent its share
                window.End(f, elapsed);
            }
            done =
                std::min(done, static_cast<double>(f.sent) / static_cast<double>(*options.bytes));
        }
        progress.Show(figures, done, elapsed);
        if (terminal.InterruptRequested()) {
            result.interrupted = true;
            sending = false;
        } else if (done >= 1.0) {
            sending = false;
        }
    }
    const TestStatistics atEnd = sampler.Sample(NowMs());
    const double sentFor = SecondsSince(start);
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        if (!windows[i].ended) {
            windows[i].End(atEnd[static_cast<std::size_t>(chosen[i])], sentFor);
        }
        if (runtime.IsPortRunning(chosen[i])) {
            runtime.OnStopPort(chosen[i]);
        }
    }
    if (!DrainLines(runtime, console, terminal)) {
        result.reported.push_back("Still receiving " +
                                  std::to_string(static_cast<int>(kMostDrainSeconds)) +
                                  " s after the ports stopped: what came later was not judged");
    }
    runtime.OnTestStop();
    while (!runtime.IsIdle()) {
        console.RunPending(kLookEveryMs);
    }
    progress.End();

    const TestStatistics figures = sampler.Sample(NowMs());
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        PortResult& port = result.ports[i];
        const int index = chosen[i];
        port.figures = figures[static_cast<std::size_t>(index)];
        port.seconds = windows[i].endSeconds;
        const double lineRate =
            LineCharactersPerSecond(records.m_PortRegistry[static_cast<std::size_t>(index)]);
        port.receivedPercent = windows[i].ReceivedPercent(lineRate);
        port.card = ports.FaultCountsOf(index);
        Judge(port, options);
    }
    for (const std::string& failure : messages.Shown()) {
        if (std::find(result.reported.begin(), result.reported.end(), failure) ==
            result.reported.end()) {
            result.reported.push_back(failure);
        }
    }
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

}  // namespace quorvel
