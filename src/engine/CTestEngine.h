#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/PerPort.h"
#include "engine/ConsoleView.h"
#include "engine/PortCheck.h"
#include "engine/PortSender.h"
#include "engine/SerialFailureMessages.h"
#include "engine/TestData.h"
#include "serial/CComPort.h"

namespace quorvel {

struct TestParts;

// The per-port send, display and run operations of a test. Several engines
// exist: the console's (Run, Stop), the runtime's (Start, Stop, close-all), one
// in each receive thread and one per port in the write thread. Each has its
// own transfer channels; what they share are the test's parts.
//
// A packet is built and counted under the port's lock (PortSender), then shown
// and written without holding anything. The console's engine builds a run's
// first packet and hands its write to the write thread, so Run never waits for
// a port. An engine of the write thread serves one port and keeps that port's
// write under way while the thread serves the others: the port is passed over
// until its write has ended.
//
// A run ends in one place, StopPort, whoever ends it: the Stop button, Test >
// Stop, Stop On Time (the write thread) or Stop On Error (the receive thread).
class CTestEngine {
  public:
    // `writeThread`: the engine serves the write thread, which never builds a
    // run's first packet and writes what it builds itself.
    explicit CTestEngine(TestParts& parts, bool writeThread = false);
    virtual ~CTestEngine() = default;
    CTestEngine(const CTestEngine&) = delete;
    CTestEngine& operator=(const CTestEngine&) = delete;

    // Builds the port's packet from the start of its pattern, counts and shows
    // it, and writes it: the console's engine hands the write to the write
    // thread (which then waits the write delay), the write thread's engine
    // starts it.
    void SendPacket(int port);
    // Builds, counts and shows the next piece of a file pass that SendPacket
    // began, and starts its write (write thread).
    void SendNextFileChunk(int port);
    // Starts the write of the first packet Run handed over (write thread).
    void SendHandedPacket(int port);
    // Appends `text` to the port's transmit box.
    void ShowTxData(std::string text, int port);
    // Checks a chunk the port received against what its source sent, shows a
    // changed error count and ends a run that stops on error (receive thread).
    void CheckRxData(int port, std::span<const std::uint8_t> chunk);
    // Nothing came for a while: the check counts the source's bytes whose
    // time is up, shows a changed error count and ends a run that stops on
    // error (receive thread).
    void TickCheck(int port);
    // The test ends: what still waited to be judged is judged with what
    // there is, the bytes on their way are cut by the stop, and a changed
    // error count shown.
    void FinishCheck(int port);
    // Keeps a chunk the port received as its latest and shows it in its
    // receive box (receive thread).
    void ShowRxData(int port, std::span<const std::uint8_t> chunk);
    // A port's run begins: counters and boxes reset, receive queue purged,
    // first packet sent.
    void RunPort(int port);
    // A port's run ends, for `cause`; with `run` given, only if that run is
    // still the port's (a thread that saw its time up or its first error names
    // the run it saw). Any thread.
    void StopPort(int port, StopCause cause = StopCause::Button,
                  std::optional<std::uint64_t> run = std::nullopt);
    void EnableRunButtons();
    void DisableRunButtons();

    // The write thread's engines: the write under way on their port.
    bool WriteUnderWay() const { return m_write.Active(); }
    PendingTransfer* WriteRequest() const { return m_write.request.get(); }
    // How long the write under way may still take before it times out.
    std::uint32_t WriteTimeLeftMs() const;
    // Looks at the write under way without waiting; when it has ended, the
    // packet is finished (TXD out, count shown, the write delay after a
    // pass's first piece). True when it ended.
    bool ServiceWrite(int port);
    // The test ends: a write still under way is cancelled.
    void CancelWrite() { m_write.request.reset(); }

    int m_nPort = 0;    // the port RunPort last served
    int m_nRxPort = 0;  // the port ShowRxData last served

  private:
    using Piece = PortSender::Piece;
    // Shows a packet just built when the Enable box was ticked as it was built.
    void ShowBuilt(int port, const PortSender::Packet& packet, bool show);
    // The write thread's part: starts writing m_packet on the port.
    // A run's first packet (`runStart`) begins the run's bytes in the sent
    // stream, which repeat every `period` bytes.
    void StartWrite(int port, Piece piece, std::int32_t count, bool countShown = false,
                    bool runStart = false, std::uint64_t period = 0);
    // Shows a check's outcome, and ends a run that stops on error.
    void TakeOutcome(int port, const PortCheck::Outcome& outcome);
    // The console's part: gives the run's first packet to the write thread.
    void HandOver(int port, const PortSender::Packet& packet);
    void Finish(int port);
    // When a run started now with the console's Stop On choice ends (clock
    // ms), 0 for never.
    std::uint64_t StopTimeOf(ConsoleView& console, int port) const;

    TestParts& m_parts;
    const bool m_bWriteThread;
    PerPort<CComPort> m_channels;
    PerPort<TransferFailureReport> m_failures;  // one a channel

    // The write thread's engines only: the packet under way and its write.
    TxPacket m_packet;
    TransferInFlight m_write;
    int m_writePort = 0;
    Piece m_piece = Piece::First;
    std::int32_t m_count = 0;
    bool m_countShown = false;  // Run already showed the packet's count
};

}  // namespace quorvel
