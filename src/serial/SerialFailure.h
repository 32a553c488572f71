#pragma once

#include <cstdint>
#include <string>

#include "serial/SerialResult.h"

namespace quorvel {

// Why a port could not be opened: the step, the device tried and the system's
// own word on it, so the operator can be told more than that it failed, and
// what to do about it where the system's word alone does not say.
struct SerialFailure {
    SerialStep step = SerialStep::None;  // one of the opening steps; None: nothing failed
    std::string device;                  // the device name or path that was tried
    int systemCode = 0;      // errno, or GetLastError() on Windows; 0 when the system said nothing
    std::string systemText;  // the system's text for systemCode
    std::string hint;        // what the operator can do; empty when there is nothing to add

    bool Failed() const { return step != SerialStep::None; }
    // "/dev/ttyS3: Permission denied", "COM5: the device is not a serial port".
    std::string Describe() const;
    // Describe() and, on a line of its own, the hint: the detail of the
    // message that the port did not open.
    std::string Detail() const;
};

// A failure at `step` on `device` with the system's error `code` (0: none),
// its text and hint taken from the system.
SerialFailure MakeSerialFailure(SerialStep step, std::string device, int code);

// The system's text for an error code (strerror, FormatMessage). One per platform.
std::string SystemErrorText(int code);

// What the operator can do about a failure to open `device` at `step` with
// the system's error `code`: join the group that owns the device, close the
// program that holds it, check that the device is there. Empty when there is
// nothing to add. One per platform.
std::string SystemErrorHint(SerialStep step, const std::string& device, int code);

}  // namespace quorvel
