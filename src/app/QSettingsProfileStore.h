#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "config/ProfileStore.h"

namespace quorvel {

// The profile store on QSettings: organisation "Quorvel", application "Quorvel".
// On Windows that is HKCU\Software\Quorvel\Quorvel; on Linux the INI file Qt
// chooses (~/.config/Quorvel/Quorvel.conf).
class QSettingsProfileStore final : public ProfileStore {
  public:
    QSettingsProfileStore();
    // A store in an INI file of the caller's choice (tests, portable set-ups).
    explicit QSettingsProfileStore(const QString& iniFile);
    ~QSettingsProfileStore() override;

    std::int32_t GetProfileInt(const std::string& section, const std::string& key,
                               std::int32_t defaultValue) override;
    bool WriteProfileInt(const std::string& section, const std::string& key,
                         std::int32_t value) override;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value) override;

    // Writes what is pending to the backing store; false when it failed.
    bool Flush();
    bool Flush(std::string& where, std::string& why) override;

  private:
    static QString KeyOf(const std::string& section, const std::string& key);
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace quorvel
