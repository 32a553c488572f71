// bench_throughput: all eight ports of the simulated card at 921600 bit/s 8N1,
// first with loopback plugs and then with cables between pairs, sending the
// Alphabets line and then a 60000-byte file, with no write delay and then
// with the default 10 ms. Prints per port the bytes per second sent and
// received as a share of the line rate, and the process's CPU time per second
// of wall time. Run: build/dev/bench/bench_throughput [seconds per run]
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "card/SimulatedCard.h"
#include "engine/TestRuntime.h"

namespace {

using namespace quorvel;
using Clock = std::chrono::steady_clock;

constexpr double kLineRate = 921600.0 / 10.0;  // 8N1: ten bits a character

// A console that takes every call and shows nothing, counting what arrives.
class CountingConsole final : public ConsoleView {
  public:
    bool IsEnableChecked(int) override { return true; }
    void AppendTransmitText(int, const std::string&) override {}
    void AppendReceiveText(int port, const std::string& text) override {
        received[static_cast<std::size_t>(port)] += text.size();
    }
    void ClearDataBoxes(int) override {}
    void SetPacketCountText(int, const std::string&) override {}
    void SetErrorCountText(int, const std::string&) override {}
    void SetTxdIndicator(int, bool) override {}
    void SetPortButtons(int, bool, bool, bool) override {}
    void SetStopTimeBoxesEnabled(int, bool) override {}
    bool IsStopOnTimeChosen(int) override { return false; }
    std::string HourText(int) override { return "0"; }
    std::string MinuteText(int) override { return "0"; }
    void PostStopPress(int) override {}

    std::array<std::atomic<std::uint64_t>, 8> received{};
};

class Host final : public ConsoleHost, public ThreadExitSink {
  public:
    explicit Host(CountingConsole& console) : m_console(console) {}
    bool CreateOrFocusConsole() override {
        g_pTestDialog = &m_console;
        return true;
    }
    void PlaceConsole() override {}
    void PostThreadExit(int) override { ++exits; }
    std::atomic<int> exits{0};

  private:
    CountingConsole& m_console;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Run(CardWiring wiring, bool file, const char* delay, double seconds) {
    SimulatedCard card(SimulatedCard::kDefaultFirstCom, wiring);
    if (!card.Start()) {
        std::printf("the simulated card cannot start\n");
        return;
    }
    card.Install();
    PortRecords records = DefaultPortRecords();
    for (std::size_t i = 0; i < kPortCount; ++i) {
        records.m_PortRegistry[i].nBaud = 13;
        records.m_PortRegistry[i].nPortOpen = 1;
    }
    CountingConsole console;
    Host host(console);
    {
        TestRuntime runtime(records, host, host);
        runtime.SetWriteDelay(delay);
        std::vector<std::uint8_t> data(kMaxFileData);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>('A' + i % 26);
        }
        for (int port = 0; port < kPortCount; ++port) {
            PortPatternSettings pattern = records.m_PortPattern[static_cast<std::size_t>(port)];
            pattern.nAlpha = file ? 0 : 1;
            pattern.nQuickBrown = pattern.nUserData = pattern.nFile = 0;
            runtime.SetPattern(port, pattern);
            runtime.SetFileData(port, data);
        }
        runtime.OnTestStart();
        for (int port = 0; port < kPortCount; ++port) {
            runtime.OnRunPort(port);
        }
        // Let the ports reach their steady state, then measure.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::array<std::uint64_t, 8> sent0{}, received0{};
        for (std::size_t i = 0; i < 8; ++i) {
            sent0[i] = card.BytesSentBy(static_cast<int>(i));
            received0[i] = console.received[i];
        }
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = CpuSeconds() - cpu0;

        std::printf("%-6s %-9s delay %2s ms:", wiring == CardWiring::Plugs ? "plugs" : "pairs",
                    file ? "file" : "alphabets", delay);
        double lowest = 1e9;
        for (std::size_t i = 0; i < 8; ++i) {
            const double sentShare =
                static_cast<double>(card.BytesSentBy(static_cast<int>(i)) - sent0[i]) / wall /
                kLineRate;
            const double receivedShare =
                static_cast<double>(console.received[i] - received0[i]) / wall / kLineRate;
            lowest = std::min({lowest, sentShare, receivedShare});
            std::printf(" P%zu %3.0f/%3.0f%%", i + 1, 100 * sentShare, 100 * receivedShare);
        }
        std::printf("  lowest %3.0f%%  CPU %4.1f%% of a core\n", 100 * lowest, 100 * cpu / wall);
        std::fflush(stdout);

        // This thread plays the GUI thread: each exit notification is counted
        // here, and the last one of the test closes the ports.
        runtime.OnTestStop();
        int counted = 0;
        while (!runtime.IsIdle()) {
            if (counted < host.exits.load()) {
                ++counted;
                runtime.OnThreadExit();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    g_pTestDialog = nullptr;
    card.Uninstall();
}

}  // namespace

int main(int argc, char* argv[]) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    std::printf("Eight ports at 921600 bit/s 8N1 (line rate %.0f B/s); per port sent/received\n",
                kLineRate);
    for (const char* delay : {"0", "10"}) {
        for (CardWiring wiring : {CardWiring::Plugs, CardWiring::Pairs}) {
            for (bool file : {false, true}) {
                Run(wiring, file, delay, seconds);
            }
        }
    }
    return 0;
}
