#include "signal_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Pi as the 32-bit float the twiddle angles are computed from.
constexpr float kPi = 3.1415927f;
constexpr uint32_t kMaxStages = 31;

// Tables of one transform size, computed once: for stage s the entries
// [half-1, 2*half-1) of cosines and sines hold cos and sin of j * (pi / half),
// j < half, exactly as computed on the fly; swaps lists the index pairs that
// the bit-reversal permutation exchanges.
struct TwiddleTable {
    std::vector<float> cosines;
    std::vector<float> sines;
    std::vector<std::pair<uint32_t, uint32_t>> swaps;
    // For a real input: groupAt[h] = 4 * (h bit-reversed over stages - 2 bits),
    // the first of the four points whose inputs are h, h + n/2, h + n/4 and
    // h + 3n/4.
    std::vector<uint32_t> groupAt;
};

const TwiddleTable& TwiddlesFor(uint32_t stages) {
    static std::array<std::once_flag, kMaxStages + 1> once;
    static std::array<std::unique_ptr<TwiddleTable>, kMaxStages + 1> tables;
    std::call_once(once[stages], [stages] {
        auto table = std::make_unique<TwiddleTable>();
        const uint32_t n = 1u << stages;
        table->cosines.resize(n);
        table->sines.resize(n);
        for (uint32_t s = 1; s <= stages; ++s) {
            const uint32_t half = 1u << (s - 1);
            const float step = kPi / static_cast<float>(half);
            for (uint32_t j = 0; j < half; ++j) {
                const float theta = static_cast<float>(j) * step;
                table->cosines[half - 1 + j] =
                    static_cast<float>(std::cos(static_cast<double>(theta)));
                table->sines[half - 1 + j] =
                    static_cast<float>(std::sin(static_cast<double>(theta)));
            }
        }
        for (uint32_t i = 1, j = 0; i < n; ++i) {
            uint32_t bit = n >> 1;
            for (; j & bit; bit >>= 1) {
                j ^= bit;
            }
            j ^= bit;
            if (i < j) {
                table->swaps.emplace_back(i, j);
            }
        }
        if (stages >= 2) {
            const uint32_t groups = n / 4;
            table->groupAt.resize(groups);
            for (uint32_t h = 0; h < groups; ++h) {
                uint32_t g = 0;
                for (uint32_t bit = 0; bit + 2 < stages; ++bit) {
                    g |= ((h >> bit) & 1u) << (stages - 3 - bit);
                }
                table->groupAt[h] = 4 * g;
            }
        }
        tables[stages] = std::move(table);
    });
    return *tables[stages];
}

// Four and eight floats at any address, in vector registers; the compiler
// maps the element-wise operators onto what the processor has.
using Float4 = float __attribute__((vector_size(16), aligned(4), may_alias));
using Float8 = float __attribute__((vector_size(32), aligned(4), may_alias));

uint32_t StageCount(uint32_t n) {
    uint32_t stages = 0;
    while (n >= 2) {
        n >>= 1;
        ++stages;
    }
    return stages;
}

// One butterfly of points a and b with the twiddle (c, sn); on vectors, one
// per lane with the same operations.
template <class T, class W = float>
inline void Butterfly(T& ra, T& ia, T& rb, T& ib, const W& c, const W& sn) {
    const T tr = rb * c - ib * sn;
    const T ti = ib * c + rb * sn;
    rb = ra - tr;
    ib = ia - ti;
    ra = ra + tr;
    ia = ia + ti;
}

// The twiddles of stages 1 and 2.
struct FirstTwiddles {
    explicit FirstTwiddles(const TwiddleTable& table)
        : c1(table.cosines[0]),
          s1(table.sines[0]),
          c20(table.cosines[1]),
          s20(table.sines[1]),
          c21(table.cosines[2]),
          s21(table.sines[2]) {}
    float c1, s1, c20, s20, c21, s21;
};

// Stages 1 and 2 of one group of four points (of one per lane on vectors).
template <class T>
inline void FirstTwoStagesOfGroup(T& r0, T& i0, T& r1, T& i1, T& r2, T& i2, T& r3, T& i3,
                                  const FirstTwiddles& w) {
    Butterfly(r0, i0, r1, i1, w.c1, w.s1);
    Butterfly(r2, i2, r3, i3, w.c1, w.s1);
    Butterfly(r0, i0, r2, i2, w.c20, w.s20);
    Butterfly(r1, i1, r3, i3, w.c21, w.s21);
}

// Stages 1 and 2 on each run of four points at once. Every point goes through
// the same butterflies in the same order as stage by stage, so the bits are
// the same; only the stores between the stages are saved.
void FirstTwoStages(float* re, float* im, uint32_t n, const TwiddleTable& table) {
    const FirstTwiddles w(table);
    for (uint32_t g = 0; g < n; g += 4) {
        float r0 = re[g], r1 = re[g + 1], r2 = re[g + 2], r3 = re[g + 3];
        float i0 = im[g], i1 = im[g + 1], i2 = im[g + 2], i3 = im[g + 3];
        FirstTwoStagesOfGroup(r0, i0, r1, i1, r2, i2, r3, i3, w);
        re[g] = r0, re[g + 1] = r1, re[g + 2] = r2, re[g + 3] = r3;
        im[g] = i0, im[g + 1] = i1, im[g + 2] = i2, im[g + 3] = i3;
    }
}

// One stage from stage 3 on, where a group's half is a multiple of the
// vector width V: butterflies side by side, each lane doing exactly the scalar
// butterfly's operations, so the bits are the same.
template <class V>
__attribute__((always_inline)) inline void VectorStage(float* re, float* im, uint32_t n,
                                                       uint32_t half, const TwiddleTable& table) {
    constexpr uint32_t kLanes = sizeof(V) / sizeof(float);
    const uint32_t span = half << 1;
    const float* cosines = table.cosines.data() + half - 1;
    const float* sines = table.sines.data() + half - 1;
    // Group by group rather than twiddle by twiddle: every butterfly computes
    // the same values either way, but this order walks memory sequentially,
    // which matters for the large transforms.
    for (uint32_t group = 0; group < n; group += span) {
        auto* r0 = reinterpret_cast<V*>(re + group);
        auto* i0 = reinterpret_cast<V*>(im + group);
        auto* r1 = reinterpret_cast<V*>(re + group + half);
        auto* i1 = reinterpret_cast<V*>(im + group + half);
        const auto* c = reinterpret_cast<const V*>(cosines);
        const auto* sn = reinterpret_cast<const V*>(sines);
        for (uint32_t k = 0; k < half / kLanes; ++k) {
            const V tr = r1[k] * c[k] - i1[k] * sn[k];
            const V ti = i1[k] * c[k] + r1[k] * sn[k];
            const V x = r0[k];
            const V y = i0[k];
            r1[k] = x - tr;
            i1[k] = y - ti;
            r0[k] = x + tr;
            i0[k] = y + ti;
        }
    }
}

// Two stages in one pass, where a group's half in the first of them is a
// multiple of the vector width V: each run of four quarters goes through both
// stages' butterflies while it is in registers. Every point meets the same
// butterflies with the same twiddles as stage by stage, so the bits are the
// same; half the loads and stores are saved.
template <class V>
__attribute__((always_inline)) inline void VectorTwoStages(float* re, float* im, uint32_t n,
                                                           uint32_t half,
                                                           const TwiddleTable& table) {
    constexpr uint32_t kLanes = sizeof(V) / sizeof(float);
    const uint32_t span = half << 2;
    const auto* c1 = reinterpret_cast<const V*>(table.cosines.data() + half - 1);
    const auto* s1 = reinterpret_cast<const V*>(table.sines.data() + half - 1);
    const auto* c2 = reinterpret_cast<const V*>(table.cosines.data() + 2 * half - 1);
    const auto* s2 = reinterpret_cast<const V*>(table.sines.data() + 2 * half - 1);
    const uint32_t steps = half / kLanes;
    for (uint32_t group = 0; group < n; group += span) {
        auto* r = reinterpret_cast<V*>(re + group);
        auto* i = reinterpret_cast<V*>(im + group);
        for (uint32_t k = 0; k < steps; ++k) {
            V ra = r[k], rb = r[k + steps], rc = r[k + 2 * steps], rd = r[k + 3 * steps];
            V ia = i[k], ib = i[k + steps], ic = i[k + 2 * steps], id = i[k + 3 * steps];
            Butterfly<V, V>(ra, ia, rb, ib, c1[k], s1[k]);
            Butterfly<V, V>(rc, ic, rd, id, c1[k], s1[k]);
            Butterfly<V, V>(ra, ia, rc, ic, c2[k], s2[k]);
            Butterfly<V, V>(rb, ib, rd, id, c2[k + steps], s2[k + steps]);
            r[k] = ra, r[k + steps] = rb, r[k + 2 * steps] = rc, r[k + 3 * steps] = rd;
            i[k] = ia, i[k + steps] = ib, i[k + 2 * steps] = ic, i[k + 3 * steps] = id;
        }
    }
}

// Stages 3 and on, built for the wider vector instructions as well and run
// with them when the processor has them.
HF_CLONES_AVX2 void LaterStages(float* re, float* im, uint32_t n, uint32_t stages,
                                const TwiddleTable& table) {
    uint32_t s = 3;
    if (s <= stages) {
        VectorStage<Float4>(re, im, n, 4, table);
        ++s;
    }
    for (; s + 1 <= stages; s += 2) {
        VectorTwoStages<Float8>(re, im, n, 1u << (s - 1), table);
    }
    if (s <= stages) {
        VectorStage<Float8>(re, im, n, 1u << (s - 1), table);
    }
}

// Writes lane l of a, b, c, d as the four floats at out + at[l], l < 8.
__attribute__((always_inline)) inline void StoreLanes(const Float8& a, const Float8& b,
                                                      const Float8& c, const Float8& d, float* out,
                                                      const uint32_t* at) {
    using Aligned4 = float __attribute__((vector_size(16)));
    using Aligned8 = float __attribute__((vector_size(32)));
    const Aligned8 ab0 = __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
    const Aligned8 cd0 = __builtin_shufflevector(c, d, 0, 8, 1, 9, 2, 10, 3, 11);
    const Aligned8 ab1 = __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
    const Aligned8 cd1 = __builtin_shufflevector(c, d, 4, 12, 5, 13, 6, 14, 7, 15);
    const auto put = [out](uint32_t where, const Aligned4& v) {
        *reinterpret_cast<Float4*>(out + where) = v;
    };
    put(at[0], __builtin_shufflevector(ab0, cd0, 0, 1, 8, 9));
    put(at[1], __builtin_shufflevector(ab0, cd0, 2, 3, 10, 11));
    put(at[2], __builtin_shufflevector(ab0, cd0, 4, 5, 12, 13));
    put(at[3], __builtin_shufflevector(ab0, cd0, 6, 7, 14, 15));
    put(at[4], __builtin_shufflevector(ab1, cd1, 0, 1, 8, 9));
    put(at[5], __builtin_shufflevector(ab1, cd1, 2, 3, 10, 11));
    put(at[6], __builtin_shufflevector(ab1, cd1, 4, 5, 12, 13));
    put(at[7], __builtin_shufflevector(ab1, cd1, 6, 7, 14, 15));
}

// Loads a real input into bit-reversed order and runs stages 1 and 2, eight
// groups of four points side by side. Every lane does what FirstTwoStages
// does to one group after the swaps, zero imaginary parts included, so the
// bits are the same; the swaps and the separate passes are saved.
HF_CLONES_AVX2 void FirstTwoStagesOfReal(const float* in, float* re, float* im, uint32_t n,
                                         const TwiddleTable& table) {
    const FirstTwiddles w(table);
    const uint32_t quarter = n / 4;
    const auto load = [](const float* p) -> const Float8& {
        return *reinterpret_cast<const Float8*>(p);
    };
    for (uint32_t h = 0; h < quarter; h += 8) {
        Float8 r0 = load(in + h);
        Float8 r1 = load(in + 2 * quarter + h);
        Float8 r2 = load(in + quarter + h);
        Float8 r3 = load(in + 3 * quarter + h);
        Float8 i0 = {};
        Float8 i1 = {};
        Float8 i2 = {};
        Float8 i3 = {};
        FirstTwoStagesOfGroup(r0, i0, r1, i1, r2, i2, r3, i3, w);
        // Lane l holds the four points of group groupAt[h + l].
        StoreLanes(r0, r1, r2, r3, re, table.groupAt.data() + h);
        StoreLanes(i0, i1, i2, i3, im, table.groupAt.data() + h);
    }
}

}  // namespace

void FftOfReal(const float* in, float* re, float* im, uint32_t n) {
    const uint32_t stages = StageCount(n);
    // Eight groups of four points at a time.
    constexpr uint32_t kLeastSize = 32;
    if (n < kLeastSize) {
        std::copy(in, in + n, re);
        std::fill(im, im + n, 0.0f);
        Fft(re, im, n);
        return;
    }
    const TwiddleTable& table = TwiddlesFor(stages);
    FirstTwoStagesOfReal(in, re, im, n, table);
    LaterStages(re, im, n, stages, table);
}

void Fft(float* re, float* im, uint32_t n) {
    const uint32_t stages = StageCount(n);
    if (stages == 0) {
        return;
    }
    const TwiddleTable& table = TwiddlesFor(stages);
    if (stages == 1) {
        Butterfly(re[0], im[0], re[1], im[1], table.cosines[0], table.sines[0]);
        return;
    }
    for (const auto& [i, j] : table.swaps) {
        std::swap(re[i], re[j]);
        std::swap(im[i], im[j]);
    }
    FirstTwoStages(re, im, n, table);
    LaterStages(re, im, n, stages, table);
}

void InverseFft(float* re, float* im, uint32_t n) {
    Fft(im, re, n);
    const float scale = 1.0f / static_cast<float>(n);
    for (uint32_t i = 0; i < n; ++i) {
        re[i] *= scale;
        im[i] *= scale;
    }
}

namespace {

// Pearson correlation whose value for a constant series is given.
float Correlation(const float* a, const float* b, uint32_t n, float constant) {
    const float count = static_cast<float>(n);
    float sa = 0.0f;
    float sb = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        sa += a[i];
        sb += b[i];
    }
    const float ma = sa / count;
    const float mb = sb / count;
    float cov = 0.0f;
    float va = 0.0f;
    float vb = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        const float da = a[i] - ma;
        const float db = b[i] - mb;
        cov += da * db;
        va += da * da;
        vb += db * db;
    }
    cov /= count;
    va /= count;
    vb /= count;
    const float den = std::sqrt(va * vb);
    if (den == 0.0f) {
        return constant;
    }
    return cov / den;
}

}  // namespace

float CorrelationCoefficient(const float* a, const float* b, uint32_t n) {
    return Correlation(a, b, n, 1.0f);
}

float MatchCorrelation(const float* a, const float* b, uint32_t n) {
    return Correlation(a, b, n, 0.0f);
}

uint32_t CrossCorrelate(const float* x, uint32_t nx, const float* h, uint32_t nh, float* out) {
    if (nh == 0) {
        return 0;
    }
    uint32_t size = 2;
    while (size < 2 * nh) {
        size *= 2;
    }
    const uint32_t hop = size - nh + 1;
    const size_t outCount = static_cast<size_t>(nx) + nh - 1;
    std::vector<float> temporary;
    if (out == nullptr) {
        temporary.resize(outCount);
        out = temporary.data();
    }

    std::vector<float> kr(size, 0.0f);
    std::vector<float> ki(size, 0.0f);
    for (uint32_t i = 0; i < nh; ++i) {
        kr[i] = h[nh - 1 - i];
    }
    Fft(kr.data(), ki.data(), size);

    std::vector<float> tail(nh - 1, 0.0f);
    std::vector<float> xr(size);
    std::vector<float> xi(size);
    float max = 0.0f;
    uint32_t peak = 0;
    size_t written = 0;
    auto emit = [&](float v) {
        if (v > max) {
            max = v;
            peak = static_cast<uint32_t>(written);
        }
        out[written++] = v;
    };

    uint32_t consumed = 0;
    while (consumed < nx) {
        std::fill(xr.begin(), xr.end(), 0.0f);
        std::fill(xi.begin(), xi.end(), 0.0f);
        const uint32_t take = std::min(hop, nx - consumed);
        std::copy(x + consumed, x + consumed + take, xr.begin());
        consumed += take;
        Fft(xr.data(), xi.data(), size);
        for (uint32_t i = 0; i < size; ++i) {
            const float r = xr[i] * kr[i] - xi[i] * ki[i];
            const float m = xr[i] * ki[i] + xi[i] * kr[i];
            xr[i] = r;
            xi[i] = m;
        }
        InverseFft(xr.data(), xi.data(), size);
        for (uint32_t i = 0; i + 1 < nh; ++i) {
            xr[i] += tail[i];
        }
        for (uint32_t i = 0; i + 1 < nh; ++i) {
            tail[i] = xr[i + hop];
        }
        for (uint32_t i = 0; i < hop && written < outCount; ++i) {
            emit(xr[i]);
        }
    }
    for (uint32_t i = 0; i + 1 < nh && written < outCount; ++i) {
        emit(tail[i]);
    }
    return peak;
}

uint32_t NormalizedCrossCorrelate(const float* x, uint32_t nx, const float* h, uint32_t nh,
                                  float* out) {
    if (nh == 0) {
        return 0;
    }
    const size_t outCount = static_cast<size_t>(nx) + nh - 1;
    std::vector<float> temporary;
    if (out == nullptr) {
        temporary.resize(outCount);
        out = temporary.data();
    }
    CrossCorrelate(x, nx, h, nh, out);

    const float r = 1.0f / static_cast<float>(nh);
    float sumH = 0.0f;
    float sumH2 = 0.0f;
    for (uint32_t i = 0; i < nh; ++i) {
        sumH += h[i];
        sumH2 += h[i] * h[i];
    }
    const float hm = r * sumH;
    const float hq = r * sumH2;
    const float hVar = std::max(0.0f, hq - hm * hm);

    float xm = 0.0f;
    float xq = 0.0f;
    float best = 0.0f;
    uint32_t peak = 0;
    for (size_t k = 0; k < outCount; ++k) {
        if (k < nx) {
            xm += x[k] * r;
            xq += x[k] * x[k] * r;
        }
        if (k >= nh) {
            xm -= x[k - nh] * r;
            xq -= x[k - nh] * x[k - nh] * r;
        }
        const float num = out[k] * r - xm * hm;
        const float den = std::sqrt(std::max(0.0f, xq - xm * xm) * hVar);
        out[k] = den != 0.0f ? num / den : 0.0f;
        if (out[k] > best) {
            best = out[k];
            peak = static_cast<uint32_t>(k);
        }
    }
    return peak;
}
