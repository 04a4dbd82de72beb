// The spectral contour: copies that change the sound but keep the notes (a
// faster copy, an equalized one, a telephone band) keep the contour while
// their spectra part; another chord does not; and the keys' bound holds and
// stays close.
#include "tonal_contour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "content_compare.h"
#include "grip_vectors.h"
#include "tolerant_compare.h"

namespace {

constexpr double kBinHz = 22050.0 / 2048.0;

// The mean spectrum of a chord: each note's first twelve partials as peaks
// of one bin's width, falling with their number, over a soft floor, played
// `speed` times as fast and shaped by `gain` (of the frequency in hertz);
// above `top` hertz (when not 0) only the flat floor that a transform's
// leakage leaves.
Grip Chord(const std::vector<double>& notes, double speed,
           const std::function<double(double)>& gain, double top = 0.0) {
    Grip g;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> floorNoise(0.9, 1.1);
    for (uint32_t k = 0; k < kSpectrumLength; ++k) {
        const double hz = k * kBinHz;
        double value = 0.02 * floorNoise(rng);
        for (const double note : notes) {
            for (int partial = 1; partial <= 12; ++partial) {
                const double away = (hz - note * partial * speed) / kBinHz;
                value += std::exp(-away * away) / partial;
            }
        }
        g.spectrum[k] =
            top > 0.0 && hz > top ? 1e-5f : static_cast<float>(value * gain(hz) * (k + 1) / 2048.0);
    }
    return g;
}

double Flat(double) {
    return 1.0;
}

TEST(TonalContourTest, CopiesThatKeepTheNotesKeepTheContour) {
    const std::vector<double> cMajor = {261.6, 329.6, 392.0, 523.3};
    const Grip original = Chord(cMajor, 1.0, Flat);
    // Bass up 8 dB below 250 Hz, treble down 6 dB above 3 kHz, with a slope
    // between.
    auto equalizer = [](double hz) {
        const double db = 8.0 / (1.0 + std::pow(hz / 250.0, 2.0)) -
                          6.0 / (1.0 + std::pow(3000.0 / std::max(hz, 1.0), 2.0));
        return std::pow(10.0, db / 20.0);
    };
    auto telephone = [](double hz) { return hz >= 300.0 ? 1.0 : 0.001; };
    struct Case {
        const char* name;
        Grip copy;
        bool listed;  // by the tolerant comparison at the default sensitivity
    };
    const Case cases[] = {
        {"1 % faster", Chord(cMajor, 1.01, Flat), true},
        {"equalized", Chord(cMajor, 1.0, equalizer), true},
        {"telephone band", Chord(cMajor, 1.0, telephone, 3400.0), true},
        {"another chord", Chord({293.7, 370.0, 440.0, 587.3}, 1.0, Flat), false},
        {"another chord, equalized", Chord({293.7, 370.0, 440.0, 587.3}, 1.0, equalizer), false},
    };
    const float s = 0.75f;
    GripVectors a;
    MakeGripVectors(original, a);
    for (const Case& c : cases) {
        GripVectors b;
        MakeGripVectors(c.copy, b);
        const TolerantScores scores = ComputeTolerantScores(original, c.copy);
        EXPECT_EQ(scores.contourScore >= ContourThreshold(s), c.listed)
            << c.name << ": contour " << scores.contourScore;
        EXPECT_EQ(JudgeTolerant(a, b, s), c.listed) << c.name;
        // What the contour finds, the spectra alone would not.
        EXPECT_FALSE(JudgeContent(a, b, s)) << c.name;
        if (b.bandEnd == kComparedBins) {
            const float bound = ContourScoreBound(a.contourKey, b.contourKey);
            EXPECT_GE(bound, scores.contourScore) << c.name;
            EXPECT_LE(bound, scores.contourScore + 0.05f) << c.name;
        }
    }
}

TEST(TonalContourTest, DamagedSpectraMatchNothingAndNarrowOnesHaveNoBound) {
    Grip damaged = Chord({261.6}, 1.0, Flat);
    damaged.spectrum[100] = std::nanf("");
    Grip negative = Chord({261.6}, 1.0, Flat);
    negative.spectrum[5] = -1.0f;
    Grip silent;
    silent.spectrum.fill(0.0f);
    const Grip narrow = Chord({261.6}, 1.0, Flat, 3400.0);
    for (const Grip* g :
         std::initializer_list<const Grip*>{&damaged, &negative, &silent, &narrow}) {
        GripVectors v;
        MakeGripVectors(*g, v);
        // A narrow band has no bound; a contour that is not finite
        // matches nothing, so no pass need ask.
        const float bound = ContourScoreBound(v.contourKey, v.contourKey);
        if (g == &narrow) {
            EXPECT_EQ(bound, 2.0f);
        } else {
            EXPECT_LT(bound, 0.01f);
            EXPECT_FALSE(ContourScore(v.contour, v.bandEnd, v.contour, v.bandEnd) >= 0.0f);
        }
    }
}

// The bound's products run on vector lanes of 16 bits: keys at the ends of
// their range, and the step and error beside the steps, must not leak into
// the dot product.
TEST(TonalContourTest, KeyProductsAreExactAtTheEndsOfTheirRange) {
    auto key = [](auto stepAt, uint16_t error) {
        ContourKey k;
        for (uint32_t i = 0; i < kContourBands; ++i) {
            k.steps[i] = static_cast<int8_t>(stepAt(i));
        }
        k.step = 0xFFFF;
        k.error = error;
        return k;
    };
    const ContourKey high = key([](uint32_t) { return 127; }, 0);
    const ContourKey low = key([](uint32_t) { return -127; }, 0);
    const ContourKey alternating = key([](uint32_t i) { return i % 2 == 0 ? 127 : -127; }, 0);
    const ContourKey lastOnly = key([](uint32_t i) { return i + 1 == kContourBands ? 127 : 0; }, 0);
    const ContourKey erring =
        key([](uint32_t i) { return i + 1 == kContourBands ? 127 : 0; }, 0xFFFE);
    const double unit = 65535.0 * 65535.0 / 4398046511104.0;
    const struct {
        const ContourKey& a;
        const ContourKey& b;
        double dot;
        double error;
    } cases[] = {
        {high, high, 60.0 * 127 * 127, 0.0},
        {high, low, 0.0, 0.0},  // negative: the score is never below 0
        {alternating, alternating, 60.0 * 127 * 127, 0.0},
        {alternating, high, 0.0, 0.0},
        {lastOnly, high, 127.0 * 127, 0.0},
        {erring, lastOnly, 127.0 * 127, 0xFFFE / 65536.0},
    };
    for (const auto& c : cases) {
        const double expected = std::max(0.0, unit * c.dot + c.error + 1e-6);
        EXPECT_NEAR(ContourScoreBound(c.a, c.b), expected, expected * 1e-6 + 1e-6) << c.dot;
    }
}

}  // namespace
