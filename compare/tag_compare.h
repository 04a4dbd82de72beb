// Tag comparison of two Grips: substring overlap of title, artist, file name
// and album, the weighted tagScore, the tag rule and the "% tags" figure.
// Pure functions; SubstringOverlap keeps per-thread scratch, so every function
// is safe on any thread.
#pragma once

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

inline bool TagsAccept(float tagScore, float sensitivity) {
    return tagScore >= sensitivity;
}

// 0..100: how far tagScore lies between the sensitivity and 1. At sensitivity
// 1 only a tagScore of exactly 1 passes; it shows 100.
float TagPercent(float tagScore, float sensitivity);
