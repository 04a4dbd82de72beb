#include "grip_vectors.h"

#include <cmath>
#include <cstring>

#include "analyzer.h"
#include "signal.h"

namespace {

constexpr float kSmallestScaledVariance = 1e-18f;

// Scales x[0..n) into u[0..padded) and reports the reference's variance.
// Returns false when the scaled form cannot stand for the series.
bool ScaleSeries(const float* x, uint32_t n, float* u, uint32_t padded, float* variance) {
    // The variance as CorrelationCoefficient computes it, operation by operation.
    const float count = static_cast<float>(n);
    float sum = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        sum += x[i];
    }
    const float mean = sum / count;
    float squares = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        const float d = x[i] - mean;
        squares += d * d;
    }
    *variance = squares / count;

    double exactSum = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        exactSum += x[i];
    }
    const double exactMean = exactSum / n;
    double norm = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        const double d = x[i] - exactMean;
        norm += d * d;
    }
    norm = std::sqrt(norm);
    std::memset(u, 0, sizeof(float) * padded);
    if (!std::isfinite(norm) || !std::isfinite(*variance)) {
        return false;
    }
    // Below this the reference's product of two variances loses precision
    // (or underflows), and only the reference itself gives its result.
    if (*variance > 0.0f && *variance < kSmallestScaledVariance) {
        return false;
    }
    if (norm == 0.0) {
        // Constant: the reference yields 1 against anything, which the
        // variance test reproduces only when its own variance is 0 as well.
        return *variance == 0.0f;
    }
    for (uint32_t i = 0; i < n; ++i) {
        u[i] = static_cast<float>((x[i] - exactMean) / norm);
    }
    return true;
}

// Sixteen partial sums, so the loop runs on vector lanes; padded is a
// multiple of 16. The lanes add in the same order at every vector width, so
// every build of it gives the same result.
typedef float Lanes8 __attribute__((vector_size(32)));

inline __attribute__((always_inline)) float DotBody(const float* a, const float* b,
                                                    uint32_t padded) {
    Lanes8 low = {};
    Lanes8 high = {};
    for (size_t i = 0; i < padded; i += 16) {
        Lanes8 a0;
        Lanes8 a1;
        Lanes8 b0;
        Lanes8 b1;
        std::memcpy(&a0, a + i, sizeof(a0));
        std::memcpy(&a1, a + i + 8, sizeof(a1));
        std::memcpy(&b0, b + i, sizeof(b0));
        std::memcpy(&b1, b + i + 8, sizeof(b1));
        low += a0 * b0;
        high += a1 * b1;
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

__attribute__((target("avx2"))) float DotAvx2(const float* a, const float* b, uint32_t padded) {
    return DotBody(a, b, padded);
}

float DotPlain(const float* a, const float* b, uint32_t padded) {
    return DotBody(a, b, padded);
}

using DotFunc = float (*)(const float*, const float*, uint32_t);

// Chosen once at start. (Not an ifunc: resolvers run before sanitizer
// runtimes are ready.)
const DotFunc Dot = __builtin_cpu_supports("avx2") ? DotAvx2 : DotPlain;

}  // namespace

void MakeGripVectors(const Grip& g, GripVectors& v) {
    v.spectrumRaw = !ScaleSeries(g.spectrum.data(), kComparedBins, v.spectrum,
                                 GripVectors::kSpectrumPadded, &v.spectrumVariance);
    v.envelopeRaw = !ScaleSeries(g.envelope.data(), kEnvelopeLength, v.envelope,
                                 GripVectors::kEnvelopePadded, &v.envelopeVariance);
    v.driftRaw = !ScaleSeries(g.drift.data(), kDriftLength, v.drift, GripVectors::kDriftPadded,
                              &v.driftVariance);
}

float ScaledSeriesScore(const float* ua, const float* ub, uint32_t padded, float varA, float varB,
                        bool raw, const float* a, const float* b, uint32_t n) {
    if (raw) {
        return std::fabs(CorrelationCoefficient(a, b, n));
    }
    if (varA * varB == 0.0f) {
        return 1.0f;
    }
    return std::fabs(Dot(ua, ub, padded));
}
