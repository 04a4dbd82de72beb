// Bounds on the spectrumScore of two Grips from a few numbers per Grip: the
// projections of its centred, unit-length spectrum on a few orthonormal
// directions (principal directions of a sample of spectra) and the length of
// what the directions leave out. For unit vectors u, v with projections p, q
// and leftovers r, s: |u.v| <= |p.q| + r * s. Pure functions; a basis is a
// plain value, built once and read by any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "grip_vectors.h"

inline constexpr int kSpectrumDirections = 14;

// kSpectrumDirections orthonormal directions of GripVectors::kSpectrumPadded
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
    // be bounded (no basis, or the reference formula scores the series).
    float margin;
};
inline constexpr float kUnbounded = 1e30f;

void ProjectSpectrum(const SpectrumBasis& basis, const GripVectors& v, SpectrumProjection& out);

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
