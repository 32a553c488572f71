// bench_throughput: all eight ports of the simulated card at 921600 bit/s 8N1,
// first with loopback plugs and then with cables between pairs, sending the
// Alphabets line and then a 60000-byte file, with no write delay and then
// with the default 10 ms; the engine alone, with a console that shows
// nothing. Prints per port the bytes per second sent and received as a share
// of the line rate, and the process's CPU time per second of wall time. A
// last run stalls Port1 (the card takes nothing from it) and prints the share
// the other seven reach, and the runs after it put bit errors on every line
// (a noisy line: the checker judges every fault as the bytes arrive).
// Run: build/release/bench/bench_throughput [seconds per run]
#include <cstdio>
#include <cstdlib>

#include "BenchSupport.h"

int main(int argc, char* argv[]) {
    using namespace quorvel;
    using namespace quorvel::bench;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    std::printf("Eight ports at 921600 bit/s 8N1 (line rate %.0f B/s); per port sent/received\n",
                kLineRate);
    for (const char* delay : {"0", "10"}) {
        for (CardWiring wiring : {CardWiring::Plugs, CardWiring::Pairs}) {
            for (bool file : {false, true}) {
                const Shares shares = RunEngineAlone(wiring, file, delay, seconds);
                std::printf("%-6s %-9s delay %2s ms:%s  lowest %3.0f%%  CPU %4.1f%% of a core\n",
                            wiring == CardWiring::Plugs ? "plugs" : "pairs",
                            file ? "file" : "alphabets", delay, shares.PerPort().c_str(),
                            100 * shares.Lowest(), 100 * shares.cpu);
                std::fflush(stdout);
            }
        }
    }
    // What checking every received byte costs: the same runs without it.
    for (bool file : {false, true}) {
        const Shares unchecked = RunEngineAlone(CardWiring::Plugs, file, "0", seconds, -1, false);
        const Shares checked = RunEngineAlone(CardWiring::Plugs, file, "0", seconds);
        std::printf(
            "plugs  %-9s delay  0 ms: checked lowest %3.0f%% CPU %4.1f%%, unchecked lowest "
            "%3.0f%% CPU %4.1f%%: checking costs %.2fx\n",
            file ? "file" : "alphabets", 100 * checked.Lowest(), 100 * checked.cpu,
            100 * unchecked.Lowest(), 100 * unchecked.cpu,
            unchecked.cpu > 0 ? checked.cpu / unchecked.cpu : 0.0);
        std::fflush(stdout);
    }
    const Shares stalled = RunEngineAlone(CardWiring::Plugs, false, "0", seconds, 0);
    std::printf(
        "plugs  alphabets delay  0 ms, Port1 stalled:%s  lowest of the others %3.0f%%  "
        "CPU %4.1f%% of a core\n",
        stalled.PerPort().c_str(), 100 * stalled.Lowest(1u), 100 * stalled.cpu);
    for (double rate : {0.0002, 0.002, 0.02}) {
        const Shares noisy = RunEngineAlone(CardWiring::Plugs, false, "0", seconds, -1, true, rate);
        std::printf(
            "plugs  alphabets delay  0 ms, bit errors %.2f%%:%s  lowest %3.0f%%  CPU %4.1f%% of "
            "a core\n",
            100 * rate, noisy.PerPort().c_str(), 100 * noisy.Lowest(), 100 * noisy.cpu);
        std::fflush(stdout);
    }
    return 0;
}
