// Reads a tty's settings with TCGETS2, which gives the rate as a number
// whether the program set a standard rate or any other. The kernel's termios2
// clashes with the C library's <termios.h>, so this file is the only one that
// sees it.
#include "card/TtyLine.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quorvel {

std::optional<TtyLine> ReadTtyLine(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return std::nullopt;
    }
    TtyLine line;
    line.baud = tio.c_ospeed;
    line.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    line.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    line.xonXoffOut = (tio.c_iflag & IXON) != 0;
    line.xonXoffIn = (tio.c_iflag & IXOFF) != 0;
    line.reportsChanges = (tio.c_lflag & EXTPROC) != 0;
    return line;
}

}  // namespace quorvel
