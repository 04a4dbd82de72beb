// Why a pair is listed, worked out again from the two Grips with the
// comparison's own score functions: the three content scores (and, in the
// tolerant comparison, the scores at the best alignment, over the shared
// band and of the contours) and the rule that accepted the pair, the four field scores of the tags with what the
// tag comparison did to them, and the figures shown in the list. Pure
// functions; any thread.
#pragma once

#include <array>
#include <cstdint>

#include "content_compare.h"
#include "grip.h"
#include "tag_compare.h"
#include "tolerant_compare.h"

// What listed a pair, in the order the comparison tries it.
enum class AcceptedBy {
    kNothing,         // not listed under these settings
    kStrongSpectrum,  // content rule 1: spectrum, and envelope + drift
    kThreeFair,       // content rule 2: all three scores
    kContour,         // tolerant: the spectral contours
    kAligned,         // tolerant: either content rule at the best alignment
    kTags,            // the tag rule
};

struct PairExplanation {
    float sensitivity = 0.0f;
    int32_t method = 0;
    ContentScores content;
    ContentThresholds thresholds{};
    bool strongSpectrum = false;  // content rule 1 holds
    bool threeFair = false;       // content rule 2 holds
    AcceptedBy acceptedBy = AcceptedBy::kNothing;
    // The tolerant comparison's scores (all 0 in the strict comparison).
    bool strictCompare = true;
    TolerantScores tolerant;
    float contourThreshold = 0.0f;

    TagScores tags;  // tags.tagScore is the raw score, before the rescaling
    // Title, artist, file name, album (TagField order): taking part in the
    // weighting, and whether the two texts differ.
    std::array<bool, kTagFieldCount> takesPart{};
    std::array<bool, kTagFieldCount> differs{};
    bool swapped = false;        // title and artist were compared crosswise
    bool nameForTitle = false;   // a file name stood in for a missing title
    bool nameForArtist = false;  // ... for a missing artist

    float contentPercent = 0.0f;  // the "% content" figure
    float tagPercent = 0.0f;      // the "% tags" figure
};

// later is the file that joined the scan later (File #1), earlier File #2.
PairExplanation ExplainPair(const Grip& later, const Grip& earlier, float sensitivity,
                            int32_t method, bool strictCompare);
