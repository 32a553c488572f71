#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// A per-user store of named integers and texts grouped in sections. On Windows it is the
// registry (HKCU\Software\Quorvel\Quorvel); on Linux an INI file.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // The stored value, or `defaultValue` when the key is missing or its value
    // is not an integer.
    virtual std::int32_t GetProfileInt(const std::string& section, const std::string& key,
                                       std::int32_t defaultValue) = 0;

    // Stores a value; false when the store could not take it.
    virtual bool WriteProfileInt(const std::string& section, const std::string& key,
                                 std::int32_t value) = 0;
    // The stored text (UTF-8), or `defaultValue` when the key is missing.
    virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) = 0;
    // Stores a text; false when the store could not take it.
    virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                    const std::string& value) = 0;

    // Writes what is pending to where the store keeps it. False when that
    // failed, with `where` (the file or key) and `why` for the operator.
    virtual bool Flush(std::string& where, std::string& why) = 0;
};

}  // namespace quorvel
