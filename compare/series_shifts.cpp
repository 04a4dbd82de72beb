#include "series_shifts.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "signal_math.h"

namespace {

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

// Sums of one series over a stretch of it, in double precision.
struct Sums {
    double sum = 0.0;
    double squares = 0.0;
    double absolute = 0.0;
};

constexpr double Gamma(double k, double unit) {
    return k * unit / (1.0 - k * unit);
}

float Score(const float* a, const float* b, uint32_t n) {
    return std::fabs(MatchCorrelation(a, b, n));
}

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

// Vectors of eight lanes; each lane holds one shift.
typedef float Lanes8 __attribute__((vector_size(32)));
typedef int32_t Masks8 __attribute__((vector_size(32)));

template <uint32_t Length, int32_t MaxShift>
constexpr uint32_t kBlocks = (2 * MaxShift + 1 + 7) / 8;

// b laid out for the lanes: value i + 8 * k + lane of padded is b's value
// i + s, where s = 8 * k + lane - MaxShift is the shift of that lane of
// block k, with zeros beyond b's ends; within holds all ones where b's value
// lies inside b.
template <uint32_t Length, int32_t MaxShift>
struct LaneLayout {
    static constexpr uint32_t kSize = Length + 8 * kBlocks<Length, MaxShift>;
    float padded[kSize] = {};
    int32_t within[kSize] = {};
    explicit LaneLayout(const float* b) {
        std::memcpy(padded + MaxShift, b, sizeof(float) * Length);
        for (uint32_t i = 0; i < Length; ++i) {
            within[MaxShift + i] = -1;
        }
    }
};

// out[s + MaxShift] is the sum of a[i] * b[i + s] over the overlap, in
// single precision and in no fixed order, for every shift s from -MaxShift
// to MaxShift; out holds 8 * kBlocks values.
template <uint32_t Length, int32_t MaxShift>
inline __attribute__((always_inline)) void ScreenProductsBody(const float* a, const float* b,
                                                              float* out) {
    constexpr uint32_t kCount = kBlocks<Length, MaxShift>;
    float padded[Length + 8 * kCount] = {};
    std::memcpy(padded + MaxShift, b, sizeof(float) * Length);
    Lanes8 sums[kCount] = {};
    for (uint32_t i = 0; i < Length; ++i) {
        const float x = a[i];
#pragma GCC unroll 8
        for (uint32_t k = 0; k < kCount; ++k) {
            Lanes8 y;
            std::memcpy(&y, padded + i + 8 * k, sizeof(y));
            sums[k] += x * y;
        }
    }
#pragma GCC unroll 8
    for (uint32_t k = 0; k < kCount; ++k) {
        std::memcpy(out + 8 * k, &sums[k], sizeof(Lanes8));
    }
}

// out[s + MaxShift] is exactly |MatchCorrelation| of a and b laid at shift
// s, for every s from -MaxShift to MaxShift: each lane runs the reference's
// own operations in its order, and adds +0 outside its overlap, which
// changes none of its sums (they begin at +0 and so are never -0); out holds
// 8 * kBlocks values.
template <uint32_t Length, int32_t MaxShift>
inline __attribute__((always_inline)) void ReferenceBody(const float* a, const float* b,
                                                         float* out) {
    constexpr uint32_t kCount = kBlocks<Length, MaxShift>;
    const LaneLayout<Length, MaxShift> lay(b);
    auto load = [](const auto* from, auto& to) { std::memcpy(&to, from, sizeof(to)); };
    Lanes8 sumA[kCount] = {};
    Lanes8 sumB[kCount] = {};
    for (uint32_t i = 0; i < Length; ++i) {
        int32_t bits;
        std::memcpy(&bits, a + i, sizeof(bits));
        const Masks8 x = Masks8{} + bits;
#pragma GCC unroll 8
        for (uint32_t k = 0; k < kCount; ++k) {
            Lanes8 y;
            Masks8 m;
            load(lay.padded + i + 8 * k, y);
            load(lay.within + i + 8 * k, m);
            sumA[k] += reinterpret_cast<Lanes8>(x & m);
            sumB[k] += y;
        }
    }
    Lanes8 count[kCount];
    Lanes8 meanA[kCount];
    Lanes8 meanB[kCount];
    for (uint32_t k = 0; k < kCount; ++k) {
        for (int32_t l = 0; l < 8; ++l) {
            const int32_t shift = static_cast<int32_t>(8 * k) + l - MaxShift;
            count[k][l] = static_cast<float>(
                Length - static_cast<uint32_t>(std::min(std::abs(shift), MaxShift)));
        }
        meanA[k] = sumA[k] / count[k];
        meanB[k] = sumB[k] / count[k];
    }
    Lanes8 cov[kCount] = {};
    Lanes8 varA[kCount] = {};
    Lanes8 varB[kCount] = {};
    for (uint32_t i = 0; i < Length; ++i) {
        const float x = a[i];
#pragma GCC unroll 8
        for (uint32_t k = 0; k < kCount; ++k) {
            Lanes8 y;
            Masks8 m;
            load(lay.padded + i + 8 * k, y);
            load(lay.within + i + 8 * k, m);
            const Lanes8 da = reinterpret_cast<Lanes8>(reinterpret_cast<Masks8>(x - meanA[k]) & m);
            const Lanes8 db = reinterpret_cast<Lanes8>(reinterpret_cast<Masks8>(y - meanB[k]) & m);
            cov[k] += da * db;
            varA[k] += da * da;
            varB[k] += db * db;
        }
    }
    for (uint32_t k = 0; k < kCount; ++k) {
        const Lanes8 c = cov[k] / count[k];
        const Lanes8 product = (varA[k] / count[k]) * (varB[k] / count[k]);
        Lanes8 den;
        for (int32_t l = 0; l < 8; ++l) {
            den[l] = std::sqrt(product[l]);
        }
        const Lanes8 r = c / den;
        for (int32_t l = 0; l < 8; ++l) {
            out[8 * k + l] = den[l] == 0.0f ? 0.0f : std::fabs(r[l]);
        }
    }
}

HF_CLONES_AVX2 void EnvelopeScreenProducts(const float* a, const float* b, float* out) {
    ScreenProductsBody<kEnvelopeLength, kMaxShiftStretches>(a, b, out);
}

HF_CLONES_AVX2 void EnvelopeReferences(const float* a, const float* b, float* out) {
    ReferenceBody<kEnvelopeLength, kMaxShiftStretches>(a, b, out);
}

// The largest distance ReferenceSlack allows between the reference and the
// exact score (its mean slacks at most kLargestSlack each, the cancellation
// at most 4 / kLeastCentredShare), rounded up.
constexpr double kLargestBound = 2.0 * (2.0 * 106 * kFloatUnit * 1.01 + 4.0 * kLargestSlack) + 1e-5;

// Running sums from the start of two series, as SeriesShifts keeps them.
struct Prefixes {
    const double* sumA;
    const double* squaresA;
    const double* absoluteA;
    const double* sumB;
    const double* squaresB;
    const double* absoluteB;
};

// The shifts s = j - maxShift (j < 2 * maxShift + 1 <= 64) at which the
// reference's score of the two series (length values each) may reach
// threshold, by bit j: whether ReferenceSlack surely finds a bound for both
// overlaps (its conditions without a division, with the mean's error taken
// a little larger), and whether their |r| + kLargestBound reaches it, with
// products (by j, in single precision) taken as far as their rounding may
// lie from the exact ones. Without a division or a root, so that the shifts
// run on vector lanes.
HF_CLONES_AVX2 uint64_t ScreenShifts(const Prefixes& p, const float* products, uint32_t length,
                                     int32_t maxShift, float threshold) {
    const int32_t shifts = 2 * maxShift + 1;
    const uint64_t every = (uint64_t{1} << shifts) - 1;
    const double limit = threshold - kLargestBound;
    if (!(limit > 0.0)) {
        return every;
    }
    // The overlaps' sums by j: a's values [max(0, -s), length - max(0, s)),
    // b's [max(0, s), length - max(0, -s)), as differences of running sums.
    constexpr int32_t kMost = 64;
    double sumA[kMost];
    double squaresA[kMost];
    double absoluteA[kMost];
    double sumB[kMost];
    double squaresB[kMost];
    double absoluteB[kMost];
    for (int32_t s = 0; s <= maxShift; ++s) {
        const int32_t j = maxShift + s;
        sumA[j] = p.sumA[length - s] - p.sumA[0];
        squaresA[j] = p.squaresA[length - s] - p.squaresA[0];
        absoluteA[j] = p.absoluteA[length - s] - p.absoluteA[0];
        sumB[j] = p.sumB[length] - p.sumB[s];
        squaresB[j] = p.squaresB[length] - p.squaresB[s];
        absoluteB[j] = p.absoluteB[length] - p.absoluteB[s];
    }
    for (int32_t t = 1; t <= maxShift; ++t) {
        const int32_t j = maxShift - t;
        sumA[j] = p.sumA[length] - p.sumA[t];
        squaresA[j] = p.squaresA[length] - p.squaresA[t];
        absoluteA[j] = p.absoluteA[length] - p.absoluteA[t];
        sumB[j] = p.sumB[length - t] - p.sumB[0];
        squaresB[j] = p.squaresB[length - t] - p.squaresB[0];
        absoluteB[j] = p.absoluteB[length - t] - p.absoluteB[0];
    }
    // The single-precision products lie within kShare of the root of the
    // product of the overlap's sums of squares of the exact ones (with room
    // for the rounding of those sums), and within kFloor more where they
    // fall below the normal range; the means' term within 4 units of its
    // rounding. (x + w)^2 <= (1 + e) x^2 + (1 + 1 / e) w^2, and w^2 of three
    // terms at most 3 times the sum of their squares.
    const double share = Gamma(length + 2, kFloatUnit);
    const double floor = length * static_cast<double>(std::numeric_limits<float>::denorm_min());
    constexpr double kSplit = 1.0 / 1024;
    const double limitSquared = limit * limit;
    int64_t open[kMost];
    for (int32_t j = 0; j < shifts; ++j) {
        const double n = length - std::abs(j - maxShift);
        const double inverse = 1.0 / n;
        const double centredA = squaresA[j] - sumA[j] * sumA[j] * inverse;
        const double centredB = squaresB[j] - sumB[j] * sumB[j] * inverse;
        const double meanErrorA =
            1.01 * n * kFloatUnit * absoluteA[j] + kFloatUnit * std::fabs(sumA[j]);
        const double meanErrorB =
            1.01 * n * kFloatUnit * absoluteB[j] + kFloatUnit * std::fabs(sumB[j]);
        const bool bounded =
            (centredA > kLeastCentredShare * squaresA[j]) & (centredA >= kSmallestVariance * n) &
            (centredA <= kLargestVariance * n) &
            (meanErrorA * meanErrorA <= kLargestSlack * centredA * n) &
            (centredB > kLeastCentredShare * squaresB[j]) & (centredB >= kSmallestVariance * n) &
            (centredB <= kLargestVariance * n) &
            (meanErrorB * meanErrorB <= kLargestSlack * centredB * n);
        const double means = sumA[j] * sumB[j] * inverse;
        const double covariance = std::fabs(products[j] - means);
        const double spread = 3.0 * (share * share * squaresA[j] * squaresB[j] + floor * floor +
                                     16.0 * kDoubleUnit * kDoubleUnit * means * means);
        const double reach =
            ((1.0 + kSplit) * covariance * covariance + (1.0 + 1.0 / kSplit) * spread) *
            (1.0 + 1e-9);
        open[j] = !(bounded & (reach < limitSquared * centredA * centredB));
    }
    uint64_t byShift = 0;
    for (int32_t j = 0; j < shifts; ++j) {
        byShift |= static_cast<uint64_t>(open[j]) << j;
    }
    return byShift & every;
}

}  // namespace

namespace {

// Built for wider vectors as well; internal, as a function with clones can
// be called only where its clones are declared.
HF_CLONES_AVX2 BoundedScore FastScoreOnLanes(const float* x, const float* y, uint32_t n) {
    // Four lanes of independent chains, so the sums run side by side; the
    // bound holds for sums taken in any order.
    typedef float Floats4 __attribute__((vector_size(16)));
    typedef double Doubles4 __attribute__((vector_size(32)));
    Doubles4 products = {};
    Doubles4 sumX = {};
    Doubles4 squaresX = {};
    Doubles4 absoluteX = {};
    Doubles4 sumY = {};
    Doubles4 squaresY = {};
    Doubles4 absoluteY = {};
    const Doubles4 zero = {};
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Floats4 u4;
        Floats4 v4;
        std::memcpy(&u4, x + i, sizeof(u4));
        std::memcpy(&v4, y + i, sizeof(v4));
        const Doubles4 u = __builtin_convertvector(u4, Doubles4);
        const Doubles4 v = __builtin_convertvector(v4, Doubles4);
        products += u * v;
        sumX += u;
        squaresX += u * u;
        absoluteX += u < zero ? -u : u;
        sumY += v;
        squaresY += v * v;
        absoluteY += v < zero ? -v : v;
    }
    auto total = [](const Doubles4& lanes) {
        return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    };
    Sums sx{total(sumX), total(squaresX), total(absoluteX)};
    Sums sy{total(sumY), total(squaresY), total(absoluteY)};
    double dot = total(products);
    for (; i < n; ++i) {
        const double u = x[i];
        const double v = y[i];
        dot += u * v;
        sx = Sums{sx.sum + u, sx.squares + u * u, sx.absolute + std::fabs(u)};
        sy = Sums{sy.sum + v, sy.squares + v * v, sy.absolute + std::fabs(v)};
    }
    const BoundedScore fast = FromSums(sx, sy, dot, n);
    if (fast.bound < 0.0f) {
        return BoundedScore{Score(x, y, n), 0.0f};
    }
    return fast;
}

}  // namespace

BoundedScore FastScore(const float* x, const float* y, uint32_t n) {
    return FastScoreOnLanes(x, y, n);
}

void EnvelopeScoresAtEveryShift(const float* a, const float* b, float* out) {
    EnvelopeReferences(a, b, out);
}

namespace {

HF_CLONES_AVX2 void DriftReferences(const float* a, const float* b, float* out) {
    ReferenceBody<kDriftLength, kMaxDriftShift>(a, b, out);
}

}  // namespace

void DriftScoresAtEveryShift(const float* a, const float* b, float* out) {
    DriftReferences(a, b, out);
}

template <uint32_t Length, int32_t Shifts>
SeriesShifts<Length, Shifts>::SeriesShifts(const float* a, const float* b) : m_a(a), m_b(b) {
    m_sumA[0] = m_squaresA[0] = m_absoluteA[0] = 0.0;
    m_sumB[0] = m_squaresB[0] = m_absoluteB[0] = 0.0;
    for (uint32_t i = 0; i < Length; ++i) {
        const double u = a[i];
        const double v = b[i];
        m_sumA[i + 1] = m_sumA[i] + u;
        m_squaresA[i + 1] = m_squaresA[i] + u * u;
        m_absoluteA[i + 1] = m_absoluteA[i] + std::fabs(u);
        m_sumB[i + 1] = m_sumB[i] + v;
        m_squaresB[i + 1] = m_squaresB[i] + v * v;
        m_absoluteB[i + 1] = m_absoluteB[i] + std::fabs(v);
    }
    if constexpr (Length == kEnvelopeLength && kMaxShift == kMaxShiftStretches) {
        EnvelopeScreenProducts(a, b, m_screenProducts);
    } else {
        ScreenProductsBody<Length, kMaxShift>(a, b, m_screenProducts);
    }
}

template <uint32_t Length, int32_t Shifts>
uint64_t SeriesShifts<Length, Shifts>::MayReach(float threshold) const {
    const uint64_t byShift =
        ScreenShifts(Prefixes{m_sumA, m_squaresA, m_absoluteA, m_sumB, m_squaresB, m_absoluteB},
                     m_screenProducts, Length, kMaxShift, threshold);
    uint64_t byNumber = 0;
    for (uint64_t rest = byShift; rest != 0; rest &= rest - 1) {
        const int32_t shift = __builtin_ctzll(rest) - kMaxShift;
        byNumber |= uint64_t{1} << (shift >= 0 ? 2 * shift : -2 * shift - 1);
    }
    return byNumber;
}

template <uint32_t Length, int32_t Shifts>
BoundedScore SeriesShifts<Length, Shifts>::At(int32_t q) {
    const int32_t shift = ShiftAt(q);
    const int32_t first = std::max(0, -shift);
    const uint32_t n = Length - static_cast<uint32_t>(std::abs(shift));
    if ((m_productsMade >> q & 1) == 0) {
        m_products[q] = DoubleDot(m_a + first, m_b + first + shift, n);
        m_productsMade |= uint64_t{1} << q;
    }
    auto span = [&](const double* sum, const double* squares, const double* absolute,
                    int32_t from) {
        const int32_t to = from + static_cast<int32_t>(n);
        return Sums{sum[to] - sum[from], squares[to] - squares[from],
                    absolute[to] - absolute[from]};
    };
    const BoundedScore s =
        FromSums(span(m_sumA, m_squaresA, m_absoluteA, first),
                 span(m_sumB, m_squaresB, m_absoluteB, first + shift), m_products[q], n);
    if (s.bound >= 0.0f) {
        return s;
    }
    return BoundedScore{Score(m_a + first, m_b + first + shift, n), 0.0f};
}

template class SeriesShifts<kEnvelopeLength, 2 * kMaxShiftStretches + 1>;
