#include "config/PortRecordStore.h"

#include <cstddef>

#include "config/PortFields.h"
#include "core/DecimalText.h"

namespace quorvel {
namespace {

const std::string kSection(kProfileSection);

template <typename Record>
void LoadIntFields(ProfileStore& store, int port, Record& record, const Record& defaults,
                   const auto& fields) {
    for (const auto& field : fields) {
        const std::int32_t fallback = defaults.*field.member;
        const std::int32_t value =
            store.GetProfileInt(kSection, ProfileKey(port, field.name), fallback);
        record.*field.member = field.Accepts(value) ? value : fallback;
    }
}

template <typename Record>
int SaveIntFields(ProfileStore& store, int port, const Record& record, const auto& fields) {
    int refused = 0;
    for (const auto& field : fields) {
        if (!store.WriteProfileInt(kSection, ProfileKey(port, field.name), record.*field.member)) {
            ++refused;
        }
    }
    return refused;
}

// A stored hour or minute value, as text; its default when outside 0 ... 9999999.
std::string LoadStopTime(ProfileStore& store, int port, std::string_view field,
                         const std::string& defaultText) {
    const std::int32_t fallback = StopTimeTextToValue(defaultText);
    const std::int32_t value = store.GetProfileInt(kSection, ProfileKey(port, field), fallback);
    const bool inRange = value >= 0 && value <= kMaxStopTimeValue;
    return StopTimeValueToText(inRange ? value : fallback);
}

void LoadPort(ProfileStore& store, int port, PortRecords& records) {
    const auto i = static_cast<std::size_t>(port);
    PortRegistry& line = records.m_PortRegistry[i];
    PortTestSettings& test = records.m_PortTest[i];
    PortPatternSettings& pattern = records.m_PortPattern[i];

    LoadIntFields(store, port, line, DefaultPortRegistry(port), kLineFields);
    const PortTestSettings testDefaults = DefaultPortTestSettings(port);
    LoadIntFields(store, port, test, testDefaults, kTestFlagFields);
    test.strHrTime = LoadStopTime(store, port, "strHrTime", testDefaults.strHrTime);
    test.strMinTime = LoadStopTime(store, port, "strMinTime", testDefaults.strMinTime);
    LoadIntFields(store, port, pattern, DefaultPortPatternSettings(port), kPatternFields);

    // The file's contents are not stored, so a file pattern cannot be resumed.
    if (pattern.nFile != 0) {
        pattern.nFile = 0;
        pattern.nAlpha = 1;
    }
    pattern.strUserData = DefaultUserPattern(port);
    test.strTxDisplay.clear();
    test.strRxDisplay.clear();
}

}  // namespace

std::string ProfileKey(int port, std::string_view field) {
    std::string key = "m_PortRegistry[";
    key += std::to_string(port);
    key += "].";
    key += field;
    return key;
}

void LoadAllRecords(ProfileStore& store, PortRecords& records) {
    for (int port = 0; port < kPortCount; ++port) {
        LoadPort(store, port, records);
    }
}

int SaveAllRecords(ProfileStore& store, const PortRecords& records) {
    int refused = 0;
    for (int port = 0; port < kPortCount; ++port) {
        const auto i = static_cast<std::size_t>(port);
        const PortTestSettings& test = records.m_PortTest[i];
        refused += SaveIntFields(store, port, records.m_PortRegistry[i], kLineFields);
        refused += SaveIntFields(store, port, test, kTestFlagFields);
        if (!store.WriteProfileInt(kSection, ProfileKey(port, "strHrTime"),
                                   StopTimeTextToValue(test.strHrTime))) {
            ++refused;
        }
        if (!store.WriteProfileInt(kSection, ProfileKey(port, "strMinTime"),
                                   StopTimeTextToValue(test.strMinTime))) {
            ++refused;
        }
        refused += SaveIntFields(store, port, records.m_PortPattern[i], kPatternFields);
    }
    return refused;
}

std::int32_t StopTimeTextToValue(std::string_view text) {
    return LeadingDigitsToInt(text, kMaxStopTimeValue);
}

std::string StopTimeValueToText(std::int32_t value) {
    return std::to_string(value);
}

}  // namespace quorvel
