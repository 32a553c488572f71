#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/PerPort.h"
#include "core/TickClock.h"
#include "engine/ConsoleView.h"
#include "engine/IndicatorLights.h"

namespace quorvel {

// What the console is to show, as the test threads publish it and the GUI
// thread takes it at its own pace. A sending or receiving thread never waits
// for the display: it publishes under a port's lock held only to copy its
// bytes and goes on; the GUI thread takes what is new (at a display rate, and
// at once after a quiet spell) under the same short lock, so it never waits
// for a worker either.
//
// Each transmit and receive box is kept as the bytes appended to it, and what
// the GUI thread takes is exactly what appending them one by one would have
// left: a box that would pass its limit of kBoxLimit characters (one per
// byte) is emptied before the append that would pass it, as the console's
// boxes are, and text that would be emptied within one batch is never handed
// over at all. Counts, the error count and the TXD indicator are taken as
// their latest values. TXD and RXD are lit while bytes move and for 100 ms
// after (ActivityLight), and a modem line that changed and changed back
// between two takes is shown changed for one take (LineLights), so that
// nothing that happened between two frames goes unseen; a take says when the
// display must take again for a light to go out.
//
// Threads: every member may be called from any thread.
class ConsoleDisplay {
  public:
    static constexpr int kPorts = kPortCount;
    static constexpr std::size_t kBoxLimit = 10000;

    // `clock` times the activity lights.
    explicit ConsoleDisplay(const TickClock& clock = SteadyTickClock::Instance())
        : m_clock(clock) {}

    // What a box is to do at a take: empty itself first when `clear`, then
    // append `text`.
    struct BoxUpdate {
        bool clear = false;
        std::string text;
    };
    // What changed on a port's panel since the last take.
    struct PortUpdate {
        BoxUpdate transmit;
        BoxUpdate receive;
        std::optional<std::int32_t> packetCount;
        std::optional<std::uint64_t> errorCount;
        std::optional<bool> txd;
        std::optional<bool> rxd;
        // What the indicators can show (before any lines in this update).
        std::optional<LineIndicatorState> indicators;
        std::optional<ModemLines> lines;
        // When to take again though nothing new comes (ms from this take),
        // for a light to go out; nothing when no light waits.
        std::optional<std::uint64_t> againInMs;
    };

    // Called, on the publishing thread, when something new arrives after the
    // GUI thread has taken everything; it must return at once (it posts a
    // wake-up to the GUI thread). Set before any thread publishes.
    void SetWaker(std::function<void()> waker) { m_waker = std::move(waker); }

    // The test threads' side, and the GUI thread's own changes, in one order.
    void AppendTransmit(int port, std::string_view bytes);
    void AppendReceive(int port, std::string_view bytes);
    void ClearBoxes(int port);
    void SetPacketCount(int port, std::int32_t packets);
    void SetErrorCount(int port, std::uint64_t errors);
    // A write under way (on) or ended; both are bytes moving.
    void SetTxd(int port, bool on);
    void NoteReceive(int port);
    void SetLines(int port, const ModemLines& lines);
    // What the indicators can show; the lights start afresh, out.
    void SetIndicators(int port, const LineIndicatorState& state);

    // The box already holds `length` characters (the text the console was
    // made with); what is appended later counts from there.
    void SetBoxLengths(int port, std::size_t transmit, std::size_t receive);

    // The port's Enable box, kept current by the GUI thread and read by the
    // threads without waiting.
    void SetEnabled(int port, bool enabled);
    bool Enabled(int port) const;

    // What is new on the port's panel (GUI thread). Taking all eight ports
    // after BeginTake re-arms the waker for what arrives from then on.
    void BeginTake() { m_wakePending.store(false); }
    PortUpdate Take(int port);

  private:
    struct Box {
        bool clear = false;      // empty the box before `pending`
        std::string pending;     // appended since the last take
        std::size_t length = 0;  // characters the box holds once `pending` is in
    };
    struct Port {
        std::mutex mutex;  // held only to copy into or out of the fields below
        Box transmit;
        Box receive;
        std::optional<std::int32_t> packetCount;
        std::optional<std::uint64_t> errorCount;
        ActivityLight txd;
        ActivityLight rxd;
        LineLights lines;
        std::optional<LineIndicatorState> indicators;
    };

    static void Append(Box& box, std::string_view bytes);
    static BoxUpdate TakeBox(Box& box);
    Port* PortAt(int port);
    // Tells the GUI thread once that something is new.
    void Wake();

    const TickClock& m_clock;
    PerPort<Port> m_ports;
    PerPort<std::atomic<bool>> m_enabled{};  // written by the GUI thread
    std::atomic<bool> m_wakePending{false};  // a wake-up is on its way and not yet taken
    std::function<void()> m_waker;           // set before the threads start
};

}  // namespace quorvel
