#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "card/UartFrame.h"
#include "core/PerPort.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"
#include "serial/LineSettings.h"

namespace quorvel {

// What is attached to a port's connector.
enum class PortWiring {
    Nothing,  // what the port sends is lost
    Plug,     // an external loopback plug: what it sends comes back to it
    Cable,    // a crossed cable to another port of the card
};

// What a port's faults did to the bytes it received, counted by the card.
struct CardFaultCounts {
    std::uint64_t corrupted = 0;  // bytes the program got with bits flipped
    std::uint64_t dropped = 0;    // bytes dropped on the way
    std::uint64_t overrun = 0;    // bytes lost because the program did not read them in time
    std::uint64_t framing = 0;    // framing errors the faults made, as the program got them
    std::uint64_t parity = 0;     // parity errors likewise
    std::uint64_t breaks = 0;     // break conditions the faults put on the line
    bool operator==(const CardFaultCounts&) const = default;
};

// The ways the whole card can be wired when it is made.
enum class CardWiring {
    Plugs,  // a loopback plug on every port
    Pairs,  // cables 1-2, 3-4, 5-6, 7-8 (ports 0-1, 2-3, 4-5, 6-7)
    Open,   // nothing attached anywhere
};

// A port's line as the card runs it: the UART's frame, and the flow control
// the program asked for (RTS/CTS holds a sender back; XON/XOFF is followed
// but holds nothing back).
struct PortLine {
    UartFrame frame;
    bool rtsCts = false;      // hardware flow control
    bool xonXoffOut = false;  // XON/XOFF on what the port sends
    bool xonXoffIn = false;   // XON/XOFF on what it receives

    bool operator==(const PortLine&) const = default;
};

// A simulated eight-port card. Each port is a pseudo-terminal pair: a program
// opens the slave like any tty, through the COM lookup (the card answers for
// eight consecutive COM numbers) or by its device path, and one card thread
// plays the hardware on the master side:
//
// - it follows the line settings of whatever program holds the port: the
//   rate, stop bits and flow-control flags the pty carries, which the pty
//   reports as they change (packet mode), and the data bits and parity that
//   the program's own serial code tells the card through the port's driver
//   (a pty forces 8N); a change takes effect from the next character;
// - it takes what the program writes into the port's transmit queue (4 KB;
//   the program's writes wait while it is full, so a program is never more
//   than the queue and one write ahead of the line) and puts it on the line at
//   the line rate (start bit, data bits, parity and stop bits per character),
//   keeping the line time it used on its own clock;
// - a flush of the output queue discards what the card took and had not yet
//   sent, a flush of the input queue what it delivered and the program had
//   not read, and a close both; while no program holds a port its receiver
//   is off, so nothing of one program reaches the next;
// - it carries what it sends to where the wiring says: back to the port (plug
//   or the card's internal loopback, which keeps it off the wire), to the
//   cable's other port, or nowhere;
// - a receiver whose line settings differ from the sender's reads the
//   sender's frames at its own bit rate and frame, so what arrives is what a
//   real UART would make of it (a frame it cannot read arrives as NUL);
// - it answers the card's two private requests, validated as the card's
//   driver does, and remembers them per port;
// - it plays each port's modem lines as the wiring joins them: a plug joins
//   RTS to CTS and DTR to DSR, DCD and RI; a cable is a null-modem cable
//   (each side's RTS to the other's CTS, DTR to the other's DSR and DCD);
//   nothing attached leaves the inputs low. A program that holds a port
//   drives its DTR and RTS (both raised at its open); a pty carries no
//   modem lines, so only a program whose serial code reaches the card's
//   driver (Quorvel's own) can read or switch them;
// - with hardware flow control (CRTSCTS) a port's RTS drops while its
//   program has left its receive queue (4 KB) nearly full, and a port whose
//   CTS is down sends nothing: its transmit queue fills and its program's
//   writes wait, as on hardware;
// - its UART counts what a real one counts: the changes of the input lines,
//   framing and parity errors (a character it cannot frame arrives as NUL),
//   bytes lost to a full receive queue, breaks.
//
// Not modelled: XON/XOFF (followed but holds nothing back), FIFO trigger
// levels and hysteresis (remembered only), RS485 direction switching, and the
// driver's own read and write time-outs.
//
// Faults for tests: unplug (the device vanishes) and plug back, stall (the
// card stops sending a port's output, so writes back up), bit errors at a
// rate, framing and parity errors, breaks, a cut CTS wire, a flickering DCD.
//
// Every public member may be called from any thread.
class SimulatedCard final : public ComDeviceResolver {
  public:
    static constexpr int kPorts = kPortCount;
    static constexpr int kDefaultFirstCom = 4;

    explicit SimulatedCard(int firstCom = kDefaultFirstCom, CardWiring wiring = CardWiring::Plugs);
    ~SimulatedCard() override;
    SimulatedCard(const SimulatedCard&) = delete;
    SimulatedCard& operator=(const SimulatedCard&) = delete;

    // Makes the eight ports and starts the card thread; false (with a reason)
    // when the system gives no pseudo-terminals.
    bool Start(std::string* error = nullptr);
    void Stop();
    bool Running() const { return m_thread.joinable(); }

    int FirstCom() const { return m_firstCom; }
    // The port's device; empty while it is unplugged.
    std::string DevicePath(int port) const;

    // Answers for the card's COM numbers (an unplugged port for none); every
    // other one goes to the lookup that was installed before the card.
    std::optional<ComDevice> Resolve(int com) override;
    // The lookup the card hands the other COM numbers to looks afresh; what
    // it has to tell is answered.
    [[nodiscard]] std::string Refresh() override;
    // The card's own ports have nothing to tell; the others' drivers may.
    void PortsOpened() override;

    // Makes the card the process's COM lookup, until Uninstall or destruction.
    void Install();
    void Uninstall();

    // Wiring, changeable while the card runs.
    void AttachNothing(int port);
    void AttachPlug(int port);
    void AttachCable(int port, int otherPort);
    PortWiring WiringOf(int port) const;

    // Faults.
    // The device vanishes. Its pty number goes back to the system, which may
    // give it to another program at once, so the card forgets the old name.
    void Unplug(int port);
    bool Replug(int port);  // a new device appears (with a new path)
    void Stall(int port, bool stalled);
    // Each bit the port receives is flipped with this probability, from a
    // fixed seed, so a run is repeatable.
    void SetBitErrorRate(int port, double rate);
    // Every `every`-th byte the port receives is lost on the way (0: none).
    void DropEvery(int port, std::uint64_t every);
    // Of the bytes that come for the port from now on, the `length` after
    // the first `after` are lost on the way (a gap, as an overrun upstream
    // makes one); each call adds a block.
    void DropBlock(int port, std::uint64_t after, std::uint64_t length);
    // The port is unplugged `seconds` from now, by the card thread.
    void UnplugAfter(int port, double seconds);
    // What the faults did to the bytes the port received, by the card's own
    // count: a checker that tells the truth finds exactly these.
    CardFaultCounts FaultCountsOf(int port) const;

    // Line faults (SimulatedCardLines.cpp). The port's CTS input is held low
    // (a handshake wire cut).
    void CutCts(int port, bool cut);
    // Each character the port receives arrives with a framing error (as
    // NUL) with this probability; a parity error likewise, on a port whose
    // frame has parity (one without cannot tell). From fixed seeds.
    void SetFramingErrorRate(int port, double rate);
    void SetParityErrorRate(int port, double rate);
    // A break condition on the line the port receives, every kBreakSeconds.
    void SetBreaks(int port, bool on);
    // The port's DCD input changes `perSecond` times a second (0: steady, as
    // the wiring has it).
    void ToggleDcd(int port, double perSecond);
    static constexpr double kBreakSeconds = 1.0;

    // A port's modem lines as the card plays them, and what its UART has
    // counted since the card began.
    ModemLines ModemLinesOf(int port) const;
    LineCounts UartCountsOf(int port) const;

    // The card's view of a port, for tests and the status display.
    PortLine LineOf(int port) const;
    std::optional<PortConfigRequest> ConfigurationOf(int port) const;
    bool InternalLoopbackOf(int port) const;
    std::uint64_t BytesSentBy(int port) const;   // put on the port's line
    std::uint64_t BytesOverrun(int port) const;  // lost: the program did not read
    // The program's bytes in the port's transmit queue, not yet on the line.
    std::size_t QueuedBytes(int port) const;
    // The line time the port's characters have taken on the card's clock.
    double LineSecondsOf(int port) const;
    // How many opens of the port's device are open, as far as the card has
    // heard: it hears of an open or a close within moments, not at once.
    int HoldersOf(int port) const;

  private:
    class PortDriver;
    struct Port;

    // The card thread (SimulatedCardThread.cpp): Run takes m_mutex for each
    // round, and the members from ServicePort to Detach run with it held.
    void Run();
    int ReadyToWait();
    void ServicePort(int port, double now);
    void TakeOutput(int port);
    void Transmit(int port, double now);
    void Deliver(int from, int to, const std::uint8_t* data, std::size_t size);
    void Arm(int port, bool readable);

    // The program side of the ports (SimulatedCardProgram.cpp): who holds
    // them, the settings they set, what their flushes and closes discard.
    void WatchPort(int port);
    void TakeHolderEvents();
    void LastHolderLeft(int port, bool reopened);
    bool Listening(const Port& port) const;
    void FollowTty(Port& port);
    void DiscardOutput(Port& port);
    void HoldOutput(Port& port);
    void ReleaseOutput(Port& port);

    bool CreatePort(int port, std::string* error);
    void DestroyPort(Port& port);
    void Detach(int port);
    static bool ValidPort(int port) { return quorvel::ValidPort(port); }
    void Wake();
    double Now() const;

    // Requests and line settings from the program, through a port's driver;
    // they take the mutex themselves.
    bool HandleRequest(int port, std::uint32_t code, const std::uint8_t* data, std::size_t size);
    void LineSettingsApplied(int port, const LineSettings& settings);
    void OutputWritten(int port, std::size_t bytes);
    void OutputDiscarded(int port);
    bool ReadLines(int port, ModemLines& lines, LineCounts& counts);
    bool SetProgramLine(int port, OutputLine line, bool on);
    void WatchLines(int port, int eventFd, bool watch);

    // The modem lines (SimulatedCardLines.cpp), with the mutex held: every
    // port's lines made again from the wiring and what drives them, each
    // change counted and told to the port's watchers.
    void UpdateLines();
    ModemLines WiredLines(int port) const;
    bool DrivesLines(const Port& port) const;
    // The card thread's look at the lines: the faults whose time has come,
    // and the flow control of the ports whose programs left bytes unread.
    void ServiceLines(double now);
    void LookAtReceiveQueue(Port& port, double now);
    void PutBreak(Port& port);
    void TellLineWatchers(const Port& port) const;
    // Whether a port's CTS holds its output back.
    static bool HeldByCts(const Port& port);
    // A character on its way into a receiving port's UART: what the UART
    // reads of it (`byte`), and what befell it.
    struct Arrival;
    void Receive(const Port& sender, Port& receiver, std::uint8_t data, std::uint8_t& byte,
                 Arrival& arrival);
    // Counts what befell the first `taken` of `kept` characters the receiver
    // was given (the rest found its queue full), and tells its watchers.
    void CountArrivals(Port& receiver, const Arrival* arrivals, std::size_t taken,
                       std::size_t kept);

    const int m_firstCom;
    const CardWiring m_initialWiring;
    // Set by Install on the thread that installs the card, before any port is
    // opened through it; read by the threads that open ports.
    std::atomic<ComDeviceResolver*> m_fallback{nullptr};
    std::atomic<bool> m_installed{false};

    // The drivers given to opened ports reach the card through this link, which
    // the card cuts when it goes, so a port that outlives the card fails its
    // requests instead of calling into freed memory.
    struct Link;
    std::shared_ptr<Link> m_link;

    mutable std::mutex m_mutex;  // guards every Port and the wiring
    PerPort<std::unique_ptr<Port>> m_ports;

    int m_epoll = -1;  // the card thread's wait set; created by Start
    int m_wake = -1;   // eventfd: stop, or a change the thread must see
    // inotify of the opens and closes of the ports' devices; -1 when the
    // system gives none (then every port counts as held always). Made by
    // Start and closed by Stop, under m_mutex; read under it by the card
    // thread and by the drivers' calls.
    int m_holders = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace quorvel
