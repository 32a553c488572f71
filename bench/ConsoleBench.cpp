// bench_console: the real console on the offscreen platform, the real engine
// and the simulated card with loopback plugs; all eight ports at 921600 bit/s
// 8N1 with no write delay and every Enable box ticked, sending the Alphabets
// line and then a 60000-byte file. Prints per port the share of the line rate
// sent and received, how late a 10 ms timer on the GUI thread fires (median,
// 99th percentile and worst), and the process's CPU as a share of one core,
// beside the same work done by the engine alone. The last line sums up the
// runs: the lowest share, the worst p99 lateness and the highest CPU.
// Run: build/release/bench/bench_console [seconds per run]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSupport.h"
#include "ui/AppServices.h"
#include "ui/ConsoleBridge.h"

namespace {

using namespace quorvel;
using namespace quorvel::bench;

// The main window's part in a test: thread-exit notifications are counted on
// the GUI thread, where the last one of a test closes the ports.
class GuiExitCounter final : public QObject, public ThreadExitSink {
  public:
    TestRuntime* runtime = nullptr;
    void PostThreadExit(int) override {
        QMetaObject::invokeMethod(
            this, [this] { runtime->OnThreadExit(); }, Qt::QueuedConnection);
    }
};

// How late a timer of kPeriodMs fires on the GUI thread: what an operator
// feels as a window that answers or does not.
class LatenessProbe {
  public:
    static constexpr int kPeriodMs = 10;

    LatenessProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kPeriodMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
            m_lateness.push_back(std::max(0.0, now - m_last - kPeriodMs));
            m_last = now;
        });
    }
    void Start() {
        m_lateness.clear();
        m_clock.start();
        m_last = 0.0;
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    // The lateness at a share (0.5: median) of the firings, in ms.
    double At(double share) {
        if (m_lateness.empty()) {
            return 0.0;
        }
        std::sort(m_lateness.begin(), m_lateness.end());
        const auto index =
            static_cast<std::size_t>(share * static_cast<double>(m_lateness.size() - 1));
        return m_lateness[index];
    }

  private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0.0;
    std::vector<double> m_lateness;
};

void RunEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct ConsoleRun {
    Shares shares;
    double median = 0.0, p99 = 0.0, worst = 0.0;
    std::uint64_t dcdChanges = 0;  // the changes of DCD the ports counted
};

// `dcdToggles`: changes of every port's DCD a second (0: steady lines).
ConsoleRun RunWithConsole(bool file, double seconds, double dcdToggles) {
    ConsoleRun result;
    SimulatedCard card(SimulatedCard::kDefaultFirstCom, CardWiring::Plugs);
    if (!card.Start()) {
        std::printf("the simulated card cannot start\n");
        return result;
    }
    card.Install();
    for (int port = 0; port < kPortCount; ++port) {
        card.ToggleDcd(port, dcdToggles);
    }
    PortRecords records = EightFastPorts();
    DesktopServices services;
    ConsoleBridge console;
    GuiExitCounter exits;
    {
        TestRuntime runtime(records, console, exits);
        exits.runtime = &runtime;
        console.Attach(runtime, records, services);
        runtime.SetWriteDelay("0");
        ChoosePatterns(runtime, records, file);
        runtime.OnTestStart();
        for (int port = 0; port < kPortCount; ++port) {
            console.Dialog()->As<QPushButton>(res::PanelRole::Run, port)->click();
        }
        RunEvents(300);
        LatenessProbe probe;
        probe.Start();
        const Reading before = Read(card, runtime);
        RunEvents(static_cast<int>(seconds * 1000));
        result.shares = Between(before, Read(card, runtime));
        probe.Stop();
        result.median = probe.At(0.5);
        result.p99 = probe.At(0.99);
        result.worst = probe.At(1.0);

        runtime.OnTestStop();
        while (!runtime.IsIdle()) {
            RunEvents(10);
        }
        result.shares.faults = FaultsOf(card, runtime);
        for (int port = 0; port < kPortCount; ++port) {
            result.dcdChanges += runtime.Lines(port).SinceRun().counts.dcdChanges;
        }
    }
    card.Uninstall();
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    std::printf(
        "The console with every panel displaying: eight ports at 921600 bit/s 8N1,\n"
        "plugs, no write delay; per port sent/received as a share of the line rate\n");
    double lowest = 1e9, worstP99 = 0.0, highestCpu = 0.0;
    struct Variant {
        const char* name;
        bool file;
        double dcdToggles;
    };
    for (const Variant& variant : {Variant{"alphabets", false, 0.0}, Variant{"file", true, 0.0},
                                   Variant{"dcd 100/s", false, 100.0}}) {
        const bool file = variant.file;
        const Shares alone = RunEngineAlone(CardWiring::Plugs, file, "0", seconds);
        const ConsoleRun run = RunWithConsole(file, seconds, variant.dcdToggles);
        const Shares& s = run.shares;
        std::printf(
            "%-9s:%s  lowest %3.0f%%  gui %.1f/%.1f/%.1f ms  cpu %3.0f%% (engine alone "
            "%3.0f%%, %.1fx)  errors %llu (card overruns %llu)  DCD changes %llu\n",
            variant.name, s.PerPort().c_str(), 100 * s.Lowest(), run.median, run.p99, run.worst,
            100 * s.cpu, 100 * alone.cpu, alone.cpu > 0 ? s.cpu / alone.cpu : 0.0,
            static_cast<unsigned long long>(s.faults.errors),
            static_cast<unsigned long long>(s.faults.overrun),
            static_cast<unsigned long long>(run.dcdChanges));
        std::fflush(stdout);
        lowest = std::min(lowest, s.Lowest());
        worstP99 = std::max(worstP99, run.p99);
        highestCpu = std::max(highestCpu, s.cpu);
    }
    std::printf("lowest %.0f%% gui-p99 %.0f ms cpu %.0f%%\n", 100 * lowest, worstP99,
                100 * highestCpu);
    return 0;
}
