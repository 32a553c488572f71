#include "serial/ComDeviceLookup.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "core/RegularFile.h"

namespace quorvel {
namespace {

// Written by InstallComDeviceResolver before ports are opened; read by the
// thread that opens them.
std::atomic<ComDeviceResolver*> g_resolver{nullptr};

// "COM12" -> 12; nothing when the token is not a COM name.
std::optional<int> ComNumberOf(const std::string& token) {
    if (token.size() < 4 || (token.compare(0, 3, "COM") != 0 && token.compare(0, 3, "com") != 0)) {
        return std::nullopt;
    }
    int number = 0;
    for (std::size_t i = 3; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9' || number > 9999) {
            return std::nullopt;
        }
        number = number * 10 + (token[i] - '0');
    }
    if (number < 1) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

DeviceMapReading ReadDeviceMap() {
    DeviceMapReading reading;
    const std::string path = DeviceMapPath();
    const auto fault = [&](const std::string& what) {
        reading.fault = "The device map " + path + " " + what;
    };
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return reading;  // no map at all is not a fault
    }
    std::string why;
    const std::optional<std::string> text =
        ReadRegularFile(path, DeviceMapResolver::kMaxDeviceMapBytes + 1, &why);
    if (!text) {
        fault("cannot be read (" + why + ") and is not used.");
        return reading;
    }
    if (text->size() > DeviceMapResolver::kMaxDeviceMapBytes) {
        fault("is larger than 64 KB and is not used.");
        return reading;
    }
    std::istringstream in(*text);
    std::string badLines;
    reading.map = ParseDeviceMap(in, &badLines);
    if (!badLines.empty()) {
        fault("has lines that are not a COM number and a device path, left out: " + badLines + ".");
    }
    return reading;
}

std::string ComDeviceName(int com) {
    if (com > 9) {
        return "\\\\.\\COM" + std::to_string(com);
    }
    return "COM" + std::to_string(com);
}

std::string DeviceMapPath() {
    if (const char* explicitMap = std::getenv(kDeviceMapVariable); explicitMap && *explicitMap) {
        return explicitMap;
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return std::string(config) + "/Quorvel/devices.map";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/Quorvel/devices.map";
}

std::map<int, std::string> ParseDeviceMap(std::istream& in, std::string* badLines) {
    std::map<int, std::string> map;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string com;
        std::string path;
        std::string extra;
        if (!(fields >> com) || com[0] == '#') {
            continue;
        }
        const std::optional<int> number = ComNumberOf(com);
        if (!number || !(fields >> path) || (fields >> extra)) {
            if (badLines) {
                if (!badLines->empty()) {
                    *badLines += ' ';
                }
                *badLines += std::to_string(lineNumber);
            }
            continue;
        }
        map[*number] = path;
    }
    return map;
}

DeviceMapResolver::DeviceMapResolver(std::shared_ptr<DriverRequestHandler> driver)
    : m_driver(std::move(driver)) {}

std::optional<ComDevice> DeviceMapResolver::Resolve(int com) {
    if (com < 1) {
        return std::nullopt;
    }
    bool read = false;
    {
        std::lock_guard lock(m_mutex);
        read = m_read;
    }
    if (!read) {
        // A lookup before any Test > Start; what is wrong with the map is told
        // at the next start's Refresh.
        static_cast<void>(Refresh());
    }
    {
        std::lock_guard lock(m_mutex);
        if (const auto found = m_map.find(com); found != m_map.end()) {
            return ComDevice{found->second, m_driver, nullptr};
        }
    }
    return ComDevice{"/dev/ttyS" + std::to_string(com - 1), m_driver, nullptr};
}

std::string DeviceMapResolver::Refresh() {
    DeviceMapReading reading = ReadDeviceMap();
    std::lock_guard lock(m_mutex);
    m_map = std::move(reading.map);
    m_read = true;
    return std::move(reading.fault);
}

void DeviceMapResolver::PortsOpened() {
    if (m_driver) {
        m_driver->PortsOpened();
    }
}

void InstallComDeviceResolver(ComDeviceResolver* resolver) {
    g_resolver.store(resolver);
}

ComDeviceResolver& ActiveComDeviceResolver() {
    if (ComDeviceResolver* resolver = g_resolver.load()) {
        return *resolver;
    }
    static DeviceMapResolver standard;
    return standard;
}

}  // namespace quorvel
