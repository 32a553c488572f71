#include "serial/DcbSettings_win32.h"

#include <cstring>

namespace quorvel::win32 {
namespace {

static_assert(sizeof(DCB) == 28, "the DCB is 28 bytes on every Windows target");

BYTE ParityCode(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return ODDPARITY;
        case Parity::Even:
            return EVENPARITY;
        case Parity::Mark:
            return MARKPARITY;
        case Parity::Space:
            return SPACEPARITY;
        case Parity::None:
            break;
    }
    return NOPARITY;
}

Parity ParityOfCode(BYTE code) {
    switch (code) {
        case ODDPARITY:
            return Parity::Odd;
        case EVENPARITY:
            return Parity::Even;
        case MARKPARITY:
            return Parity::Mark;
        case SPACEPARITY:
            return Parity::Space;
        default:
            return Parity::None;
    }
}

BYTE StopBitsCode(StopBits stop) {
    switch (stop) {
        case StopBits::OnePointFive:
            return ONE5STOPBITS;
        case StopBits::Two:
            return TWOSTOPBITS;
        case StopBits::One:
            break;
    }
    return ONESTOPBIT;
}

StopBits StopBitsOfCode(BYTE code) {
    switch (code) {
        case ONE5STOPBITS:
            return StopBits::OnePointFive;
        case TWOSTOPBITS:
            return StopBits::Two;
        default:
            return StopBits::One;
    }
}

void ApplyFlowControl(FlowControl flow, DCB& dcb) {
    const bool hardware = flow == FlowControl::Hardware;
    const bool software = flow == FlowControl::Software;
    dcb.fOutxCtsFlow = hardware ? 1 : 0;
    dcb.fOutxDsrFlow = hardware ? 1 : 0;
    dcb.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutX = software ? 1 : 0;
    dcb.fInX = software ? 1 : 0;
    if (software) {
        dcb.fTXContinueOnXoff = 1;
    }
}

}  // namespace

DCB EmptyDcb() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    return dcb;
}

void ApplyLineSettings(const LineSettings& settings, DCB& dcb) {
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = static_cast<BYTE>(BitCount(settings.dataBits));
    dcb.Parity = ParityCode(settings.parity);
    dcb.StopBits = StopBitsCode(settings.stopBits);
    dcb.fDtrControl = settings.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    ApplyFlowControl(settings.flowControl, dcb);
    dcb.fBinary = 1;
}

LineSettings ReadLineSettings(const DCB& dcb) {
    LineSettings settings;
    settings.baudRate = dcb.BaudRate;
    if (dcb.ByteSize >= 5 && dcb.ByteSize <= 8) {
        settings.dataBits = static_cast<DataBits>(dcb.ByteSize);
    }
    settings.parity = ParityOfCode(dcb.Parity);
    settings.stopBits = StopBitsOfCode(dcb.StopBits);
    if (dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        settings.flowControl = FlowControl::Hardware;
    } else if (dcb.fOutX != 0 || dcb.fInX != 0) {
        settings.flowControl = FlowControl::Software;
    }
    settings.dtrOn = dcb.fDtrControl == DTR_CONTROL_ENABLE;
    return settings;
}

}  // namespace quorvel::win32
