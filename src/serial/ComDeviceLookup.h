#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "serial/LineSettings.h"
#include "serial/ModemLines.h"

namespace quorvel {

// The Win32 device name of a COM number: "COM1" ... "COM9", and from COM10 on
// the device-namespace form "\\.\COM10", which is the only one Windows opens
// for two-digit numbers.
std::string ComDeviceName(int com);

// An open port as its driver sees it: the descriptor, and the COM number and
// device path it was opened under (the path as the COM lookup gave it).
struct DriverPort {
    int fd = -1;
    int com = 0;
    std::string path;
};

// What answers the card's private driver requests for a port opened on a
// POSIX system (on Windows the card's own driver does).
class DriverRequestHandler {
  public:
    virtual ~DriverRequestHandler() = default;

    // A request (DeviceIoControl with no output) on the open port.
    virtual bool HandleRequest(const DriverPort& port, std::uint32_t code, const std::uint8_t* data,
                               std::size_t size) = 0;

    // The line settings the program applied to the port, as it asked for them.
    // A pseudo-terminal cannot carry data bits or parity, so a simulated card
    // learns them here rather than by reading the tty back.
    virtual void LineSettingsApplied(const LineSettings& /*settings*/) {}

    // The program has just written `bytes` on the port (each write, as the
    // system took it). A simulated card counts them until it has taken them
    // from its pseudo-terminal, so that it holds the program where its
    // transmit queue is full however late it gets to them.
    virtual void OutputWritten(std::size_t /*bytes*/) {}
    // The program has flushed its output queue: nothing it wrote before is
    // still on its way to the driver.
    virtual void OutputDiscarded() {}

    // Every port chosen for a test has been opened, or tried: what the driver
    // has to tell the operator about the ports it configured since, it tells
    // now, once for them all.
    virtual void PortsOpened() {}
};

// The modem lines of a port whose UART its driver plays itself: a simulated
// card answers for its pseudo-terminals, which have no lines of their own. A
// port without one has the tty's own lines (TIOCMGET), if it has any.
//
// Threads: any; the calls take the driver's own lock.
class ModemLineDriver {
  public:
    virtual ~ModemLineDriver() = default;

    // The lines and the UART's counts as they stand (the counts since the
    // driver began: the device takes its own from the open on); false when
    // the port is gone.
    virtual bool ReadLines(ModemLines& lines, LineCounts& counts) = 0;
    // The program raises or drops DTR or RTS; false when the port is gone.
    virtual bool SetOutputLine(OutputLine line, bool on) = 0;
    // `eventFd` (an eventfd) is written at every change of the lines or the
    // counts, from the call on, until Unwatch; after Unwatch returns it is
    // never written again and may be closed.
    virtual void Watch(int eventFd) = 0;
    virtual void Unwatch(int eventFd) = 0;
};

// Where a COM number lives on a POSIX system.
struct ComDevice {
    std::string path;
    std::shared_ptr<DriverRequestHandler> driver;  // may be null: requests then fail
    std::shared_ptr<ModemLineDriver> lines;        // null: the tty's own lines, if any
};

// Turns COM numbers into devices. One is installed for the process; the
// simulated card installs one that answers for its own COM numbers and hands
// the others on.
class ComDeviceResolver {
  public:
    virtual ~ComDeviceResolver() = default;
    virtual std::optional<ComDevice> Resolve(int com) = 0;
    // Before a round of opens (Test > Start): the lookup takes one fresh look
    // at what it reads. Answers what the operator is to be told, once, of what
    // it cannot use; empty when there is nothing.
    [[nodiscard]] virtual std::string Refresh() { return {}; }
    // Passed on to the drivers of the ports it resolves (see DriverRequestHandler).
    virtual void PortsOpened() {}
};

// The environment variable that names a device map to use instead of the
// default one.
inline constexpr const char* kDeviceMapVariable = "QUORVEL_DEVICE_MAP";

// The device map in force: $QUORVEL_DEVICE_MAP, else
// $XDG_CONFIG_HOME/Quorvel/devices.map (~/.config/Quorvel/devices.map).
std::string DeviceMapPath();

// The device map in force as far as it can be used, and what is wrong with it
// (a message for the operator; empty when nothing is, or there is no map).
struct DeviceMapReading {
    std::map<int, std::string> map;
    std::string fault;
};
DeviceMapReading ReadDeviceMap();

// Reads a device map: one "COM<n> <device path>" a line; blank lines and lines
// starting with '#' are ignored, and so is a malformed line (its number is
// added to `badLines` when given).
std::map<int, std::string> ParseDeviceMap(std::istream& in, std::string* badLines = nullptr);

// The standard lookup: the device map, else COMn = /dev/ttyS(n-1). Every port
// it finds gets `driver` for the card's requests.
//
// The map is read at each Refresh (and at the first lookup before one), and
// kept until the next: a map that is not a regular file, is larger than
// kMaxDeviceMapBytes or cannot be read is not used, and lines that cannot be
// read are left out; Refresh answers either for the operator. (A first lookup
// before any Refresh reads the map without a word: the next Test > Start's
// Refresh tells what is wrong with it.) Only a regular file is opened, so a
// FIFO or a device named as the map never hangs.
class DeviceMapResolver final : public ComDeviceResolver {
  public:
    explicit DeviceMapResolver(std::shared_ptr<DriverRequestHandler> driver = nullptr);
    std::optional<ComDevice> Resolve(int com) override;
    [[nodiscard]] std::string Refresh() override;
    void PortsOpened() override;

    static constexpr std::size_t kMaxDeviceMapBytes = 64 * 1024;

  private:
    std::shared_ptr<DriverRequestHandler> m_driver;
    std::mutex m_mutex;  // guards the map below; lookups may come from any thread
    bool m_read = false;
    std::map<int, std::string> m_map;
};

// The process's resolver. Installed before any port is opened (start-up or a
// test fixture); with none installed a DeviceMapResolver without a driver is used.
void InstallComDeviceResolver(ComDeviceResolver* resolver);
ComDeviceResolver& ActiveComDeviceResolver();

}  // namespace quorvel
