// FileStamp: what tells the scan that a file changed since it was last
// looked at: its size and modification time. A plain value; any thread.
#pragma once

#include <cstdint>
#include <string>

struct FileStamp {
    int64_t size = 0;     // bytes
    int64_t mtimeNs = 0;  // modification time, nanoseconds since 1970
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path (the file system's bytes; links followed);
// false when it cannot be read, stamp then unchanged.
bool ReadFileStamp(const std::string& path, FileStamp* stamp);
