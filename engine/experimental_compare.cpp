#include "experimental_compare.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>

#include "scan_state.h"
#include "signal_math.h"

namespace {

// Noise floor of the loudness deviations, relative to the opening's RMS.
constexpr float kFloorFactor = 0.0001f;
// Values dropped at each end of a loudness-change curve (1 s).
constexpr size_t kCurveTrim = 25;
// Curve values that go with one band block (1 s of 40 ms frames).
constexpr uint32_t kFramesPerBlock = kBandBlockLength / kFrameLength;
// Blocks left out of A's band series: the first and the last.
constexpr uint32_t kBlockTrim = 2;
// Turns the sum of the band correlations into their mean (1/25).
constexpr float kBandMeanFactor = 0.04f;
// The last band edge: one past bin 32768, so the top band includes the
// Nyquist bin.
constexpr uint32_t kLastEdge = kBandTransformSize / 2 + 1;
// Three excerpts: from the first half, the middle and the second half.
constexpr uint32_t kExcerptCount = 3;
// A plug-in must end its stream with a failure; one that keeps returning empty
// chunks is taken to have ended after this many in a row.
constexpr uint32_t kMaxEmptyChunks = 1024;

constexpr size_t kNoFit = std::numeric_limits<size_t>::max();

// Start of excerpt e of len values within a series of n values (unsigned
// division throughout), or kNoFit when the excerpt does not fit.
size_t ExcerptStart(uint32_t e, size_t n, size_t len) {
    switch (e) {
        case 0:
            return n / 2 < len ? kNoFit : (n / 2 - len) / 2;
        case 1:
            return n < len ? kNoFit : (n - len) / 2;
        default:
            return n / 2 < len ? kNoFit : n / 2 + (n / 2 - len) / 2;
    }
}

}  // namespace

const std::array<uint32_t, kBandCount + 1>& BandEdges() {
    static const std::array<uint32_t, kBandCount + 1> edges = [] {
        std::array<uint32_t, kBandCount + 1> e{};
        // Each step of the rule is rounded to single precision, and the edges
        // depend on it: exactly, edge 15 would be 512, not 511.
        const float logTop =
            static_cast<float>(std::log(static_cast<double>(kBandTransformSize / 2)));
        for (uint32_t k = 1; k < kBandCount; ++k) {
            // k x logTop is exact in double; the quotient is rounded once.
            const float exponent = static_cast<float>(static_cast<double>(k) *
                                                      static_cast<double>(logTop) / kBandCount);
            const float bin = static_cast<float>(std::exp(static_cast<double>(exponent)));
            e[k] = static_cast<uint32_t>(bin);
        }
        e[0] = 0;
        e[kBandCount] = kLastEdge;
        return e;
    }();
    return edges;
}

HRESULT ReadOpening(const std::u16string& path, uint32_t n, DecoderSet& decoders,
                    std::vector<float>& opening, float* rms) {
    opening.clear();
    if (rms != nullptr) {
        *rms = 0.0f;
    }
    if (Failed(decoders.OpenFile(path.c_str()))) {
        return E_FAIL;
    }
    // A caller's n need not be a real length: reserve no more than one opening.
    opening.reserve(std::min(n, kOpeningLength));
    float sum = 0.0f;
    uint32_t emptyRun = 0;
    while (opening.size() < n) {
        const float* chunk = nullptr;
        uint32_t count = 0;
        if (Failed(decoders.ReadSamples(&chunk, &count))) {
            break;
        }
        if (count == 0 || chunk == nullptr) {
            if (++emptyRun >= kMaxEmptyChunks) {
                break;
            }
            continue;
        }
        emptyRun = 0;
        const size_t take = std::min<size_t>(count, n - opening.size());
        for (size_t i = 0; i < take; ++i) {
            sum += chunk[i];
        }
        opening.insert(opening.end(), chunk, chunk + take);
    }
    decoders.CloseFile();

    float squares = 0.0f;
    if (!opening.empty()) {
        const float size = static_cast<float>(opening.size());
        const float mean = sum / size;
        for (float& x : opening) {
            x -= mean;
            squares += x * x;
        }
        squares = std::sqrt(squares / size);
    }
    if (rms != nullptr) {
        *rms = squares;
    }
    return S_OK;
}

HRESULT OnsetCurve(const std::vector<float>& x, uint32_t w, uint32_t d, float rms,
                   std::vector<float>& curve) {
    curve.clear();
    const size_t size = x.size();
    if (w == 0 || d == 0 || size < 2 * static_cast<size_t>(w)) {
        return E_FAIL;
    }
    curve.reserve(size / d);
    const float floor = rms * kFloorFactor;
    const float invW = 1.0f / static_cast<float>(w);
    const float invD = 1.0f / static_cast<float>(d);

    float sL = 0.0f;
    float qL = 0.0f;
    float sR = 0.0f;
    float qR = 0.0f;
    for (size_t i = 0; i < w; ++i) {
        sR += x[i];
        qR += x[i] * x[i];
    }
    float acc = 0.0f;
    uint32_t inFrame = 0;
    for (size_t i = 0; i < size; ++i) {
        float devL = std::sqrt((qL - sL * sL * invW) * invW);
        // Also catches the NaN of a variance that rounding made negative.
        if (!(devL > floor)) {
            devL = floor;
        }
        float devR = std::sqrt((qR - sR * sR * invW) * invW);
        if (!(devR > floor)) {
            devR = floor;
        }
        float v;
        if (devL == devR) {
            // Steady loudness. Said explicitly so that digital silence, where
            // the floor and both deviations are 0, counts as no change
            // instead of 0/0.
            v = 0.0f;
        } else if (devL < devR) {
            v = 1.0f - devL / devR;
        } else {
            v = devR / devL - 1.0f;
        }
        acc += v;
        if (++inFrame == d) {
            curve.push_back(acc * invD);
            acc = 0.0f;
            inFrame = 0;
        }
        if (i >= w) {
            const float out = x[i - w];
            sL -= out;
            qL -= out * out;
        }
        const float moved = x[i];
        sL += moved;
        qL += moved * moved;
        sR -= moved;
        qR -= moved * moved;
        if (i + w < size) {
            const float in = x[i + w];
            sR += in;
            qR += in * in;
        }
    }
    return S_OK;
}

void BandProfile(const std::vector<float>& x, std::vector<float>& profile) {
    const size_t size = x.size();
    const size_t blocks = (size + kBandBlockLength - 1) / kBandBlockLength;
    profile.assign(kBandCount * blocks, 0.0f);
    if (blocks == 0) {
        return;
    }
    const std::array<uint32_t, kBandCount + 1>& edges = BandEdges();
    // One pair of transform arrays serves every block.
    std::vector<float> re(kBandTransformSize);
    std::vector<float> im(kBandTransformSize);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t first = b * kBandBlockLength;
        const size_t last = std::min(first + kBandBlockLength, size);
        std::fill(std::copy(x.begin() + static_cast<std::ptrdiff_t>(first),
                            x.begin() + static_cast<std::ptrdiff_t>(last), re.begin()),
                  re.end(), 0.0f);
        std::fill(im.begin(), im.end(), 0.0f);
        Fft(re.data(), im.data(), kBandTransformSize);
        for (uint32_t k = 0; k < kBandCount; ++k) {
            float sum = 0.0f;
            for (uint32_t j = edges[k]; j < edges[k + 1]; ++j) {
                const double r = re[j];
                const double i = im[j];
                sum += std::sqrt(static_cast<float>(r * r + i * i));
            }
            profile[k * blocks + b] = sum / static_cast<float>(edges[k + 1] - edges[k]);
        }
    }
}

float AlignScore(const std::vector<float>& onsetA, const std::vector<float>& onsetB,
                 const std::vector<float>& bandsA, const std::vector<float>& bandsB, uint32_t l,
                 uint32_t m) {
    if (l == 0 || m == 0) {
        return 0.0f;
    }
    if (onsetA.size() < l || onsetB.size() < l) {
        return 0.0f;
    }
    const size_t minBands = static_cast<size_t>(kBandCount) * m;
    if (bandsA.size() < minBands || bandsB.size() < minBands || bandsA.size() != bandsB.size()) {
        return 0.0f;
    }
    const size_t blocks = bandsB.size() / kBandCount;
    if (blocks <= kBlockTrim) {
        return 0.0f;
    }
    // A's band series runs from block 1 to the last block but one.
    const size_t seriesA = blocks - kBlockTrim;
    const size_t nA = onsetA.size();
    const size_t nB = onsetB.size();
    // Only curve values with a band block of their own can score. For an
    // opening that is every value (1450 = 25 x 58).
    const size_t scored = std::min(nA, seriesA * kFramesPerBlock);

    std::vector<float> co(nA + l - 1);
    std::vector<float> cb(seriesA + m - 1);
    std::vector<float> cs(seriesA + m - 1);
    float best = 0.0f;
    for (uint32_t e = 0; e < kExcerptCount; ++e) {
        const size_t onsetStart = ExcerptStart(e, nB, l);
        const size_t bandStart = ExcerptStart(e, seriesA, m);
        if (onsetStart == kNoFit || bandStart == kNoFit) {
            continue;
        }
        NormalizedCrossCorrelate(onsetA.data(), static_cast<uint32_t>(nA),
                                 onsetB.data() + onsetStart, l, co.data());

        std::fill(cs.begin(), cs.end(), 0.0f);
        for (uint32_t k = 0; k < kBandCount; ++k) {
            const float* seriesOfA = bandsA.data() + k * blocks + 1;
            const float* excerptOfB = bandsB.data() + k * blocks + bandStart;
            NormalizedCrossCorrelate(seriesOfA, static_cast<uint32_t>(seriesA), excerptOfB, m,
                                     cb.data());
            for (size_t j = 0; j < cs.size(); ++j) {
                cs[j] += cb[j];
            }
        }
        for (float& v : cs) {
            v *= kBandMeanFactor;
        }

        // Negative products never count; neither does NaN, which fails the
        // comparison.
        float sc = 0.0f;
        for (size_t i = 0; i < scored; ++i) {
            const float p = co[i + l - 1] * cs[i / kFramesPerBlock + m - 1];
            if (p >= sc) {
                sc = p;
            }
        }
        if (sc > best) {
            best = sc;
        }
    }
    // Correlation coefficients of near-constant windows can overshoot 1 by
    // rounding; the figure stays a percentage.
    return std::min(best, 1.0f);
}

HRESULT ExperimentalScore(const std::u16string& path1, const std::u16string& path2,
                          DecoderSet& decoders, float* score) {
    if (score == nullptr) {
        return E_FAIL;
    }
    *score = 0.0f;
    try {
        std::vector<float> a;
        std::vector<float> b;
        float rmsA = 0.0f;
        float rmsB = 0.0f;
        if (Failed(ReadOpening(path1, kOpeningLength, decoders, a, &rmsA)) ||
            a.size() < kOpeningLength) {
            return E_FAIL;
        }
        if (Failed(ReadOpening(path2, kOpeningLength, decoders, b, &rmsB)) ||
            b.size() < kOpeningLength) {
            return E_FAIL;
        }
        std::vector<float> curveA;
        std::vector<float> curveB;
        if (Failed(OnsetCurve(a, kLoudnessWindow, kFrameLength, rmsA, curveA)) ||
            Failed(OnsetCurve(b, kLoudnessWindow, kFrameLength, rmsB, curveB))) {
            return E_FAIL;
        }
        std::vector<float> profileA;
        std::vector<float> profileB;
        BandProfile(a, profileA);
        BandProfile(b, profileB);
        if (curveA.size() < 2 * kCurveTrim || curveB.size() < 2 * kCurveTrim) {
            return E_FAIL;
        }
        for (std::vector<float>* curve : {&curveA, &curveB}) {
            curve->erase(curve->end() - kCurveTrim, curve->end());
            curve->erase(curve->begin(), curve->begin() + kCurveTrim);
        }
        const float s1 =
            AlignScore(curveA, curveB, profileA, profileB, kOnsetExcerpt, kBandExcerpt);
        const float s2 =
            AlignScore(curveB, curveA, profileB, profileA, kOnsetExcerpt, kBandExcerpt);
        *score = std::max(s1, s2);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CompareExperimental(int32_t generation, const std::u16string& path1,
                            const std::u16string& path2, DecoderSet& decoders, ScanOwner& owner) {
    float score = 0.0f;
    const HRESULT hr = ExperimentalScore(path1, path2, decoders, &score);
    {
        std::lock_guard<std::mutex> hold(owner.pairsLock);
        // A scan that began while the figure was computed has cleared the list.
        if (IsCurrent(generation)) {
            DuplicatePair update;
            update.path1 = path1;
            update.path2 = path2;
            update.contentPercent = 0.0f;
            update.tagPercent = 0.0f;
            // A figure that cannot be computed says so, rather than leave its
            // pair waiting for ever.
            update.experimentalPercent = Failed(hr) ? kExperimentalFailed : score * 100.0f;
            update.isUpdate = true;
            update.details1 = 0;
            update.details2 = 0;
            owner.PendingPairs.push_back(std::move(update));
        }
    }
    owner.Post(WM_PAIRS_READY);
    return hr;
}
