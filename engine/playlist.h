// The M3U playlist of a list of duplicate pairs, as bytes ready to be
// written to a file. Shared by the desktop program and the command line.
// Pure function; safe on any thread.
#pragma once

#include <string>
#include <vector>

#include "scan_owner.h"

// A path is written only when its bytes and a terminating zero fit this.
inline constexpr size_t kPlaylistPathBuffer = 1024;

// "#EXTM3U" CR LF, then for every pair in the given order path1 and path2
// (the file system's bytes), each followed by CR LF. A path that cannot be
// written as one line (empty, too long, or holding a line feed or carriage
// return) is left out: a pair whose path1 is such a path is left out whole,
// a path2 alone. leftOut (may be null) receives how many paths were left out.
// No byte-order mark, nothing after the last line.
std::string PlaylistBytes(const std::vector<DuplicatePair>& pairs, size_t* leftOut = nullptr);

// "#EXTM3U" CR LF, then every file once, in the given order, each followed by
// CR LF; a path that cannot be written as one line is left out.
std::string PlaylistBytes(const std::vector<std::u16string>& files);
