#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/LineState.h"
#include "serial/SerialFailure.h"

namespace quorvel {

// How a transfer request started.
enum class IoStart {
    Complete,  // done at once; the count is set
    Pending,   // in flight; poll the PendingTransfer
    Failed,    // refused at once (for Win32: an error other than ERROR_IO_PENDING)
    NoEvent,   // the request's completion event could not be created
};

// How a poll of a pending request ended.
enum class IoPoll { Complete, Pending, Failed };

// A write or read in flight. The caller's buffer must outlive it. Destroying a
// transfer that is still pending cancels it and waits until the device has let
// go of the buffer, so nothing is ever written into freed memory.
class PendingTransfer {
  public:
    virtual ~PendingTransfer() = default;

    // Waits at most `waitMs` for the request to finish; 0 only looks.
    virtual IoPoll Poll(std::uint32_t waitMs) = 0;

    // Bytes moved so far (all of them once Complete).
    virtual std::uint32_t BytesTransferred() const = 0;
};

// What a wait for a communication event ended with.
enum class CommWait {
    Event,     // an event of the mask happened; `events` holds it
    Released,  // the mask was changed from another thread (Test > Stop clears it)
    TimedOut,  // nothing within the time given
    Failed,    // the wait could not be made or the device is gone
};

// One open serial port: the primitive operations of a platform backend, each
// answering success or failure. The port-open and transfer algorithms are in
// CComPort, on top of these.
//
// Threading: one reader and one writer may use a device at the same time, and
// any thread may change the event mask to release a pending wait. Close() only
// when no other thread uses the device any more.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    virtual bool SetupQueues(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual bool GetLineState(LineState& state) = 0;
    virtual bool SetLineState(const LineState& state) = 0;
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool GetTimeouts(CommTimeouts& timeouts) = 0;
    virtual bool Purge(unsigned flags) = 0;

    virtual bool SetEventMask(std::uint32_t mask) = 0;
    // Waits for an event of the mask, or a release, for at most `timeoutMs`
    // (kWaitForever: no limit).
    virtual CommWait WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) = 0;

    // The bytes waiting in the input queue (ClearCommError's cbInQue); false
    // when the device cannot tell (it is gone). Also clears the error state.
    virtual bool BytesQueued(std::uint32_t& count) = 0;

    virtual IoStart StartWrite(const std::uint8_t* data, std::uint32_t size, std::uint32_t& written,
                               std::unique_ptr<PendingTransfer>& pending) = 0;
    virtual IoStart StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                              std::unique_ptr<PendingTransfer>& pending) = 0;

    // A request private to the card's driver (DeviceIoControl with no output).
    virtual bool DriverRequest(std::uint32_t code, const std::uint8_t* data, std::size_t size) = 0;

    // Closes the device; later calls fail.
    virtual void Close() = 0;

    static constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;
};

// A port handle: null when no port is open. Shared by the test's threads;
// closed by the one who opened it once the threads are done with it.
using PortHandle = std::shared_ptr<SerialDevice>;

// Opens the device for COM number `com` exclusively (GENERIC_READ |
// GENERIC_WRITE, no sharing, overlapped), by `deviceName` on Windows and by the
// COM lookup elsewhere; null when it cannot be opened, with `failure` saying
// why. One per platform.
PortHandle OpenComDevice(int com, const std::string& deviceName, SerialFailure& failure);

}  // namespace quorvel
