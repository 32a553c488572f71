// The user's profile store on Windows: the registry key the GUI's settings
// use, a subkey a section, read only.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <limits>

#include "config/UserProfileStore.h"

namespace quorvel {
namespace {

constexpr const char* kStoreKey = "Software\\Quorvel\\Quorvel";

class RegistryProfileStore final : public ProfileStore {
  public:
    std::int32_t GetProfileInt(const std::string& section, const std::string& key,
                               std::int32_t defaultValue) override {
        const std::string path = std::string(kStoreKey) + "\\" + section;
        DWORD number = 0;
        DWORD size = sizeof number;
        if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_DWORD, nullptr,
                         &number, &size) == ERROR_SUCCESS) {
            return static_cast<std::int32_t>(number);
        }
        const std::string text = GetProfileString(section, key, "");
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || value < std::numeric_limits<std::int32_t>::min() ||
            value > std::numeric_limits<std::int32_t>::max()) {
            return defaultValue;
        }
        return static_cast<std::int32_t>(value);
    }
    bool WriteProfileInt(const std::string&, const std::string&, std::int32_t) override {
        return false;
    }
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override {
        const std::string path = std::string(kStoreKey) + "\\" + section;
        char text[1024] = {};
        DWORD size = sizeof text;
        if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr, text,
                         &size) != ERROR_SUCCESS) {
            return defaultValue;
        }
        return text;
    }
    bool WriteProfileString(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    bool Flush(std::string&, std::string&) override { return true; }
};

}  // namespace

std::unique_ptr<ProfileStore> OpenUserProfileStore(std::string& where) {
    where = std::string("HKEY_CURRENT_USER\\") + kStoreKey;
    return std::make_unique<RegistryProfileStore>();
}

}  // namespace quorvel
