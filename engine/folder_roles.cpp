#include "folder_roles.h"

#include <algorithm>

bool PathIsInside(std::u16string_view path, std::u16string_view folder) {
    while (folder.size() > 1 && folder.back() == u'/') {
        folder.remove_suffix(1);
    }
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == u'/' || path[folder.size()] == u'/';
}

FolderRoles::FolderRoles(std::vector<FolderSetting> settings) : m_settings(std::move(settings)) {}

int FolderRoles::Innermost(std::u16string_view path) const {
    int found = -1;
    for (size_t i = 0; i < m_settings.size(); ++i) {
        const int index = static_cast<int>(i);
        if (!PathIsInside(path, m_settings[i].path)) {
            continue;
        }
        // The same folder set twice: the later setting counts.
        if (found < 0 || m_settings[i].path.size() >= m_settings[found].path.size()) {
            found = index;
        }
    }
    return found;
}

FolderRole FolderRoles::RoleOf(std::u16string_view path) const {
    const int index = Innermost(path);
    return index < 0 ? FolderRole::kNormal : m_settings[index].role;
}

std::vector<std::u16string> FolderRoles::WalkRoots() const {
    std::vector<std::u16string> roots;
    for (const FolderSetting& s : m_settings) {
        if (RoleOf(s.path) == FolderRole::kExcluded) {
            continue;
        }
        // The walk of the nearest folder around this one reaches it unless
        // that folder is excluded.
        const FolderSetting* around = nullptr;
        for (const FolderSetting& other : m_settings) {
            if (other.path.size() < s.path.size() && PathIsInside(s.path, other.path) &&
                (around == nullptr || other.path.size() > around->path.size())) {
                around = &other;
            }
        }
        const bool reached = around != nullptr && RoleOf(around->path) != FolderRole::kExcluded;
        if (!reached && std::find(roots.begin(), roots.end(), s.path) == roots.end()) {
            roots.push_back(s.path);
        }
    }
    return roots;
}

std::vector<std::u16string> FolderRoles::Excluded() const {
    std::vector<std::u16string> out;
    for (const FolderSetting& s : m_settings) {
        if (s.role == FolderRole::kExcluded) {
            out.push_back(s.path);
        }
    }
    return out;
}
