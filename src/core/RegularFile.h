#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace quorvel {

// Reads at most `maxBytes` from the start of a regular file. Nothing else is
// read: a FIFO, a device or a folder would block or never end, so it is
// refused at once. Gives the bytes, or nothing with `why` saying what is
// wrong ("not a regular file", or the system's reason). One per platform.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                           std::string* why = nullptr);

}  // namespace quorvel
