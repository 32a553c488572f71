#pragma once

#include <array>
#include <string>

#include "serial/CComPort.h"

namespace quorvel {

class TestRuntime;

// The per-port send and display operations of a test. Several engines exist:
// the console's (Run, Stop), the runtime's (Start, Stop, close-all), one in
// each receive thread and one per port in the write thread. Each has its own
// transfer channels; the shared state lives in the runtime.
class CTestEngine {
  public:
    // `writeThread`: the engine serves the write thread, which never builds a
    // run's first packet.
    explicit CTestEngine(TestRuntime& runtime, bool writeThread = false);
    virtual ~CTestEngine() = default;
    CTestEngine(const CTestEngine&) = delete;
    CTestEngine& operator=(const CTestEngine&) = delete;

    // Builds the port's packet from the start of its pattern, counts it, shows
    // it, writes it, updates the Packet Count box and waits the write delay.
    void SendPacket(int port);
    // Sends the next piece of a file pass that SendPacket began (write thread).
    void SendNextFileChunk(int port);
    // Appends `text` to the port's transmit box.
    void ShowTxData(std::string text, int port);
    // Shows the port's latest received chunk in its receive box.
    void ShowRxData(int port);
    // A port's run begins: counters and boxes reset, receive queue purged,
    // first packet sent.
    void RunPort(int port);
    // A port's run ends.
    void StopPort(int port);
    void EnableRunButtons();
    void DisableRunButtons();

    int m_nPort = 0;    // the port RunPort last served
    int m_nRxPort = 0;  // the port ShowRxData last served

  private:
    enum class Piece { First, Next };
    // Builds the next packet under the port's lock and sends it; the console is
    // called with no lock held.
    void Send(int port, Piece piece);
    // Whether the port's next packet may be built now (the port's lock is held).
    bool MayBuild(int port, Piece piece) const;

    TestRuntime& m_runtime;
    const bool m_bWriteThread;
    std::array<CComPort, 8> m_channels;
};

}  // namespace quorvel
