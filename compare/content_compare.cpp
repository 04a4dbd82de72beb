#include "content_compare.h"

#include <cmath>

#include "analyzer.h"
#include "signal.h"

ContentThresholds ThresholdsFor(float s) {
    return ContentThresholds{s * 0.4f + 0.6f, s * 0.8f + 0.2f, s * 1.2f - 0.2f};
}

ContentScores ComputeContentScores(const Grip& a, const Grip& b) {
    ContentScores scores;
    scores.spectrumScore =
        std::fabs(CorrelationCoefficient(a.spectrum.data(), b.spectrum.data(), kComparedBins));
    scores.envelopeScore =
        std::fabs(CorrelationCoefficient(a.envelope.data(), b.envelope.data(), kEnvelopeLength));
    scores.driftScore =
        std::fabs(CorrelationCoefficient(a.drift.data(), b.drift.data(), kDriftLength));
    return scores;
}

ContentScores ComputeContentScores(const Grip& a, const GripVectors& va, const Grip& b,
                                   const GripVectors& vb) {
    ContentScores scores;
    scores.spectrumScore = ScaledSeriesScore(va.spectrum, vb.spectrum, GripVectors::kSpectrumPadded,
                                             va.spectrumVariance, vb.spectrumVariance,
                                             va.spectrumRaw || vb.spectrumRaw, a.spectrum.data(),
                                             b.spectrum.data(), kComparedBins);
    scores.envelopeScore = ScaledSeriesScore(va.envelope, vb.envelope, GripVectors::kEnvelopePadded,
                                             va.envelopeVariance, vb.envelopeVariance,
                                             va.envelopeRaw || vb.envelopeRaw, a.envelope.data(),
                                             b.envelope.data(), kEnvelopeLength);
    scores.driftScore = ScaledSeriesScore(
        va.drift, vb.drift, GripVectors::kDriftPadded, va.driftVariance, vb.driftVariance,
        va.driftRaw || vb.driftRaw, a.drift.data(), b.drift.data(), kDriftLength);
    return scores;
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
