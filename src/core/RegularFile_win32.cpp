// Reading a regular file on Windows: only a disk file is read (not a pipe, a
// device or a folder), and at most the bytes asked for.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

#include "core/RegularFile.h"

namespace quorvel {

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                           std::string* why) {
    auto refuse = [why](const std::string& reason) -> std::optional<std::string> {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    };
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return refuse("the file cannot be opened (error " + std::to_string(GetLastError()) + ")");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return refuse("not a regular file");
    }
    std::string bytes(maxBytes, '\0');
    std::size_t done = 0;
    while (done < maxBytes) {
        DWORD read = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(maxBytes - done, 1u << 20));
        if (!ReadFile(file, bytes.data() + done, ask, &read, nullptr)) {
            CloseHandle(file);
            return refuse("the file cannot be read (error " + std::to_string(GetLastError()) + ")");
        }
        if (read == 0) {
            break;
        }
        done += read;
    }
    CloseHandle(file);
    bytes.resize(done);
    return bytes;
}

}  // namespace quorvel
