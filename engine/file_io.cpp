#include "file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

namespace {

// Copying through memory goes in steps of this many bytes.
constexpr size_t kCopyStep = size_t{1} << 20;

}  // namespace

bool WriteAll(int file, const unsigned char* data, size_t size, uint64_t offset, size_t* written) {
    *written = 0;
    while (*written < size) {
        const ssize_t n =
            pwrite(file, data + *written, size - *written, static_cast<off_t>(offset + *written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        *written += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int file, const unsigned char* data, size_t size, uint64_t offset) {
    size_t written = 0;
    return WriteAll(file, data, size, offset, &written);
}

bool ReadAll(int file, unsigned char* data, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(file, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

uint64_t FileSize(int file) {
    struct stat info;
    return file >= 0 && fstat(file, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

bool CopyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t count) {
    auto in = static_cast<loff_t>(fromOffset);
    auto out = static_cast<loff_t>(toOffset);
    while (count > 0) {
        const ssize_t n = copy_file_range(from, &in, to, &out, count, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // not supported between these files: copy through memory
        }
        count -= static_cast<uint64_t>(n);
    }
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(count, kCopyStep)));
    while (count > 0) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        if (!ReadAll(from, buffer.data(), step, static_cast<uint64_t>(in)) ||
            !WriteAll(to, buffer.data(), step, static_cast<uint64_t>(out))) {
            return false;
        }
        in += static_cast<loff_t>(step);
        out += static_cast<loff_t>(step);
        count -= step;
    }
    return true;
}

std::string ReplacedPath(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}

int CreateReplacement(const std::string& path) {
    const std::string temp = ReplacedPath(path) + ".new";
    // Neither a FIFO nor a link by that name may stall or redirect the write.
    const int file =
        open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644);
    if (file < 0) {
        return -1;
    }
    struct stat info {};
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(file);
        return -1;
    }
    // The lock must already hold when the new file takes the old one's name.
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        close(file);
        return -1;
    }
    return file;
}

bool CommitReplacement(int file, const std::string& path, bool written) {
    const std::string target = ReplacedPath(path);
    const std::string temp = target + ".new";
    if (!written || fsync(file) != 0 || rename(temp.c_str(), target.c_str()) != 0) {
        close(file);
        unlink(temp.c_str());
        return false;
    }
    SyncFolder(std::filesystem::path(target).parent_path().string());
    return true;
}

void SyncFolder(const std::string& folder) {
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

void RemoveLeftoverReplacement(const std::string& path) {
    const std::string temp = ReplacedPath(path) + ".new";
    // Non-blocking and not through a link, so that neither a FIFO nor a
    // link by that name leads anywhere.
    const int file = open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (file < 0) {
        return;
    }
    struct stat info {};
    if (fstat(file, &info) == 0 && S_ISREG(info.st_mode) && flock(file, LOCK_EX | LOCK_NB) == 0) {
        unlink(temp.c_str());
    }
    close(file);
}

void PutUint(unsigned char* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

uint64_t GetUint(const unsigned char* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
        value |= static_cast<uint64_t>(in[i]) << (8 * i);
    }
    return value;
}
