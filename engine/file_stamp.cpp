#include "file_stamp.h"

#include <sys/stat.h>

namespace {

constexpr int64_t kNsPerSecond = 1000000000;

}  // namespace

bool ReadFileStamp(const std::string& path, FileStamp* stamp) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    stamp->size = static_cast<int64_t>(info.st_size);
    stamp->mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * kNsPerSecond +
                     static_cast<int64_t>(info.st_mtim.tv_nsec);
    return true;
}
