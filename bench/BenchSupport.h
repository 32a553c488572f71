// What the benchmarks share: the eight ports at 921600 bit/s 8N1 on the
// simulated card, the patterns they send, a console that shows nothing, and
// the process's CPU time.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "card/SimulatedCard.h"
#include "engine/HeadlessConsole.h"
#include "engine/TestRuntime.h"

namespace quorvel::bench {

inline constexpr double kLineRate = 921600.0 / 10.0;  // 8N1: ten bits a character

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Every port chosen for the test at 921600 bit/s, with its Enable box ticked,
// testing for ever (no stop on error or time).
inline PortRecords EightFastPorts() {
    PortRecords records = DefaultPortRecords();
    for (std::size_t i = 0; i < kPortCount; ++i) {
        records.m_PortRegistry[i].nBaud = 13;
        records.m_PortRegistry[i].nPortOpen = 1;
        PortTestSettings& test = records.m_PortTest[i];
        test.nDisONOFF = 1;
        test.nTestForever = 1;
        test.nStopError = test.nStopTime = 0;
    }
    return records;
}

// Every port sends the Alphabets line, or a 60000-byte file of letters.
inline void ChoosePatterns(TestRuntime& runtime, const PortRecords& records, bool file) {
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
}

// A console that takes every call at once and shows nothing: the engine alone.
class SilentConsole final : public HeadlessConsole {
  public:
    SilentConsole() : HeadlessConsole(true) {}
    void PostThreadExit(int) override { ++exits; }

    std::atomic<int> exits{0};
};

// What the card took off each port's line and what each receive thread
// read, and the process's CPU time, at one moment.
struct Reading {
    std::array<std::uint64_t, kPortCount> sent{};
    std::array<std::uint64_t, kPortCount> received{};
    double cpuSeconds = 0.0;
    std::chrono::steady_clock::time_point at;
};

inline Reading Read(const SimulatedCard& card, const TestRuntime& runtime) {
    Reading reading;
    for (int port = 0; port < kPortCount; ++port) {
        reading.sent[static_cast<std::size_t>(port)] = card.BytesSentBy(port);
        reading.received[static_cast<std::size_t>(port)] = runtime.BytesReceived(port);
    }
    reading.cpuSeconds = CpuSeconds();
    reading.at = std::chrono::steady_clock::now();
    return reading;
}

// Errors the checks of all eight ports found, and the bytes the card lost
// because a receiver did not take them in time.
struct Faults {
    std::uint64_t errors = 0;
    std::uint64_t overrun = 0;
};

// Each port's share of the line rate, sent and received, and the CPU the
// process used as a share of one core, between two readings.
struct Shares {
    std::array<double, kPortCount> sent{};
    std::array<double, kPortCount> received{};
    double cpu = 0.0;
    Faults faults;  // over the whole run

    double Lowest(unsigned skipMask = 0) const {
        double lowest = 1e9;
        for (std::size_t i = 0; i < kPortCount; ++i) {
            if ((skipMask & (1u << i)) == 0) {
                lowest = std::min({lowest, sent[i], received[i]});
            }
        }
        return lowest;
    }

    // " P1 100/100% ... P8 100/100%": sent/received per port.
    std::string PerPort() const {
        std::string line;
        char cell[32];
        for (std::size_t i = 0; i < kPortCount; ++i) {
            std::snprintf(cell, sizeof cell, " P%zu %3.0f/%3.0f%%", i + 1, 100 * sent[i],
                          100 * received[i]);
            line += cell;
        }
        return line;
    }
};

inline Faults FaultsOf(const SimulatedCard& card, const TestRuntime& runtime) {
    Faults faults;
    for (int port = 0; port < kPortCount; ++port) {
        faults.errors += runtime.Check(port).Counts().Errors();
        faults.overrun += card.BytesOverrun(port);
    }
    return faults;
}

inline Shares Between(const Reading& from, const Reading& to) {
    const double wall = std::chrono::duration<double>(to.at - from.at).count();
    Shares shares;
    for (std::size_t i = 0; i < kPortCount; ++i) {
        shares.sent[i] = static_cast<double>(to.sent[i] - from.sent[i]) / wall / kLineRate;
        shares.received[i] =
            static_cast<double>(to.received[i] - from.received[i]) / wall / kLineRate;
    }
    shares.cpu = (to.cpuSeconds - from.cpuSeconds) / wall;
    return shares;
}

// Runs the engine alone (a console that shows nothing) on all eight ports of
// a simulated card wired as `wiring`, for `seconds` after a short settling,
// and measures it; `stalledPort` (0-7), when given, takes no output at all;
// `checking` off leaves received bytes unchecked, to measure what checking costs.
// This thread plays the GUI thread.
inline Shares RunEngineAlone(CardWiring wiring, bool file, const char* delay, double seconds,
                             int stalledPort = -1, bool checking = true,
                             double bitErrorRate = 0.0) {
    SimulatedCard card(SimulatedCard::kDefaultFirstCom, wiring);
    if (!card.Start()) {
        std::printf("the simulated card cannot start\n");
        return {};
    }
    card.Install();
    if (stalledPort >= 0) {
        card.Stall(stalledPort, true);
    }
    for (int port = 0; port < kPortCount && bitErrorRate > 0.0; ++port) {
        card.SetBitErrorRate(port, bitErrorRate);
    }
    PortRecords records = EightFastPorts();
    SilentConsole console;
    Shares shares;
    {
        TestRuntime runtime(records, console, console);
        runtime.SetWriteDelay(delay);
        runtime.SetDataChecking(checking);
        ChoosePatterns(runtime, records, file);
        runtime.OnTestStart();
        for (int port = 0; port < kPortCount; ++port) {
            runtime.OnRunPort(port);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const Reading before = Read(card, runtime);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        shares = Between(before, Read(card, runtime));

        // Each exit notification is counted here, and the last one of the
        // test closes the ports.
        runtime.OnTestStop();
        int counted = 0;
        while (!runtime.IsIdle()) {
            if (counted < console.exits.load()) {
                ++counted;
                runtime.OnThreadExit();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        shares.faults = FaultsOf(card, runtime);
    }
    card.Uninstall();
    return shares;
}

}  // namespace quorvel::bench
