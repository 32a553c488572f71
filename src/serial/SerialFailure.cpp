#include "serial/SerialFailure.h"

namespace quorvel {
namespace {

// What the step means when the system gave no error of its own.
const char* StepMeaning(SerialStep step) {
    switch (step) {
        case SerialStep::NoDevice:
            return "no device answers for this COM number";
        case SerialStep::Open:
            return "the device could not be opened";
        case SerialStep::NotATerminal:
            return "the device is not a serial port";
        case SerialStep::Busy:
            return "the device is held by another program";
        case SerialStep::Exclusive:
            return "the device could not be kept from other programs";
        case SerialStep::ReleaseEvent:
            return "the port's wait-release event could not be made";
        default:  // not a step of opening
            break;
    }
    return "";
}

}  // namespace

std::string SerialFailure::Describe() const {
    // Where the step says more than the system's code (a lock that is taken
    // reads "Resource temporarily unavailable"), the step's meaning is given.
    const bool stepSaysMore = step == SerialStep::NoDevice || step == SerialStep::NotATerminal ||
                              step == SerialStep::Busy;
    const std::string why = stepSaysMore || systemText.empty() ? StepMeaning(step) : systemText;
    return device.empty() ? why : device + ": " + why;
}

std::string SerialFailure::Detail() const {
    return hint.empty() ? Describe() : Describe() + "\n" + hint;
}

SerialFailure MakeSerialFailure(SerialStep step, std::string device, int code) {
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

}  // namespace quorvel
