#include "run/RunPlan.h"

#include <memory>

#include "config/ConfigFile.h"
#include "config/PortOpenSettings.h"
#include "config/PortRecordStore.h"
#include "config/UserProfileStore.h"
#include "core/RegularFile.h"
#include "engine/TestData.h"
#include "serial/ComDeviceLookup.h"

namespace quorvel {
namespace {

constexpr const char* kFilePattern = "file:";
constexpr const char* kUserPattern = "user:";

// The records the run starts from: a configuration file's, or those the GUI
// left in the profile store.
bool LoadRecords(const RunOptions& options, PortRecords& records, std::string& reason) {
    if (options.configFile.empty()) {
        std::string where;
        const std::unique_ptr<ProfileStore> store = OpenUserProfileStore(where);
        LoadAllRecords(*store, records);
        return true;
    }
    if (LoadConfigurationFile(options.configFile, records) != ConfigFileResult::Ok) {
        reason = "the configuration file " + options.configFile + " cannot be read";
        return false;
    }
    return true;
}

void ApplyPattern(const std::string& kind, PortPatternSettings& pattern) {
    pattern.nAlpha = kind == "alphabets" ? 1 : 0;
    pattern.nQuickBrown = kind == "quickbrown" ? 1 : 0;
    pattern.nUserData = kind.starts_with(kUserPattern) ? 1 : 0;
    pattern.nFile = kind.starts_with(kFilePattern) ? 1 : 0;
    if (pattern.nUserData != 0) {
        pattern.strUserData = kind.substr(std::string(kUserPattern).size());
    }
}

// The options over the records: the ports, the rate and the pattern asked for.
void ApplyOptions(const RunOptions& options, PortRecords& records) {
    for (std::size_t i = 0; i < kPortCount; ++i) {
        PortRegistry& record = records.m_PortRegistry[i];
        if (options.ports) {
            record.nPortOpen = 0;
        }
        if (options.baud) {
            record.nBaud = *BaudIndexOf(*options.baud);
        }
        if (options.pattern) {
            ApplyPattern(*options.pattern, records.m_PortPattern[i]);
        }
        // The records' Stop On choices stand: a port stops by its time or at
        // its first error as it would on the console, by the same engine code.
    }
    for (int port : options.ports.value_or(std::vector<int>{})) {
        records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen = 1;
    }
}

std::vector<int> ChosenPorts(const PortRecords& records) {
    std::vector<int> ports;
    for (int port = 0; port < kPortCount; ++port) {
        if (records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen != 0) {
            ports.push_back(port);
        }
    }
    return ports;
}

bool ReadPatternFile(const RunOptions& options, RunPlan& plan, std::string& reason) {
    if (!options.pattern || !options.pattern->starts_with(kFilePattern)) {
        return true;
    }
    const std::string path = options.pattern->substr(std::string(kFilePattern).size());
    const std::optional<std::string> file = ReadRegularFile(path, kMaxFileData);
    if (!file) {
        reason = "the pattern file " + path + " cannot be read";
        return false;
    }
    plan.file.emplace(file->begin(), file->end());
    return true;
}

}  // namespace

bool PrepareRun(const RunOptions& options, RunPlan& plan, std::string& reason) {
    if (!LoadRecords(options, plan.records, reason)) {
        return false;
    }
    ApplyOptions(options, plan.records);
    plan.chosen = ChosenPorts(plan.records);
    if (plan.chosen.empty()) {
        reason = "no port is chosen for testing";
        return false;
    }
    ApplyLineOptions(options.lines, plan.records, plan.chosen);
    if (!ReadPatternFile(options, plan, reason)) {
        return false;
    }
    if (const DeviceMapReading map = ReadDeviceMap(); !map.fault.empty()) {
        reason = map.fault;
        return false;
    }
    return true;
}

}  // namespace quorvel
