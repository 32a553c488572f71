// Feeds arbitrary text to the configuration-file reader: it must never crash,
// read out of bounds or let a value outside its field's range into a record,
// and a text it refuses must leave every record as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/ConfigFile.h"
#include "config/PortFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PortRecords records = DefaultPortRecords();
    const ConfigReadReport report = ReadConfiguration(text, records);
    if (report.refused && records != DefaultPortRecords()) {
        std::abort();
    }
    for (std::size_t port = 0; port < kPortCount; ++port) {
        for (const auto& field : kLineFields) {
            if (!field.Accepts(records.m_PortRegistry[port].*field.member)) {
                std::abort();
            }
        }
        if (records.m_PortRegistry[port].nComBase !=
            records.m_PortRegistry[0].nComBase + static_cast<std::int32_t>(port)) {
            std::abort();
        }
    }
    return 0;
}
