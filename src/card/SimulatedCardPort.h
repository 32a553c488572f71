// The inside of the simulated card, shared by its files: one port's state and
// the driver through which a port opened on the card reaches it. Not for use
// outside the card.
#pragma once

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "card/SimulatedCard.h"
#include "card/TtyLine.h"

namespace quorvel {

// The tags of the card thread's wake-up and of the holders' notifications in
// its wait set; ports are tagged 0-7.
inline constexpr std::uint32_t kCardWakeTag = 0xFFFFFFFF;
inline constexpr std::uint32_t kCardHoldersTag = 0xFFFFFFFE;

struct SimulatedCard::Link {
    std::mutex mutex;
    SimulatedCard* card = nullptr;  // guarded by mutex; null once the card is gone
};

// The driver a port opened on the card talks to: the card's private requests,
// the line settings, and the modem lines the card plays for it.
class SimulatedCard::PortDriver final : public DriverRequestHandler, public ModemLineDriver {
  public:
    PortDriver(std::shared_ptr<Link> link, int port) : m_link(std::move(link)), m_port(port) {}

    bool HandleRequest(const DriverPort&, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override {
        std::lock_guard lock(m_link->mutex);
        return m_link->card != nullptr && m_link->card->HandleRequest(m_port, code, data, size);
    }

    void LineSettingsApplied(const LineSettings& settings) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->LineSettingsApplied(m_port, settings);
        }
    }

    void OutputWritten(std::size_t bytes) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->OutputWritten(m_port, bytes);
        }
    }

    void OutputDiscarded() override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->OutputDiscarded(m_port);
        }
    }

    bool ReadLines(ModemLines& lines, LineCounts& counts) override {
        std::lock_guard lock(m_link->mutex);
        return m_link->card != nullptr && m_link->card->ReadLines(m_port, lines, counts);
    }

    bool SetOutputLine(OutputLine line, bool on) override {
        std::lock_guard lock(m_link->mutex);
        return m_link->card != nullptr && m_link->card->SetProgramLine(m_port, line, on);
    }

    void Watch(int eventFd) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->WatchLines(m_port, eventFd, true);
        }
    }

    void Unwatch(int eventFd) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->WatchLines(m_port, eventFd, false);
        }
    }

  private:
    std::shared_ptr<Link> m_link;
    int m_port;
};

// How many bytes a port's transmit queue holds before the program's writes
// wait, and how much line time it drains before they go on.
inline constexpr std::size_t kTransmitQueueBytes = 4096;
inline constexpr double kTransmitResumeSeconds = 0.020;

// What befell a character on its way into a receiving port's UART.
struct SimulatedCard::Arrival {
    UartError error = UartError::None;  // what the UART found wrong with it
    bool injected = false;              // a line fault made that error
    bool flipped = false;               // a bit error changed it
};

// One port's modem lines and UART as the card plays them (SimulatedCardLines.cpp).
struct CardLineState {
    // What the holding program drives: both raised while nobody holds the
    // port, so whoever opens it next finds them raised, as a tty's open does.
    bool programDtr = true;
    bool programRts = true;
    // Hardware flow control: the program has left so much unread that the
    // port's RTS is down until it reads.
    bool throttled = false;
    ModemLines lines;           // as they stand: the inputs as wired, the outputs as driven
    LineCounts counts;          // what the port's UART counted since the card began
    std::vector<int> watchers;  // eventfds written at every change, until unwatched

    // Faults on the lines (see the public members).
    bool ctsCut = false;
    double framingRate = 0.0;
    double parityRate = 0.0;
    double nextBreakAt = std::numeric_limits<double>::infinity();
    double dcdTogglesPerSecond = 0.0;
    double nextDcdToggleAt = std::numeric_limits<double>::infinity();
    bool dcdFlipped = false;  // the toggling fault holds DCD opposite to its wiring
    double nextThrottleLook = std::numeric_limits<double>::infinity();

    // The soonest moment the card must look at the lines again.
    double DueAt() const { return std::min({nextBreakAt, nextDcdToggleAt, nextThrottleLook}); }
};

// One port of the card. Every field is guarded by the card's mutex, and read
// by the card thread and the queries. Writers: the card thread (the transmit
// side, the line settings it hears of, the holders); the public members, on
// any thread (the pty, the wiring, the faults); the drivers' calls, on the
// program's threads (requests, line settings, and the holders and the
// transmit queue when they find the last program has closed the port).
struct SimulatedCard::Port {
    int master = -1;   // the card's side of the pty, in packet mode
    int slave = -1;    // held by the card so the tty never hangs up between users
    int watch = -1;    // the inotify watch on the slave's device node
    std::string path;  // empty while unplugged
    bool plugged = false;

    PortWiring wiring = PortWiring::Plug;
    int partner = -1;
    bool stalled = false;

    // Faults on what the port receives, and when it is to be unplugged.
    double bitErrorRate = 0.0;
    std::mt19937 random{0x5EED};
    std::uint64_t dropEvery = 0;  // 0: none
    std::uint64_t arrivals = 0;   // bytes that came for the port since dropEvery was set
    // Blocks of the bytes that come for the port lost on the way: from and
    // to, in the numbering of every byte that came for it.
    std::uint64_t came = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> dropBlocks;
    bool InDroppedBlock(std::uint64_t number) const {
        return std::any_of(dropBlocks.begin(), dropBlocks.end(), [&](const auto& block) {
            return number >= block.first && number < block.second;
        });
    }
    double unplugAt = std::numeric_limits<double>::infinity();

    // Line settings: the pty's, and the ones the holding program's serial
    // code told the card (data bits and parity, which a pty cannot carry).
    TtyLine tty;
    std::optional<LineSettings> driverLine;
    UartFrame frame;  // what the UART runs with, made of the two
    std::optional<PortConfigRequest> config;
    bool loopback = false;

    // The programs that have the port open, as the opens and closes of its
    // device node tell, and the bytes taken into the queue since the card last
    // looked at those.
    int holders = 0;
    std::size_t freshBytes = 0;

    // Transmit side: bytes taken from the program, not yet on the line.
    std::deque<std::uint8_t> queue;
    // The program's output is stopped (tcflow): the queue is full.
    bool outputHeld = false;
    // What the holder's serial code said it wrote, and what the card took
    // from the pty: the difference is on its way through the pty, part of
    // what the program is ahead of the line. A program that does not tell
    // (any other than Quorvel) is held by the card's promptness alone.
    std::uint64_t written = 0;
    std::uint64_t taken = 0;
    std::size_t Unread() const { return written > taken ? written - taken : 0; }
    // The program's bytes still to go out: those in the queue and on their way.
    std::size_t Ahead() const { return queue.size() + Unread(); }
    bool sending = false;      // characters waited at the last service: the line is busy
    double lineFreeAt = 0.0;   // the card's clock: when the line is free for the next character
    double lineSeconds = 0.0;  // line time the port's characters have taken
    bool armed = false;        // the card thread waits for the program's output
    double resumeAt = std::numeric_limits<double>::infinity();

    // Counts for the card's view: what it put on the line, and what its faults
    // did to what the port received.
    std::uint64_t sent = 0;
    std::uint64_t overrun = 0;
    std::uint64_t corrupted = 0;
    std::uint64_t dropped = 0;
    std::uint64_t framingInjected = 0;  // the line faults' own, as the program got them
    std::uint64_t parityInjected = 0;
    std::uint64_t breaksInjected = 0;

    CardLineState modem;

    std::shared_ptr<PortDriver> driver;
};

}  // namespace quorvel
