// The tolerant content comparison: the envelopes and drifts of two Grips
// compared at their best alignment within a bounded shift, and the spectra
// over the band both files carry, so that a copy that starts elsewhere (a
// cut start, a fade-in, a lead-in of hiss) or that lost its upper band (a
// telephone copy, a low-rate encoding) still matches. Pure functions; safe
// on any thread.
#pragma once

#include <cstdint>

#include "content_compare.h"
#include "grip.h"
#include "grip_vectors.h"

// Envelope stretches are 6615 samples (0.3 s at 22050 Hz); the windows of two
// files are tried at shifts of up to this many stretches either way (8.1 s),
// so every compared overlap holds at least 73 stretches.
inline constexpr int32_t kMaxShiftStretches = 27;
inline constexpr float kStretchSeconds = 6615.0f / 22050.0f;

// A narrow band is compared from this bin (300 Hz) up to four fifths of the
// lower of the two bands' ends, clear of the edges that filters round off.
inline constexpr uint32_t kNarrowBandFirstBin = 28;

// The end (exclusive, in spectrum bins) of the band a spectrum carries:
// kComparedBins for the whole band, else the bin at which it falls onto the
// flat floor that the transform's leakage leaves above a band limit. spectrum
// holds at least kComparedBins values. A spectrum with a value that is not a
// finite, non-negative number carries the whole band.
uint32_t CarriedBandEnd(const float* spectrum);

// The tolerant scores of a pair. a is the later file.
struct TolerantScores {
    float spectrumScore = 0.0f;  // |r| over the shared band (the whole band: as laid)
    float envelopeScore = 0.0f;  // |r| of the envelopes at the best alignment
    float driftScore = 0.0f;     // |r| of the drifts at that alignment
    // The best alignment in stretches: a's stretch i lies against b's
    // stretch i + shift, so the music comes shift * kStretchSeconds later in
    // b's analysed window than in a's.
    int32_t shift = 0;
    bool narrowBand = false;    // a band end below kComparedBins bounds the spectra
    float contourScore = 0.0f;  // ContourScore of the two spectra's contours
};

// As laid, a pair of whole bands passes only with an envelope score of at
// least this share of the pair threshold: envelopes that do not agree at all
// leave rule 1 to the spectrum and the drift, which unrelated pieces of one
// style can reach.
inline constexpr float kLaidEnvelopeShare = 0.3f;
// ...unless the whole band's spectra agree so closely that "% content"
// reaches this share of its range (0.97 at the default sensitivity): no two
// unrelated pieces of one style come that close, while the envelope of a
// faded-in or re-timed copy may agree at no alignment at all.
inline constexpr float kCloseSpectrumShare = 0.7f;

// The spectrum score at which a pair's "% content" reaches
// kCloseSpectrumShare of its range.
float CloseSpectrumThreshold(float sensitivity);

// A pair whose spectral contours agree this far below the strict threshold
// is a copy however the time-ordered series fare (a copy played faster, an
// equalized, compressed or telephone copy)...
inline constexpr float kContourMargin = 0.02f;
// ...when the spectra over their shared band agree at least this much: the
// contours of unrelated pieces in one key and style can come close, but the
// broad shapes of their sounds then differ wholly.
inline constexpr float kContourShapeFloor = 0.2f;
float ContourThreshold(float sensitivity);

// The reference formulas, from the series themselves: spectrum kComparedBins
// values, envelope kEnvelopeLength, drift kDriftLength, contour kContourBands.
// bandEndA and bandEndB are CarriedBandEnd of the spectra.
struct SeriesOf {
    const float* spectrum;
    const float* envelope;
    const float* drift;
    const float* contour;
    uint32_t bandEnd;
};
TolerantScores ComputeTolerantScores(const SeriesOf& a, const SeriesOf& b);
TolerantScores ComputeTolerantScores(const Grip& a, const Grip& b);
TolerantScores ComputeTolerantScores(const GripVectors& a, const GripVectors& b);
// Its shift alone, for the figures of a listed pair.
int32_t BestShift(const GripVectors& a, const GripVectors& b);

// The tolerant acceptance: a pair of whole bands that the rules accept as
// laid (asLaid, the scores of ComputeContentScores) with an envelope score of
// at least kLaidEnvelopeShare of the pair threshold or a spectrum score of at
// least CloseSpectrumThreshold; or a pair whose
// envelopes reach the loose threshold at their best alignment and whose
// tolerant scores pass either rule; or a pair whose contours reach
// ContourThreshold and whose spectra reach kContourShapeFloor. A pair with a
// narrow band is judged by the last two alone: what lies beyond the band
// never counts as agreement.
bool TolerantAccepts(const ContentScores& asLaid, const TolerantScores& tolerant,
                     float sensitivity);

// Which of those ways accepts a pair first, in the order above.
enum class TolerantWay { kNone, kAsLaid, kContour, kAligned };
TolerantWay TolerantWayOf(const ContentScores& asLaid, const TolerantScores& tolerant,
                          float sensitivity);

// Exactly TolerantAccepts of the reference scores of a and b, from fast
// scores wherever they decide; the alignment is tried only for pairs whose
// spectrum may reach the loose threshold, and *aligned (when not null) says
// whether it was. A pair whose spectrum score lies below the loose
// threshold and whose ContourScoreBound lies below ContourThreshold is
// never accepted: a pass need not ask.
bool JudgeTolerant(const GripVectors& a, const GripVectors& b, float sensitivity,
                   bool* aligned = nullptr);

// For a pair whose spectrum score lies below the strict threshold and whose
// contours cannot pass: false when no rule can accept it, since the one left
// asks the drifts to reach the loose threshold, as laid (strict) or at one of
// their shifts. Reads the drifts alone (GripVectors::drift, padded as there),
// so a pass asks it before the spectra.
bool DriftMayPass(const float* driftA, const float* driftB, float sensitivity, bool strict);
