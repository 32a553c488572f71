#include "card/LinuxCardDriver.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "core/MessageSink.h"

namespace quorvel {
namespace {

std::string DevicePathOf(int fd) {
    char path[PATH_MAX] = {};
    if (::ttyname_r(fd, path, sizeof path) != 0) {
        return {};
    }
    return path;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool LinuxCardDriver::HandleRequest(int fd, std::uint32_t code, const std::uint8_t* data,
                                    std::size_t size) {
    if (const auto config = ParsePortConfigRequest(code, data, size)) {
        return Configure(fd, *config);
    }
    if (const auto loopback = ParseLoopbackRequest(code, data, size)) {
        return SetLoopback(fd, *loopback);
    }
    return false;
}

bool LinuxCardDriver::Configure(int fd, const PortConfigRequest& request) {
    const std::string device = DevicePathOf(fd);
    bool applied = SetRs485(fd, request.Rs485());

    bool noTriggerFile = false;
    if (!SetRxTrigger(BaseName(device), request.RxTrigger(), noTriggerFile) && !noTriggerFile) {
        applied = false;
    }

    std::string notApplied;
    auto add = [&notApplied](const std::string& what) {
        if (!notApplied.empty()) {
            notApplied += ", ";
        }
        notApplied += what;
    };
    if (noTriggerFile && request.RxTrigger() != 1) {
        add("receive FIFO trigger level " + std::to_string(request.RxTrigger()));
    }
    if (request.TxTrigger() != 0) {
        add("transmit FIFO trigger level " + std::to_string(request.TxTrigger()));
    }
    if (request.Hysteresis() != 0) {
        add("hysteresis " + std::to_string(request.Hysteresis()));
    }
    if (!notApplied.empty()) {
        NoteOnce(device.empty() ? "this port" : device, notApplied);
    }
    return applied;
}

bool LinuxCardDriver::SetRs485(int fd, bool on) {
    serial_rs485 rs485{};
    if (::ioctl(fd, TIOCGRS485, &rs485) != 0) {
        return !on;  // no RS485 on this port: off is what it already is
    }
    if (on) {
        rs485.flags |= SER_RS485_ENABLED;
    } else {
        rs485.flags &= ~static_cast<__u32>(SER_RS485_ENABLED);
    }
    if (::ioctl(fd, TIOCSRS485, &rs485) != 0) {
        return false;
    }
    serial_rs485 check{};
    return ::ioctl(fd, TIOCGRS485, &check) == 0 && ((check.flags & SER_RS485_ENABLED) != 0) == on;
}

bool LinuxCardDriver::SetRxTrigger(const std::string& ttyName, int level, bool& unsupported) const {
    unsupported = false;
    const std::string path = m_sysfsTtyRoot + "/" + ttyName + "/rx_trig_bytes";
    if (ttyName.empty() || ::access(path.c_str(), F_OK) != 0) {
        unsupported = true;
        return false;
    }
    {
        std::ofstream out(path);
        out << level;
        if (!out.flush()) {
            return false;
        }
    }
    // The UART takes the nearest level it has; only the level asked for counts.
    std::ifstream in(path);
    int readBack = -1;
    return static_cast<bool>(in >> readBack) && readBack == level;
}

bool LinuxCardDriver::SetLoopback(int fd, const LoopbackRequest& request) {
    int bits = kTiocmLoop;
    if (::ioctl(fd, request.On() ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return false;
    }
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0) {
        return false;
    }
    return ((lines & kTiocmLoop) != 0) == request.On();
}

void LinuxCardDriver::NoteOnce(const std::string& device, const std::string& settings) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_noted.insert(device).second) {
            return;
        }
    }
    ShowMessage(device + ": Linux has no interface for the " + settings +
                    "; the card keeps its own values for them.",
                "Port Settings", mb::kOk | mb::kIconAsterisk);
}

}  // namespace quorvel
