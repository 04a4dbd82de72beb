// Signal-processing primitives shared by the fingerprint extraction and the
// comparisons: a radix-2 transform and its inverse, the correlation
// coefficient, and two cross-correlations that report their peak lag.
// All arrays are caller-owned 32-bit floats. Pure functions, safe on any thread.
#pragma once

#include <cstdint>

// In-place decimation-in-time transform of n points (a power of two, or 1):
// X[k] = sum x[m] e^(+2 pi i m k / n), unscaled.
void Fft(float* re, float* im, uint32_t n);

// The transform of the n real samples in[0..n) into re and im: the same bits
// as Fft on re = in, im = 0, with less work. in must not overlap re or im.
void FftOfReal(const float* in, float* re, float* im, uint32_t n);

// The transform with the opposite sign, scaled by 1/n: undoes Fft.
void InverseFft(float* re, float* im, uint32_t n);

// Pearson correlation (population form, float accumulators) of a[0..n) and
// b[0..n); 1.0 when either series is constant.
float CorrelationCoefficient(const float* a, const float* b, uint32_t n);

// The same as a measure of likeness: 0 when either series is constant, as a
// series without variance (silence, a constant) resembles nothing.
float MatchCorrelation(const float* a, const float* b, uint32_t n);

// out[k] = sum_m x[k - (nh-1) + m] * h[m] for k < nx + nh - 1 (x is zero
// outside 0..nx-1), computed by overlap-add through the transform. out may be
// null. Returns the index of the first strictly largest positive value, 0 when
// none is positive.
uint32_t CrossCorrelate(const float* x, uint32_t nx, const float* h, uint32_t nh, float* out);

// As CrossCorrelate, but each output becomes the correlation coefficient of h
// with the nh-sample window of x ending at k (0 where either window is
// constant). Returns the index of the first strictly largest positive value.
uint32_t NormalizedCrossCorrelate(const float* x, uint32_t nx, const float* h, uint32_t nh,
                                  float* out);
