#include "config/RecentFileList.h"

#include <algorithm>

#include "config/FileSystem.h"

namespace quorvel {
namespace {

std::string SlotKey(int slot) {
    return "File" + std::to_string(slot + 1);
}

}  // namespace

RecentFileList::RecentFileList(int size) : m_size(std::max(size, 1)) {}

void RecentFileList::Load(ProfileStore& store) {
    m_paths.clear();
    for (int slot = 0; slot < m_size; ++slot) {
        const std::string path = store.GetProfileString(kSection, SlotKey(slot), std::string());
        if (!path.empty() && IndexOf(path) < 0) {
            m_paths.push_back(path);
        }
    }
}

bool RecentFileList::Save(ProfileStore& store) const {
    bool saved = true;
    for (int slot = 0; slot < m_size; ++slot) {
        const std::string path =
            slot < static_cast<int>(m_paths.size()) ? m_paths[slot] : std::string();
        saved = store.WriteProfileString(kSection, SlotKey(slot), path) && saved;
    }
    return saved;
}

void RecentFileList::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    if (const int found = IndexOf(path); found >= 0) {
        m_paths.erase(m_paths.begin() + found);
    }
    m_paths.insert(m_paths.begin(), path);
    if (static_cast<int>(m_paths.size()) > m_size) {
        m_paths.resize(m_size);
    }
}

void RecentFileList::Remove(int index) {
    if (index >= 0 && index < static_cast<int>(m_paths.size())) {
        m_paths.erase(m_paths.begin() + index);
    }
}

int RecentFileList::IndexOf(const std::string& path) const {
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        if (SamePath(m_paths[i], path)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace quorvel
