#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

WholeRead ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    // Without O_NONBLOCK the open of a FIFO waits for a writer.
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (file < 0) {
        if (errno == ENOENT) {
            return WholeRead::kMissing;
        }
        return IsSpecialPlace(path) ? WholeRead::kNotRegular : WholeRead::kUnreadable;
    }
    struct stat info;
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(file);
        return WholeRead::kNotRegular;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(file, buffer, sizeof(buffer));
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            close(file);
            return WholeRead::kUnreadable;
        }
        bytes->append(buffer, static_cast<size_t>(n));
    }
    close(file);
    return WholeRead::kRead;
}

bool IsSpecialPlace(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool ReplaceFileWith(const std::string& path, std::string_view bytes) {
    if (IsSpecialPlace(path)) {
        return false;
    }
    const std::string fresh = path + ".new";
    std::FILE* out = std::fopen(fresh.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    ok = std::fflush(out) == 0 && ok;
    ok = fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(fresh.c_str(), path.c_str()) != 0) {
        std::remove(fresh.c_str());
        return false;
    }
    return true;
}

std::string SidePath(const std::string& cachePath, const std::string& extension) {
    std::filesystem::path side(cachePath);
    if (side.extension() == extension) {
        return cachePath + extension;
    }
    return side.replace_extension(extension).string();
}
