// GripVectors: the three compared series of one Grip (spectrum bins 0..1024,
// envelope, drift), each centred on its mean and scaled to unit length once,
// so that the correlation coefficient of two Grips is one dot product per
// series. Kept beside each Grip in the fingerprint store, never in the cache
// file. A plain value; built once, read by any number of threads.
#pragma once

#include <cstdint>

#include "grip.h"

struct alignas(64) GripVectors {
    // Lengths rounded up to whole blocks of 16; the padding is zero.
    static constexpr uint32_t kSpectrumPadded = 1040;
    static constexpr uint32_t kEnvelopePadded = 112;
    static constexpr uint32_t kDriftPadded = 16;

    float spectrum[kSpectrumPadded];
    float envelope[kEnvelopePadded];
    float drift[kDriftPadded];
    // Population variance of each series exactly as the reference correlation
    // computes it in single precision: when the product of two is 0 the
    // reference yields 1.
    float spectrumVariance;
    float envelopeVariance;
    float driftVariance;
    // Set when a series cannot be scaled (it holds a non-finite value, or it
    // is constant in double precision but not in single, or its variance is so
    // small that the reference computes it with reduced precision): such pairs are
    // scored with the reference formula on the Grips themselves.
    bool spectrumRaw;
    bool envelopeRaw;
    bool driftRaw;
};

// Fills v from g.
void MakeGripVectors(const Grip& g, GripVectors& v);

// |r| of one series of two Grips: ua and ub are their scaled forms (padded
// zeros included), varA and varB their single-precision variances, a and b
// the raw series of n values, used when raw is set.
float ScaledSeriesScore(const float* ua, const float* ub, uint32_t padded, float varA, float varB,
                        bool raw, const float* a, const float* b, uint32_t n);
