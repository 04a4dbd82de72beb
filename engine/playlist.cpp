#include "playlist.h"

#include "decoder_contract.h"

namespace {

constexpr char kPlaylistHeader[] = "#EXTM3U\r\n";
constexpr char kLineEnd[] = "\r\n";

bool Fits(const std::string& bytes) {
    return !bytes.empty() && bytes.size() + 1 <= kPlaylistPathBuffer;
}

}  // namespace

std::string PlaylistBytes(const std::vector<DuplicatePair>& pairs) {
    std::string out = kPlaylistHeader;
    for (const DuplicatePair& pair : pairs) {
        const std::string path1 = U16ToBytes(pair.path1);
        if (!Fits(path1)) {
            continue;
        }
        out += path1;
        out += kLineEnd;
        const std::string path2 = U16ToBytes(pair.path2);
        if (Fits(path2)) {
            out += path2;
            out += kLineEnd;
        }
    }
    return out;
}
