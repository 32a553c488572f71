#pragma once

#include <mutex>
#include <string>
#include <vector>

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
// A request fails when a setting the kernel can take was refused. What a port
// got otherwise than asked for is never hidden, and never claimed either: a
// setting Linux has no interface for (away from its neutral value: TX trigger
// 0, hysteresis 0, RX trigger 1 where the tty has no trigger file) is left as
// the device has it, and an RX trigger level the UART does not have is
// rounded by the kernel to one it has (an 8250 has 1, 4, 8 and 14) and counts
// as applied. Both are told in one note for all the ports a Test > Start
// opened, naming each by its COM number and its device as the COM lookup gave
// it. The ports may be the card's or any other serial device (a USB adapter),
// so the note says nothing of a card.
class LinuxCardDriver final : public DriverRequestHandler {
  public:
    bool HandleRequest(const DriverPort& port, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override;
    // Shows the note for the ports configured since the last call, if any of
    // them got a setting otherwise than asked for.
    void PortsOpened() override;

    // The root of the tty class in sysfs; tests point it elsewhere.
    void SetSysfsTtyRoot(std::string root) { m_sysfsTtyRoot = std::move(root); }

    static constexpr int kTiocmLoop = 0x8000;  // not in glibc's headers
    static constexpr const char* kNoteCaption = "Port Settings";

  private:
    // The settings one port got otherwise than asked for: its line of the note.
    struct Note {
        int com = 0;
        std::string device;
        std::string text;
    };

    bool Configure(const DriverPort& port, const PortConfigRequest& request);
    bool SetLoopback(int fd, const LoopbackRequest& request);
    static bool SetRs485(int fd, bool on);
    // The level the UART took (0 when the write or the read-back failed);
    // `unsupported` set when the tty has no trigger file.
    int SetRxTrigger(const std::string& ttyName, int level, bool& unsupported) const;

    std::string m_sysfsTtyRoot = "/sys/class/tty";
    std::mutex m_mutex;
    std::vector<Note> m_notes;  // since the last PortsOpened; guarded by m_mutex
};

}  // namespace quorvel
