// Reading and writing a small file of ours as a whole. Reading never waits
// on the file: a FIFO, device or folder at its place is told, not read.
// Writing puts the new bytes in a file beside it, which is synced and then
// renamed over the old one, so a crash or a full disk leaves the old file or
// the new one, never a part of either.
#pragma once

#include <string>
#include <string_view>

enum class WholeRead {
    kRead,        // *bytes holds the file
    kMissing,     // nothing is at path
    kNotRegular,  // a folder, FIFO, device or socket is at path: left alone
    kUnreadable,  // it exists but cannot be opened or read
};
// Reads the regular file at path (links followed) into *bytes.
WholeRead ReadWholeFile(const std::string& path, std::string* bytes);

// Whether something other than a regular file (a folder, a FIFO, ...) is at
// path, links followed; such a place is never taken over.
bool IsSpecialPlace(const std::string& path);

// The path of a file kept beside the cache at cachePath: its name with
// extension (".idx", ".skip", ...) in place of its own, or added to a name
// that has that extension already, so that the two never coincide.
std::string SidePath(const std::string& cachePath, const std::string& extension);

// Replaces the file at path with bytes. false when the new file could not be
// written whole or renamed; the old file is then untouched and nothing is
// left beside it.
bool ReplaceFileWith(const std::string& path, std::string_view bytes);
