#include "app/QSettingsProfileStore.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace quorvel {

QSettingsProfileStore::QSettingsProfileStore()
    : m_settings(
          std::make_unique<QSettings>(QStringLiteral("Quorvel"), QStringLiteral("Quorvel"))) {}

QSettingsProfileStore::QSettingsProfileStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QSettingsProfileStore::~QSettingsProfileStore() {
    Flush();
}

QString QSettingsProfileStore::KeyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

std::int32_t QSettingsProfileStore::GetProfileInt(const std::string& section,
                                                  const std::string& key,
                                                  std::int32_t defaultValue) {
    const QVariant stored = m_settings->value(KeyOf(section, key));
    if (!stored.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong value = stored.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return defaultValue;
    }
    return static_cast<std::int32_t>(value);
}

bool QSettingsProfileStore::WriteProfileInt(const std::string& section, const std::string& key,
                                            std::int32_t value) {
    m_settings->setValue(KeyOf(section, key), static_cast<int>(value));
    return m_settings->isWritable();
}

std::string QSettingsProfileStore::GetProfileString(const std::string& section,
                                                    const std::string& key,
                                                    const std::string& defaultValue) {
    const QVariant stored = m_settings->value(KeyOf(section, key));
    return stored.isValid() ? stored.toString().toStdString() : defaultValue;
}

bool QSettingsProfileStore::WriteProfileString(const std::string& section, const std::string& key,
                                               const std::string& value) {
    m_settings->setValue(KeyOf(section, key), QString::fromStdString(value));
    return m_settings->isWritable();
}

bool QSettingsProfileStore::Flush() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool QSettingsProfileStore::Flush(std::string& where, std::string& why) {
    if (Flush()) {
        return true;
    }
    where = QDir::toNativeSeparators(m_settings->fileName()).toStdString();
    // The store says only that it failed; what it failed on is looked up.
    const QFileInfo file(m_settings->fileName());
    const QFileInfo folder(file.absolutePath());
    if (m_settings->status() == QSettings::FormatError) {
        why = "its contents cannot be read as settings";
    } else if (file.isDir()) {
        why = "a folder stands in its place";
    } else if (file.exists() && !file.isWritable()) {
        why = "the file is read-only";
    } else if (!folder.isWritable()) {
        why = "its folder cannot be written";
    } else {
        why = "the system refused to write it (the disk may be full)";
    }
    return false;
}

}  // namespace quorvel
