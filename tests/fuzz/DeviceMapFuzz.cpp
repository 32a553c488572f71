// Feeds arbitrary text to the device-map reader: it must never crash, and
// every entry it keeps must be a COM number from 1 and one device path
// without blanks, with the numbers of the lines it left out in order.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "serial/ComDeviceLookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string badLines;
    const auto map = quorvel::ParseDeviceMap(in, &badLines);
    for (const auto& [com, path] : map) {
        if (com < 1 || path.empty()) {
            std::abort();
        }
        for (const char c : path) {
            if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                std::abort();
            }
        }
    }
    std::istringstream numbers(badLines);
    long previous = 0;
    long line = 0;
    while (numbers >> line) {
        if (line <= previous) {
            std::abort();
        }
        previous = line;
    }
    return 0;
}
