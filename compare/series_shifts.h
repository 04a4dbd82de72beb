// The scores of two series laid against each other at several shifts, for
// the tolerant comparison: the reference correlation at every shift at once,
// on vector lanes; fast scores with a bound on how far the reference lies
// from them; and a cheap screen that rules out the shifts at which the
// reference surely stays below a threshold. Pure functions, and values that
// live on one caller's stack; safe on any thread.
#pragma once

#include <cstdint>

#include "grip_vectors.h"
#include "tolerant_compare.h"

// Shift number q in the order the shifts are tried: 0, -1, 1, -2, 2, ...
constexpr int32_t ShiftAt(int32_t q) {
    return q % 2 == 0 ? q / 2 : -(q + 1) / 2;
}

// |r| of x and y (n values), fast, with its bound; the reference itself
// where the bound cannot be had.
BoundedScore FastScore(const float* x, const float* y, uint32_t n);

// Two series of Length values at the first Shifts shifts (in the order
// ShiftAt gives; a's value i against b's value i + shift): the sums of each
// overlap, and their products in single precision for the screen. The
// double-precision products that the bounded scores need are made only for
// the shifts that ask for them. a and b must outlive the object.
template <uint32_t Length, int32_t Shifts>
class SeriesShifts {
  public:
    static_assert(Shifts % 2 == 1 && Shifts <= 64 && Shifts / 2 < static_cast<int32_t>(Length));

    SeriesShifts(const float* a, const float* b);

    // The shift numbers q (bit q) at which the reference's score may reach
    // threshold: a quick look that never leaves out a shift wrongly, for
    // the pairs that are nowhere near it.
    uint64_t MayReach(float threshold) const;

    // The fast score of shift number q with its bound (0 where the
    // reference gave it).
    BoundedScore At(int32_t q);

  private:
    static constexpr int32_t kMaxShift = Shifts / 2;
    // Shifts rounded up to whole vectors of eight.
    static constexpr uint32_t kPadded = (Shifts + 7) / 8 * 8;

    const float* m_a;
    const float* m_b;
    // Running sums from the start: [0] is 0, [i] holds the first i values.
    double m_sumA[Length + 1];
    double m_squaresA[Length + 1];
    double m_absoluteA[Length + 1];
    double m_sumB[Length + 1];
    double m_squaresB[Length + 1];
    double m_absoluteB[Length + 1];
    // By shift (from -kMaxShift): the products in single precision, for the
    // screen.
    float m_screenProducts[kPadded];
    // By shift number: the products in double precision where
    // m_productsMade has bit q.
    double m_products[Shifts];
    uint64_t m_productsMade = 0;
};

using EnvelopeShifts = SeriesShifts<kEnvelopeLength, 2 * kMaxShiftStretches + 1>;

// out[s + kMaxShiftStretches] (out holds 56 values) is exactly the
// reference's |r| of envelopes a and b laid at shift s (a's value i against
// b's value i + s), for every s from -kMaxShiftStretches to
// kMaxShiftStretches: the same bits as MatchCorrelation over each overlap,
// at a fraction of the cost.
void EnvelopeScoresAtEveryShift(const float* a, const float* b, float* out);

// The drift follows elevenths of the window and moves by at most this many
// values either way.
inline constexpr int32_t kMaxDriftShift = 3;

// The same for drifts a and b, from -kMaxDriftShift to kMaxDriftShift; out
// holds 8 values.
void DriftScoresAtEveryShift(const float* a, const float* b, float* out);
