#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/ConsoleView.h"

namespace quorvel::testing {

// A console that records what the engine does to it, in the order the calls
// were made, on whatever thread makes them: like the Qt console, it never
// holds a worker up, except where a test asks it to (onEnableRead).
class RecordingConsole final : public ConsoleView {
  public:
    struct Port {
        bool enable = true;
        std::vector<std::string> transmitted;   // every append, as given
        std::string received;                   // the receive box
        std::vector<std::string> packetCounts;  // every Packet Count text
        std::string errorCount;
        std::vector<bool> txd;
        int receiveActivity = 0;        // chunks the RXD indicator was lit for
        std::vector<ModemLines> lines;  // every change of the lines shown, in order
        LineIndicatorState indicators;  // what the line indicators can show
        bool run = false, stop = false, transfer = false;
        bool stopTimeBoxes = false;
        bool stopOnTime = false;
        bool stopOnError = false;
        std::vector<StopCause> stopCauses;  // every run that ended by itself, with its cause
        std::vector<RunStopped> stops;      // and what the panel was told of it
        int notOpenShown = 0;               // Run on a port the test did not open
        std::string hours = "0", minutes = "0";
        int clears = 0;
    };

    // Runs on the reading thread before the Enable box is read: a test holds a
    // sending thread here to force what may happen while it is on its way.
    std::function<void(int)> onEnableRead;

    Port Snapshot(int port) const {
        std::lock_guard lock(m_mutex);
        return m_ports[static_cast<std::size_t>(port)];
    }
    // Changes a panel directly, as the operator does on the GUI thread.
    template <typename Edit>
    void Change(int port, Edit change) {
        std::lock_guard lock(m_mutex);
        change(m_ports[static_cast<std::size_t>(port)]);
    }
    // The ports whose transmit box was appended to, in order, by `thread`.
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

    bool IsEnableChecked(int port) override {
        if (onEnableRead) {
            onEnableRead(port);
        }
        return Ask<bool>(port, [](Port& p) { return p.enable; });
    }
    void AppendTransmitText(int port, std::string_view text) override {
        const std::thread::id caller = std::this_thread::get_id();
        Call(port, [&](Port& p) {
            p.transmitted.emplace_back(text);
            m_sends.emplace_back(caller, port);
        });
    }
    void AppendReceiveText(int port, std::string_view text) override {
        Call(port, [&](Port& p) { p.received += text; });
    }
    void ClearDataBoxes(int port) override {
        Call(port, [](Port& p) {
            p.transmitted.clear();
            p.received.clear();
            ++p.clears;
        });
    }
    // Counts are kept as the console shows them.
    void ShowPacketCount(int port, std::int32_t packets) override {
        Call(port, [&](Port& p) { p.packetCounts.push_back(std::to_string(packets)); });
    }
    void ShowErrorCount(int port, std::uint64_t errors) override {
        Call(port, [&](Port& p) { p.errorCount = std::to_string(errors); });
    }
    void SetTxdIndicator(int port, bool on) override {
        Call(port, [&](Port& p) { p.txd.push_back(on); });
    }
    void ShowReceiveActivity(int port) override {
        Call(port, [](Port& p) { ++p.receiveActivity; });
    }
    void ShowModemLines(int port, const ModemLines& lines) override {
        Call(port, [&](Port& p) { p.lines.push_back(lines); });
    }
    void SetLineIndicators(int port, const LineIndicatorState& state) override {
        Call(port, [&](Port& p) { p.indicators = state; });
    }
    void SetPortButtons(int port, bool run, bool stop, bool transfer) override {
        Call(port, [&](Port& p) {
            p.run = run;
            p.stop = stop;
            p.transfer = transfer;
        });
    }
    void SetStopTimeBoxesEnabled(int port, bool enabled) override {
        Call(port, [&](Port& p) { p.stopTimeBoxes = enabled; });
    }
    bool IsStopOnErrorChosen(int port) override {
        return Ask<bool>(port, [](Port& p) { return p.stopOnError; });
    }
    bool IsStopOnTimeChosen(int port) override {
        return Ask<bool>(port, [](Port& p) { return p.stopOnTime; });
    }
    std::string HourText(int port) override {
        return Ask<std::string>(port, [](Port& p) { return p.hours; });
    }
    std::string MinuteText(int port) override {
        return Ask<std::string>(port, [](Port& p) { return p.minutes; });
    }
    void ShowNotOpen(int port) override {
        Call(port, [](Port& p) { ++p.notOpenShown; });
    }
    void ShowRunStopped(int port, const RunStopped& stopped) override {
        Call(port, [&](Port& p) {
            p.stopCauses.push_back(stopped.cause);
            p.stops.push_back(stopped);
        });
    }

  private:
    template <typename Edit>
    void Call(int port, Edit change) {
        Change(port, change);
    }
    template <typename Result, typename Read>
    Result Ask(int port, Read read) {
        Result result{};
        Call(port, [&](Port& p) { result = read(p); });
        return result;
    }

    mutable std::mutex m_mutex;
    std::array<Port, 8> m_ports{};
    std::vector<std::pair<std::thread::id, int>> m_sends;
};

// The GUI thread of a test: the thread that makes it runs what is posted to
// it (thread-exit notifications), as a window's message loop would, while it
// waits in RunUntil. As the console's host it creates the recording console
// at the first test start, and can let it go as a destroyed window would.
class FakeGui final : public ConsoleHost, public ThreadExitSink {
  public:
    explicit FakeGui(RecordingConsole& console) : m_console(console) {}
    ~FakeGui() override { Close(); }

    bool createFails = false;
    int placements = 0;
    int exitNotifications = 0;  // GUI thread only
    // Run on the GUI thread for every thread-exit notification.
    std::function<void()> onThreadExit;

    ConsoleView* Console() override { return m_exists.load() ? &m_console : nullptr; }
    bool CreateOrFocusConsole() override {
        if (createFails) {
            return false;
        }
        m_exists = true;
        return true;
    }
    // The console window is destroyed: the engine finds no console from now on.
    void DestroyConsole() { m_exists = false; }
    void PlaceConsole() override { ++placements; }
    bool ConsoleShown() const override { return placements > 0; }

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
            if (m_closed) {
                return;
            }
            m_tasks.push_back(std::move(task));
        }
        m_posted.notify_all();
    }

    // What was posted runs now; what is posted later is dropped: for the end
    // of a test, when the GUI loop no longer turns.
    void Close() {
        std::unique_lock lock(m_mutex);
        m_closed = true;
        while (!m_tasks.empty()) {
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
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

  private:
    RecordingConsole& m_console;
    std::atomic<bool> m_exists{false};  // written by the test's thread, read by any
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_tasks;  // guarded by m_mutex
    bool m_closed = false;                      // guarded by m_mutex
};

}  // namespace quorvel::testing
