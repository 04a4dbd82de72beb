#include "content_compare.h"

#include <algorithm>
#include <cmath>

#include "signal_math.h"

ContentThresholds ThresholdsFor(float s) {
    return ContentThresholds{s * 0.4f + 0.6f, s * 0.8f + 0.2f, s * 1.2f - 0.2f};
}

ContentScores ComputeContentScores(const Grip& a, const Grip& b) {
    ContentScores scores;
    scores.spectrumScore =
        std::fabs(MatchCorrelation(a.spectrum.data(), b.spectrum.data(), kComparedBins));
    scores.envelopeScore =
        std::fabs(MatchCorrelation(a.envelope.data(), b.envelope.data(), kEnvelopeLength));
    scores.driftScore = std::fabs(MatchCorrelation(a.drift.data(), b.drift.data(), kDriftLength));
    return scores;
}

ContentScores ComputeContentScores(const GripVectors& a, const GripVectors& b) {
    ContentScores scores;
    scores.spectrumScore = SpectrumScore(a, b);
    scores.envelopeScore = std::fabs(MatchCorrelation(a.envelope, b.envelope, kEnvelopeLength));
    scores.driftScore = std::fabs(MatchCorrelation(a.drift, b.drift, kDriftLength));
    return scores;
}

float SpectrumScore(const GripVectors& a, const GripVectors& b) {
    return std::fabs(MatchCorrelation(a.spectrum, b.spectrum, kComparedBins));
}

namespace {

// Built for wider vectors as well; internal, as a function with clones can
// be called only where its clones are declared.
HF_CLONES_AVX2 void SpectrumScoresOnLanes(const GripVectors& a, const GripVectors* const* others,
                                          uint32_t count, float* out) {
    // Each lane runs the reference's operations on one other Grip in the
    // reference's order; a's own sums are the same on every lane.
    typedef float Lanes8 __attribute__((vector_size(32)));
    static_assert(kSpectrumLanes == 8);
    if (count == 0) {
        return;
    }
    const float* b[kSpectrumLanes];
    for (uint32_t l = 0; l < kSpectrumLanes; ++l) {
        b[l] = others[std::min(l, count - 1)]->spectrum;
    }
    // The lanes' values at bin i.
    auto across = [&](uint32_t i, Lanes8& y) {
        for (uint32_t l = 0; l < kSpectrumLanes; ++l) {
            y[l] = b[l][i];
        }
    };
    const float n = static_cast<float>(kComparedBins);
    float sumA = 0.0f;
    Lanes8 sumB = {};
    for (uint32_t i = 0; i < kComparedBins; ++i) {
        Lanes8 y;
        across(i, y);
        sumA += a.spectrum[i];
        sumB += y;
    }
    const float meanA = sumA / n;
    const Lanes8 meanB = sumB / n;
    Lanes8 cov = {};
    float varA = 0.0f;
    Lanes8 varB = {};
    for (uint32_t i = 0; i < kComparedBins; ++i) {
        Lanes8 y;
        across(i, y);
        const float da = a.spectrum[i] - meanA;
        const Lanes8 db = y - meanB;
        cov += da * db;
        varA += da * da;
        varB += db * db;
    }
    cov /= n;
    varA /= n;
    varB /= n;
    for (uint32_t l = 0; l < count; ++l) {
        const float den = std::sqrt(varA * varB[l]);
        out[l] = den == 0.0f ? 0.0f : std::fabs(cov[l] / den);
    }
}

}  // namespace

void SpectrumScores(const GripVectors& a, const GripVectors* const* others, uint32_t count,
                    float* out) {
    SpectrumScoresOnLanes(a, others, count, out);
}

namespace {

BoundedScore FastSpectrumScore(const GripVectors& a, const GripVectors& b) {
    return FastSeriesScore(a.spectrum, a.spectrumForm, b.spectrum, b.spectrumForm, kComparedBins,
                           GripVectors::kSpectrumPadded);
}

// The fast scores of two Grips whose spectrum score is known.
BoundedContentScores WithEnvelopeAndDrift(BoundedScore spectrum, const GripVectors& a,
                                          const GripVectors& b) {
    return BoundedContentScores{
        spectrum,
        FastSeriesScore(a.envelope, a.envelopeForm, b.envelope, b.envelopeForm, kEnvelopeLength,
                        GripVectors::kEnvelopePadded),
        FastSeriesScore(a.drift, a.driftForm, b.drift, b.driftForm, kDriftLength,
                        GripVectors::kDriftPadded)};
}

}  // namespace

BoundedContentScores FastContentScores(const GripVectors& a, const GripVectors& b) {
    return WithEnvelopeAndDrift(FastSpectrumScore(a, b), a, b);
}

namespace {

// A comparison whose outcome the fast scores may leave open.
enum class Truth { kNo, kYes, kOpen };

Truth And(Truth x, Truth y) {
    if (x == Truth::kNo || y == Truth::kNo) {
        return Truth::kNo;
    }
    return x == Truth::kYes && y == Truth::kYes ? Truth::kYes : Truth::kOpen;
}

Truth Or(Truth x, Truth y) {
    if (x == Truth::kYes || y == Truth::kYes) {
        return Truth::kYes;
    }
    return x == Truth::kNo && y == Truth::kNo ? Truth::kNo : Truth::kOpen;
}

// reference >= threshold, for a reference within bound of value.
Truth AtLeast(float value, float bound, float threshold) {
    if (bound == 0.0f) {
        return value >= threshold ? Truth::kYes : Truth::kNo;
    }
    if (value - threshold > bound) {
        return Truth::kYes;
    }
    return threshold - value > bound ? Truth::kNo : Truth::kOpen;
}

// Rounding of a single-precision sum of two scores up to 1.
constexpr float kSumRounding = 2.5e-7f;

}  // namespace

bool JudgeContent(const GripVectors& a, const GripVectors& b, float sensitivity,
                  BoundedScore* spectrumOut) {
    const ContentThresholds t = ThresholdsFor(sensitivity);
    // Neither rule holds below the loose threshold: most pairs end here,
    // before their envelopes and drifts are read.
    const BoundedScore spectrum = FastSpectrumScore(a, b);
    if (spectrumOut != nullptr) {
        *spectrumOut = spectrum;
    }
    if (AtLeast(spectrum.value, spectrum.bound, t.loose) == Truth::kNo) {
        return false;
    }
    const BoundedContentScores f = WithEnvelopeAndDrift(spectrum, a, b);
    const float sumBound = f.envelope.bound == 0.0f && f.drift.bound == 0.0f
                               ? 0.0f
                               : f.envelope.bound + f.drift.bound + kSumRounding;
    const Truth rule1 = And(AtLeast(f.spectrum.value, f.spectrum.bound, t.strict),
                            AtLeast(f.envelope.value + f.drift.value, sumBound, t.pair));
    const Truth rule2 = And(AtLeast(f.spectrum.value, f.spectrum.bound, t.loose),
                            And(AtLeast(f.envelope.value, f.envelope.bound, t.loose),
                                AtLeast(f.drift.value, f.drift.bound, t.loose)));
    const Truth verdict = Or(rule1, rule2);
    if (verdict != Truth::kOpen) {
        return verdict == Truth::kYes;
    }
    return ContentAccepts(ComputeContentScores(a, b), sensitivity);
}

bool ContentAccepts(const ContentScores& scores, float sensitivity) {
    const ContentThresholds t = ThresholdsFor(sensitivity);
    if (scores.spectrumScore >= t.strict && scores.envelopeScore + scores.driftScore >= t.pair) {
        return true;
    }
    return scores.spectrumScore >= t.loose && scores.envelopeScore >= t.loose &&
           scores.driftScore >= t.loose;
}

float ContentPercent(float spectrumScore, float sensitivity) {
    const float strict = ThresholdsFor(sensitivity).strict;
    const float range = 1.0f - strict;
    if (range == 0.0f) {
        return spectrumScore >= 1.0f ? 100.0f : 0.0f;
    }
    const float q = (spectrumScore - strict) / range;
    return (q > 0.0f ? q : 0.0f) * 100.0f;
}
