// Writing a small file of ours as a whole: the new bytes go to a file beside
// it, which is synced and then renamed over the old one, so a crash or a
// full disk leaves the old file or the new one, never a part of either.
#pragma once

#include <string>
#include <string_view>

// Replaces the file at path with bytes. false when the new file could not be
// written whole or renamed; the old file is then untouched and nothing is
// left beside it.
bool ReplaceFileWith(const std::string& path, std::string_view bytes);
