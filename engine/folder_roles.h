// What the user made of each chosen folder: a normal one, a reference one
// (its files are compared like any other but are always kept and never
// marked or deleted) or an excluded one (never walked). A setting holds for
// the folder and everything under it, unless a setting of a folder further
// in says otherwise. Shared by the desktop program and the command line.
// Immutable once built; any thread may read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class FolderRole : uint8_t { kNormal = 0, kReference = 1, kExcluded = 2 };

struct FolderSetting {
    std::u16string path;  // full path, without a trailing '/'
    FolderRole role = FolderRole::kNormal;
};

// Whether path is folder itself or lies under it (by whole path components:
// "/a/bc" is not under "/a/b"). "/" holds every full path.
bool PathIsInside(std::u16string_view path, std::u16string_view folder);

class FolderRoles {
  public:
    FolderRoles() = default;
    explicit FolderRoles(std::vector<FolderSetting> settings);

    // The role of the innermost folder setting that holds path; kNormal when none does.
    FolderRole RoleOf(std::u16string_view path) const;
    bool IsReference(std::u16string_view path) const {
        return RoleOf(path) == FolderRole::kReference;
    }

    // The folders to walk so that every folder whose innermost setting is
    // not excluded is walked exactly once: every setting whose role is not
    // excluded and that no walk of a folder around it reaches. In the order given.
    std::vector<std::u16string> WalkRoots() const;
    // The folders a walk leaves out: the excluded settings.
    std::vector<std::u16string> Excluded() const;

    const std::vector<FolderSetting>& settings() const { return m_settings; }

  private:
    // The index of the innermost setting that holds path; -1 when none.
    int Innermost(std::u16string_view path) const;

    std::vector<FolderSetting> m_settings;
};
