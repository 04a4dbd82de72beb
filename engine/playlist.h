// The M3U playlist of listed duplicates, every file once, as bytes ready to be
// written to a file. Shared by the desktop program and the command line.
// Pure functions; safe on any thread.
#pragma once

#include <string>
#include <vector>

#include "scan_owner.h"

// A path is written only when its bytes and a terminating zero fit this.
inline constexpr size_t kPlaylistPathBuffer = 1024;

// Every file of pairs once, in the order first met (path1, then path2 of
// each pair in turn).
std::vector<std::u16string> PlaylistFiles(const std::vector<DuplicatePair>& pairs);

// "#EXTM3U" CR LF, then every file once, in the order first met, as the file
// system's bytes, each followed by CR LF. A path that cannot be written as
// one line (empty, too long, or holding a line feed or carriage return) is
// left out; leftOut (may be null) receives how many distinct paths were.
// No byte-order mark, nothing after the last line.
std::string PlaylistBytes(const std::vector<std::u16string>& files, size_t* leftOut = nullptr);
// The playlist of PlaylistFiles(pairs).
std::string PlaylistBytes(const std::vector<DuplicatePair>& pairs, size_t* leftOut = nullptr);
