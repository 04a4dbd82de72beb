// Content comparison of two Grips: three correlation scores, the two
// acceptance rules that move with the sensitivity, and the "% content"
// figure. Pure functions; safe on any thread.
#pragma once

#include "grip.h"
#include "grip_vectors.h"

struct ContentScores {
    float spectrumScore = 0.0f;  // |r| of spectrum bins 0..1024
    float envelopeScore = 0.0f;  // |r| of the envelopes
    float driftScore = 0.0f;     // |r| of the drifts
};

// Thresholds derived from a sensitivity s in 0..1.
struct ContentThresholds {
    float strict;  // s * 0.4 + 0.6
    float loose;   // s * 0.8 + 0.2
    float pair;    // s * 1.2 - 0.2
};

ContentThresholds ThresholdsFor(float sensitivity);

// a is the file that joined the scan later; its fields are the first series.
ContentScores ComputeContentScores(const Grip& a, const Grip& b);

// The same scores from the series held beside two Grips.
ContentScores ComputeContentScores(const GripVectors& a, const GripVectors& b);
// Its spectrumScore alone, for the figure of a listed pair.
float SpectrumScore(const GripVectors& a, const GripVectors& b);
// The same bits for a against up to kSpectrumLanes Grips at once:
// out[k] = SpectrumScore(a, *others[k]) for k < count.
inline constexpr uint32_t kSpectrumLanes = 8;
void SpectrumScores(const GripVectors& a, const GripVectors* const* others, uint32_t count,
                    float* out);

// Fast scores of the held series, each with the distance within which the
// reference score lies.
struct BoundedContentScores {
    BoundedScore spectrum;
    BoundedScore envelope;
    BoundedScore drift;
};
BoundedContentScores FastContentScores(const GripVectors& a, const GripVectors& b);

// Exactly ContentAccepts(ComputeContentScores(a, b), sensitivity), from the
// fast scores wherever they are far enough from every threshold that
// decides; the reference scores are computed only for the other pairs.
// *spectrum (when not null) receives the fast spectrum score it began with.
bool JudgeContent(const GripVectors& a, const GripVectors& b, float sensitivity,
                  BoundedScore* spectrum = nullptr);

// Rule 1 (strong spectrum, envelope + drift at least the pair threshold) or
// rule 2 (all three at least the loose threshold). NaN fails both.
bool ContentAccepts(const ContentScores& scores, float sensitivity);

// 0..100: how far spectrumScore lies between the strict threshold and 1. At
// sensitivity 1 only a score of exactly 1 reaches the threshold; it shows 100.
float ContentPercent(float spectrumScore, float sensitivity);
