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
TagScores ComputeTagScores(const GripTexts& a, const GripTexts& b);

// The four text keys of a Grip.
enum TagField { kTitleField = 0, kArtistField = 1, kNameField = 2, kAlbumField = 3 };
inline constexpr int kTagFieldCount = 4;

inline const std::string& TagText(const GripTexts& g, TagField field) {
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

// The largest weighted mean of field scores at most scores[f] (in TagField
// order) over the fields that take part, where an optional field takes part
// or not, and one whose bound is 0 does not; with a margin for rounding.
float WeightedMeanBound(const float (&scores)[kTagFieldCount], const bool (&optional)[kTagFieldCount]);

// Fills tagScore from the four field scores of t.
void WeighTagScores(TagScores& t, const GripTexts& a, const GripTexts& b);

// ComputeTagScores with the overlaps supplied by overlap(fieldOfA,
// fieldOfB), which must return SubstringOverlap of those two texts (for
// instance from a table of earlier results).
template <typename Overlap>
TagScores ComputeTagScoresWith(const GripTexts& a, const GripTexts& b, Overlap&& overlap) {
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

// At least the tagScore of (a, b) (a the later file), from the overlaps that
// known(fieldOfA, fieldOfB) can tell: SubstringOverlap of those two texts, or
// any negative number when it cannot (the overlap is then taken as 1).
template <typename Known>
float TagScoreBound(const GripTexts& a, const GripTexts& b, Known&& known) {
    auto bound = [&](TagField fa, TagField fb) -> float {
        if (TagText(a, fa).empty() || TagText(b, fb).empty()) {
            return 0.0f;
        }
        const float v = known(fa, fb);
        return v < 0.0f ? 1.0f : v;
    };
    // A field missing on a side counts only with a score above 0 (the album
    // only when missing on both): such a field may be in the mean or out.
    const bool optional[kTagFieldCount] = {
        a.title.empty() || b.title.empty(), a.artist.empty() || b.artist.empty(),
        a.nameKey.empty() || b.nameKey.empty(), a.album.empty() && b.album.empty()};
    const float name = bound(kNameField, kNameField);
    const float album = bound(kAlbumField, kAlbumField);
    // Title and artist are compared either straight or crossed, as the swap
    // rule picks; then a missing one may take the file name's overlap.
    float best = 0.0f;
    for (const bool crossed : {false, true}) {
        float title = crossed ? bound(kTitleField, kArtistField) : bound(kTitleField, kTitleField);
        float artist =
            crossed ? bound(kArtistField, kTitleField) : bound(kArtistField, kArtistField);
        if (a.title.empty()) {
            title = std::max(title, bound(kNameField, kTitleField));
        }
        if (b.title.empty()) {
            title = std::max(title, bound(kTitleField, kNameField));
        }
        if (a.artist.empty()) {
            artist = std::max(artist, bound(kNameField, kArtistField));
        }
        if (b.artist.empty()) {
            artist = std::max(artist, bound(kArtistField, kNameField));
        }
        const float scores[kTagFieldCount] = {title, artist, name, album};
        best = std::max(best, WeightedMeanBound(scores, optional));
    }
    return best;
}

inline bool TagsAccept(float tagScore, float sensitivity) {
    return tagScore >= sensitivity;
}

// 0..100: how far tagScore lies between the sensitivity and 1. At sensitivity
// 1 only a tagScore of exactly 1 passes; it shows 100.
float TagPercent(float tagScore, float sensitivity);
