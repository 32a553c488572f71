#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The step at which opening a port failed.
enum class OpenStep : std::uint8_t {
    None,          // nothing failed
    NoDevice,      // the COM number leads to no device
    Open,          // the system refused to open the device
    NotATerminal,  // the device is not a serial port
    Busy,          // another program holds the device
    Exclusive,     // the device could not be kept from other programs
    ReleaseEvent,  // the event that releases a pending wait could not be made
};

// Why a port could not be opened: the step, the device tried and the system's
// own word on it, so the operator can be told more than that it failed, and
// what to do about it where the system's word alone does not say.
struct SerialFailure {
    OpenStep step = OpenStep::None;
    std::string device;      // the device name or path that was tried
    int systemCode = 0;      // errno, or GetLastError() on Windows; 0 when the system said nothing
    std::string systemText;  // the system's text for systemCode
    std::string hint;        // what the operator can do; empty when there is nothing to add

    bool Failed() const { return step != OpenStep::None; }
    // "/dev/ttyS3: Permission denied", "COM5: the device is not a serial port".
    std::string Describe() const;
    // Describe() and, on a line of its own, the hint: the detail of the
    // message that the port did not open.
    std::string Detail() const;
};

// A failure at `step` on `device` with the system's error `code` (0: none),
// its text and hint taken from the system.
SerialFailure MakeSerialFailure(OpenStep step, std::string device, int code);

// The system's text for an error code (strerror, FormatMessage). One per platform.
std::string SystemErrorText(int code);

// What the operator can do about a failure to open `device` at `step` with
// the system's error `code`: join the group that owns the device, close the
// program that holds it, check that the device is there. Empty when there is
// nothing to add. One per platform.
std::string SystemErrorHint(OpenStep step, const std::string& device, int code);

// Keeps a channel that fails packet after packet from showing the same
// failure over and over: while repeats are to be shown once, a failure equal
// to the last one shown (same text and caption, compared by value) is not
// shown again until a transfer succeeds.
class RepeatedFailureFilter {
  public:
    void ShowRepeatsOnce(bool once) { m_once = once; }

    // True when this failure is to be shown; it is then the last one shown.
    bool ShouldShow(std::string_view text, std::string_view caption);
    // A transfer succeeded: the next failure is shown whatever it is.
    void Clear() { m_shown = false; }

  private:
    bool m_once = false;
    bool m_shown = false;  // a failure was shown since the last success
    std::string m_lastText;
    std::string m_lastCaption;
};

}  // namespace quorvel
