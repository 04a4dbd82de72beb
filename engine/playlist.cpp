#include "playlist.h"

#include "decoder_contract.h"

#include <unordered_set>

namespace {

constexpr char kPlaylistHeader[] = "#EXTM3U\r\n";
constexpr char kLineEnd[] = "\r\n";

// A name with a line break would add lines of its own choosing to the list.
bool Fits(const std::string& bytes) {
    return !bytes.empty() && bytes.size() + 1 <= kPlaylistPathBuffer &&
           bytes.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

std::vector<std::u16string> PlaylistFiles(const std::vector<DuplicatePair>& pairs) {
    std::vector<std::u16string> files;
    std::unordered_set<std::u16string_view> met;
    for (const DuplicatePair& pair : pairs) {
        for (const std::u16string* path : {&pair.path1, &pair.path2}) {
            if (met.insert(*path).second) {
                files.push_back(*path);
            }
        }
    }
    return files;
}

std::string PlaylistBytes(const std::vector<std::u16string>& files, size_t* leftOut) {
    std::string out = kPlaylistHeader;
    std::unordered_set<std::u16string_view> met;
    size_t left = 0;
    for (const std::u16string& file : files) {
        if (!met.insert(file).second) {
            continue;
        }
        const std::string path = U16ToBytes(file);
        if (Fits(path)) {
            out += path;
            out += kLineEnd;
        } else {
            ++left;
        }
    }
    if (leftOut != nullptr) {
        *leftOut = left;
    }
    return out;
}

std::string PlaylistBytes(const std::vector<DuplicatePair>& pairs, size_t* leftOut) {
    return PlaylistBytes(PlaylistFiles(pairs), leftOut);
}
