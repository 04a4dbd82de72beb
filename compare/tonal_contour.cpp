#include "tonal_contour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "signal_math.h"

namespace {

constexpr double kBinHz = 22050.0 / 2048.0;
constexpr double kLowestHz = 150.0;
constexpr uint32_t kBandsPerOctave = 12;
// Each band less the mean of itself and this many bands either side.
constexpr uint32_t kSideBands = 3;
// A narrow band is compared from 300 Hz up to four fifths of its end, clear
// of the edges that filters round off.
constexpr double kNarrowLowestHz = 300.0;
constexpr double kNarrowShare = 0.8;
// Added to each band's mean before its logarithm, relative to the mean of
// the spectrum: a band without sound is a deep valley, not minus infinity.
constexpr double kLevelFloor = 1e-6;
// How far the reference's single-precision correlation may lie from the
// exact correlation of the same values, with room to spare: sixty values of
// a spread no smaller than kLeastSpread of their size lose far less.
constexpr double kReferenceSlack = 1e-3;
constexpr double kLeastSpread = 1e-4;

using Edges = std::array<double, kContourBands + 1>;

const Edges& BandEdges() {
    static const Edges edges = [] {
        Edges e{};
        for (uint32_t i = 0; i <= kContourBands; ++i) {
            e[i] = kLowestHz * std::exp2(static_cast<double>(i) / kBandsPerOctave);
        }
        return e;
    }();
    return edges;
}

}  // namespace

namespace {

// Each band's mean as weights of the bins: the spectrum read as a line
// through its bins, sampled at every whole hertz of the band. Worked out
// once; a band reads a few dozen bins at most.
struct BandWeights {
    std::vector<uint32_t> first;  // per band, its first entry in bins/weights
    std::vector<uint32_t> bins;
    std::vector<double> weights;
};

const BandWeights& Weights() {
    static const BandWeights weights = [] {
        BandWeights w;
        const Edges& edges = BandEdges();
        auto hz = static_cast<uint32_t>(std::ceil(edges[0]));
        for (uint32_t band = 0; band < kContourBands; ++band) {
            w.first.push_back(static_cast<uint32_t>(w.bins.size()));
            std::vector<double> byBin(kComparedBins + 1, 0.0);
            uint32_t count = 0;
            for (; hz < edges[band + 1]; ++hz) {
                const double x = hz / kBinHz;
                const auto k = static_cast<uint32_t>(x);
                byBin[k] += 1.0 - (x - k);
                byBin[k + 1] += x - k;
                ++count;
            }
            for (uint32_t k = 0; k <= kComparedBins; ++k) {
                if (byBin[k] != 0.0) {
                    w.bins.push_back(k);
                    w.weights.push_back(byBin[k] / count);
                }
            }
        }
        w.first.push_back(static_cast<uint32_t>(w.bins.size()));
        return w;
    }();
    return weights;
}

}  // namespace

void ComputeContour(const float* spectrum, float* contour) {
    double total = 0.0;
    for (uint32_t k = 0; k < kComparedBins; ++k) {
        if (!std::isfinite(spectrum[k]) || spectrum[k] < 0.0f) {
            std::fill(contour, contour + kContourBands, std::nanf(""));
            return;
        }
        total += spectrum[k];
    }
    const double floor = kLevelFloor * total / kComparedBins;
    const BandWeights& w = Weights();
    std::array<double, kContourBands> level{};
    for (uint32_t band = 0; band < kContourBands; ++band) {
        double mean = 0.0;
        for (uint32_t e = w.first[band]; e < w.first[band + 1]; ++e) {
            mean += w.weights[e] * spectrum[w.bins[e]];
        }
        level[band] = std::log(mean + floor);
    }
    for (uint32_t i = 0; i < kContourBands; ++i) {
        const uint32_t from = i >= kSideBands ? i - kSideBands : 0;
        const uint32_t to = std::min(kContourBands, i + kSideBands + 1);
        double around = 0.0;
        for (uint32_t j = from; j < to; ++j) {
            around += level[j];
        }
        contour[i] = static_cast<float>(level[i] - around / (to - from));
    }
}

ContourRange SharedContourRange(uint32_t bandEndA, uint32_t bandEndB) {
    const uint32_t end = std::min(bandEndA, bandEndB);
    if (end >= kComparedBins) {
        return ContourRange{0, kContourBands};
    }
    const Edges& edges = BandEdges();
    const double top = kNarrowShare * end * kBinHz;
    uint32_t first = 0;
    while (first < kContourBands && edges[first] < kNarrowLowestHz) {
        ++first;
    }
    uint32_t last = 0;
    while (last < kContourBands && edges[last + 1] <= top) {
        ++last;
    }
    return ContourRange{first, last > first ? last - first : 0};
}

float ContourScore(const float* contourA, uint32_t bandEndA, const float* contourB,
                   uint32_t bandEndB) {
    const ContourRange range = SharedContourRange(bandEndA, bandEndB);
    if (range.count < 3) {
        return 0.0f;
    }
    const float r = MatchCorrelation(contourA + range.first, contourB + range.first, range.count);
    // NaN stays NaN, so that no rule accepts it.
    return r < 0.0f ? 0.0f : r;
}

ContourKey MakeContourKey(const float* contour, uint32_t bandEnd) {
    ContourKey key{};
    key.error = kNoContourBound;
    if (bandEnd < kComparedBins) {
        return key;
    }
    double sum = 0.0;
    double squares = 0.0;
    for (uint32_t i = 0; i < kContourBands; ++i) {
        sum += contour[i];
        squares += static_cast<double>(contour[i]) * contour[i];
    }
    const double mean = sum / kContourBands;
    std::array<double, kContourBands> unit{};
    double centred = 0.0;
    for (uint32_t i = 0; i < kContourBands; ++i) {
        unit[i] = contour[i] - mean;
        centred += unit[i] * unit[i];
    }
    if (!std::isfinite(centred) || centred == 0.0) {
        // The score is NaN or 0: such a contour matches nothing.
        key.error = 0;
        return key;
    }
    if (!(centred > kLeastSpread * squares)) {
        return key;
    }
    const double norm = std::sqrt(centred);
    double largest = 0.0;
    for (double& u : unit) {
        u /= norm;
        largest = std::max(largest, std::fabs(u));
    }
    // The smallest step (in units of 2^-21) that keeps every value within
    // 127 steps.
    const double step = std::ceil(largest / 127.0 * 2097152.0);
    key.step = static_cast<uint16_t>(step);
    const double stepValue = step / 2097152.0;
    double distance = 0.0;
    for (uint32_t i = 0; i < kContourBands; ++i) {
        const double q = std::clamp(std::nearbyint(unit[i] / stepValue), -127.0, 127.0);
        key.steps[i] = static_cast<int8_t>(q);
        distance += (unit[i] - q * stepValue) * (unit[i] - q * stepValue);
    }
    // With the reference's own slack folded in: |a.b - a'.b'| <= ea + eb +
    // ea * eb for unit a, b and a', b' within ea, eb of them.
    const double error = std::ceil((std::sqrt(distance) + kReferenceSlack / 2) * 65536.0) + 1.0;
    if (error < kNoContourBound) {
        key.error = static_cast<uint16_t>(error);
    }
    return key;
}
