#pragma once

#include <cstdint>

#include "config/PortRegistry.h"
#include "core/TickClock.h"
#include "serial/SerialDevice.h"

namespace quorvel {

// A transfer channel: one port handle and the operations on it. Open opens and
// configures a port from its record; Write and Read move bytes with a request
// that is waited for under the transfer time-out; SetHandle binds the channel to
// a handle opened elsewhere. A channel never closes its handle.
//
// Threading: a channel is used by one thread. Several channels may share one
// handle: one reader and one writer may use a port at the same time, and any
// thread may change the port's event mask.
class CComPort {
  public:
    CComPort() = default;
    virtual ~CComPort() = default;
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // Opens COM number `comNumber` (its low 8 bits) and configures it from
    // `record`, the port's own record: queues, line settings, time-outs, purge
    // and the card's configuration request. Null when the device cannot be
    // opened (no message: the caller reports it, and OpenFailure says why); a
    // port whose set-up steps failed is still returned, after their messages.
    PortHandle Open(int comNumber, const PortRegistry& record);
    // Why the last Open returned null (nothing failed when it did not).
    const SerialFailure& OpenFailure() const { return m_openFailure; }

    void SetHandle(PortHandle handle) { m_hCom = std::move(handle); }

    // Writes `size` bytes; true when the write completed. Failures have been
    // reported to the operator.
    bool Write(const void* bytes, int size);

    // Reads what is waiting, at most kMaxRead bytes, into `buffer` (room for
    // kMaxRead at least). True with `count` set when a read completed; false
    // when nothing was waiting (silently) or after a reported failure.
    bool Read(void* buffer, int* count);

    // A channel that sends packet after packet on its own (the test threads)
    // reports a failure once and keeps quiet while the same failure repeats,
    // until a transfer succeeds again. Otherwise every failure is reported.
    void ReportRepeatedFailuresOnce(bool once) { m_repeats.ShowRepeatsOnce(once); }

    // Tests shorten the transfer time-out so that they need not wait 10 s, and
    // may measure it on a clock of their own.
    void SetTransferTimeoutMs(std::uint32_t timeoutMs) { m_transferTimeoutMs = timeoutMs; }
    void SetClock(const TickClock& clock) { m_clock = &clock; }

    static constexpr std::uint32_t kQueueSize = 4096;
    static constexpr std::uint32_t kTransferTimeoutMs = 10000;
    static constexpr int kMaxRead = 450;

    PortHandle m_hCom;

  private:
    // The wait for a pending request: polled under the transfer time-out
    // measured from the first poll, blocking between polls. The transfer is
    // released (cancelled if still pending) before any message is shown, so no
    // request holds the port while the operator reads it.
    bool AwaitTransfer(std::unique_ptr<PendingTransfer>& transfer, std::uint32_t& count,
                       const char* timeoutText, const char* failureText, const char* caption);
    void Report(const char* text, const char* caption);

    std::uint32_t m_transferTimeoutMs = kTransferTimeoutMs;
    const TickClock* m_clock = &SteadyTickClock::Instance();
    RepeatedFailureFilter m_repeats;
    SerialFailure m_openFailure;
};

}  // namespace quorvel
