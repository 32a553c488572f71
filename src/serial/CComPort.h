#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/TickClock.h"
#include "serial/DriverRequests.h"
#include "serial/SerialDevice.h"

namespace quorvel {

// A write or read under way on a channel: its request, its step (Write or
// Read) and the moment of its first poll, from which its time-out runs.
struct TransferInFlight {
    std::unique_ptr<PendingTransfer> request;
    SerialStep step = SerialStep::None;
    std::uint64_t firstPollMs = 0;
    bool Active() const { return request != nullptr; }
};

// What opening a port came to: the handle, or why there is none; and the
// set-up steps that failed on a port that did open, in the order they ran.
// A port whose set-up steps failed is still open and takes part in a test.
struct [[nodiscard]] OpenResult {
    PortHandle handle;                      // null when the device did not open
    SerialFailure failure;                  // why it did not open; nothing failed when it did
    std::vector<SerialResult> failedSteps;  // set-up steps of an open port that failed
};

// A transfer channel: one port handle and the operations on it. Open opens and
// configures a port; Write and Read move bytes with a request that is waited
// for under the transfer time-out; SetHandle binds the channel to a handle
// opened elsewhere. A channel never closes its handle and shows nothing: every
// operation answers a result with the step that failed and the system's code,
// and the caller decides what the operator is told.
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

    // Opens COM number `comNumber` (its low 8 bits) and sets it up: queues,
    // the current line settings read, purge, time-outs, `line` applied, and
    // the card's configuration `request`.
    OpenResult Open(int comNumber, const LineSettings& line, const PortConfigRequest& request);
    // The set-up of a port just opened, in Open's order, on `port`; makes it
    // the channel's handle. Answers the steps that failed.
    std::vector<SerialResult> SetUp(const PortHandle& port, const LineSettings& line,
                                    const PortConfigRequest& request);

    void SetHandle(PortHandle handle) { m_hCom = std::move(handle); }

    // Writes `size` bytes: Done when the write completed; Failed at the step
    // that failed, or TimedOut (step Write) when it outlasted the time-out.
    SerialResult Write(const void* bytes, int size);

    // A write the caller keeps under way while it does other things (the
    // write thread keeps one a port). StartWrite begins it: Done when it went
    // out at once, Pending while `write` holds it, or Failed. The bytes must
    // stay in place until the write has ended.
    SerialResult StartWrite(const void* bytes, int size, TransferInFlight& write);
    // Looks at a write under way, waiting at most `waitMs`: Done (its request
    // released), Pending while within its time-out, Failed when it failed or
    // TimedOut when its time-out passed (the request cancelled and released
    // either way). `written` is what went out.
    SerialResult ContinueWrite(TransferInFlight& write, std::uint32_t waitMs,
                               std::uint32_t& written);
    // How long a transfer under way may still take before its time-out.
    std::uint32_t TimeLeftMs(const TransferInFlight& transfer) const;

    // Reads what is waiting, at most kMaxRead bytes, into `buffer` (room for
    // kMaxRead at least): Done with `count` set when a read completed; Empty
    // when nothing was waiting (`count` untouched); otherwise Failed or
    // TimedOut at the step that failed.
    SerialResult Read(void* buffer, int* count);

    // Tests shorten the transfer time-out so that they need not wait 10 s, and
    // may measure it on a clock of their own.
    void SetTransferTimeoutMs(std::uint32_t timeoutMs) { m_transferTimeoutMs = timeoutMs; }
    void SetClock(const TickClock& clock) { m_clock = &clock; }

    static constexpr std::uint32_t kQueueSize = 4096;
    static constexpr std::uint32_t kTransferTimeoutMs = 10000;
    static constexpr int kMaxRead = 450;
    // The driver's time-outs a port is opened with: reads 1000 ms + 25 ms a
    // byte, writes 1000 ms + 10 ms a byte.
    static constexpr CommTimeouts kOpenTimeouts{0, 25, 1000, 10, 1000};

    PortHandle m_hCom;

  private:
    // One look at a request under way, waiting at most `waitMs` but never past
    // the transfer time-out measured from its first poll. A request that ends
    // is released (cancelled if it timed out) before the result is answered,
    // so no request holds the port while the operator reads of it.
    SerialResult Continue(TransferInFlight& transfer, std::uint32_t waitMs, std::uint32_t& count);
    // Waits for a request under way until it ends.
    SerialResult Await(TransferInFlight& transfer, std::uint32_t& count);

    std::uint32_t m_transferTimeoutMs = kTransferTimeoutMs;
    const TickClock* m_clock = &SteadyTickClock::Instance();
};

}  // namespace quorvel
