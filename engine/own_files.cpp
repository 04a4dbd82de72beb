#include "own_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "grip_store.h"
#include "result_memory.h"
#include "skip_memory.h"

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa;
    struct stat sb;
    const bool aExists = stat(a.c_str(), &sa) == 0;
    const bool bExists = stat(b.c_str(), &sb) == 0;
    if (aExists && bExists) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    if (aExists != bExists) {
        return false;
    }
    std::error_code ignored;
    return std::filesystem::absolute(a, ignored).lexically_normal() ==
           std::filesystem::absolute(b, ignored).lexically_normal();
}

OwnFiles::OwnFiles(const std::string& cachePath, const std::string& notDuplicatesPath) {
    if (!cachePath.empty()) {
        m_files = {{cachePath, "the cache file"},
                   {GripStore::IndexPath(cachePath), "the cache's stamp index"},
                   {SkipMemory::PathBeside(cachePath), "the list of skipped files"},
                   {ResultMemory::PathBeside(cachePath), "the pairs of the last scan"}};
        // The old name is ours only while our list is still there.
        if (const std::string legacy = SkipMemory::LegacyPathBeside(cachePath);
            SkipMemory::IsSkipMemory(legacy)) {
            m_files.push_back({legacy, "the list of skipped files"});
        }
    }
    if (!notDuplicatesPath.empty()) {
        m_files.push_back({notDuplicatesPath, "the list of pairs that are not duplicates"});
    }
}

const char* OwnFiles::Owns(const std::string& path) const {
    for (const File& file : m_files) {
        if (SameFile(path, file.path)) {
            return file.what;
        }
    }
    return nullptr;
}
