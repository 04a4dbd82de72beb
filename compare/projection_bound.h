// Bounds on the spectrumScore of two Grips from a few numbers per Grip: the
// projections of its centred, unit-length spectrum on a few orthonormal
// directions (principal directions of a sample of spectra) and the length of
// what the directions leave out. For unit vectors u, v with projections p, q
// and leftovers r, s: |u.v| <= |p.q| + r * s. A second record holds the
// projections on the next directions, for a tighter bound on the few pairs
// the first leaves open. Pure functions; a basis is a plain value, built
// once and read by any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "grip_vectors.h"

inline constexpr int kSpectrumDirections = 14;
// The next principal directions, read only for the few pairs that the first
// ones leave open.
inline constexpr int kFinerDirections = 15;
inline constexpr int kBasisDirections = kSpectrumDirections + kFinerDirections;

// kBasisDirections orthonormal directions of GripVectors::kSpectrumPadded
// values each (the padding 0), or none.
struct SpectrumBasis {
    std::vector<float> directions;
    bool empty() const { return directions.empty(); }
};

// The principal directions of the given Grips' centred, unit-length spectra
// (uncentred across the sample, so the shape that all spectra share comes
// first). Series that the fast form cannot score are skipped. Empty when no
// series is left.
SpectrumBasis BuildSpectrumBasis(const std::vector<const GripVectors*>& sample);

// One Grip's projections, leftover length and error margin in one cache line.
struct alignas(64) SpectrumProjection {
    float p[kSpectrumDirections];
    // Length of the part outside the directions.
    float residual;
    // This Grip's share of the distance between the bound and the reference;
    // residual and margin are kUnbounded when the Grip's spectrumScore cannot
    // be bounded (no basis, the reference formula scores the series, or the
    // spectrum carries a narrow band).
    float margin;
};
inline constexpr float kUnbounded = 1e30f;

// The same Grip's projections on the next directions, in a cache line of
// their own, and the length of what all directions leave out (kUnbounded
// when the Grip's spectrumScore cannot be bounded).
struct alignas(64) FinerProjection {
    float p[kFinerDirections];
    float residual;
};

struct SpectrumBounds {
    SpectrumProjection projection;
    FinerProjection finer;
};

void ProjectSpectrum(const SpectrumBasis& basis, const GripVectors& v, SpectrumBounds& out);

// At least the reference spectrumScore of the two Grips.
inline float SpectrumScoreBound(const SpectrumProjection& a, const SpectrumProjection& b) {
    typedef float Lanes8 __attribute__((vector_size(32)));
    Lanes8 a0;
    Lanes8 a1;
    Lanes8 b0;
    Lanes8 b1;
    __builtin_memcpy(&a0, a.p, sizeof(a0));
    __builtin_memcpy(&a1, a.p + 8, sizeof(a1));
    __builtin_memcpy(&b0, b.p, sizeof(b0));
    __builtin_memcpy(&b1, b.p + 8, sizeof(b1));
    // Lanes 6 and 7 of the upper half are residual and margin: cleared
    // before the product, which could overflow.
    const Lanes8 keep = {1, 1, 1, 1, 1, 1, 0, 0};
    const Lanes8 sum = a0 * b0 + (a1 * keep) * b1;
    float dot = 0.0f;
    for (int k = 0; k < 8; ++k) {
        dot += sum[k];
    }
    return (dot < 0.0f ? -dot : dot) + a.residual * b.residual + (a.margin + b.margin);
}

// At least the reference spectrumScore of the two Grips, from the products
// on all directions and what they all leave out: tighter than
// SpectrumScoreBound, at the cost of a second cache line per Grip.
inline float FinerSpectrumScoreBound(const SpectrumProjection& a, const FinerProjection& fa,
                                     const SpectrumProjection& b, const FinerProjection& fb) {
    typedef float Lanes8 __attribute__((vector_size(32)));
    Lanes8 lanes[8];
    const float* from[8] = {a.p, a.p + 8, b.p, b.p + 8, fa.p, fa.p + 8, fb.p, fb.p + 8};
    for (int k = 0; k < 8; ++k) {
        __builtin_memcpy(&lanes[k], from[k], sizeof(Lanes8));
    }
    // Lanes 6 and 7 of the first record's upper half are residual and
    // margin, lane 7 of the finer one's is its residual: cleared before the
    // product, which could overflow.
    const Lanes8 keepFirst = {1, 1, 1, 1, 1, 1, 0, 0};
    const Lanes8 keepFiner = {1, 1, 1, 1, 1, 1, 1, 0};
    const Lanes8 sum = lanes[0] * lanes[2] + (lanes[1] * keepFirst) * lanes[3] +
                       lanes[4] * lanes[6] + (lanes[5] * keepFiner) * lanes[7];
    float dot = 0.0f;
    for (int k = 0; k < 8; ++k) {
        dot += sum[k];
    }
    return (dot < 0.0f ? -dot : dot) + fa.residual * fb.residual + (a.margin + b.margin);
}
