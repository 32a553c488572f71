// Config > Save and Config > Load: the configuration text to and from a file,
// every failure told with the file's name and why.
#include "config/ConfigFile.h"

#include <cerrno>
#include <fstream>
#include <optional>
#include <random>
#include <system_error>

#include "config/FileSystem.h"
#include "core/MessageSink.h"
#include "core/RegularFile.h"

namespace quorvel {
namespace {

constexpr const char* kOpenFailedText = "Unable to Load the file";
constexpr const char* kReadFailedText = "Unable to read from the file";
constexpr const char* kCaption = "Error";

// A path as the operator reads it, in UTF-8 whatever the system's encoding.
std::string NameOf(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
}

// The system's reason for the last failed file operation on this thread.
std::string LastSystemReason(const char* fallback) {
    const int code = errno;
    return code != 0 ? std::generic_category().message(code) : std::string(fallback);
}

// The message with the file and why beneath it.
void ShowFileError(const char* text, const std::filesystem::path& path, const std::string& why) {
    ShowMessage(text, kCaption, mb::kOk | mb::kIconExclamation, MessageOwner::MainWindow,
                NameOf(path) + ": " + why);
}

// A failed file operation: the message, and the result it stands for.
ConfigFileResult Failed(ConfigFileResult result, const char* text,
                        const std::filesystem::path& path, const std::string& why) {
    ShowFileError(text, path, why);
    return result;
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
// takes no new file. Not all at once, so only where nothing better is
// possible. `noNewFile` is why a new file could not be made beside it.
ConfigFileResult WriteInPlace(const std::filesystem::path& chosen,
                              const std::filesystem::path& target, const std::string& text,
                              const std::string& noNewFile) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(target, error)) {
        return Failed(ConfigFileResult::OpenFailed, kOpenFailedText, chosen, noNewFile);
    }
    errno = 0;
    std::ofstream out(target, std::ios::trunc);
    if (!out.is_open()) {
        return Failed(ConfigFileResult::OpenFailed, kOpenFailedText, chosen,
                      LastSystemReason("the file cannot be written"));
    }
    out << text;
    out.close();
    if (!out) {
        return Failed(ConfigFileResult::WriteFailed, kReadFailedText, chosen,
                      LastSystemReason("the file could not be written whole"));
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

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += (joined.empty() ? "" : separator) + part;
    }
    return joined;
}

}  // namespace

ConfigFileResult SaveConfigurationFile(const std::filesystem::path& path,
                                       const PortRecords& records) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return Failed(ConfigFileResult::OpenFailed, kOpenFailedText, path, "it is a folder");
    }
    // A link stays a link: the file it leads to is the one written.
    const std::filesystem::path target = FileBehindLinks(path);
    const std::string text = FormatConfiguration(records);
    const std::filesystem::path temp = TemporaryPathBeside(target);
    errno = 0;
    std::ofstream out(temp);  // text mode: the platform's line ends
    if (!out.is_open()) {
        // The folder takes no new file; a file that is there may still be
        // written where it stands.
        return WriteInPlace(path, target, text, LastSystemReason("no file can be made there"));
    }
    out << text;
    out.close();
    std::error_code ignored;
    if (!out) {
        const std::string why = LastSystemReason("the file could not be written whole");
        std::filesystem::remove(temp, ignored);
        return Failed(ConfigFileResult::WriteFailed, kReadFailedText, path, why);
    }
    KeepPermissions(target, temp);
    if (std::string why; !MoveIntoPlace(temp, target, &why)) {
        std::filesystem::remove(temp, ignored);
        return Failed(ConfigFileResult::WriteFailed, kReadFailedText, path, why);
    }
    return ConfigFileResult::Ok;
}

ConfigFileResult LoadConfigurationFile(const std::filesystem::path& path, PortRecords& records,
                                       std::string* why) {
    // Eight lines of sixteen numbers fit in a few hundred bytes; what lies
    // past the first kMaxConfigurationBytes is never needed.
    std::string unread;
    const std::optional<std::string> text = ReadRegularFile(path, kMaxConfigurationBytes, &unread);
    if (!text) {
        if (why != nullptr) {
            *why = unread;
        }
        return Failed(ConfigFileResult::OpenFailed, kOpenFailedText, path, unread);
    }
    const ConfigReadReport report = ReadConfiguration(*text, records);
    if (report.Complete()) {
        return ConfigFileResult::Ok;
    }
    if (why != nullptr) {
        *why = Joined(report.problems, "; ");
    }
    // One line a problem beneath the message, and whether anything was taken.
    std::string problems = Joined(report.problems, "\n");
    if (report.refused) {
        problems += "\nNo port's settings were changed.";
    }
    return Failed(report.refused ? ConfigFileResult::Refused : ConfigFileResult::ReadFailed,
                  kReadFailedText, path, problems);
}

}  // namespace quorvel
