#include "config/IniProfileStore.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <sstream>

#include "core/RegularFile.h"

namespace quorvel {
namespace {

constexpr std::size_t kMostStoreBytes = 1024 * 1024;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// "Version%201.0" -> "Version 1.0".
std::string Unescape(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            plain += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A value as the file writes it: quoted text loses its quotes and escapes.
std::string ValueOf(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return text;
    }
    std::string value;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size()) {
            ++i;
        }
        value += text[i];
    }
    return value;
}

}  // namespace

IniProfileStore::IniProfileStore(const std::string& path) {
    if (const std::optional<std::string> text = ReadRegularFile(path, kMostStoreBytes)) {
        m_loaded = true;
        Parse(*text);
    }
}

IniProfileStore IniProfileStore::FromText(const std::string& text) {
    IniProfileStore store;
    store.m_loaded = true;
    store.Parse(text);
    return store;
}

void IniProfileStore::Parse(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = Unescape(line.substr(1, line.size() - 2));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        m_values[section + "/" + Unescape(Trim(line.substr(0, equals)))] =
            ValueOf(Trim(line.substr(equals + 1)));
    }
}

std::int32_t IniProfileStore::GetProfileInt(const std::string& section, const std::string& key,
                                            std::int32_t defaultValue) {
    const auto found = m_values.find(section + "/" + key);
    if (found == m_values.end() || found->second.empty()) {
        return defaultValue;
    }
    char* end = nullptr;
    const long long value = std::strtoll(found->second.c_str(), &end, 10);
    if (*end != '\0' || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return defaultValue;
    }
    return static_cast<std::int32_t>(value);
}

std::string IniProfileStore::GetProfileString(const std::string& section, const std::string& key,
                                              const std::string& defaultValue) {
    const auto found = m_values.find(section + "/" + key);
    return found == m_values.end() ? defaultValue : found->second;
}

std::string IniProfileStore::UserStorePath() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return std::string(config) + "/Quorvel/Quorvel.conf";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/Quorvel/Quorvel.conf";
}

}  // namespace quorvel
