#pragma once

#include <mutex>
#include <set>
#include <string>

#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"

namespace quorvel {

// Answers the card's two private requests on a real Linux serial port with the
// kernel's own interfaces:
//
//   flow control       termios (already applied by the port's line settings)
//   RS485              TIOCGRS485 / TIOCSRS485, keeping the port's delays
//   RX FIFO trigger    /sys/class/tty/<tty>/rx_trig_bytes, read back
//   internal loopback  TIOCMBIS / TIOCMBIC with TIOCM_LOOP, checked with TIOCMGET
//   TX FIFO trigger    no kernel interface
//   DTR/RTS hysteresis no kernel interface
//
// A request fails when a setting the kernel can take was refused. What Linux
// cannot set at all is never claimed: the first time a port is configured with
// such a setting away from its neutral value (TX trigger 0, hysteresis 0, RX
// trigger 1 where the tty has no trigger file) the operator is told once, by
// a note naming the settings left as the card has them.
class LinuxCardDriver final : public DriverRequestHandler {
  public:
    bool HandleRequest(int fd, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override;

    // The root of the tty class in sysfs; tests point it elsewhere.
    void SetSysfsTtyRoot(std::string root) { m_sysfsTtyRoot = std::move(root); }

    static constexpr int kTiocmLoop = 0x8000;  // not in glibc's headers

  private:
    bool Configure(int fd, const PortConfigRequest& request);
    bool SetLoopback(int fd, const LoopbackRequest& request);
    static bool SetRs485(int fd, bool on);
    // True when applied; `unsupported` set when the tty has no trigger file.
    bool SetRxTrigger(const std::string& ttyName, int level, bool& unsupported) const;
    void NoteOnce(const std::string& device, const std::string& settings);

    std::string m_sysfsTtyRoot = "/sys/class/tty";
    std::mutex m_mutex;
    std::set<std::string> m_noted;  // devices already told about; guarded by m_mutex
};

}  // namespace quorvel
