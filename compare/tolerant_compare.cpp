#include "tolerant_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

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

constexpr double kFloatUnit = std::numeric_limits<float>::epsilon() / 2;
constexpr double kDoubleUnit = std::numeric_limits<double>::epsilon() / 2;
// Outside these the reference's variance loses precision, underflows or
// overflows, and only the reference itself gives its result.
constexpr double kSmallestVariance = 1e-18;
constexpr double kLargestVariance = 1e18;
// Above this the reference's own mean is too far off for the error bound.
constexpr double kLargestSlack = 0.01;
// A centred sum of squares below this share of the plain one has lost too
// many digits in double precision to be used.
constexpr double kLeastCentredShare = 1e-6;

double Gamma(double k, double unit) {
    return k * unit / (1.0 - k * unit);
}

float Score(const float* a, const float* b, uint32_t n) {
    return std::fabs(MatchCorrelation(a, b, n));
}

// Shifts in the order they are tried: 0, -1, 1, -2, 2, ...
int32_t ShiftAt(int32_t q) {
    return q % 2 == 0 ? q / 2 : -(q + 1) / 2;
}

int32_t DriftShift(int32_t shift) {
    return (shift * kDriftSegments + (shift >= 0 ? kStretches / 2 : -kStretches / 2)) / kStretches;
}

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

// Sums of one series over a stretch of it, in double precision.
struct Sums {
    double sum = 0.0;
    double squares = 0.0;
    double absolute = 0.0;
};

// How far the reference's |r| of two series may lie from the exact one, from
// their sums and centred sums of squares; negative when only the reference
// can say (a series near constant, or scaled beyond the reference's reach).
double ReferenceSlack(const Sums& x, double centredX, const Sums& y, double centredY, uint32_t n) {
    double slack = 2.0 * Gamma(n + 6, kFloatUnit);
    for (const auto& [s, centred] : {std::pair<const Sums&, double>{x, centredX}, {y, centredY}}) {
        const double variance = centred / n;
        if (!(centred > kLeastCentredShare * s.squares) || !(variance >= kSmallestVariance) ||
            !(variance <= kLargestVariance)) {
            return -1.0;
        }
        // The reference's single-precision mean is off by at most this; its
        // correlation moves by at most the square of that over the spread.
        const double meanError =
            Gamma(n, kFloatUnit) * s.absolute / n + kFloatUnit * std::fabs(s.sum / n);
        const double meanSlack = n * meanError * meanError / centred;
        if (meanSlack > kLargestSlack) {
            return -1.0;
        }
        slack += 2.0 * meanSlack;
    }
    // The double-precision sums' own error, far below the rest.
    const double cancel = (std::sqrt(x.squares * y.squares) + std::fabs(x.sum * y.sum) / n) /
                              std::sqrt(centredX * centredY) +
                          x.squares / centredX + y.squares / centredY;
    return 2.0 * slack + 4.0 * Gamma(4 * kEnvelopeLength + 4 * n, kDoubleUnit) * cancel;
}

// |r| from the sums, and the distance within which the reference lies
// (negative: ask the reference).
BoundedScore FromSums(const Sums& x, const Sums& y, double products, uint32_t n) {
    const double centredX = x.squares - x.sum * x.sum / n;
    const double centredY = y.squares - y.sum * y.sum / n;
    const double slack = ReferenceSlack(x, centredX, y, centredY, n);
    if (!(slack >= 0.0) || !std::isfinite(slack)) {
        return BoundedScore{0.0f, -1.0f};
    }
    const double r = (products - x.sum * y.sum / n) / std::sqrt(centredX * centredY);
    return BoundedScore{static_cast<float>(std::fabs(r)),
                        std::nextafter(static_cast<float>(slack) + 1e-7f, 1.0f)};
}

// |r| of x and y (n values), fast, with its bound; the reference itself
// where the bound cannot be had.
BoundedScore FastScore(const float* x, const float* y, uint32_t n) {
    // Independent chains, so the sums run side by side.
    Sums sx;
    Sums sy;
    double products[4] = {};
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (uint32_t l = 0; l < 4; ++l) {
            const double u = x[i + l];
            const double v = y[i + l];
            products[l] += u * v;
        }
    }
    for (; i < n; ++i) {
        products[0] += static_cast<double>(x[i]) * y[i];
    }
    for (uint32_t k = 0; k < n; ++k) {
        const double u = x[k];
        const double v = y[k];
        sx.sum += u;
        sx.squares += u * u;
        sx.absolute += std::fabs(u);
        sy.sum += v;
        sy.squares += v * v;
        sy.absolute += std::fabs(v);
    }
    const double dot = (products[0] + products[1]) + (products[2] + products[3]);
    const BoundedScore fast = FromSums(sx, sy, dot, n);
    if (fast.bound < 0.0f) {
        return BoundedScore{Score(x, y, n), 0.0f};
    }
    return fast;
}

// The sum of x[i] * y[i] in double precision, on four lanes.
HF_CLONES_AVX2 double DoubleDot(const float* x, const float* y, uint32_t n) {
    typedef float Floats4 __attribute__((vector_size(16)));
    typedef double Doubles4 __attribute__((vector_size(32)));
    Doubles4 lanes = {};
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Floats4 u;
        Floats4 v;
        std::memcpy(&u, x + i, sizeof(u));
        std::memcpy(&v, y + i, sizeof(v));
        lanes += __builtin_convertvector(u, Doubles4) * __builtin_convertvector(v, Doubles4);
    }
    double total = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    for (; i < n; ++i) {
        total += static_cast<double>(x[i]) * y[i];
    }
    return total;
}

// The largest distance ReferenceSlack allows between the reference and the
// exact score (its mean slacks at most kLargestSlack each, the cancellation
// at most 4 / kLeastCentredShare), rounded up.
constexpr double kLargestBound = 2.0 * (2.0 * 106 * kFloatUnit * 1.01 + 4.0 * kLargestSlack) + 1e-5;

// Two series of Length values at the first Shifts shifts (in the order
// ShiftAt gives): the sums of each overlap, for the scores and their bounds.
template <uint32_t Length, int32_t Shifts>
class SeriesShifts {
  public:
    SeriesShifts(const float* a, const float* b) : m_a(a), m_b(b) {
        for (uint32_t i = 0; i < Length; ++i) {
            const double u = a[i];
            const double v = b[i];
            m_prefixA[i + 1] = Sums{m_prefixA[i].sum + u, m_prefixA[i].squares + u * u,
                                    m_prefixA[i].absolute + std::fabs(u)};
            m_prefixB[i + 1] = Sums{m_prefixB[i].sum + v, m_prefixB[i].squares + v * v,
                                    m_prefixB[i].absolute + std::fabs(v)};
        }
        for (int32_t q = 0; q < Shifts; ++q) {
            const int32_t shift = ShiftAt(q);
            const int32_t first = std::max(0, -shift);
            const uint32_t count = Count(q);
            m_products[q] = DoubleDot(a + first, b + first + shift, count);
        }
    }

    // Whether the reference's score at some shift may reach threshold: a
    // quick look that never says no wrongly, for the pairs that are nowhere
    // near it.
    bool MayReach(float threshold) const {
        for (int32_t q = 0; q < Shifts; ++q) {
            if (MayReachAt(q, threshold)) {
                return true;
            }
        }
        return false;
    }

    // The same for shift number q alone.
    bool MayReachAt(int32_t q, float threshold) const {
        // |r| + kLargestBound < threshold, squared, without a division.
        const double limit = threshold - kLargestBound;
        if (!(limit > 0.0)) {
            return true;
        }
        const Sums x = SpanA(q);
        const Sums y = SpanB(q);
        const uint32_t n = Count(q);
        const double inverse = kInverse.value[q];
        const double centredX = x.squares - x.sum * x.sum * inverse;
        const double centredY = y.squares - y.sum * y.sum * inverse;
        // Where the bound cannot be had the reference decides later.
        if (!Bounded(x, centredX, n) || !Bounded(y, centredY, n)) {
            return true;
        }
        const double covariance = m_products[q] - x.sum * y.sum * inverse;
        // A relative allowance for the products above, rounded.
        return !(covariance * covariance * (1.0 + 1e-9) < limit * limit * centredX * centredY);
    }

    // The fast score of shift number q with its bound (0 where the
    // reference gave it).
    BoundedScore At(int32_t q) const {
        const BoundedScore s = FromSums(SpanA(q), SpanB(q), m_products[q], Count(q));
        if (s.bound >= 0.0f) {
            return s;
        }
        const int32_t first = std::max(0, -ShiftAt(q));
        return BoundedScore{Score(m_a + first, m_b + first + ShiftAt(q), Count(q)), 0.0f};
    }

  private:
    // Whether ReferenceSlack surely finds a bound for a series with these
    // sums: its conditions without a division, with the mean's error taken
    // a little larger.
    static bool Bounded(const Sums& s, double centred, uint32_t n) {
        const double meanError = 1.01 * n * kFloatUnit * s.absolute + kFloatUnit * std::fabs(s.sum);
        return centred > kLeastCentredShare * s.squares && centred >= kSmallestVariance * n &&
               centred <= kLargestVariance * n &&
               meanError * meanError <= kLargestSlack * centred * n;
    }
    static uint32_t Count(int32_t q) {
        return Length - static_cast<uint32_t>(std::abs(ShiftAt(q)));
    }
    // 1 / Count(q).
    struct Inverse {
        double value[Shifts];
    };
    static constexpr Inverse kInverse = [] {
        Inverse out{};
        for (int32_t q = 0; q < Shifts; ++q) {
            const int32_t shift = q % 2 == 0 ? q / 2 : (q + 1) / 2;
            out.value[q] = 1.0 / (static_cast<int32_t>(Length) - shift);
        }
        return out;
    }();
    static Sums Span(const Sums* prefix, int32_t from, uint32_t count) {
        const Sums& l = prefix[from];
        const Sums& h = prefix[from + static_cast<int32_t>(count)];
        return Sums{h.sum - l.sum, h.squares - l.squares, h.absolute - l.absolute};
    }
    Sums SpanA(int32_t q) const { return Span(m_prefixA, std::max(0, -ShiftAt(q)), Count(q)); }
    Sums SpanB(int32_t q) const {
        return Span(m_prefixB, std::max(0, -ShiftAt(q)) + ShiftAt(q), Count(q));
    }

    const float* m_a;
    const float* m_b;
    Sums m_prefixA[Length + 1];
    Sums m_prefixB[Length + 1];
    double m_products[Shifts];
};

using EnvelopeShifts = SeriesShifts<kEnvelopeLength, kShiftCount>;
// The drift moves by at most this many values either way.
constexpr int32_t kMaxDriftShift = 3;
static_assert((kMaxShiftStretches * kDriftSegments + kStretches / 2) / kStretches ==
              kMaxDriftShift);
using DriftShifts = SeriesShifts<kDriftLength, 2 * kMaxDriftShift + 1>;

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

TolerantScores ComputeTolerantScores(const SeriesOf& a, const SeriesOf& b) {
    TolerantScores scores;
    const Band band = SharedBand(a.bandEnd, b.bandEnd);
    scores.narrowBand = band.narrow;
    scores.spectrumScore = Score(a.spectrum + band.first, b.spectrum + band.first, band.count);
    // The first strictly largest envelope score, in the order of the shifts.
    float best = -1.0f;
    for (int32_t q = 0; q < kShiftCount; ++q) {
        const int32_t shift = ShiftAt(q);
        const float e = EnvelopeAt(a.envelope, b.envelope, shift);
        if (e > best) {
            best = e;
            scores.shift = shift;
        }
    }
    scores.envelopeScore = std::max(best, 0.0f);
    scores.driftScore = DriftAt(a.drift, b.drift, scores.shift);
    scores.contourScore = ContourScore(a.contour, a.bandEnd, b.contour, b.bandEnd);
    return scores;
}

TolerantScores ComputeTolerantScores(const Grip& a, const Grip& b) {
    float contourA[kContourBands];
    float contourB[kContourBands];
    ComputeContour(a.spectrum.data(), contourA);
    ComputeContour(b.spectrum.data(), contourB);
    return ComputeTolerantScores(
        SeriesOf{a.spectrum.data(), a.envelope.data(), a.drift.data(), contourA,
                 CarriedBandEnd(a.spectrum.data())},
        SeriesOf{b.spectrum.data(), b.envelope.data(), b.drift.data(), contourB,
                 CarriedBandEnd(b.spectrum.data())});
}

TolerantScores ComputeTolerantScores(const GripVectors& a, const GripVectors& b) {
    return ComputeTolerantScores(
        SeriesOf{a.spectrum, a.envelope, a.drift, a.contour, a.bandEnd},
        SeriesOf{b.spectrum, b.envelope, b.drift, b.contour, b.bandEnd});
}

float CloseSpectrumThreshold(float sensitivity) {
    const float strict = ThresholdsFor(sensitivity).strict;
    return strict + kCloseSpectrumShare * (1.0f - strict);
}

float ContourThreshold(float sensitivity) {
    return ThresholdsFor(sensitivity).strict - kContourMargin;
}

bool TolerantAccepts(const ContentScores& asLaid, const TolerantScores& tolerant,
                     float sensitivity) {
    if (!tolerant.narrowBand && ContentAccepts(asLaid, sensitivity) &&
        (asLaid.envelopeScore >= kLaidEnvelopeShare * ThresholdsFor(sensitivity).pair ||
         asLaid.spectrumScore >= CloseSpectrumThreshold(sensitivity))) {
        return true;
    }
    if (tolerant.contourScore >= ContourThreshold(sensitivity) &&
        tolerant.spectrumScore >= kContourShapeFloor) {
        return true;
    }
    return tolerant.envelopeScore >= ThresholdsFor(sensitivity).loose &&
           ContentAccepts(
               ContentScores{tolerant.spectrumScore, tolerant.envelopeScore, tolerant.driftScore},
               sensitivity);
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
        (lowest >= kContourShapeFloor ||
         Score(a.spectrum + band.first, b.spectrum + band.first, band.count) >=
             kContourShapeFloor)) {
        return true;
    }
    if (!(highest >= t.loose)) {
        return false;
    }
    // Below the strict threshold only the rule that asks the drift to reach
    // the loose threshold is left, and the drift at the best alignment is
    // one of those at the shifts the drift can take.
    if (!(highest >= t.strict)) {
        bool reachable = false;
        if (DriftShifts(a.drift, b.drift).MayReach(t.loose)) {
            for (int32_t q = 0; q < 2 * kMaxDriftShift + 1 && !reachable; ++q) {
                const int32_t d = ShiftAt(q);
                const int32_t first = std::max(0, -d);
                reachable = Score(a.drift + first, b.drift + first + d,
                                  kDriftLength - static_cast<uint32_t>(std::abs(d))) >= t.loose;
            }
        }
        if (!reachable) {
            return false;
        }
    }
    // Only now the alignment: most pairs end above.
    if (aligned != nullptr) {
        *aligned = true;
    }
    const EnvelopeShifts envelopes(a.envelope, b.envelope);
    // A shift whose score surely stays below the loose threshold is never
    // the best of a pair that passes: the best must reach it. Such shifts
    // are left out unscored (their score below every other's).
    constexpr BoundedScore kLeftOut{-2.0f, 0.0f};
    BoundedScore shifts[kShiftCount];
    double upper = -1.0;
    double lowerOfBest = -1.0;
    for (int32_t q = 0; q < kShiftCount; ++q) {
        if (!envelopes.MayReachAt(q, t.loose)) {
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
