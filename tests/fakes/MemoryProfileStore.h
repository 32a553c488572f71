#pragma once

#include <map>
#include <string>

#include "config/ProfileStore.h"

namespace quorvel::testing {

// A profile store in memory, keyed "section/key", with a switch that makes it
// refuse writes.
class MemoryProfileStore final : public ProfileStore {
  public:
    std::int32_t GetProfileInt(const std::string& section, const std::string& key,
                               std::int32_t defaultValue) override {
        const auto found = values.find(section + "/" + key);
        return found == values.end() ? defaultValue : found->second;
    }

    bool WriteProfileInt(const std::string& section, const std::string& key,
                         std::int32_t value) override {
        if (refuseWrites) {
            return false;
        }
        values[section + "/" + key] = value;
        return true;
    }

    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override {
        const auto found = texts.find(section + "/" + key);
        return found == texts.end() ? defaultValue : found->second;
    }
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value) override {
        if (refuseWrites) {
            return false;
        }
        texts[section + "/" + key] = value;
        return true;
    }

    bool Flush(std::string& where, std::string& why) override {
        if (refuseWrites) {
            where = "memory";
            why = "the store refuses writes";
        }
        return !refuseWrites;
    }

    std::map<std::string, std::int32_t> values;
    std::map<std::string, std::string> texts;
    bool refuseWrites = false;
};

}  // namespace quorvel::testing
