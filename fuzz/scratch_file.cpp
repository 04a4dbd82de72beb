#include "scratch_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string MakeScratchFolder() {
    std::string base;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != 0) {
        base = tmp;
    } else {
        // tmpfs: the targets write a file per input, and a disk would slow them.
        base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    }
    std::string pattern = base + "/harmonyfox-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void RemoveScratchFolder() {
    std::error_code ignored;
    fs::remove_all(ScratchFolder(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
    // Never destroyed: the exit handler that removes the folder needs its name.
    static const std::string* folder = [] {
        auto* made = new std::string(MakeScratchFolder());
        std::atexit(RemoveScratchFolder);
        return made;
    }();
    return *folder;
}

void WriteScratch(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || (size > 0 && std::fwrite(data, 1, size, out) != size) ||
        std::fclose(out) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

MemoryFile::MemoryFile() : m_fd(::memfd_create("harmonyfox-fuzz", MFD_CLOEXEC)) {
    if (m_fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
}

void MemoryFile::Fill(const uint8_t* data, size_t size) {
    if (::ftruncate(m_fd, 0) != 0 ||
        (size > 0 && ::pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::perror("memfd");
        std::abort();
    }
}

std::string MemoryFile::Path(const std::string& ext) {
    const std::string link = ScratchFolder() + "/input" + ext;
    if (!fs::is_symlink(link)) {
        fs::create_symlink("/proc/self/fd/" + std::to_string(m_fd), link);
    }
    return link;
}
