#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/LineSettings.h"
#include "serial/ModemLines.h"
#include "serial/SerialFailure.h"
#include "serial/SerialResult.h"

namespace quorvel {

// The port's driver time-outs, as COMMTIMEOUTS, in milliseconds.
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// PurgeComm flags.
namespace purge {
inline constexpr unsigned kTxAbort = 0x0001;
inline constexpr unsigned kRxAbort = 0x0002;
inline constexpr unsigned kTxClear = 0x0004;
inline constexpr unsigned kRxClear = 0x0008;
inline constexpr unsigned kAll = kTxAbort | kRxAbort | kTxClear | kRxClear;
}  // namespace purge

// A write or read in flight. The caller's buffer must outlive it. Destroying a
// transfer that is still pending cancels it and waits until the device has let
// go of the buffer, so nothing is ever written into freed memory.
class PendingTransfer {
  public:
    virtual ~PendingTransfer() = default;

    // Waits at most `waitMs` for the request to finish; 0 only looks. Done,
    // Pending, or Failed at the transfer's step (Write or Read).
    virtual SerialResult Poll(std::uint32_t waitMs) = 0;

    // Bytes moved so far (all of them once Done).
    virtual std::uint32_t BytesTransferred() const = 0;
};

// One open serial port: the primitive operations of a platform backend, each
// answering a SerialResult with its step and the system's error code. The
// port-open and transfer algorithms are in CComPort, on top of these.
//
// Threading: one reader and one writer may use a device at the same time, and
// any thread may change the event mask to release a pending wait, read the
// modem lines and counts, or switch DTR and RTS. Close() only
// when no other thread uses the device any more.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    virtual SerialResult SetupQueues(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    // Reads the port's current settings; what the next SetLineSettings does
    // not govern keeps the values read here.
    virtual SerialResult GetLineSettings(LineSettings& settings) = 0;
    virtual SerialResult SetLineSettings(const LineSettings& settings) = 0;
    virtual SerialResult SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual SerialResult GetTimeouts(CommTimeouts& timeouts) = 0;
    virtual SerialResult Purge(unsigned flags) = 0;

    // The events a wait is for: kEvRxChar, and those of the modem lines and
    // line faults (kEvLines; ModemLines.h).
    virtual SerialResult SetEventMask(std::uint32_t mask) = 0;
    // Waits for an event of the mask (Done, with `events` set), a release
    // (Released) or the end of `timeoutMs` (TimedOut; kWaitForever: no limit).
    virtual SerialResult WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) = 0;

    // The modem lines as they stand; Failed (step ModemLines) on a device
    // that has none, such as a pseudo-terminal no card answers for.
    virtual SerialResult GetModemLines(ModemLines& lines) = 0;
    // Raises (`on`) or drops DTR or RTS.
    virtual SerialResult SetOutputLine(OutputLine line, bool on) = 0;
    // What the UART has counted since the port was opened: the changes of
    // its input lines and its line errors.
    virtual SerialResult GetLineCounts(LineCounts& counts) = 0;

    // The bytes waiting in the input queue (ClearCommError's cbInQue); Failed
    // when the device cannot tell (it is gone). Also clears the error state.
    virtual SerialResult BytesQueued(std::uint32_t& count) = 0;

    // Starts a transfer: Done at once (the count set), Pending with the
    // request in `pending`, or Failed (WriteEvent/ReadEvent when its
    // completion event could not be made, Write/Read when it was refused).
    virtual SerialResult StartWrite(const std::uint8_t* data, std::uint32_t size,
                                    std::uint32_t& written,
                                    std::unique_ptr<PendingTransfer>& pending) = 0;
    virtual SerialResult StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                                   std::unique_ptr<PendingTransfer>& pending) = 0;

    // A request private to the card's driver (DeviceIoControl with no output).
    virtual SerialResult DriverRequest(std::uint32_t code, const std::uint8_t* data,
                                       std::size_t size) = 0;

    // Closes the device; later calls fail.
    virtual SerialResult Close() = 0;

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
