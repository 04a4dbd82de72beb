#include "half_rate_mixer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

// The filter: kTaps taps around kCenter, split by the parity of the tap.
constexpr int kCenter = 32;
constexpr int kTaps = 2 * kCenter + 1;
constexpr int kEvenTaps = kCenter + 1;  // taps 0, 2, ..., 64
constexpr int kOddTaps = kCenter;       // taps 1, 3, ..., 63
// Half the width of the window in input samples, its shape, and the cut-off
// as a share of the output band: those of the general resampler at 2:1.
constexpr double kWindowHalfWidth = 33.0;
constexpr double kKaiserBeta = 9.0;
constexpr double kCutoff = 0.97;
constexpr float kInt16Scale = 1.0f / 32768.0f;
constexpr float kInt32Scale = 1.0f / 2147483648.0f;
constexpr float kOutputScale = 32768.0f;

struct Kernel {
    std::array<float, kEvenTaps> even;
    std::array<float, kOddTaps> odd;
};

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 64 && term > 1e-17 * sum; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

const Kernel& FilterKernel() {
    static const Kernel kernel = [] {
        std::array<double, kTaps> taps{};
        // The new band is half the old one: the cut-off lies at kCutoff / 2
        // of the input's half sampling rate.
        const double band = kCutoff / 2.0;
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) {
            const double d = k - kCenter;
            const double x = M_PI * band * d;
            const double sinc = d == 0 ? 1.0 : std::sin(x) / x;
            const double w = d / kWindowHalfWidth;
            taps[k] = sinc * BesselI0(kKaiserBeta * std::sqrt(1.0 - w * w));
            sum += taps[k];
        }
        Kernel k{};
        for (int i = 0; i < kTaps; ++i) {
            const auto tap = static_cast<float>(taps[i] / sum);  // unity gain at 0 Hz
            if (i % 2 == 0) {
                k.even[i / 2] = tap;
            } else {
                k.odd[i / 2] = tap;
            }
        }
        return k;
    }();
    return kernel;
}

// The mean over the channels of frame f, full scale 1.0, goes to
// first[f / 2] for even f and to second[f / 2] for odd f. A run of frames is
// mixed into a row first and then dealt out, two simple loops that the
// compiler puts on vector instructions; every value is computed as one frame
// at a time would.
template <class T>
float SampleAt(const uint8_t* plane, size_t index) {
    T v;
    std::memcpy(&v, plane + index * sizeof(T), sizeof(T));
    return static_cast<float>(v);
}

template <class T>
void Mix(const uint8_t* const* data, const PcmFrameLayout& layout, size_t frames, float scale,
         float* first, float* second) {
    constexpr size_t kRun = 512;  // frames mixed per row; even
    const bool stereo = layout.channels == 2;
    const float weight = stereo ? 0.5f * scale : scale;
    const uint8_t* a = data[0];
    const uint8_t* b = stereo && layout.planar ? data[1] : nullptr;
    alignas(32) float row[kRun];
    for (size_t done = 0; done < frames; done += kRun) {
        const size_t n = std::min(kRun, frames - done);
        if (!stereo) {
            for (size_t i = 0; i < n; ++i) {
                row[i] = SampleAt<T>(a, done + i) * weight;
            }
        } else if (layout.planar) {
            for (size_t i = 0; i < n; ++i) {
                row[i] = (SampleAt<T>(a, done + i) + SampleAt<T>(b, done + i)) * weight;
            }
        } else {
            for (size_t i = 0; i < n; ++i) {
                const size_t f = done + i;
                row[i] = (SampleAt<T>(a, 2 * f) + SampleAt<T>(a, 2 * f + 1)) * weight;
            }
        }
        // done is even, so the parity of a frame is that of its place in the row.
        float* __restrict even = first + done / 2;
        float* __restrict odd = second + done / 2;
        for (size_t i = 0; i < n / 2; ++i) {
            even[i] = row[2 * i];
            odd[i] = row[2 * i + 1];
        }
        if (n % 2 != 0) {
            even[n / 2] = row[n - 1];
        }
    }
}

// Eight floats at any address; the compiler splits the operations into what
// the processor has.
using Float8 = float __attribute__((vector_size(32), aligned(4), may_alias));
using Int8 = int32_t __attribute__((vector_size(32)));
using Short8 = int16_t __attribute__((vector_size(16)));
constexpr size_t kLanes = 8;
constexpr size_t kAccumulators = 4;
constexpr size_t kBlock = kLanes * kAccumulators;  // outputs filtered together

const Float8& At(const float* p) {
    return *reinterpret_cast<const Float8*>(p);
}

// out[i] for blocks * kBlock outputs: the symmetric filter over the even
// positions i .. i + 32 and the odd ones i .. i + 31, as 16-bit samples
// rounded to nearest (ties to even) and clipped. Built for the wider vector
// instructions as well, chosen when the processor has them.
HF_CLONES_AVX2 void FilterBlocks(const Kernel& k, const float* even, const float* odd,
                                 size_t blocks, int16_t* out) {
    // Adding and taking away 1.5 * 2^23 rounds a float to a whole number.
    constexpr float kRounder = 12582912.0f;
    const Float8 low = Float8{} - 32768.0f;
    const Float8 high = Float8{} + 32767.0f;
    constexpr int kMiddle = kEvenTaps / 2;
    for (size_t b = 0; b < blocks; ++b) {
        const float* e = even + b * kBlock;
        const float* o = odd + b * kBlock;
        Float8 acc[kAccumulators];
        for (size_t j = 0; j < kAccumulators; ++j) {
            acc[j] = k.even[kMiddle] * At(e + j * kLanes + kMiddle);
        }
        for (int m = 0; m < kMiddle; ++m) {
            const float c = k.even[m];
            for (size_t j = 0; j < kAccumulators; ++j) {
                const float* p = e + j * kLanes;
                acc[j] += c * (At(p + m) + At(p + kEvenTaps - 1 - m));
            }
        }
        for (int m = 0; m < kOddTaps / 2; ++m) {
            const float c = k.odd[m];
            for (size_t j = 0; j < kAccumulators; ++j) {
                const float* p = o + j * kLanes;
                acc[j] += c * (At(p + m) + At(p + kOddTaps - 1 - m));
            }
        }
        for (size_t j = 0; j < kAccumulators; ++j) {
            Float8 v = acc[j] * kOutputScale;
            v = v < low ? low : v;
            v = v > high ? high : v;
            v = (v + kRounder) - kRounder;
            const Short8 samples =
                __builtin_convertvector(__builtin_convertvector(v, Int8), Short8);
            std::memcpy(out + b * kBlock + j * kLanes, &samples, sizeof(samples));
        }
    }
}

}  // namespace

CHalfRateMixer::CHalfRateMixer() {
    Reset();
}

bool CHalfRateMixer::Takes(const PcmFrameLayout& layout) {
    return layout.channels == 1 || layout.channels == 2;
}

void CHalfRateMixer::Reset() {
    m_even.clear();
    m_odd.clear();
    m_head.clear();
    m_position = 0;
    m_started = false;
}

void CHalfRateMixer::Append(const float* values, size_t count) {
    const bool evenFirst = m_position % 2 == 0;
    const size_t toEven = evenFirst ? (count + 1) / 2 : count / 2;
    const size_t evenAt = m_even.size();
    const size_t oddAt = m_odd.size();
    m_even.resize(evenAt + toEven);
    m_odd.resize(oddAt + count - toEven);
    float* first = (evenFirst ? m_even.data() + evenAt : m_odd.data() + oddAt);
    float* second = (evenFirst ? m_odd.data() + oddAt : m_even.data() + evenAt);
    for (size_t i = 0; i + 1 < count; i += 2) {
        *first++ = values[i];
        *second++ = values[i + 1];
    }
    if (count % 2 != 0) {
        *first = values[count - 1];
    }
    m_position += count;
}

void CHalfRateMixer::Start() {
    // The lead mirrors the first input frames around frame 0, so that output
    // 0 is centred on it with the filter fully fed, as the resampler does.
    float lead[kCenter];
    for (int d = 1; d <= kCenter; ++d) {
        const auto at = static_cast<size_t>(d);
        lead[kCenter - d] = at < m_head.size() ? m_head[at] : 0.0f;
    }
    Append(lead, kCenter);
    Append(m_head.data(), m_head.size());
    m_head.clear();
    m_started = true;
}

void CHalfRateMixer::Push(const uint8_t* const* data, const PcmFrameLayout& layout, int frames,
                          std::vector<uint8_t>& out) {
    if (frames <= 0 || !Takes(layout)) {
        return;
    }
    const auto count = static_cast<size_t>(frames);
    float* first = nullptr;
    float* second = nullptr;
    if (m_started) {
        // Straight to the positions the frames take.
        const bool evenFirst = m_position % 2 == 0;
        const size_t toFirst = (count + 1) / 2;
        std::vector<float>& a = evenFirst ? m_even : m_odd;
        std::vector<float>& b = evenFirst ? m_odd : m_even;
        a.resize(a.size() + toFirst);
        b.resize(b.size() + count - toFirst);
        first = a.data() + a.size() - toFirst;
        second = b.data() + b.size() - (count - toFirst);
        m_position += count;
    } else {
        m_mixed.resize(count);
        first = m_mixed.data();
        second = m_mixed.data() + (count + 1) / 2;
    }
    switch (layout.kind) {
        case PcmFrameLayout::kFloat:
            Mix<float>(data, layout, count, 1.0f, first, second);
            break;
        case PcmFrameLayout::kInt16:
            Mix<int16_t>(data, layout, count, kInt16Scale, first, second);
            break;
        case PcmFrameLayout::kInt32:
            Mix<int32_t>(data, layout, count, kInt32Scale, first, second);
            break;
    }
    if (!m_started) {
        // Until the lead can be made the frames wait, in order, in the head.
        for (size_t f = 0; f < count; ++f) {
            m_head.push_back(f % 2 == 0 ? first[f / 2] : second[f / 2]);
        }
        if (m_head.size() <= static_cast<size_t>(kCenter)) {
            return;
        }
        Start();
    }
    Produce(out, false);
}

void CHalfRateMixer::Flush(std::vector<uint8_t>& out) {
    if (!m_started && !m_head.empty()) {
        Start();
    }
    if (m_started) {
        // A tail of zeros as long as the lead completes the outputs of the
        // last input frames, one per two of them, and no more.
        const float tail[kCenter] = {};
        Append(tail, kCenter);
        Produce(out, true);
    }
    Reset();
}

void CHalfRateMixer::Produce(std::vector<uint8_t>& out, bool last) {
    // Output i needs the even positions i .. i + 32 and the odd ones i .. i + 31.
    const std::ptrdiff_t ready =
        std::min(static_cast<std::ptrdiff_t>(m_even.size()) - (kEvenTaps - 1),
                 static_cast<std::ptrdiff_t>(m_odd.size()) - (kOddTaps - 1));
    // Until the end only whole blocks: tiny frames would otherwise pay for
    // a block each.
    const auto count =
        last ? static_cast<size_t>(std::max<std::ptrdiff_t>(ready, 0))
             : static_cast<size_t>(std::max<std::ptrdiff_t>(ready, 0)) / kBlock * kBlock;
    if (count == 0) {
        return;
    }
    const size_t evenSize = m_even.size();
    const size_t oddSize = m_odd.size();
    // Whole blocks are filtered on vector instructions; the padding of the
    // inputs lets the last block read past the outputs that are ready.
    const size_t blocks = (count + kBlock - 1) / kBlock;
    m_even.resize(std::max(m_even.size(), blocks * kBlock + kEvenTaps - 1));
    m_odd.resize(std::max(m_odd.size(), blocks * kBlock + kOddTaps - 1));
    m_filtered.resize(blocks * kBlock);
    FilterBlocks(FilterKernel(), m_even.data(), m_odd.data(), blocks, m_filtered.data());
    const size_t first = out.size();
    out.resize(first + count * sizeof(int16_t));
    std::memcpy(out.data() + first, m_filtered.data(), count * sizeof(int16_t));
    // The padding read above is dropped with what was consumed.
    const size_t evenLeft = evenSize - count;
    const size_t oddLeft = oddSize - count;
    std::memmove(m_even.data(), m_even.data() + count, evenLeft * sizeof(float));
    std::memmove(m_odd.data(), m_odd.data() + count, oddLeft * sizeof(float));
    m_even.resize(evenLeft);
    m_odd.resize(oddLeft);
}
