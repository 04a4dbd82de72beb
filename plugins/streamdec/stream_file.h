// StreamFile: Streamdec's own small layer over the platform's file calls. It
// opens a regular file for shared, sequential reading and offers exact-length
// reads, moves of the file position and the size. A read that may come back
// short says how much came; callers check every length.
//
// Owns one file descriptor. Not thread-safe: one decoder object, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class StreamFile {
  public:
    enum class Origin { Begin, Current, End };

    StreamFile() = default;
    ~StreamFile() { Close(); }
    StreamFile(const StreamFile&) = delete;
    StreamFile& operator=(const StreamFile&) = delete;

    // Opens path (bytes as the file system takes them) for reading. Only
    // regular files are taken: a folder, a pipe or a device is refused, so
    // that opening can neither block nor read without end. false on failure.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Size in bytes; false when it cannot be obtained.
    bool Size(uint64_t* size) const;

    // Reads up to count bytes into buffer and stores how many came in *got
    // (fewer only at the end of the file). false on an error of the platform.
    bool Read(void* buffer, size_t count, size_t* got);
    // Reads exactly count bytes; false when fewer came or on an error.
    bool ReadExact(void* buffer, size_t count);

    // Moves the file position; the target may lie beyond the end of the file
    // (the next read then returns nothing) but not before its start. false on
    // failure, the position then being unchanged.
    bool Seek(int64_t offset, Origin origin);
    // The current position; false when it cannot be obtained.
    bool Tell(uint64_t* position) const;

  private:
    int m_fd = -1;
};
