#include "config/PortRecordStore.h"

#include <cstddef>

#include "config/PortFields.h"
#include "core/DecimalText.h"

namespace quorvel {
namespace {

const std::string kSection(kProfileSection);

// "<key> = <value> is outside <min> to <max>: <fallback> in its place".
std::string Replacement(const std::string& key, std::int32_t value, std::int32_t min,
                        std::int32_t max, std::int32_t fallback) {
    return key + " = " + std::to_string(value) + " is outside " + std::to_string(min) + " to " +
           std::to_string(max) + ": " + std::to_string(fallback) + " in its place";
}

template <typename Record>
void LoadIntFields(ProfileStore& store, int port, Record& record, const Record& defaults,
                   const auto& fields, std::vector<std::string>& replaced) {
    for (const auto& field : fields) {
        const std::int32_t fallback = defaults.*field.member;
        const std::string key = ProfileKey(port, field.name);
        const std::int32_t value = store.GetProfileInt(kSection, key, fallback);
        if (field.Accepts(value)) {
            record.*field.member = value;
        } else {
            record.*field.member = fallback;
            replaced.push_back(Replacement(key, value, field.min, field.max, fallback));
        }
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
                         const std::string& defaultText, std::vector<std::string>& replaced) {
    const std::int32_t fallback = StopTimeTextToValue(defaultText);
    const std::string key = ProfileKey(port, field);
    const std::int32_t value = store.GetProfileInt(kSection, key, fallback);
    if (value < 0 || value > kMaxStopTimeValue) {
        replaced.push_back(Replacement(key, value, 0, kMaxStopTimeValue, fallback));
        return StopTimeValueToText(fallback);
    }
    return StopTimeValueToText(value);
}

// The pseudo-random sequence is stored under a key of its own, which a
// reader that knows only the four original choices passes by; for such a
// reader the four flags say Alphabets.
constexpr std::string_view kPrbsField = "nPrbs";

PortPatternSettings AsOlderReadersSeeIt(PortPatternSettings pattern) {
    if (pattern.nPrbs != 0) {
        pattern.nQuickBrown = 0;
        pattern.nAlpha = 1;
        pattern.nFile = 0;
        pattern.nUserData = 0;
    }
    return pattern;
}

// The sequence is the choice while the four flags still say what was stored
// with it; once a program that knows only those four has chosen another,
// that choice stands.
void LoadSequenceChoice(ProfileStore& store, int port, PortPatternSettings& pattern,
                        std::vector<std::string>& replaced) {
    const std::string key = ProfileKey(port, kPrbsField);
    const std::int32_t stored = store.GetProfileInt(kSection, key, 0);
    if (stored != 0 && stored != 1) {
        replaced.push_back(Replacement(key, stored, 0, 1, 0));
    }
    PortPatternSettings sequence;
    sequence.nPrbs = 1;
    const PortPatternSettings asStored = AsOlderReadersSeeIt(sequence);
    const bool flagsAsStored =
        pattern.nQuickBrown == asStored.nQuickBrown && pattern.nAlpha == asStored.nAlpha &&
        pattern.nFile == asStored.nFile && pattern.nUserData == asStored.nUserData;
    pattern.nPrbs = stored == 1 && flagsAsStored ? 1 : 0;
    if (pattern.nPrbs != 0) {
        pattern.nAlpha = 0;
    }
}

void LoadPort(ProfileStore& store, int port, PortRecords& records,
              std::vector<std::string>& replaced) {
    PortRegistry& line = records.m_PortRegistry[port];
    PortTestSettings& test = records.m_PortTest[port];
    PortPatternSettings& pattern = records.m_PortPattern[port];

    LoadIntFields(store, port, line, DefaultPortRegistry(port), kLineFields, replaced);
    const PortTestSettings testDefaults = DefaultPortTestSettings(port);
    LoadIntFields(store, port, test, testDefaults, kTestFlagFields, replaced);
    test.strHrTime = LoadStopTime(store, port, "strHrTime", testDefaults.strHrTime, replaced);
    test.strMinTime = LoadStopTime(store, port, "strMinTime", testDefaults.strMinTime, replaced);
    LoadIntFields(store, port, pattern, DefaultPortPatternSettings(port), kPatternFields, replaced);
    LoadSequenceChoice(store, port, pattern, replaced);

    // The file's contents are not stored, so a file pattern cannot be resumed.
    if (pattern.nFile != 0) {
        pattern.nFile = 0;
        pattern.nAlpha = 1;
        replaced.push_back(ProfileKey(port, "nFile") +
                           " = 1: the file a port sends is not kept from one run to the next, "
                           "so Port" +
                           std::to_string(port + 1) + " sends the Alphabets line in its place");
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

std::vector<std::string> LoadAllRecords(ProfileStore& store, PortRecords& records) {
    std::vector<std::string> replaced;
    for (int port = 0; port < kPortCount; ++port) {
        LoadPort(store, port, records, replaced);
    }
    return replaced;
}

int SaveAllRecords(ProfileStore& store, const PortRecords& records) {
    int refused = 0;
    for (int port = 0; port < kPortCount; ++port) {
        const PortTestSettings& test = records.m_PortTest[port];
        refused += SaveIntFields(store, port, records.m_PortRegistry[port], kLineFields);
        refused += SaveIntFields(store, port, test, kTestFlagFields);
        if (!store.WriteProfileInt(kSection, ProfileKey(port, "strHrTime"),
                                   StopTimeTextToValue(test.strHrTime))) {
            ++refused;
        }
        if (!store.WriteProfileInt(kSection, ProfileKey(port, "strMinTime"),
                                   StopTimeTextToValue(test.strMinTime))) {
            ++refused;
        }
        const PortPatternSettings& pattern = records.m_PortPattern[port];
        refused += SaveIntFields(store, port, AsOlderReadersSeeIt(pattern), kPatternFields);
        if (!store.WriteProfileInt(kSection, ProfileKey(port, kPrbsField), pattern.nPrbs)) {
            ++refused;
        }
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
