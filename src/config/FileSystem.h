#pragma once

#include <filesystem>
#include <string>

namespace quorvel {

// Puts `from` in the place of `to` in one step, so that a reader sees the old
// file or the new one and never a part of either. False when it cannot, with
// the system's reason in `why` when it is given.
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                   std::string* why = nullptr);

// Whether two full paths name the same file as the file system compares names
// (Windows ignores case, POSIX does not).
bool SamePath(const std::string& a, const std::string& b);

}  // namespace quorvel
