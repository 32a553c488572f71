// File-system behaviour of Windows.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "config/FileSystem.h"

namespace quorvel {

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                   std::string* why) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
        0) {
        return true;
    }
    if (why != nullptr) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
    }
    return false;
}

bool SamePath(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace quorvel
