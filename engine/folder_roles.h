// What the user made of each chosen folder: a normal one, a reference one
// (its files are compared like any other but are always kept and never
// marked or deleted) or an excluded one (never walked). A setting holds for
// the folder and everything under it, unless a setting of a folder further
// in says otherwise. Reference folders go by identity: a file that a link
// leads into one, or that is spelled through a link to one, is a reference
// file too. Shared by the desktop program and the command line. Immutable
// once built; any thread may read it.
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

// path with every link resolved, as realpath gives it; for a path that is
// gone, its folder resolved and its name kept. Empty when even that fails.
std::u16string ResolvedPath(std::u16string_view path);

class FolderRoles {
  public:
    FolderRoles() = default;
    // Reads the file system once, for where each folder really lies.
    explicit FolderRoles(std::vector<FolderSetting> settings);

    // The role of the innermost folder setting that holds path, as spelled;
    // kNormal when none does.
    FolderRole RoleOf(std::u16string_view path) const;
    // Whether path lies under a reference folder as spelled, or once every
    // link of both is resolved. Reads the file system when reference
    // folders are set and the spelling alone does not tell.
    bool IsReference(std::u16string_view path) const;

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
    // The same settings with every link resolved (as given where that failed).
    std::vector<FolderSetting> m_resolved;
    bool m_anyReference = false;
};
