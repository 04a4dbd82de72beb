#include "folder_roles.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "decoder_contract.h"

bool PathIsInside(std::u16string_view path, std::u16string_view folder) {
    while (folder.size() > 1 && folder.back() == u'/') {
        folder.remove_suffix(1);
    }
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == u'/' || path[folder.size()] == u'/';
}

namespace {

std::u16string RealPathOf(const std::string& bytes) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(bytes.c_str(), nullptr),
                                                           &std::free);
    return real == nullptr ? std::u16string() : BytesToU16(real.get());
}

// The index of the innermost of settings that holds path; -1 when none.
int InnermostOf(const std::vector<FolderSetting>& settings, std::u16string_view path) {
    int found = -1;
    for (size_t i = 0; i < settings.size(); ++i) {
        const int index = static_cast<int>(i);
        if (!PathIsInside(path, settings[i].path)) {
            continue;
        }
        // The same folder set twice: the later setting counts.
        if (found < 0 || settings[i].path.size() >= settings[found].path.size()) {
            found = index;
        }
    }
    return found;
}

}  // namespace

std::u16string ResolvedPath(std::u16string_view path) {
    const std::string bytes = U16ToBytes(path);
    std::u16string real = RealPathOf(bytes);
    if (!real.empty()) {
        return real;
    }
    const size_t slash = bytes.rfind('/');
    if (slash == std::string::npos || slash + 1 == bytes.size()) {
        return {};
    }
    real = RealPathOf(slash == 0 ? std::string("/") : bytes.substr(0, slash));
    if (real.empty()) {
        return {};
    }
    if (real.back() != u'/') {
        real += u'/';
    }
    return real + BytesToU16(bytes.substr(slash + 1));
}

FolderRoles::FolderRoles(std::vector<FolderSetting> settings) : m_settings(std::move(settings)) {
    for (const FolderSetting& s : m_settings) {
        m_anyReference = m_anyReference || s.role == FolderRole::kReference;
    }
    if (!m_anyReference) {
        return;
    }
    m_resolved = m_settings;
    for (FolderSetting& s : m_resolved) {
        if (std::u16string real = RealPathOf(U16ToBytes(s.path)); !real.empty()) {
            s.path = std::move(real);
        }
    }
}

int FolderRoles::Innermost(std::u16string_view path) const {
    return InnermostOf(m_settings, path);
}

FolderRole FolderRoles::RoleOf(std::u16string_view path) const {
    const int index = Innermost(path);
    return index < 0 ? FolderRole::kNormal : m_settings[index].role;
}

bool FolderRoles::IsReference(std::u16string_view path) const {
    if (RoleOf(path) == FolderRole::kReference) {
        return true;
    }
    if (!m_anyReference) {
        return false;
    }
    const std::u16string real = ResolvedPath(path);
    if (real.empty()) {
        return false;
    }
    const int index = InnermostOf(m_resolved, real);
    return index >= 0 && m_resolved[index].role == FolderRole::kReference;
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
