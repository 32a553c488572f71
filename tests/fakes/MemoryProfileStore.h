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

    std::map<std::string, std::int32_t> values;
    bool refuseWrites = false;
};

}  // namespace quorvel::testing
