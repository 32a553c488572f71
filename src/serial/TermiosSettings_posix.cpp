#include "serial/TermiosSettings_posix.h"

#include <array>
#include <cstdint>

namespace quorvel::posix {
namespace {

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr std::array<BaudEntry, 14> kBaudCodes{{{110, B110},
                                                {300, B300},
                                                {600, B600},
                                                {1200, B1200},
                                                {2400, B2400},
                                                {4800, B4800},
                                                {9600, B9600},
                                                {19200, B19200},
                                                {38400, B38400},
                                                {57600, B57600},
                                                {115200, B115200},
                                                {230400, B230400},
                                                {460800, B460800},
                                                {921600, B921600}}};

bool SpeedCodeOf(std::uint32_t rate, speed_t& code) {
    for (const BaudEntry& entry : kBaudCodes) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

std::uint32_t RateOf(speed_t code) {
    for (const BaudEntry& entry : kBaudCodes) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

void SetFlag(tcflag_t& flags, tcflag_t bit, bool on) {
    if (on) {
        flags |= bit;
    } else {
        flags &= ~bit;
    }
}

tcflag_t SizeFlag(DataBits bits) {
    switch (bits) {
        case DataBits::Five:
            return CS5;
        case DataBits::Six:
            return CS6;
        case DataBits::Seven:
            return CS7;
        case DataBits::Eight:
            break;
    }
    return CS8;
}

DataBits DataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return DataBits::Five;
        case CS6:
            return DataBits::Six;
        case CS7:
            return DataBits::Seven;
        default:
            return DataBits::Eight;
    }
}

tcflag_t ParityFlags(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return PARENB | PARODD;
        case Parity::Even:
            return PARENB;
        case Parity::Mark:
            return PARENB | CMSPAR | PARODD;
        case Parity::Space:
            return PARENB | CMSPAR;
        case Parity::None:
            break;
    }
    return 0;
}

Parity ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return Parity::None;
    }
    const bool odd = (cflag & PARODD) != 0;
    if ((cflag & CMSPAR) != 0) {
        return odd ? Parity::Mark : Parity::Space;
    }
    return odd ? Parity::Odd : Parity::Even;
}

}  // namespace

bool ApplyLineSettings(const LineSettings& settings, termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    speed_t speed = B9600;
    const bool knownRate = SpeedCodeOf(settings.baudRate, speed);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    tio.c_cflag = (tio.c_cflag & ~tcflag_t(CSIZE)) | SizeFlag(settings.dataBits);
    tio.c_cflag =
        (tio.c_cflag & ~tcflag_t(PARENB | PARODD | CMSPAR)) | ParityFlags(settings.parity);
    if (settings.parity == Parity::None) {
        tio.c_iflag &= ~tcflag_t(INPCK);
    }
    // With five data bits the UART sends 1.5 stop bits for CSTOPB.
    SetFlag(tio.c_cflag, CSTOPB, settings.stopBits != StopBits::One);
    // DSR handshaking has no termios equivalent; CTS/RTS is what hardware
    // flow control means on Linux.
    SetFlag(tio.c_cflag, CRTSCTS, settings.flowControl == FlowControl::Hardware);
    SetFlag(tio.c_iflag, IXON, settings.flowControl == FlowControl::Software);
    SetFlag(tio.c_iflag, IXOFF, settings.flowControl == FlowControl::Software);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return knownRate;
}

LineSettings ReadLineSettings(const termios& tio) {
    LineSettings settings;
    settings.baudRate = RateOf(::cfgetospeed(&tio));
    settings.dataBits = DataBitsOf(tio.c_cflag);
    settings.parity = ParityOf(tio.c_cflag);
    if ((tio.c_cflag & CSTOPB) != 0) {
        settings.stopBits =
            settings.dataBits == DataBits::Five ? StopBits::OnePointFive : StopBits::Two;
    }
    if ((tio.c_cflag & CRTSCTS) != 0) {
        settings.flowControl = FlowControl::Hardware;
    } else if ((tio.c_iflag & (IXON | IXOFF)) != 0) {
        settings.flowControl = FlowControl::Software;
    }
    return settings;
}

}  // namespace quorvel::posix
