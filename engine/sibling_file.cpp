#include "sibling_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "file_io.h"

namespace {

constexpr char kSiblingMark[] = ".harmonyfox-XXXXXX";

}  // namespace

SiblingFile::~SiblingFile() {
    if (m_file >= 0) {
        close(m_file);
    }
    if (!m_path.empty() && !m_placed) {
        unlink(m_path.c_str());
    }
}

bool SiblingFile::Create(const std::string& target, const struct stat& info) {
    const std::filesystem::path place(target);
    const std::string extension = place.extension().string();
    std::string name = place.parent_path().string();
    name += name.empty() ? "." : "/.";
    name += place.stem().string();
    name += kSiblingMark;
    name += extension;
    // mkostemps opens with O_EXCL: whatever already has the name is never touched.
    m_file = mkostemps(name.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (m_file < 0) {
        return false;
    }
    m_path = name;
    if (fchmod(m_file, info.st_mode & 07777) != 0) {
        return false;
    }
    // Only a privileged process may give a file away; else the owner stays us.
    (void)!fchown(m_file, info.st_uid, info.st_gid);
    return true;
}

bool SiblingFile::Place(const std::string& target) {
    if (m_file < 0 || fsync(m_file) != 0 || rename(m_path.c_str(), target.c_str()) != 0) {
        return false;
    }
    m_placed = true;
    SyncFolder(std::filesystem::path(target).parent_path().string());
    return true;
}

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}
