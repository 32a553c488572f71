#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/TickClock.h"
#include "test/ConsoleView.h"
#include "test/ThreadExitCounter.h"

namespace quorvel::testing {

// A console that records what the engine does to it. Calls from any thread run
// at once under its own lock (the Qt console carries them to the GUI thread).
class RecordingConsole final : public ConsoleView {
  public:
    struct Port {
        bool enable = true;
        std::vector<std::string> transmitted;   // every append, as given
        std::string received;                   // the receive box
        std::vector<std::string> packetCounts;  // every Packet Count text
        std::string errorCount;
        std::vector<bool> txd;
        bool run = false, stop = false, transfer = false;
        bool stopTimeBoxes = false;
        bool stopOnTime = false;
        std::string hours = "0", minutes = "0";
        int clears = 0;
    };

    // Posted Stop presses go to the test's GUI loop.
    std::function<void(int)> onStopPress;

    Port Snapshot(int port) const {
        std::lock_guard lock(m_mutex);
        return m_ports[static_cast<std::size_t>(port)];
    }
    template <typename Edit>
    void Change(int port, Edit change) {
        std::lock_guard lock(m_mutex);
        change(m_ports[static_cast<std::size_t>(port)]);
    }
    // The ports whose transmit box was appended to, in order, on `thread`.
    std::vector<int> SendOrder(std::thread::id thread) const {
        std::lock_guard lock(m_mutex);
        std::vector<int> order;
        for (const auto& [id, port] : m_sends) {
            if (id == thread) {
                order.push_back(port);
            }
        }
        return order;
    }

    bool IsEnableChecked(int port) override { return Snapshot(port).enable; }
    void AppendTransmitText(int port, const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_ports[static_cast<std::size_t>(port)].transmitted.push_back(text);
        m_sends.emplace_back(std::this_thread::get_id(), port);
    }
    void AppendReceiveText(int port, const std::string& text) override {
        Change(port, [&](Port& p) { p.received += text; });
    }
    void ClearDataBoxes(int port) override {
        Change(port, [](Port& p) {
            p.transmitted.clear();
            p.received.clear();
            ++p.clears;
        });
    }
    void SetPacketCountText(int port, const std::string& text) override {
        Change(port, [&](Port& p) { p.packetCounts.push_back(text); });
    }
    void SetErrorCountText(int port, const std::string& text) override {
        Change(port, [&](Port& p) { p.errorCount = text; });
    }
    void SetTxdIndicator(int port, bool on) override {
        Change(port, [&](Port& p) { p.txd.push_back(on); });
    }
    void SetPortButtons(int port, bool run, bool stop, bool transfer) override {
        Change(port, [&](Port& p) {
            p.run = run;
            p.stop = stop;
            p.transfer = transfer;
        });
    }
    void SetStopTimeBoxesEnabled(int port, bool enabled) override {
        Change(port, [&](Port& p) { p.stopTimeBoxes = enabled; });
    }
    bool IsStopOnTimeChosen(int port) override { return Snapshot(port).stopOnTime; }
    std::string HourText(int port) override { return Snapshot(port).hours; }
    std::string MinuteText(int port) override { return Snapshot(port).minutes; }
    void PostStopPress(int port) override {
        if (onStopPress) {
            onStopPress(port);
        }
    }

  private:
    mutable std::mutex m_mutex;
    std::array<Port, 8> m_ports{};
    std::vector<std::pair<std::thread::id, int>> m_sends;
};

// The GUI thread of a test: the test's own thread runs what is posted to it
// (thread-exit notifications, Stop presses), as a window's message loop would.
class FakeGui final : public ConsoleHost, public ThreadExitSink {
  public:
    explicit FakeGui(RecordingConsole& console) : m_console(console) {}
    ~FakeGui() override { g_pTestDialog = nullptr; }

    bool createFails = false;
    int placements = 0;
    // Run on the GUI thread for every thread-exit notification.
    std::function<void()> onThreadExit;

    bool CreateOrFocusConsole() override {
        if (createFails) {
            return false;
        }
        g_pTestDialog = &m_console;
        return true;
    }
    void PlaceConsole() override { ++placements; }

    void PostThreadExit(int) override {
        Post([this] {
            ++exitNotifications;
            if (onThreadExit) {
                onThreadExit();
            }
        });
    }

    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_posted.notify_all();
    }

    // Runs posted tasks until `done` holds; false when `limit` passes first.
    // `done` is looked at after every task and every few milliseconds.
    template <typename Done>
    bool RunUntil(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::unique_lock lock(m_mutex);
            m_posted.wait_for(lock, std::chrono::milliseconds(5),
                              [this] { return !m_tasks.empty(); });
            if (m_tasks.empty()) {
                continue;
            }
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }

    int exitNotifications = 0;  // GUI thread only

  private:
    RecordingConsole& m_console;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_tasks;
};

// A clock the test moves by hand.
class ManualClock final : public TickClock {
  public:
    std::uint64_t NowMs() const override { return m_now.load(); }
    void Advance(std::uint64_t ms) { m_now += ms; }

  private:
    std::atomic<std::uint64_t> m_now{1'000'000};
};

}  // namespace quorvel::testing
