#include "grip_vectors.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "signal_math.h"
#include "tolerant_compare.h"

namespace {

// Outside these the reference's product of two variances loses precision,
// underflows or overflows, and only the reference itself gives its result.
constexpr float kSmallestScaledVariance = 1e-18f;
constexpr float kLargestScaledVariance = 1e18f;
// Above this the reference's own mean is too far off for the error bound of
// the fast form to be of use.
constexpr double kLargestSlack = 0.01;
constexpr double kUnit = std::numeric_limits<float>::epsilon() / 2;  // unit roundoff

// Error factor of a sum of k rounded terms.
double Gamma(double k) {
    return k * kUnit / (1.0 - k * kUnit);
}

// Fills form from x[0..n) and pads x up to padded with the mean.
void MakeForm(float* x, uint32_t n, uint32_t padded, SeriesForm& form) {
    // The variance as MatchCorrelation computes it, operation by
    // operation, beside the exact figures. Each sum keeps its own order; the
    // sums of one loop are independent chains that the processor runs side
    // by side.
    const float count = static_cast<float>(n);
    float sum = 0.0f;
    double exactSum = 0.0;
    double absoluteSum = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        sum += x[i];
        exactSum += x[i];
        absoluteSum += std::fabs(static_cast<double>(x[i]));
    }
    const float mean = sum / count;
    const double exactMean = exactSum / n;
    float squares = 0.0f;
    double squareNorm = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        const float d = x[i] - mean;
        squares += d * d;
        const double e = x[i] - exactMean;
        squareNorm += e * e;
    }
    form.variance = squares / count;
    form.mean = static_cast<float>(exactMean);
    for (uint32_t i = n; i < padded; ++i) {
        x[i] = std::isfinite(form.mean) ? form.mean : 0.0f;
    }
    // How far the reference's single-precision mean may lie from the exact
    // one, relative to the series' spread: the reference's correlation moves
    // by at most the square of that.
    const double meanError = Gamma(n) * absoluteSum / n + kUnit * std::fabs(exactMean);
    const double slack = squareNorm > 0.0 ? n * meanError * meanError / squareNorm : 0.0;
    form.slack = static_cast<float>(slack);
    form.inverseNorm = squareNorm > 0.0 ? static_cast<float>(1.0 / std::sqrt(squareNorm)) : 0.0f;

    const bool finite = std::isfinite(squareNorm) && std::isfinite(form.variance) &&
                        std::isfinite(form.mean) && std::isfinite(form.inverseNorm);
    const bool scalable =
        form.variance == 0.0f ||
        (form.variance >= kSmallestScaledVariance && form.variance <= kLargestScaledVariance &&
         squareNorm > 0.0 && slack <= kLargestSlack);
    form.raw = !finite || !scalable;
}

// Sixteen partial sums, so the loop runs on vector lanes; padded is a
// multiple of 16. The lanes add in the same order at every vector width, so
// every build of it gives the same result.
typedef float Lanes8 __attribute__((vector_size(32)));

inline __attribute__((always_inline)) float CentredDotBody(const float* a, float ma,
                                                           const float* b, float mb,
                                                           uint32_t padded) {
    Lanes8 low = {};
    Lanes8 high = {};
    const Lanes8 mas = {ma, ma, ma, ma, ma, ma, ma, ma};
    const Lanes8 mbs = {mb, mb, mb, mb, mb, mb, mb, mb};
    for (size_t i = 0; i < padded; i += 16) {
        Lanes8 a0;
        Lanes8 a1;
        Lanes8 b0;
        Lanes8 b1;
        std::memcpy(&a0, a + i, sizeof(a0));
        std::memcpy(&a1, a + i + 8, sizeof(a1));
        std::memcpy(&b0, b + i, sizeof(b0));
        std::memcpy(&b1, b + i + 8, sizeof(b1));
        low += (a0 - mas) * (b0 - mbs);
        high += (a1 - mas) * (b1 - mbs);
    }
    float total = 0.0f;
    for (int k = 0; k < 8; ++k) {
        total += low[k];
    }
    for (int k = 0; k < 8; ++k) {
        total += high[k];
    }
    return total;
}

__attribute__((target("avx2"))) float CentredDotAvx2(const float* a, float ma, const float* b,
                                                     float mb, uint32_t padded) {
    return CentredDotBody(a, ma, b, mb, padded);
}

float CentredDotPlain(const float* a, float ma, const float* b, float mb, uint32_t padded) {
    return CentredDotBody(a, ma, b, mb, padded);
}

using DotFunc = float (*)(const float*, float, const float*, float, uint32_t);

// Chosen once at start. (Not an ifunc: resolvers run before sanitizer
// runtimes are ready.)
const DotFunc CentredDot = __builtin_cpu_supports("avx2") ? CentredDotAvx2 : CentredDotPlain;

// The part of the error bound that depends only on the lengths: rounding of
// the centred values, of the fast form's lane sums and scaling, and of the
// reference's sequential sums, with a margin of 2 for the terms of higher
// order.
float BaseBound(uint32_t n, uint32_t padded) {
    const double fast = Gamma(padded / 16 + 17) + 8 * kUnit;
    const double reference = 2 * Gamma(n + 6);
    return static_cast<float>(2 * (fast + reference));
}

}  // namespace

void MakeGripVectors(const Grip& g, GripVectors& v) {
    std::memcpy(v.spectrum, g.spectrum.data(), sizeof(float) * kComparedBins);
    std::memcpy(v.envelope, g.envelope.data(), sizeof(float) * kEnvelopeLength);
    std::memcpy(v.drift, g.drift.data(), sizeof(float) * kDriftLength);
    MakeForm(v.spectrum, kComparedBins, GripVectors::kSpectrumPadded, v.spectrumForm);
    MakeForm(v.envelope, kEnvelopeLength, GripVectors::kEnvelopePadded, v.envelopeForm);
    MakeForm(v.drift, kDriftLength, GripVectors::kDriftPadded, v.driftForm);
    v.bandEnd = CarriedBandEnd(g.spectrum.data());
    ComputeContour(g.spectrum.data(), v.contour);
    v.contourKey = MakeContourKey(v.contour, v.bandEnd);
}

BoundedScore FastSeriesScore(const float* a, const SeriesForm& fa, const float* b,
                             const SeriesForm& fb, uint32_t n, uint32_t padded) {
    if (fa.raw || fb.raw) {
        return {std::fabs(MatchCorrelation(a, b, n)), 0.0f};
    }
    if (fa.variance * fb.variance == 0.0f) {
        return {0.0f, 0.0f};
    }
    const float dot = CentredDot(a, fa.mean, b, fb.mean, padded);
    const float value = std::fabs(dot) * fa.inverseNorm * fb.inverseNorm;
    const float bound = BaseBound(n, padded) + 2.0f * (fa.slack + fb.slack);
    return {value, std::nextafter(bound, 1.0f)};
}
