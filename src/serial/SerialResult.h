#pragma once

#include <cstdint>

namespace quorvel {

// The steps of the serial layer: what a result speaks of, and where an
// operation that failed stopped.
enum class SerialStep : std::uint8_t {
    None,
    // Opening the device (a port that did not open is told by SerialFailure).
    NoDevice,      // the COM number leads to no device
    Open,          // the system refused to open the device
    NotATerminal,  // the device is not a serial port
    Busy,          // another program holds the device
    Exclusive,     // the device could not be kept from other programs
    ReleaseEvent,  // the event that releases a pending wait could not be made
    // Setting up an open port.
    SetupQueues,
    GetLineSettings,
    SetLineSettings,
    GetTimeouts,
    SetTimeouts,
    Purge,
    DriverRequest,
    // Waiting for communication events.
    SetEventMask,
    WaitEvent,
    // The modem lines and what the UART counts.
    ModemLines,    // the lines could not be read (the device has none)
    SetModemLine,  // DTR or RTS could not be switched
    LineCounts,    // the UART's counts could not be read
    // Moving bytes.
    WriteEvent,   // a write's completion event could not be made
    Write,        // the write itself: refused, failed while pending, or out of time
    ReadEvent,    // a read's completion event could not be made
    BytesQueued,  // what the input queue holds could not be learnt
    Read,         // the read itself
    Close,
};

// How an operation ended.
enum class SerialOutcome : std::uint8_t {
    Done,      // it did what was asked (a wait: an event of the mask happened)
    Pending,   // a transfer is in flight: poll it
    Released,  // a wait ended because the event mask was changed (Test > Stop clears it)
    Empty,     // a read found nothing waiting and asked the device for nothing
    TimedOut,  // nothing within the time given
    Failed,    // the step failed; the system's code says why
};

// What every operation of the serial layer answers: how it ended, the step it
// speaks of (the one that failed, or the last one taken) and the system's
// error code (errno, or GetLastError() on Windows; 0 when the system said
// nothing). Who shows a failure to the operator decides from these values.
struct [[nodiscard]] SerialResult {
    SerialOutcome outcome = SerialOutcome::Done;
    SerialStep step = SerialStep::None;
    int systemCode = 0;

    static SerialResult Done(SerialStep step) { return {SerialOutcome::Done, step, 0}; }
    static SerialResult Of(SerialOutcome outcome, SerialStep step) { return {outcome, step, 0}; }
    static SerialResult Failure(SerialStep step, int code) {
        return {SerialOutcome::Failed, step, code};
    }

    bool Ok() const { return outcome == SerialOutcome::Done; }
    // The step failed or ran out of time: what was asked did not happen.
    bool Failed() const {
        return outcome == SerialOutcome::Failed || outcome == SerialOutcome::TimedOut;
    }
    bool operator==(const SerialResult&) const = default;
};

}  // namespace quorvel
