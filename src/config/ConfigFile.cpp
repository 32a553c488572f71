#include "config/ConfigFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>

#include "config/FileSystem.h"
#include "config/PortFields.h"
#include "core/MessageSink.h"
#include "core/RegularFile.h"

namespace quorvel {
namespace {

constexpr const char* kOpenFailedText = "Unable to Load the file";
constexpr const char* kReadFailedText = "Unable to read from the file";
constexpr const char* kCaption = "Error";

// The fields of a line in file order.
constexpr std::array<std::int32_t PortRegistry::*, 15> kFileOrder{
    &PortRegistry::nBaud,     &PortRegistry::nDataBits, &PortRegistry::nParity,
    &PortRegistry::nStopBits, &PortRegistry::nFlowCtrl, &PortRegistry::nComBase,
    &PortRegistry::nRS485,    &PortRegistry::nDTR,      &PortRegistry::nDTRHys,
    &PortRegistry::nRTS,      &PortRegistry::nRTSHys,   &PortRegistry::nTxFIFO,
    &PortRegistry::nTxTrig,   &PortRegistry::nRxFIFO,   &PortRegistry::nRxTrig,
};

const IntField<PortRegistry>& FieldOf(std::int32_t PortRegistry::*member) {
    for (const auto& field : kLineFields) {
        if (field.member == member) {
            return field;
        }
    }
    return kLineFields[0];  // unreachable: every file field is a line field
}

void ShowFileError(const char* text) {
    ShowMessage(text, kCaption, mb::kOk | mb::kIconExclamation);
}

// Reads the text the way formatted stream input does: every run of blanks and
// line breaks is one separator, an integer is an optional sign and digits.
class TokenReader {
  public:
    explicit TokenReader(std::istream& in) : m_in(in) {}

    // Skips blanks and line breaks; false at the end of the text.
    bool SkipSpace() {
        while (true) {
            const int c = m_in.peek();
            if (c == std::char_traits<char>::eof()) {
                return false;
            }
            if (std::isspace(c) == 0) {
                return true;
            }
            m_in.get();
        }
    }

    // Reads one label token, keeping at most kMaxLabelLength characters of it.
    std::string ReadLabel() {
        std::string label;
        while (true) {
            const int c = m_in.peek();
            if (c == std::char_traits<char>::eof() || std::isspace(c) != 0) {
                return label;
            }
            m_in.get();
            if (label.size() < kMaxLabelLength) {
                label.push_back(static_cast<char>(c));
            }
        }
    }

    // Reads an integer at the current position. Nothing is consumed when the
    // text there is not an integer. Values too large for any field saturate.
    std::optional<std::int64_t> ReadInteger() {
        bool negative = false;
        int c = m_in.peek();
        const bool hasSign = c == '+' || c == '-';
        if (hasSign) {
            negative = c == '-';
            m_in.get();
            c = m_in.peek();
        }
        if (c == std::char_traits<char>::eof() || std::isdigit(c) == 0) {
            if (hasSign) {
                m_in.clear();
                m_in.unget();  // one character of put-back is always available
            }
            return std::nullopt;
        }
        constexpr std::int64_t kSaturation = std::int64_t{1} << 40;
        std::int64_t value = 0;
        while (c != std::char_traits<char>::eof() && std::isdigit(c) != 0) {
            m_in.get();
            value = std::min(value * 10 + (c - '0'), kSaturation);
            c = m_in.peek();
        }
        return negative ? -value : value;
    }

  private:
    std::istream& m_in;
};

// Reads one port's line; false when the text ended before its label.
bool ReadPort(TokenReader& reader, int port, PortRecords& records) {
    if (!reader.SkipSpace()) {
        return false;
    }
    reader.ReadLabel();  // the label is taken as it stands
    PortRegistry& record = records.m_PortRegistry[static_cast<std::size_t>(port)];
    for (auto member : kFileOrder) {
        if (!reader.SkipSpace()) {
            break;
        }
        const std::optional<std::int64_t> value = reader.ReadInteger();
        if (!value) {
            break;  // the offending token starts the next port
        }
        const IntField<PortRegistry>& field = FieldOf(member);
        std::int64_t max = field.max;
        if (port == 0 && member == &PortRegistry::nComBase) {
            max = kMaxFirstComBase;
        }
        if (*value >= field.min && *value <= max) {
            record.*member = static_cast<std::int32_t>(*value);
        }
    }
    return true;
}

std::filesystem::path TemporaryPathBeside(const std::filesystem::path& target) {
    std::random_device seed;
    std::mt19937 random(seed());
    std::filesystem::path temp = target;
    temp += ".tmp" + std::to_string(random() % 1000000);
    return temp;
}

// The file `path` leads to through any symbolic links (which may lead to a
// file not yet made); `path` itself when it is no link.
std::filesystem::path FileBehindLinks(std::filesystem::path path) {
    constexpr int kMostLinks = 40;  // as the system's own path resolution
    std::error_code error;
    for (int hop = 0; hop < kMostLinks && std::filesystem::is_symlink(path, error); ++hop) {
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) {
            break;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Writes `text` over an existing file where it stands: for a folder that
// takes no new file. Not all at once, so only where nothing better is possible.
ConfigFileResult WriteInPlace(const std::filesystem::path& target, const std::string& text) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(target, error)) {
        ShowFileError(kOpenFailedText);
        return ConfigFileResult::OpenFailed;
    }
    std::ofstream out(target, std::ios::trunc);
    if (!out.is_open()) {
        ShowFileError(kOpenFailedText);
        return ConfigFileResult::OpenFailed;
    }
    out << text;
    out.close();
    if (!out) {
        ShowFileError(kReadFailedText);
        return ConfigFileResult::WriteFailed;
    }
    return ConfigFileResult::Ok;
}

// Gives the new file the permissions the file it replaces had.
void KeepPermissions(const std::filesystem::path& target, const std::filesystem::path& temp) {
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (!error && std::filesystem::exists(status)) {
        std::filesystem::permissions(temp, status.permissions(), error);
    }
}

}  // namespace

std::string FormatConfiguration(const PortRecords& records) {
    std::string text;
    for (int port = 0; port < kPortCount; ++port) {
        const PortRegistry& record = records.m_PortRegistry[static_cast<std::size_t>(port)];
        text += "SERIAL" + std::to_string(port);
        for (auto member : kFileOrder) {
            text += ' ';
            text += std::to_string(record.*member);
        }
        text += '\n';
    }
    return text;
}

ConfigReadResult ReadConfiguration(std::istream& in, PortRecords& records) {
    TokenReader reader(in);
    int portsRead = 0;
    while (portsRead < kPortCount && ReadPort(reader, portsRead, records)) {
        ++portsRead;
    }
    // The card's ports sit on consecutive COM numbers after port 0, and the
    // port-open code finds a record by its COM number. So once port 0 has been
    // read, every other port follows it, including those a short file never
    // reached; their other settings keep their values.
    if (portsRead > 0) {
        for (int port = 1; port < kPortCount; ++port) {
            records.m_PortRegistry[static_cast<std::size_t>(port)].nComBase =
                records.m_PortRegistry[0].nComBase + port;
        }
    }
    return portsRead == kPortCount ? ConfigReadResult::Complete : ConfigReadResult::EndedEarly;
}

ConfigFileResult SaveConfigurationFile(const std::filesystem::path& path,
                                       const PortRecords& records) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        ShowFileError(kOpenFailedText);
        return ConfigFileResult::OpenFailed;
    }
    // A link stays a link: the file it leads to is the one written.
    const std::filesystem::path target = FileBehindLinks(path);
    const std::string text = FormatConfiguration(records);
    const std::filesystem::path temp = TemporaryPathBeside(target);
    std::ofstream out(temp);  // text mode: the platform's line ends
    if (!out.is_open()) {
        // The folder takes no new file; a file that is there may still be
        // written where it stands.
        return WriteInPlace(target, text);
    }
    out << text;
    out.close();
    std::error_code ignored;
    if (!out) {
        std::filesystem::remove(temp, ignored);
        ShowFileError(kReadFailedText);
        return ConfigFileResult::WriteFailed;
    }
    KeepPermissions(target, temp);
    if (!MoveIntoPlace(temp, target)) {
        std::filesystem::remove(temp, ignored);
        ShowFileError(kReadFailedText);
        return ConfigFileResult::WriteFailed;
    }
    return ConfigFileResult::Ok;
}

ConfigFileResult LoadConfigurationFile(const std::filesystem::path& path, PortRecords& records) {
    // Eight lines of sixteen numbers fit in a few hundred bytes; what lies
    // past the first kMaxConfigurationBytes is never needed.
    const std::optional<std::string> text = ReadRegularFile(path, kMaxConfigurationBytes);
    if (!text) {
        ShowFileError(kOpenFailedText);
        return ConfigFileResult::OpenFailed;
    }
    std::istringstream in(*text);
    if (ReadConfiguration(in, records) == ConfigReadResult::EndedEarly) {
        ShowFileError(kReadFailedText);
        return ConfigFileResult::ReadFailed;
    }
    return ConfigFileResult::Ok;
}

}  // namespace quorvel
