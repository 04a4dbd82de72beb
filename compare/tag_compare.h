// Tag comparison of two Grips: substring overlap of title, artist, file name
// and album, the weighted tagScore, the tag rule and the "% tags" figure.
// Pure functions; SubstringOverlap keeps per-thread scratch, so every function
// is safe on any thread.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "grip.h"

struct TagScores {
    float titleScore = 0.0f;
    float artistScore = 0.0f;
    float nameScore = 0.0f;
    float albumScore = 0.0f;
    float tagScore = 0.0f;
};

// Share of all substrings of a and of b (up to the shorter length, counted by
// position) that also occur in the other string; 0 when either is empty.
// O(|a| * |b|) time.
float SubstringOverlap(std::string_view a, std::string_view b);

// a is the file that joined the scan later.
TagScores ComputeTagScores(const Grip& a, const Grip& b);

// The four text keys of a Grip.
enum TagField { kTitleField = 0, kArtistField = 1, kNameField = 2, kAlbumField = 3 };
inline constexpr int kTagFieldCount = 4;

inline const std::string& TagText(const Grip& g, TagField field) {
    switch (field) {
        case kTitleField:
            return g.title;
        case kArtistField:
            return g.artist;
        case kNameField:
            return g.nameKey;
        default:
            return g.album;
    }
}

// Fills tagScore from the four field scores of t.
void WeighTagScores(TagScores& t, const Grip& a, const Grip& b);

// ComputeTagScores with the overlaps supplied by overlap(fieldOfA,
// fieldOfB), which must return SubstringOverlap of those two texts (for
// instance from a table of earlier results).
template <typename Overlap>
TagScores ComputeTagScoresWith(const Grip& a, const Grip& b, Overlap&& overlap) {
    TagScores t;
    t.titleScore = overlap(kTitleField, kTitleField);
    t.artistScore = overlap(kArtistField, kArtistField);
    const float crossTitle = overlap(kTitleField, kArtistField);
    const float crossArtist = overlap(kArtistField, kTitleField);
    if (t.titleScore <= crossTitle && t.artistScore <= crossArtist) {
        t.titleScore = crossTitle;
        t.artistScore = crossArtist;
    }
    if (a.title.empty()) {
        t.titleScore = std::max(t.titleScore, overlap(kNameField, kTitleField));
    }
    if (b.title.empty()) {
        t.titleScore = std::max(t.titleScore, overlap(kTitleField, kNameField));
    }
    if (a.artist.empty()) {
        t.artistScore = std::max(t.artistScore, overlap(kNameField, kArtistField));
    }
    if (b.artist.empty()) {
        t.artistScore = std::max(t.artistScore, overlap(kArtistField, kNameField));
    }
    t.nameScore = overlap(kNameField, kNameField);
    t.albumScore = overlap(kAlbumField, kAlbumField);
    WeighTagScores(t, a, b);
    return t;
}

inline bool TagsAccept(float tagScore, float sensitivity) {
    return tagScore >= sensitivity;
}

// 0..100: how far tagScore lies between the sensitivity and 1. At sensitivity
// 1 only a tagScore of exactly 1 passes; it shows 100.
float TagPercent(float tagScore, float sensitivity);
