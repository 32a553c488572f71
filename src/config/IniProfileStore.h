#pragma once

#include <map>
#include <string>

#include "config/ProfileStore.h"

namespace quorvel {

// The profile store as the GUI leaves it on Linux, read without the GUI's
// library: the INI file with its section and key names percent-encoded
// ("[Version%201.0]", "m_PortRegistry%5B0%5D.nBaud=6"). Read once when made;
// it takes no writes (a program that only reads the records).
class IniProfileStore final : public ProfileStore {
  public:
    // Reads `path`; a file that is missing or cannot be read is an empty store
    // (Loaded() says which).
    explicit IniProfileStore(const std::string& path);
    // The text of an INI file, for tests.
    static IniProfileStore FromText(const std::string& text);

    bool Loaded() const { return m_loaded; }

    std::int32_t GetProfileInt(const std::string& section, const std::string& key,
                               std::int32_t defaultValue) override;
    bool WriteProfileInt(const std::string&, const std::string&, std::int32_t) override {
        return false;
    }
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    bool WriteProfileString(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    bool Flush(std::string&, std::string&) override { return true; }

    // Where the GUI keeps the store: $XDG_CONFIG_HOME/Quorvel/Quorvel.conf,
    // else ~/.config/Quorvel/Quorvel.conf.
    static std::string UserStorePath();

  private:
    IniProfileStore() = default;
    void Parse(const std::string& text);

    bool m_loaded = false;
    std::map<std::string, std::string> m_values;  // "section/key" -> value text
};

}  // namespace quorvel
