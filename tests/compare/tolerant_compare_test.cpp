// The tolerant content comparison: where a spectrum's band ends, the scores
// against a double-precision brute force over every shift, copies that start
// elsewhere or carry a narrow band, unrelated narrow bands, and the fast
// judgement against the formulas near every threshold (the contours' too).
#include "tolerant_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "content_compare.h"
#include "grip_vectors.h"
#include "series_shifts.h"
#include "signal_math.h"
#include "test_grips.h"

namespace {

constexpr uint32_t kSeriesTimeline = 200;

double Correlation(const float* x, const float* y, uint32_t n) {
    double mx = 0;
    double my = 0;
    for (uint32_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double c = 0;
    double vx = 0;
    double vy = 0;
    for (uint32_t i = 0; i < n; ++i) {
        c += (x[i] - mx) * (y[i] - my);
        vx += (x[i] - mx) * (x[i] - mx);
        vy += (y[i] - my) * (y[i] - my);
    }
    return vx * vy == 0 ? 0.0 : std::fabs(c / std::sqrt(vx * vy));
}

// A piece of music as the envelope and the drift see it, longer than a
// window: a loudness that remembers a little of the stretch before, and a
// spectral likeness per eleventh.
struct Piece {
    std::vector<float> loudness;  // per stretch
    std::vector<float> likeness;  // per eleventh of a window
    Grip spectrumSource;
};

Piece MakePiece(uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> step(0.0f, 0.1f);
    Piece p;
    float level = 0.3f;
    for (uint32_t i = 0; i < kSeriesTimeline; ++i) {
        level = 0.5f * level + 0.15f + std::fabs(step(rng));
        p.loudness.push_back(level);
    }
    std::uniform_real_distribution<float> like(0.3f, 0.99f);
    for (uint32_t i = 0; i < kSeriesTimeline / 9; ++i) {
        p.likeness.push_back(like(rng));
    }
    p.spectrumSource = RandomGrip(seed);
    return p;
}

// The Grip of the piece's window that starts `start` stretches in, with the
// spectrum cut to a floor above bin `bandEnd` when that is below the whole
// band.
Grip Window(const Piece& p, int32_t start, uint32_t bandEnd = kComparedBins) {
    Grip g = p.spectrumSource;
    for (uint32_t i = 0; i < kEnvelopeLength; ++i) {
        g.envelope[i] = p.loudness[static_cast<size_t>(start + 40) + i];
    }
    const int32_t segment =
        static_cast<int32_t>(std::lround(static_cast<double>(start) * 11.0 / 100.0));
    for (uint32_t j = 0; j < kDriftLength; ++j) {
        g.drift[j] = p.likeness[static_cast<size_t>(segment + 4) + j];
    }
    for (uint32_t k = bandEnd; k < kSpectrumLength; ++k) {
        g.spectrum[k] = 0.05f;
    }
    return g;
}

TEST(TolerantCompareTest, BandEndIsWhereTheSpectrumFallsOntoAFlatFloor) {
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        std::function<float(uint32_t)> bin;
        uint32_t end;
    };
    const Case cases[] = {
        {"flat", [](uint32_t) { return 1.0f; }, kComparedBins},
        {"telephone", [](uint32_t k) { return k < 384 ? 1.0f + (k % 7) * 0.1f : 0.03f; }, 384},
        {"low rate", [](uint32_t k) { return k < 768 ? 2.0f : 0.1f; }, 768},
        {"floor of two columns", [](uint32_t k) { return k < 960 ? 2.0f : 0.1f; }, kComparedBins},
        {"floor not below a third", [](uint32_t k) { return k < 512 ? 0.25f : 0.1f; },
         kComparedBins},
        {"band below 1.4 kHz", [](uint32_t k) { return k < 64 ? 3.0f : 0.01f; }, 128},
        {"silent", [](uint32_t) { return 0.0f; }, kComparedBins},
        {"not a number", [kNan](uint32_t k) { return k < 384    ? 1.0f
                                                     : k == 700 ? kNan
                                                                : 0.03f; },
         kComparedBins},
        {"negative", [](uint32_t k) { return k < 384    ? 1.0f
                                             : k == 700 ? -1.0f
                                                        : 0.03f; },
         kComparedBins},
    };
    for (const Case& c : cases) {
        std::vector<float> spectrum(kSpectrumLength);
        for (uint32_t k = 0; k < kSpectrumLength; ++k) {
            spectrum[k] = c.bin(k);
        }
        EXPECT_EQ(CarriedBandEnd(spectrum.data()), c.end) << c.name;
    }
}

TEST(TolerantCompareTest, ScoresEqualABruteForceOverEveryShift) {
    const Piece piece = MakePiece(3);
    const Piece other = MakePiece(4);
    struct Case {
        const char* name;
        Grip a;
        Grip b;
    };
    const Case cases[] = {
        {"as laid", Window(piece, 0), Window(piece, 0)},
        {"cut 2.1 s", Window(piece, 0), Window(piece, 7)},
        {"starts 3.6 s later", Window(piece, 12), Window(piece, 0)},
        {"shifted to the bound", Window(piece, 27), Window(piece, 0)},
        {"shifted beyond the bound", Window(piece, 0), Window(piece, 40)},
        {"narrow band", Window(piece, 0), Window(piece, 5, 384)},
        {"two narrow bands", Window(piece, 0, 768), Window(piece, 0, 384)},
        {"unrelated", Window(piece, 0), Window(other, 0)},
        {"unrelated narrow bands", Window(piece, 0, 384), Window(other, 0, 384)},
    };
    for (const Case& c : cases) {
        const TolerantScores got = ComputeTolerantScores(c.a, c.b);
        const uint32_t end =
            std::min(CarriedBandEnd(c.a.spectrum.data()), CarriedBandEnd(c.b.spectrum.data()));
        const uint32_t first = end < kComparedBins ? 28 : 0;
        const uint32_t last = end < kComparedBins ? end * 4 / 5 : kComparedBins;
        EXPECT_EQ(got.narrowBand, end < kComparedBins) << c.name;
        EXPECT_NEAR(
            got.spectrumScore,
            Correlation(c.a.spectrum.data() + first, c.b.spectrum.data() + first, last - first),
            1e-5)
            << c.name;
        double best = -1;
        int32_t bestShift = 0;
        double second = -1;
        for (int32_t k = -27; k <= 27; ++k) {
            const uint32_t from = static_cast<uint32_t>(std::max(0, -k));
            const double e = Correlation(c.a.envelope.data() + from, c.b.envelope.data() + from + k,
                                         100 - std::abs(k));
            if (e > best) {
                second = best;
                best = e;
                bestShift = k;
            } else {
                second = std::max(second, e);
            }
        }
        EXPECT_NEAR(got.envelopeScore, best, 1e-5) << c.name;
        if (best - second > 1e-4) {
            EXPECT_EQ(got.shift, bestShift) << c.name;
        }
        const int32_t d = static_cast<int32_t>(std::lround(got.shift * 11.0 / 100.0));
        const uint32_t from = static_cast<uint32_t>(std::max(0, -d));
        EXPECT_NEAR(
            got.driftScore,
            Correlation(c.a.drift.data() + from, c.b.drift.data() + from + d, 10 - std::abs(d)),
            1e-5)
            << c.name;
    }
}

// The scores at every shift at once are the reference's own bits, on series
// that put each of its steps to the test: a constant stretch, zeros, a large
// offset that the means cancel, values near the bottom of the normal range,
// and values that are not finite in or outside an overlap.
TEST(TolerantCompareTest, ScoresAtEveryShiftAreTheReferenceBitForBit) {
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    auto series = [&](uint32_t n, float offset, float scale) {
        std::vector<float> v(n);
        for (float& x : v) {
            x = offset + scale * noise(rng);
        }
        return v;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::function<void(std::vector<float>&, std::vector<float>&)> change;
    };
    const Case cases[] = {
        {"random", [](auto&, auto&) {}},
        {"constant start",
         [](auto& a, auto&) { std::fill(a.begin(), a.begin() + a.size() * 2 / 5, 0.5f); }},
        {"constant", [](auto&, auto& b) { std::fill(b.begin(), b.end(), 0.25f); }},
        {"zeros", [](auto& a, auto&) { std::fill(a.begin(), a.end(), 0.0f); }},
        {"offset",
         [&](auto& a, auto& b) {
             a = series(a.size(), 3e4f, 1.0f);
             b = series(b.size(), -2e4f, 0.5f);
         }},
        {"tiny",
         [&](auto& a, auto& b) {
             a = series(a.size(), 0.0f, 1e-19f);
             b = series(b.size(), 1e-18f, 1e-19f);
         }},
        {"not finite at an end",
         [&](auto& a, auto& b) {
             a.front() = nan;
             b.back() = inf;
         }},
        {"not finite inside",
         [&](auto& a, auto& b) {
             a[a.size() / 2] = -inf;
             b[1] = nan;
         }},
    };
    auto same = [](float x, float y) {
        return (std::isnan(x) && std::isnan(y)) || std::memcmp(&x, &y, sizeof(x)) == 0;
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 20; ++round) {
            for (const auto& [length, most] :
                 {std::pair<uint32_t, int32_t>{kEnvelopeLength, 27}, {kDriftLength, 3}}) {
                std::vector<float> a = series(length, 0.3f, 0.1f);
                std::vector<float> b = series(length, 0.2f, 0.2f);
                c.change(a, b);
                float got[56];
                (length == kEnvelopeLength ? EnvelopeScoresAtEveryShift : DriftScoresAtEveryShift)(
                    a.data(), b.data(), got);
                for (int32_t s = -most; s <= most; ++s) {
                    const uint32_t first = static_cast<uint32_t>(std::max(0, -s));
                    const float expected =
                        std::fabs(MatchCorrelation(a.data() + first, b.data() + first + s,
                                                   length - static_cast<uint32_t>(std::abs(s))));
                    ASSERT_TRUE(same(got[s + most], expected))
                        << c.name << " length " << length << " shift " << s << ": " << got[s + most]
                        << " against " << expected;
                }
            }
        }
    }
}

TEST(TolerantCompareTest, CopiesThatStartElsewhereOrLostTheirBandMatch) {
    const Piece piece = MakePiece(21);
    const Piece other = MakePiece(22);
    struct Case {
        const char* name;
        Grip a;
        Grip b;
        bool tolerant;  // listed by the tolerant comparison at the default sensitivity
        int32_t shift;
        bool strict;  // listed as the windows lie
    };
    // A spectrum below the strict threshold leaves the rule that asks all
    // three scores to reach the loose one.
    auto retuned = [&other](Grip g) {
        for (uint32_t k = 0; k < kSpectrumLength; ++k) {
            g.spectrum[k] = 0.6f * g.spectrum[k] + 0.4f * other.spectrumSource.spectrum[k];
        }
        return g;
    };
    const Case cases[] = {
        {"the same window", Window(piece, 0), retuned(Window(piece, 0)), true, 0, true},
        {"cut 2.1 s", Window(piece, 0), retuned(Window(piece, 7)), true, -7, false},
        {"starts 8.1 s later", Window(piece, 27), retuned(Window(piece, 0)), true, 27, false},
        {"starts 12 s later", Window(piece, 40), retuned(Window(piece, 0)), false, 0, false},
        {"telephone copy", Window(piece, 0), Window(piece, 0, 384), true, 0, false},
        {"unrelated telephone copies", Window(piece, 0, 384), Window(other, 0, 384), false, 0,
         false},
    };
    for (const Case& c : cases) {
        GripVectors va;
        GripVectors vb;
        MakeGripVectors(c.a, va);
        MakeGripVectors(c.b, vb);
        EXPECT_EQ(ContentAccepts(ComputeContentScores(c.a, c.b), 0.75f), c.strict) << c.name;
        EXPECT_EQ(JudgeTolerant(va, vb, 0.75f), c.tolerant) << c.name;
        if (c.tolerant) {
            EXPECT_EQ(ComputeTolerantScores(va, vb).shift, c.shift) << c.name;
        }
    }
    // What lies above a band never counts as agreement: as laid, the shared
    // floor makes two unrelated telephone copies alike.
    const Grip a = Window(piece, 0, 384);
    const Grip b = Window(other, 0, 384);
    EXPECT_GT(ComputeContentScores(a, b).spectrumScore, 0.8f);
    EXPECT_LT(ComputeTolerantScores(a, b).spectrumScore, 0.3f);
}

// b = a * w + other * (1 - w) in the envelope (series 1) or the spectrum
// (series 0).
Grip Blend(const Grip& a, const Grip& other, double w, int series) {
    Grip b = a;
    for (uint32_t i = 0; i < kEnvelopeLength && series == 1; ++i) {
        b.envelope[i] = static_cast<float>(w * a.envelope[i] + (1 - w) * other.envelope[i]);
    }
    for (uint32_t k = 0; k < kSpectrumLength && series == 0; ++k) {
        b.spectrum[k] = static_cast<float>(w * a.spectrum[k] + (1 - w) * other.spectrum[k]);
    }
    return b;
}

TEST(TolerantCompareTest, JudgementEqualsTheFormulasNearEveryThreshold) {
    std::vector<Grip> grips;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (uint32_t p = 0; p < 6; ++p) {
        const Piece piece = MakePiece(100 + p);
        const Piece noise = MakePiece(200 + p);
        for (int32_t start : {0, 3, 7, 20, 27, 33}) {
            for (uint32_t end : {kComparedBins, 768u, 384u}) {
                Grip g = Window(piece, start, end);
                g = Blend(g, Window(noise, start, end), std::pow(unit(rng), 0.2), 1);
                g = Blend(g, Window(noise, start, end), std::pow(unit(rng), 0.1), 0);
                grips.push_back(g);
            }
        }
    }
    // Pairs straddling the loose threshold of the envelope at a shift, and
    // the strict and loose thresholds of a narrow band's spectrum.
    const Piece piece = MakePiece(300);
    const Grip anchor = Window(piece, 0);
    const Grip shifted = Window(piece, 9);
    const Grip narrow = Window(piece, 0, 384);
    const Grip away = Window(MakePiece(301), 9);
    const Grip awayNarrow = Window(MakePiece(302), 0, 384);
    for (float s : {0.0f, 0.5f, 0.75f, 0.9f}) {
        const float loose = s * 0.8f + 0.2f;
        const float strict = s * 0.4f + 0.6f;
        auto straddle = [&](const Grip& from, const Grip& to, int series, float target,
                            std::function<float(const Grip&)> score) {
            double below = 0.0;
            double above = 1.0;
            for (int i = 0; i < 60; ++i) {
                const double middle = (below + above) / 2;
                (score(Blend(from, to, middle, series)) >= target ? above : below) = middle;
            }
            grips.push_back(Blend(from, to, below, series));
            grips.push_back(Blend(from, to, above, series));
        };
        straddle(shifted, away, 1, loose,
                 [&](const Grip& g) { return ComputeTolerantScores(anchor, g).envelopeScore; });
        for (float target : {strict, loose}) {
            straddle(narrow, awayNarrow, 0, target,
                     [&](const Grip& g) { return ComputeTolerantScores(anchor, g).spectrumScore; });
        }
        // A whole band as laid whose envelopes disagree: the close spectrum
        // alone lets it pass.
        straddle(shifted, away, 0, CloseSpectrumThreshold(s),
                 [&](const Grip& g) { return ComputeContentScores(anchor, g).spectrumScore; });
        // Contours on either side of their threshold, whole and narrow.
        for (const Grip* to : {&away, &awayNarrow}) {
            straddle(to == &away ? shifted : narrow, *to, 0, ContourThreshold(s),
                     [&](const Grip& g) { return ComputeTolerantScores(anchor, g).contourScore; });
        }
    }
    std::vector<GripVectors> vectors(grips.size());
    for (size_t i = 0; i < grips.size(); ++i) {
        MakeGripVectors(grips[i], vectors[i]);
    }
    size_t accepted = 0;
    size_t judged = 0;
    for (float s : {0.0f, 0.25f, 0.5f, 0.75f, 0.9f, 1.0f}) {
        for (size_t i = 0; i < grips.size(); ++i) {
            for (size_t j = 0; j < grips.size(); ++j) {
                const bool expected = TolerantAccepts(ComputeContentScores(grips[i], grips[j]),
                                                      ComputeTolerantScores(grips[i], grips[j]), s);
                ASSERT_EQ(JudgeTolerant(vectors[i], vectors[j], s), expected)
                    << "s " << s << " pair " << i << " " << j;
                accepted += expected;
                ++judged;
            }
        }
    }
    // Both outcomes are well represented.
    EXPECT_GT(accepted, judged / 20);
    EXPECT_LT(accepted, judged / 2);
}

}  // namespace

namespace {

// A pass asks the drifts first for pairs whose spectra stay below the strict
// threshold: as laid for the strict comparison, at any of their shifts for
// the tolerant one.
TEST(TolerantCompareTest, DriftsDecideAsTheOneRuleLeftAsksThem) {
    const Grip music = RandomGrip(21);
    auto rotated = [&music](uint32_t by) {
        Grip g = music;
        std::rotate(g.drift.begin(), g.drift.begin() + by, g.drift.end());
        return g;
    };
    Grip constant = music;
    constant.drift.fill(0.5f);
    Grip damaged = music;
    damaged.drift[4] = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        Grip other;
        bool strict;
        bool tolerant;
    };
    const Case cases[] = {
        {"the same drift", music, true, true},
        {"moved by two values", rotated(2), false, true},
        {"moved by the most it can", rotated(kMaxDriftShift), false, true},
        {"another piece's drift", RandomGrip(22), false, false},
        {"a constant drift", constant, false, false},
        {"a drift that is not a number", damaged, false, false},
    };
    GripVectors a;
    MakeGripVectors(music, a);
    for (const Case& c : cases) {
        GripVectors b;
        MakeGripVectors(c.other, b);
        EXPECT_EQ(DriftMayPass(a.drift, b.drift, 0.75f, true), c.strict) << c.name;
        EXPECT_EQ(DriftMayPass(a.drift, b.drift, 0.75f, false), c.tolerant) << c.name;
        // Exactly the scores the rules read.
        float drifts[8];
        DriftScoresAtEveryShift(a.drift, b.drift, drifts);
        const float laid =
            std::fabs(MatchCorrelation(music.drift.data(), c.other.drift.data(), kDriftLength));
        EXPECT_TRUE(drifts[kMaxDriftShift] == laid ||
                    (std::isnan(laid) && std::isnan(drifts[kMaxDriftShift])))
            << c.name;
    }
}

}  // namespace
