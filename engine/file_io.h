// Byte ranges of open files as the cache file and its stamp index read and
// write them: a range is done whole or reported as failed, numbers are
// little-endian, and a file written afresh replaces the old one only once it
// is whole and synced. Plain functions on descriptors the caller owns; any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes size bytes at offset; false on an error, with *written the bytes
// that did reach the file.
bool WriteAll(int file, const unsigned char* data, size_t size, uint64_t offset, size_t* written);
bool WriteAll(int file, const unsigned char* data, size_t size, uint64_t offset);

// Reads exactly size bytes at offset; false on an error or the file's end.
bool ReadAll(int file, unsigned char* data, size_t size, uint64_t offset);

// The size of the open file in bytes; 0 when it cannot be told.
uint64_t FileSize(int file);

// Copies count bytes between two files, in the kernel where it can; false on
// an error.
bool CopyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t count);

// The file that a replacement of path takes the place of: path, or the file
// its links lead to when path is a link (so the link stays a link).
std::string ReplacedPath(const std::string& path);

// A new file beside ReplacedPath(path), named after it with ".new", locked
// with an exclusive flock, to be renamed over it once it is whole; -1 when it
// cannot be made.
int CreateReplacement(const std::string& path);

// Syncs the replacement and renames it over ReplacedPath(path) (syncing the
// folder too). When written is false or that fails, the replacement is
// closed and removed, the old file stays, and the result is false.
bool CommitReplacement(int file, const std::string& path, bool written);

// Removes the replacement of path that a run killed while writing it left
// behind: a regular file by its name that nobody holds locked (a FIFO, a
// folder or a link by that name is left alone). Call while holding the lock
// on path's own file, as every writer of a replacement does.
void RemoveLeftoverReplacement(const std::string& path);

// Syncs folder (empty: the working folder), so that a name made or changed
// in it outlives a crash. A failure is ignored: the file's bytes are synced
// already, only its name may be lost.
void SyncFolder(const std::string& folder);

// The bytes of value's lowest bytes little-endian, and back.
void PutUint(unsigned char* out, uint64_t value, size_t bytes);
uint64_t GetUint(const unsigned char* in, size_t bytes);
