#include "tolerant_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "series_shifts.h"
#include "signal_math.h"

namespace {

// Band ends are found on columns of 32 bins (344 Hz), bins 0..1023.
constexpr uint32_t kColumnBins = 32;
constexpr uint32_t kColumns = 32;
// A band ends no lower than column 4 (1.4 kHz)...
constexpr uint32_t kLowestEndColumn = 4;
// ...onto a floor at least three columns (1 kHz) wide, whose highest column
// is at most 1.5 times its lowest (the leakage of a transform without a
// window is flat in the weighted spectrum)...
constexpr uint32_t kLeastFloorColumns = 3;
constexpr double kFloorFlatness = 1.5;
// ...and that lies below a third of the mean of the columns beneath it.
constexpr double kBandLift = 3.0;
// Four fifths of the band end are compared.
constexpr uint32_t kBandShareNumerator = 4;
constexpr uint32_t kBandShareDenominator = 5;

constexpr int32_t kShiftCount = 2 * kMaxShiftStretches + 1;
static_assert(kEnvelopeLength - kMaxShiftStretches >= 60, "an overlap spans at least 18 s");

// Drift values follow elevenths of the window, envelope stretches
// hundredths: a shift of k stretches moves the drift by k * 11 / 100
// values, rounded half away from zero.
constexpr int32_t kDriftSegments = 11;
constexpr int32_t kStretches = 100;
static_assert(kDriftLength + 1 == kDriftSegments && kEnvelopeLength == kStretches);

float Score(const float* a, const float* b, uint32_t n) {
    return std::fabs(MatchCorrelation(a, b, n));
}

constexpr int32_t DriftShift(int32_t shift) {
    return (shift * kDriftSegments + (shift >= 0 ? kStretches / 2 : -kStretches / 2)) / kStretches;
}
static_assert(DriftShift(kMaxShiftStretches) == kMaxDriftShift);

constexpr uint64_t kEveryShift = (uint64_t{1} << kShiftCount) - 1;
// By drift shift (from -kMaxDriftShift): the envelope shifts (bit q for
// shift number q) that move the drift by it.
struct ShiftsOfDrift {
    uint64_t masks[2 * kMaxDriftShift + 1];
};
constexpr ShiftsOfDrift kShiftsOfDrift = [] {
    ShiftsOfDrift out{};
    for (int32_t q = 0; q < kShiftCount; ++q) {
        out.masks[DriftShift(ShiftAt(q)) + kMaxDriftShift] |= uint64_t{1} << q;
    }
    return out;
}();

float EnvelopeAt(const float* a, const float* b, int32_t shift) {
    const int32_t first = std::max(0, -shift);
    const uint32_t count = kEnvelopeLength - static_cast<uint32_t>(std::abs(shift));
    return Score(a + first, b + first + shift, count);
}

float DriftAt(const float* a, const float* b, int32_t shift) {
    const int32_t d = DriftShift(shift);
    const int32_t first = std::max(0, -d);
    const uint32_t count = kDriftLength - static_cast<uint32_t>(std::abs(d));
    return Score(a + first, b + first + d, count);
}

// The compared bins of two spectra: [first, first + count).
struct Band {
    uint32_t first;
    uint32_t count;
    bool narrow;
};

Band SharedBand(uint32_t endA, uint32_t endB) {
    const uint32_t end = std::min(endA, endB);
    if (end >= kComparedBins) {
        return Band{0, kComparedBins, false};
    }
    const uint32_t last = end * kBandShareNumerator / kBandShareDenominator;
    static_assert(kLowestEndColumn * kColumnBins * kBandShareNumerator / kBandShareDenominator >
                      kNarrowBandFirstBin + 64,
                  "a narrow band spans at least 64 bins");
    return Band{kNarrowBandFirstBin, last - kNarrowBandFirstBin, true};
}

// Whether the reference spectrum score of a and b (whole bands) reaches
// threshold, from the fast score where its bound decides.
bool ReachesClose(const GripVectors& a, const GripVectors& b, BoundedScore fast, float threshold) {
    if (fast.bound == 0.0f) {
        return fast.value >= threshold;
    }
    if (std::nextafter(fast.value - fast.bound, -1.0f) >= threshold) {
        return true;
    }
    if (!(std::nextafter(fast.value + fast.bound, 2.0f) >= threshold)) {
        return false;
    }
    return SpectrumScore(a, b) >= threshold;
}

}  // namespace

uint32_t CarriedBandEnd(const float* spectrum) {
    double column[kColumns];
    double total = 0.0;
    for (uint32_t j = 0; j < kColumns; ++j) {
        double sum = 0.0;
        for (uint32_t k = 0; k < kColumnBins; ++k) {
            const float v = spectrum[j * kColumnBins + k];
            if (!std::isfinite(v) || v < 0.0f) {
                return kComparedBins;
            }
            sum += v;
        }
        column[j] = sum / kColumnBins;
        total += column[j];
    }
    uint32_t end = kComparedBins;
    double high = 0.0;
    double low = std::numeric_limits<double>::infinity();
    double above = 0.0;
    for (uint32_t e = kColumns; e-- > kLowestEndColumn;) {
        high = std::max(high, column[e]);
        low = std::min(low, column[e]);
        above += column[e];
        if (high > kFloorFlatness * low) {
            break;
        }
        if (kColumns - e < kLeastFloorColumns) {
            continue;
        }
        const double band = (total - above) / e;
        if (band > 0.0 && band >= kBandLift * high) {
            end = e * kColumnBins;
        }
    }
    return end;
}

namespace {

// The shift of the first strictly largest envelope score, in the order of
// the shifts, and that score (best, at least -1), from the scores at every
// shift (byShift[shift + kMaxShiftStretches]).
int32_t BestOf(const float* byShift, float& best) {
    int32_t shift = 0;
    for (int32_t q = 0; q < kShiftCount; ++q) {
        const float e = byShift[ShiftAt(q) + kMaxShiftStretches];
        if (e > best) {
            best = e;
            shift = ShiftAt(q);
        }
    }
    return shift;
}

// The tolerant scores from the envelope scores at every shift.
TolerantScores ScoresWith(const SeriesOf& a, const SeriesOf& b, const float* byShift) {
    TolerantScores scores;
    const Band band = SharedBand(a.bandEnd, b.bandEnd);
    scores.narrowBand = band.narrow;
    scores.spectrumScore = Score(a.spectrum + band.first, b.spectrum + band.first, band.count);
    float best = -1.0f;
    scores.shift = BestOf(byShift, best);
    scores.envelopeScore = std::max(best, 0.0f);
    scores.driftScore = DriftAt(a.drift, b.drift, scores.shift);
    scores.contourScore = ContourScore(a.contour, a.bandEnd, b.contour, b.bandEnd);
    return scores;
}

}  // namespace

TolerantScores ComputeTolerantScores(const SeriesOf& a, const SeriesOf& b) {
    float byShift[kShiftCount];
    for (int32_t shift = -kMaxShiftStretches; shift <= kMaxShiftStretches; ++shift) {
        byShift[shift + kMaxShiftStretches] = EnvelopeAt(a.envelope, b.envelope, shift);
    }
    return ScoresWith(a, b, byShift);
}

TolerantScores ComputeTolerantScores(const Grip& a, const Grip& b) {
    float contourA[kContourBands];
    float contourB[kContourBands];
    ComputeContour(a.spectrum.data(), contourA);
    ComputeContour(b.spectrum.data(), contourB);
    return ComputeTolerantScores(SeriesOf{a.spectrum.data(), a.envelope.data(), a.drift.data(),
                                          contourA, CarriedBandEnd(a.spectrum.data())},
                                 SeriesOf{b.spectrum.data(), b.envelope.data(), b.drift.data(),
                                          contourB, CarriedBandEnd(b.spectrum.data())});
}

TolerantScores ComputeTolerantScores(const GripVectors& a, const GripVectors& b) {
    // The same bits as the formulas' loop over the shifts, all shifts at once.
    float byShift[(kShiftCount + 7) / 8 * 8];
    EnvelopeScoresAtEveryShift(a.envelope, b.envelope, byShift);
    return ScoresWith(SeriesOf{a.spectrum, a.envelope, a.drift, a.contour, a.bandEnd},
                      SeriesOf{b.spectrum, b.envelope, b.drift, b.contour, b.bandEnd}, byShift);
}

int32_t BestShift(const GripVectors& a, const GripVectors& b) {
    float byShift[(kShiftCount + 7) / 8 * 8];
    EnvelopeScoresAtEveryShift(a.envelope, b.envelope, byShift);
    float best = -1.0f;
    return BestOf(byShift, best);
}

float CloseSpectrumThreshold(float sensitivity) {
    const float strict = ThresholdsFor(sensitivity).strict;
    return strict + kCloseSpectrumShare * (1.0f - strict);
}

float ContourThreshold(float sensitivity) {
    return ThresholdsFor(sensitivity).strict - kContourMargin;
}

TolerantWay TolerantWayOf(const ContentScores& asLaid, const TolerantScores& tolerant,
                          float sensitivity) {
    if (!tolerant.narrowBand && ContentAccepts(asLaid, sensitivity) &&
        (asLaid.envelopeScore >= kLaidEnvelopeShare * ThresholdsFor(sensitivity).pair ||
         asLaid.spectrumScore >= CloseSpectrumThreshold(sensitivity))) {
        return TolerantWay::kAsLaid;
    }
    if (tolerant.contourScore >= ContourThreshold(sensitivity) &&
        tolerant.spectrumScore >= kContourShapeFloor) {
        return TolerantWay::kContour;
    }
    if (tolerant.envelopeScore >= ThresholdsFor(sensitivity).loose &&
        ContentAccepts(
            ContentScores{tolerant.spectrumScore, tolerant.envelopeScore, tolerant.driftScore},
            sensitivity)) {
        return TolerantWay::kAligned;
    }
    return TolerantWay::kNone;
}

bool TolerantAccepts(const ContentScores& asLaid, const TolerantScores& tolerant,
                     float sensitivity) {
    return TolerantWayOf(asLaid, tolerant, sensitivity) != TolerantWay::kNone;
}

bool DriftMayPass(const float* driftA, const float* driftB, float sensitivity, bool strict) {
    const float loose = ThresholdsFor(sensitivity).loose;
    float drifts[8];
    DriftScoresAtEveryShift(driftA, driftB, drifts);
    if (strict) {
        return drifts[kMaxDriftShift] >= loose;
    }
    for (int32_t d = 0; d <= 2 * kMaxDriftShift; ++d) {
        if (drifts[d] >= loose) {
            return true;
        }
    }
    return false;
}

bool JudgeTolerant(const GripVectors& a, const GripVectors& b, float sensitivity, bool* aligned) {
    if (aligned != nullptr) {
        *aligned = false;
    }
    const Band band = SharedBand(a.bandEnd, b.bandEnd);
    BoundedScore spectrum;
    if (band.narrow) {
        spectrum = FastScore(a.spectrum + band.first, b.spectrum + band.first, band.count);
    } else if (JudgeContent(a, b, sensitivity, &spectrum) &&
               (EnvelopeAt(a.envelope, b.envelope, 0) >=
                    kLaidEnvelopeShare * ThresholdsFor(sensitivity).pair ||
                ReachesClose(a, b, spectrum, CloseSpectrumThreshold(sensitivity)))) {
        return true;
    }
    const ContentThresholds t = ThresholdsFor(sensitivity);
    // The reference lies in [lowest, highest]; both rules only gain from a
    // higher spectrum score.
    const float lowest = spectrum.bound == 0.0f
                             ? spectrum.value
                             : std::nextafter(spectrum.value - spectrum.bound, -1.0f);
    const float highest = spectrum.bound == 0.0f
                              ? spectrum.value
                              : std::nextafter(spectrum.value + spectrum.bound, 2.0f);
    // The contours' rule: a few dozen values, cheaper than any alignment.
    if (highest >= kContourShapeFloor &&
        ContourScoreBound(a.contourKey, b.contourKey) >= ContourThreshold(sensitivity) &&
        ContourScore(a.contour, a.bandEnd, b.contour, b.bandEnd) >= ContourThreshold(sensitivity) &&
        (lowest >= kContourShapeFloor || Score(a.spectrum + band.first, b.spectrum + band.first,
                                               band.count) >= kContourShapeFloor)) {
        return true;
    }
    if (!(highest >= t.loose)) {
        return false;
    }
    // Below the strict threshold only the rule that asks the drift to reach
    // the loose threshold is left: the best alignment is one of the shifts
    // whose drift reaches it, and the envelopes must reach it there too.
    uint64_t allowed = kEveryShift;
    if (!(highest >= t.strict)) {
        allowed = 0;
        float drifts[8];
        DriftScoresAtEveryShift(a.drift, b.drift, drifts);
        for (int32_t d = -kMaxDriftShift; d <= kMaxDriftShift; ++d) {
            if (drifts[d + kMaxDriftShift] >= t.loose) {
                allowed |= kShiftsOfDrift.masks[d + kMaxDriftShift];
            }
        }
        if (allowed == 0) {
            return false;
        }
    }
    // Only now the alignment: most pairs end above.
    if (aligned != nullptr) {
        *aligned = true;
    }
    EnvelopeShifts envelopes(a.envelope, b.envelope);
    // A shift whose score surely stays below the loose threshold is never
    // the best of a pair that passes: the best must reach it. Such shifts
    // are left out unscored (their score below every other's).
    const uint64_t open = envelopes.MayReach(t.loose);
    if ((open & allowed) == 0) {
        return false;
    }
    constexpr BoundedScore kLeftOut{-2.0f, 0.0f};
    BoundedScore shifts[kShiftCount];
    double upper = -1.0;
    double lowerOfBest = -1.0;
    for (int32_t q = 0; q < kShiftCount; ++q) {
        if ((open >> q & 1) == 0) {
            shifts[q] = kLeftOut;
            continue;
        }
        shifts[q] = envelopes.At(q);
        upper = std::max(upper, static_cast<double>(shifts[q].value) + shifts[q].bound);
        lowerOfBest = std::max(lowerOfBest, static_cast<double>(shifts[q].value) - shifts[q].bound);
    }
    // The envelopes must reach the loose threshold at the best alignment.
    if (!(upper >= t.loose)) {
        return false;
    }
    // The best shift is among those whose score may reach the best one's
    // lowest; where several may, their reference scores choose.
    int32_t shift = 0;
    float envelope = -1.0f;
    for (int32_t q = 0; q < kShiftCount; ++q) {
        if (static_cast<double>(shifts[q].value) + shifts[q].bound < lowerOfBest) {
            continue;
        }
        const float e = EnvelopeAt(a.envelope, b.envelope, ShiftAt(q));
        if (e > envelope) {
            envelope = e;
            shift = ShiftAt(q);
        }
    }
    envelope = std::max(envelope, 0.0f);
    if (!(envelope >= t.loose)) {
        return false;
    }
    const float drift = DriftAt(a.drift, b.drift, shift);
    auto accepts = [&](float spectrumScore) {
        return ContentAccepts(ContentScores{spectrumScore, envelope, drift}, sensitivity);
    };
    if (accepts(lowest)) {
        return true;
    }
    if (!accepts(highest)) {
        return false;
    }
    return accepts(Score(a.spectrum + band.first, b.spectrum + band.first, band.count));
}
