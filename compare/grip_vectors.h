// GripVectors: the three compared series of one Grip (spectrum bins 0..1024,
// envelope, drift) as the comparison reads them: the values themselves, for
// the reference correlation, and per series its mean and inverse length, so
// that the correlation of two Grips is one centred dot product per series.
// Kept beside each entry of the fingerprint store, never in the cache file.
// A plain value; built once, read by any number of threads.
#pragma once

#include <cstdint>

#include "grip.h"
#include "tonal_contour.h"

// What a series needs besides its values to be scored fast, and how far
// that fast score may lie from the reference.
struct SeriesForm {
    float mean = 0.0f;         // rounded from the exact mean; also fills the padding
    float inverseNorm = 0.0f;  // 1 / |x - mean|, from the exact mean
    // Population variance exactly as the reference correlation computes it in
    // single precision: when the product of two is 0 the reference yields 0.
    float variance = 0.0f;
    // This series' share of the error bound of a fast score against the
    // reference (the squared relative error of the reference's own mean).
    float slack = 0.0f;
    // The fast form cannot stand for the series (a non-finite value, a
    // variance the reference computes with reduced precision, a constant
    // series whose single-precision variance is not 0): such pairs are scored
    // with the reference formula.
    bool raw = false;
};

struct alignas(64) GripVectors {
    // Lengths rounded up to whole blocks of 16; the padding holds the form's
    // mean, so it adds exactly 0 to a centred dot product.
    static constexpr uint32_t kSpectrumPadded = 1040;
    static constexpr uint32_t kEnvelopePadded = 112;
    static constexpr uint32_t kDriftPadded = 16;

    float spectrum[kSpectrumPadded];
    float envelope[kEnvelopePadded];
    float drift[kDriftPadded];
    SeriesForm spectrumForm;
    SeriesForm envelopeForm;
    SeriesForm driftForm;
    // The end of the band the spectrum carries (CarriedBandEnd):
    // kComparedBins for the whole band.
    uint32_t bandEnd = kComparedBins;
    // The spectrum's contour (ComputeContour) and its key for the bound.
    float contour[kContourBands];
    ContourKey contourKey;
};

// Fills v from g.
void MakeGripVectors(const Grip& g, GripVectors& v);

// A fast score and how far the reference may lie from it: the reference
// |r| lies in [value - bound, value + bound]. bound is 0 when value is the
// reference's own result.
struct BoundedScore {
    float value;
    float bound;
};

// |r| of one series of two Grips from their values a and b (n values, padded
// to padded with each form's mean) and forms.
BoundedScore FastSeriesScore(const float* a, const SeriesForm& fa, const float* b,
                             const SeriesForm& fb, uint32_t n, uint32_t padded);
