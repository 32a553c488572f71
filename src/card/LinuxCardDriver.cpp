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

// "a", "a and b", "a, b and c".
std::string ListOf(const std::vector<std::string>& items) {
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            list += i + 1 == items.size() ? " and " : ", ";
        }
        list += items[i];
    }
    return list;
}

}  // namespace

bool LinuxCardDriver::HandleRequest(const DriverPort& port, std::uint32_t code,
                                    const std::uint8_t* data, std::size_t size) {
    if (const auto config = ParsePortConfigRequest(code, data, size)) {
        return Configure(port, *config);
    }
    if (const auto loopback = ParseLoopbackRequest(code, data, size)) {
        return SetLoopback(port.fd, *loopback);
    }
    return false;
}

bool LinuxCardDriver::Configure(const DriverPort& port, const PortConfigRequest& request) {
    bool applied = SetRs485(port.fd, request.Rs485());

    // The trigger file is the kernel's own tty's, whatever name the port was opened by.
    bool noTriggerFile = false;
    const int rxTrigger = request.RxTrigger();
    const int taken = SetRxTrigger(BaseName(DevicePathOf(port.fd)), rxTrigger, noTriggerFile);
    if (taken == 0 && !noTriggerFile) {
        applied = false;
    }

    std::vector<std::string> parts;
    if (taken != 0 && taken != rxTrigger) {
        parts.push_back("receive FIFO trigger level " + std::to_string(rxTrigger) + " applied as " +
                        std::to_string(taken) + " (the nearest level the UART has)");
    }
    std::vector<std::string> noInterface;
    if (noTriggerFile && rxTrigger != 1) {
        noInterface.push_back("receive FIFO trigger level " + std::to_string(rxTrigger));
    }
    if (request.TxTrigger() != 0) {
        noInterface.push_back("transmit FIFO trigger level " + std::to_string(request.TxTrigger()));
    }
    if (request.Hysteresis() != 0) {
        noInterface.push_back("hysteresis " + std::to_string(request.Hysteresis()));
    }
    if (!noInterface.empty()) {
        parts.push_back("Linux has no interface for the " + ListOf(noInterface) +
                        (noInterface.size() == 1 ? ", left as the device has it"
                                                 : ", left as the device has them"));
    }
    if (!parts.empty()) {
        std::string text;
        for (const std::string& part : parts) {
            text += (text.empty() ? "" : "; ") + part;
        }
        std::lock_guard lock(m_mutex);
        m_notes.push_back({port.com, port.path, text});
    }
    return applied;
}

void LinuxCardDriver::PortsOpened() {
    std::vector<Note> notes;
    {
        std::lock_guard lock(m_mutex);
        notes.swap(m_notes);
    }
    if (notes.empty()) {
        return;
    }
    std::string text = "Some port settings are not applied as they are set:";
    for (const Note& note : notes) {
        text += "\nCOM" + std::to_string(note.com) + " (" + note.device + "): " + note.text;
    }
    ShowMessage(text, kNoteCaption, mb::kOk | mb::kIconAsterisk);
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

int LinuxCardDriver::SetRxTrigger(const std::string& ttyName, int level, bool& unsupported) const {
    unsupported = false;
    const std::string path = m_sysfsTtyRoot + "/" + ttyName + "/rx_trig_bytes";
    if (ttyName.empty() || ::access(path.c_str(), F_OK) != 0) {
        unsupported = true;
        return 0;
    }
    {
        std::ofstream out(path);
        out << level;
        if (!out.flush()) {
            return 0;
        }
    }
    // The kernel takes the nearest level the UART has at or below the one
    // written; what it reads back is the level in force.
    std::ifstream in(path);
    int readBack = 0;
    return in >> readBack && readBack > 0 ? readBack : 0;
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

}  // namespace quorvel
