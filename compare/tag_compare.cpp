#include "tag_compare.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr float kTitleWeight = 0.4f;
constexpr float kArtistWeight = 0.3f;
constexpr float kNameWeight = 0.15f;
constexpr float kAlbumWeight = 0.15f;

}  // namespace

float SubstringOverlap(std::string_view a, std::string_view b) {
    const size_t la = a.size();
    const size_t lb = b.size();
    if (la == 0 || lb == 0) {
        return 0.0f;
    }
    if (a == b) {
        return 1.0f;
    }
    const size_t m = std::min(la, lb);
    // A substring of a at p occurs in b exactly when its length is at most the
    // longest prefix of a[p..] that occurs in b, and likewise for b. Those
    // longest prefixes are the row and column maxima of the table of longest
    // common prefixes, built one row at a time from the end of a.
    thread_local std::vector<uint16_t> previous;
    thread_local std::vector<uint16_t> current;
    thread_local std::vector<uint16_t> longestB;
    previous.assign(lb + 1, 0);
    current.assign(lb + 1, 0);
    longestB.assign(lb, 0);
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    const uint16_t cap = static_cast<uint16_t>(std::min<size_t>(m, 0xFFFF));

    uint64_t found = 0;
    for (size_t p = la; p-- > 0;) {
        const unsigned char c = pa[p];
        uint16_t* row = current.data();
        const uint16_t* below = previous.data();
        uint16_t* colMax = longestB.data();
        uint16_t rowMax = 0;
        for (size_t q = 0; q < lb; ++q) {
            uint16_t v = pb[q] == c ? static_cast<uint16_t>(below[q + 1] + 1) : 0;
            v = std::min(v, cap);
            row[q] = v;
            rowMax = std::max(rowMax, v);
            colMax[q] = std::max(colMax[q], v);
        }
        found += rowMax;
        previous.swap(current);
    }
    for (size_t q = 0; q < lb; ++q) {
        found += longestB[q];
    }
    const uint64_t total = static_cast<uint64_t>(m) * (la + lb + 2) - static_cast<uint64_t>(m) * (m + 1);
    return static_cast<float>(static_cast<double>(found) / static_cast<double>(total));
}

TagScores ComputeTagScores(const Grip& a, const Grip& b) {
    TagScores t;
    t.titleScore = SubstringOverlap(a.title, b.title);
    t.artistScore = SubstringOverlap(a.artist, b.artist);
    const float crossTitle = SubstringOverlap(a.title, b.artist);
    const float crossArtist = SubstringOverlap(a.artist, b.title);
    if (t.titleScore <= crossTitle && t.artistScore <= crossArtist) {
        t.titleScore = crossTitle;
        t.artistScore = crossArtist;
    }
    if (a.title.empty()) {
        t.titleScore = std::max(t.titleScore, SubstringOverlap(a.nameKey, b.title));
    }
    if (b.title.empty()) {
        t.titleScore = std::max(t.titleScore, SubstringOverlap(a.title, b.nameKey));
    }
    if (a.artist.empty()) {
        t.artistScore = std::max(t.artistScore, SubstringOverlap(a.nameKey, b.artist));
    }
    if (b.artist.empty()) {
        t.artistScore = std::max(t.artistScore, SubstringOverlap(a.artist, b.nameKey));
    }
    t.nameScore = SubstringOverlap(a.nameKey, b.nameKey);
    t.albumScore = SubstringOverlap(a.album, b.album);

    // A field that is missing on a side and scored 0 stays out of the mean;
    // an album missing on one side only still counts.
    float w = 0.0f;
    if (!(t.titleScore == 0.0f && (a.title.empty() || b.title.empty()))) {
        w += kTitleWeight;
    }
    if (!(t.artistScore == 0.0f && (a.artist.empty() || b.artist.empty()))) {
        w += kArtistWeight;
    }
    if (!(t.nameScore == 0.0f && (a.nameKey.empty() || b.nameKey.empty()))) {
        w += kNameWeight;
    }
    if (!(t.albumScore == 0.0f && a.album.empty() && b.album.empty())) {
        w += kAlbumWeight;
    }
    if (w > 0.0f) {
        t.tagScore = (t.titleScore * kTitleWeight + t.artistScore * kArtistWeight +
                      t.nameScore * kNameWeight + t.albumScore * kAlbumWeight) /
                     w;
    }
    return t;
}

float TagPercent(float tagScore, float sensitivity) {
    const float range = 1.0f - sensitivity;
    if (range == 0.0f) {
        return tagScore >= 1.0f ? 100.0f : 0.0f;
    }
    const float q = (tagScore - sensitivity) / range;
    return (q > 0.0f ? q : 0.0f) * 100.0f;
}
