#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/PerPort.h"
#include "engine/SerialFailureMessages.h"
#include "engine/TestData.h"
#include "serial/CComPort.h"

namespace quorvel {

class TestRuntime;

// The per-port send and display operations of a test. Several engines exist:
// the console's (Run, Stop), the runtime's (Start, Stop, close-all), one in
// each receive thread and one per port in the write thread. Each has its own
// transfer channels; the shared state lives in the runtime.
//
// A packet is built, counted and shown by the thread that sends it, under the
// port's lock; its write then goes on without holding anything. The console's
// engine builds a run's first packet and hands its write to the write thread,
// so Run never waits for a port. An engine of the write thread serves one
// port and keeps that port's write under way while the thread serves the
// others: the port is passed over until its write has ended.
class CTestEngine {
  public:
    // `writeThread`: the engine serves the write thread, which never builds a
    // run's first packet and writes what it builds itself.
    explicit CTestEngine(TestRuntime& runtime, bool writeThread = false);
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
    // Checks the port's latest received chunk against what its source sent,
    // shows a changed error count and stops a run that stops on error.
    void CheckRxData(int port);
    // The test ends: what still waited to be judged is judged with what
    // there is, and a changed error count shown.
    void FinishCheck(int port);
    // Shows the port's latest received chunk in its receive box.
    void ShowRxData(int port);
    // A port's run begins: counters and boxes reset, receive queue purged,
    // first packet sent.
    void RunPort(int port);
    // A port's run ends.
    void StopPort(int port);
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
    enum class Piece { First, Next };
    // Builds and counts the port's next packet into `packet` under the port's
    // lock; false when the port may not send now.
    bool Build(int port, Piece piece, TxPacket& packet, std::int32_t& count);
    // Whether the port's next packet may be built now (the port's lock is held).
    bool MayBuild(int port, Piece piece) const;
    // The write thread's part: starts writing m_packet on the port.
    void StartWrite(int port, Piece piece, std::int32_t count, bool countShown = false);
    // The console's part: gives the run's first packet to the write thread.
    void HandOver(int port, const TxPacket& packet, std::int32_t count);
    void Finish(int port);

    TestRuntime& m_runtime;
    const bool m_bWriteThread;
    std::array<CComPort, kPortCount> m_channels;
    std::array<TransferFailureReport, kPortCount> m_failures;  // one a channel

    // The write thread's engines only: the packet under way and its write.
    TxPacket m_packet;
    TransferInFlight m_write;
    int m_writePort = 0;
    Piece m_piece = Piece::First;
    std::int32_t m_count = 0;
    bool m_countShown = false;  // Run already showed the packet's count
};

}  // namespace quorvel
