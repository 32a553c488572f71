#pragma once

#include <string>
#include <vector>

#include "config/ProfileStore.h"

namespace quorvel {

// The recent-file list of File > Open: the last files opened, newest first,
// kept in the profile store's section "Recent File List" as File1, File2 ...
class RecentFileList {
  public:
    static constexpr int kDefaultSize = 4;
    static constexpr const char* kSection = "Recent File List";

    explicit RecentFileList(int size = kDefaultSize);

    // Reads the list; empty or repeated entries are left out.
    void Load(ProfileStore& store);
    // Writes every slot, the unused ones empty; false when the store refused.
    bool Save(ProfileStore& store) const;

    // Puts `path` first; an entry already on the list moves up, and the
    // oldest falls off a full list.
    void Add(const std::string& path);
    // Takes entry `index` off the list; an index outside it does nothing.
    void Remove(int index);

    const std::vector<std::string>& Paths() const { return m_paths; }
    int Size() const { return m_size; }

  private:
    int IndexOf(const std::string& path) const;

    int m_size;
    std::vector<std::string> m_paths;
};

}  // namespace quorvel
