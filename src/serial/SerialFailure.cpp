#include "serial/SerialFailure.h"

namespace quorvel {
namespace {

// What the step means when the system gave no error of its own.
const char* StepMeaning(OpenStep step) {
    switch (step) {
        case OpenStep::NoDevice:
            return "no device answers for this COM number";
        case OpenStep::Open:
            return "the device could not be opened";
        case OpenStep::NotATerminal:
            return "the device is not a serial port";
        case OpenStep::Busy:
            return "the device is held by another program";
        case OpenStep::Exclusive:
            return "the device could not be kept from other programs";
        case OpenStep::ReleaseEvent:
            return "the port's wait-release event could not be made";
        case OpenStep::None:
            break;
    }
    return "";
}

}  // namespace

std::string SerialFailure::Describe() const {
    // Where the step says more than the system's code (a lock that is taken
    // reads "Resource temporarily unavailable"), the step's meaning is given.
    const bool stepSaysMore =
        step == OpenStep::NoDevice || step == OpenStep::NotATerminal || step == OpenStep::Busy;
    const std::string why = stepSaysMore || systemText.empty() ? StepMeaning(step) : systemText;
    return device.empty() ? why : device + ": " + why;
}

std::string SerialFailure::Detail() const {
    return hint.empty() ? Describe() : Describe() + "\n" + hint;
}

SerialFailure MakeSerialFailure(OpenStep step, std::string device, int code) {
    SerialFailure failure;
    failure.step = step;
    failure.hint = SystemErrorHint(step, device, code);
    failure.device = std::move(device);
    failure.systemCode = code;
    if (code != 0) {
        failure.systemText = SystemErrorText(code);
    }
    return failure;
}

bool RepeatedFailureFilter::ShouldShow(std::string_view text, std::string_view caption) {
    if (m_once && m_shown && text == m_lastText && caption == m_lastCaption) {
        return false;  // the operator already knows; a dead port must not bury them in boxes
    }
    m_shown = true;
    m_lastText = text;
    m_lastCaption = caption;
    return true;
}

}  // namespace quorvel
