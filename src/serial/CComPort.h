#pragma once

#include <cstdint>
#include <memory>

#include "config/PortRegistry.h"
#include "core/TickClock.h"
#include "serial/SerialDevice.h"

namespace quorvel {

// A write or read under way on a channel: its request and the moment of its
// first poll, from which its time-out runs.
struct TransferInFlight {
    std::unique_ptr<PendingTransfer> request;
    std::uint64_t firstPollMs = 0;
    bool Active() const { return request != nullptr; }
};

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

    // A write the caller keeps under way while it does other things (the
    // write thread keeps one a port). StartWrite begins it: Complete when it
    // went out at once, Pending while `write` holds it, Failed (reported).
    // The bytes must stay in place until the write has ended.
    IoPoll StartWrite(const void* bytes, int size, TransferInFlight& write);
    // Looks at a write under way, waiting at most `waitMs`: Complete (its
    // request released), Pending while within its time-out, Failed when it
    // failed or its time-out passed (reported; the request cancelled and
    // released). `written` is what went out.
    IoPoll ContinueWrite(TransferInFlight& write, std::uint32_t waitMs, std::uint32_t& written);
    // How long a transfer under way may still take before its time-out.
    std::uint32_t TimeLeftMs(const TransferInFlight& transfer) const;

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
    // What a transfer reports when it times out or fails.
    struct FailureTexts {
        const char* timeout;
        const char* failure;
        const char* caption;
    };
    static const FailureTexts kWriteTexts;
    static const FailureTexts kReadTexts;

    // One look at a request under way, waiting at most `waitMs` but never past
    // the transfer time-out measured from its first poll. A request that ends
    // is released (cancelled if it timed out) before any message is shown, so
    // no request holds the port while the operator reads it.
    IoPoll Continue(TransferInFlight& transfer, std::uint32_t waitMs, std::uint32_t& count,
                    const FailureTexts& texts);
    // Waits for a request under way until it ends; true when it completed.
    bool Await(TransferInFlight& transfer, std::uint32_t& count, const FailureTexts& texts);
    void Report(const char* text, const char* caption);

    std::uint32_t m_transferTimeoutMs = kTransferTimeoutMs;
    const TickClock* m_clock = &SteadyTickClock::Instance();
    RepeatedFailureFilter m_repeats;
    SerialFailure m_openFailure;
};

}  // namespace quorvel
