#include "run/RunPlan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
// left in the profile store. A configuration file holds the line settings
// alone, not which ports to test: the ports then come from --ports, never
// from a default the operator did not choose.
// A file that cannot be used is told first, whatever else is missing.
bool LoadRecords(const RunOptions& options, PortRecords& records, std::string& reason) {
    if (options.configFile.empty()) {
        std::string where;
        const std::unique_ptr<ProfileStore> store = OpenUserProfileStore(where);
        LoadAllRecords(*store, records);
        return true;
    }
    if (std::string why;
        LoadConfigurationFile(options.configFile, records, &why) != ConfigFileResult::Ok) {
        reason = "the configuration file " + options.configFile + " cannot be read: " + why;
        return false;
    }
    if (!options.ports) {
        reason = "the configuration file " + options.configFile +
                 " does not say which ports to test: give --ports, such as --ports 1-8";
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
        records.m_PortRegistry[port].nPortOpen = 1;
    }
}

std::vector<int> ChosenPorts(const PortRecords& records) {
    std::vector<int> ports;
    for (int port = 0; port < kPortCount; ++port) {
        if (records.m_PortRegistry[port].nPortOpen != 0) {
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
    if (file->empty()) {
        reason = "the pattern file " + path + " is empty: there is nothing to send";
        return false;
    }
    plan.file.emplace(file->begin(), file->end());
    return true;
}

// Every tested port has something to send: records that choose no pattern
// would send a file, and the records keep none (only --pattern file:PATH
// gives one), so such a port would send empty packets for ever.
bool CheckPatterns(const RunPlan& plan, std::string& reason) {
    for (int port : plan.chosen) {
        const PortPatternSettings& pattern = plan.records.m_PortPattern[port];
        if (pattern.nAlpha == 0 && pattern.nQuickBrown == 0 && pattern.nUserData == 0 &&
            !plan.file) {
            reason = "Port" + std::to_string(port + 1) +
                     "'s records choose no pattern to send: give --pattern, such as "
                     "--pattern alphabets";
            return false;
        }
    }
    return true;
}

// Each tested port's data is to come from a port that is tested too, and a
// map names only tested ports.
bool CheckExpectations(const RunOptions& options, const RunPlan& plan, std::string& reason) {
    const auto tested = [&plan](int port) {
        return std::find(plan.chosen.begin(), plan.chosen.end(), port) != plan.chosen.end();
    };
    for (int port : options.mapped) {
        if (!tested(port)) {
            reason = "--expect names Port" + std::to_string(port + 1) + ", which is not tested";
            return false;
        }
    }
    for (int port : plan.chosen) {
        const int source = options.expectedSource[port];
        if (!tested(source)) {
            reason = "Port" + std::to_string(port + 1) + " is to receive from Port" +
                     std::to_string(source + 1) + ", which is not tested";
            return false;
        }
    }
    return true;
}

// A report can be written where it is asked for: found now, before any port
// opens, rather than after the whole run. A file that was not there is not
// left behind.
bool CheckReportPath(const std::string& path, std::string& reason) {
    if (path.empty()) {
        return true;
    }
    std::error_code error;
    const bool existed = std::filesystem::exists(path, error);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        reason = "the report " + path + " cannot be written: " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    if (!existed) {
        std::filesystem::remove(path, error);
    }
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
    if (!ReadPatternFile(options, plan, reason) || !CheckPatterns(plan, reason) ||
        !CheckExpectations(options, plan, reason) || !CheckReportPath(options.jsonFile, reason) ||
        !CheckReportPath(options.junitFile, reason)) {
        return false;
    }
    if (const DeviceMapReading map = ReadDeviceMap(); !map.fault.empty()) {
        reason = map.fault;
        return false;
    }
    return true;
}

}  // namespace quorvel
