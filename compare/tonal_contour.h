// The spectral contour of a Grip: its spectrum read on a scale of semitones
// (twelve bands an octave from 150 Hz to 4.8 kHz), in logarithms, less the
// mean of the seven bands around each. What is left is the pattern of notes
// and partials that a piece dwells on, without the tilt of its sound: an
// equalizer, a dynamic compressor or a narrower band reshape the spectrum but
// keep the pattern, and a copy played a little faster moves each partial by
// a fraction of a band only. Pure functions; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "grip.h"

inline constexpr uint32_t kContourBands = 60;

// contour[0..kContourBands) of spectrum (at least kComparedBins values). A
// spectrum with a value that is not a finite, non-negative number gives a
// contour that is not finite either.
void ComputeContour(const float* spectrum, float* contour);

// The bands two contours are compared over, [first, first + count): all of
// them for two whole bands, else those from 300 Hz up to four fifths of the
// lower band end (bandEndA, bandEndB as CarriedBandEnd gives them).
struct ContourRange {
    uint32_t first;
    uint32_t count;
};
ContourRange SharedContourRange(uint32_t bandEndA, uint32_t bandEndB);

// The correlation of two contours over their shared range; 0 where it is
// negative or either contour is constant there.
float ContourScore(const float* contourA, uint32_t bandEndA, const float* contourB,
                   uint32_t bandEndB);

// A contour in one cache line, for a bound on ContourScore that needs no
// division: the contour centred and scaled to unit length, in steps of
// `step`, and how far that lies from the unit contour itself. A contour that
// is not finite or constant matches nothing (all 0). Whole bands only: a
// contour of a narrow band, or one whose spread is lost in its size, has no
// bound (`error` is kNoContourBound).
struct alignas(64) ContourKey {
    int8_t steps[kContourBands];
    uint16_t step;   // the step, in units of 2^-21
    uint16_t error;  // the distance, in units of 2^-16, rounded up
};
static_assert(sizeof(ContourKey) == 64);
inline constexpr uint16_t kNoContourBound = 0xFFFF;

ContourKey MakeContourKey(const float* contour, uint32_t bandEnd);

// At least ContourScore of the two contours the keys were made of. Inline,
// so that a caller built for wider vectors runs the products on them.
inline float ContourScoreBound(const ContourKey& a, const ContourKey& b) {
    if (a.error == kNoContourBound || b.error == kNoContourBound) {
        return 2.0f;
    }
    // The whole line in two halves of 32 steps, the last four bytes (step
    // and error) cleared in one key. Steps lie within ±127, so the sum of
    // two products fits 16 bits.
    typedef int8_t Steps32 __attribute__((vector_size(32)));
    typedef int16_t Wide32 __attribute__((vector_size(64)));
    typedef int32_t Sums16 __attribute__((vector_size(64)));
    static_assert(kContourBands + 4 == 64 && offsetof(ContourKey, step) == kContourBands);
    Steps32 a0;
    Steps32 a1;
    Steps32 b0;
    Steps32 b1;
    __builtin_memcpy(&a0, &a, sizeof(a0));
    __builtin_memcpy(&a1, reinterpret_cast<const char*>(&a) + 32, sizeof(a1));
    __builtin_memcpy(&b0, &b, sizeof(b0));
    __builtin_memcpy(&b1, reinterpret_cast<const char*>(&b) + 32, sizeof(b1));
    const Steps32 steps = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                           -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0,  0,  0,  0};
    a1 &= steps;
    const Wide32 products =
        __builtin_convertvector(a0, Wide32) * __builtin_convertvector(b0, Wide32) +
        __builtin_convertvector(a1, Wide32) * __builtin_convertvector(b1, Wide32);
    typedef int16_t Half16 __attribute__((vector_size(32)));
    Half16 low;
    Half16 high;
    __builtin_memcpy(&low, &products, sizeof(low));
    __builtin_memcpy(&high, reinterpret_cast<const char*>(&products) + 32, sizeof(high));
    const Sums16 sums =
        __builtin_convertvector(low, Sums16) + __builtin_convertvector(high, Sums16);
    int32_t dot = 0;
    for (int k = 0; k < 16; ++k) {
        dot += sums[k];
    }
    // Unit contours within ea and eb of the keys' own: |a.b - a'.b'| <= ea +
    // eb + ea * eb. The score is never negative.
    const float ea = a.error * (1.0f / 65536.0f);
    const float eb = b.error * (1.0f / 65536.0f);
    const float product = static_cast<float>(a.step) * static_cast<float>(b.step) *
                          (1.0f / 4398046511104.0f) * static_cast<float>(dot);
    const float bound = product + ea + eb + ea * eb + 1e-6f;
    return bound > 0.0f ? bound : 0.0f;
}
