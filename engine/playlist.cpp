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

std::string PlaylistBytes(const std::vector<DuplicatePair>& pairs, size_t* leftOut) {
    std::string out = kPlaylistHeader;
    size_t left = 0;
    for (const DuplicatePair& pair : pairs) {
        const std::string path1 = U16ToBytes(pair.path1);
        if (!Fits(path1)) {
            left += 2;
            continue;
        }
        out += path1;
        out += kLineEnd;
        const std::string path2 = U16ToBytes(pair.path2);
        if (Fits(path2)) {
            out += path2;
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

std::string PlaylistBytes(const std::vector<std::u16string>& files) {
    std::string out = kPlaylistHeader;
    std::unordered_set<std::u16string_view> written;
    for (const std::u16string& file : files) {
        const std::string path = U16ToBytes(file);
        if (Fits(path) && written.insert(file).second) {
            out += path;
            out += kLineEnd;
        }
    }
    return out;
}
