// The comparison pass against a brute-force reference written from the
// formulas, over a million judged pairs: random, related, near-threshold,
// identical, shifted and narrow-band Grips, sensitivities 0.00 to 1.00,
// every compare method, strict and tolerant.
// First: a header of the system that a test framework includes has the same name.
#include "signal_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <tuple>

#include "analyzer.h"
#include "compare_pass.h"
#include "compare_settings.h"
#include "content_compare.h"
#include "projection_bound.h"
#include "scan_state.h"
#include "tag_compare.h"
#include "test_grips.h"
#include "tolerant_compare.h"

namespace {

float Score(const float* a, const float* b, uint32_t n) {
    return std::fabs(MatchCorrelation(a, b, n));
}

struct Reference {
    float spectrum;
    float envelope;
    float drift;
    float tag;
    TolerantScores tolerant;
};

bool Rules(float spectrum, float envelope, float drift, float s) {
    const float strict = s * 0.4f + 0.6f;
    const float loose = s * 0.8f + 0.2f;
    const float pair = s * 1.2f - 0.2f;
    return (spectrum >= strict && envelope + drift >= pair) ||
           (spectrum >= loose && envelope >= loose && drift >= loose);
}

// Whether the pair is listed, straight from the rules: as the windows lie;
// or, tolerantly, as they lie for two whole bands (with some agreement of the
// envelopes, or spectra at 70 % content or more), or at the best alignment
// where the envelopes reach the loose threshold.
bool Listed(const Reference& r, int32_t method, float s, bool strictCompare) {
    const TolerantScores& t = r.tolerant;
    const bool laid = Rules(r.spectrum, r.envelope, r.drift, s);
    const float strict = s * 0.4f + 0.6f;
    const bool close = r.spectrum >= strict + 0.7f * (1.0f - strict);
    const bool content =
        strictCompare
            ? laid
            : (!t.narrowBand && laid && (r.envelope >= 0.3f * (s * 1.2f - 0.2f) || close)) ||
                  (t.envelopeScore >= s * 0.8f + 0.2f &&
                   Rules(t.spectrumScore, t.envelopeScore, t.driftScore, s)) ||
                  (t.contourScore >= strict - 0.02f && t.spectrumScore >= 0.2f);
    return ((method & kCompareContent) != 0 && content) ||
           ((method & kCompareTags) != 0 && r.tag >= s);
}

float Percent(float score, float threshold) {
    if (threshold == 1.0f) {
        return score >= 1.0f ? 100.0f : 0.0f;
    }
    const float q = (score - threshold) / (1.0f - threshold);
    return (q > 0.0f ? q : 0.0f) * 100.0f;
}

std::string RandomText(std::mt19937& rng) {
    static const char kLetters[] = "abcde ";
    const size_t length = rng() % 7;
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kLetters[rng() % 6];
    }
    return text;
}

// b = a * w + other * (1 - w) in the series that mix selects.
Grip Mix(const Grip& a, const Grip& other, double w, int series) {
    Grip b = a;
    auto blend = [w](auto& to, const auto& x, const auto& y) {
        for (size_t i = 0; i < to.size(); ++i) {
            to[i] = static_cast<float>(w * x[i] + (1 - w) * y[i]);
        }
    };
    if (series == 0) {
        blend(b.spectrum, a.spectrum, other.spectrum);
    } else if (series == 1) {
        blend(b.envelope, a.envelope, other.envelope);
    } else {
        blend(b.drift, a.drift, other.drift);
    }
    return b;
}

// The two Grips on either side of score(a, Mix(a, other, w)) = target,
// found by bisection on w.
std::pair<Grip, Grip> Straddle(const Grip& a, const Grip& other, int series, float target,
                               const std::function<float(const Grip&)>& score) {
    double below = 0.0;
    double above = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double middle = (below + above) / 2;
        (score(Mix(a, other, middle, series)) >= target ? above : below) = middle;
    }
    return {Mix(a, other, below, series), Mix(a, other, above, series)};
}

TEST(PassReferenceTest, PairListsEqualTheFormulas) {
    std::mt19937 rng(2026);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Grip> grips;
    auto withTags = [&rng](Grip g) {
        g.title = RandomText(rng);
        g.artist = RandomText(rng);
        g.album = RandomText(rng);
        g.nameKey = RandomText(rng);
        return g;
    };
    // Families of related Grips spread the scores over the whole range.
    for (uint32_t family = 0; family < 12; ++family) {
        const Grip base = RandomGrip(100 + family);
        for (uint32_t member = 0; member < 11; ++member) {
            const Grip noise = RandomGrip(1000 + family * 100 + member);
            Grip g = base;
            for (int series = 0; series < 3; ++series) {
                const double w = std::pow(unit(rng), 0.3);
                g = Mix(g, noise, (member % 4 == 3 && series == 1) ? -w : w, series);
            }
            grips.push_back(withTags(g));
        }
    }
    // Pairs right at a threshold: spectrum at strict and loose thresholds,
    // envelope + drift at the pair threshold, envelope at a loose one.
    const Grip anchor = RandomGrip(7);
    const Grip away = RandomGrip(8);
    auto spectrum = [&anchor](const Grip& g) {
        return Score(anchor.spectrum.data(), g.spectrum.data(), kComparedBins);
    };
    auto envelope = [&anchor](const Grip& g) {
        return Score(anchor.envelope.data(), g.envelope.data(), kEnvelopeLength);
    };
    Grip halfDrift = Mix(anchor, away, 0.5, 2);
    const float drift = Score(anchor.drift.data(), halfDrift.drift.data(), kDriftLength);
    auto envelopePlusDrift = [&](const Grip& g) { return envelope(g) + drift; };
    grips.push_back(withTags(anchor));
    for (float s : {0.0f, 0.5f, 0.75f, 0.9f, 0.99f}) {
        for (const auto& [series, target, score] :
             std::initializer_list<std::tuple<int, float, std::function<float(const Grip&)>>>{
                 {0, s * 0.4f + 0.6f, spectrum},
                 {0, s * 0.8f + 0.2f, spectrum},
                 {1, s * 0.8f + 0.2f, envelope}}) {
            const auto [below, above] = Straddle(anchor, away, series, target, score);
            grips.push_back(withTags(below));
            grips.push_back(withTags(above));
        }
        const auto [below, above] =
            Straddle(halfDrift, away, 1, s * 1.2f - 0.2f, envelopePlusDrift);
        grips.push_back(withTags(below));
        grips.push_back(withTags(above));
    }
    // Identical Grips, an inverted one, constant series.
    for (int copy = 0; copy < 3; ++copy) {
        grips.push_back(grips[5]);
        grips.push_back(withTags(grips[40]));
    }
    Grip inverted = grips[5];
    for (float& v : inverted.spectrum) {
        v = 4.0f - v;
    }
    grips.push_back(inverted);
    Grip silent = grips[17];
    silent.envelope.fill(0.0f);
    silent.drift.fill(0.5f);
    grips.push_back(silent);
    ASSERT_GE(grips.size(), 174u);
    grips.resize(175);
    // Copies that start elsewhere, and copies and others with a narrow band.
    for (uint32_t i = 0; i < 12; ++i) {
        Grip g = grips[10 * i + 3];
        const int shift = static_cast<int>(i * 7 % 31) - 15;
        std::rotate(g.envelope.begin(), g.envelope.begin() + (shift + 100) % 100, g.envelope.end());
        std::rotate(g.drift.begin(), g.drift.begin() + (shift / 9 + 10) % 10, g.drift.end());
        if (i % 3 != 1) {
            std::fill(g.spectrum.begin() + 384 + 32 * (i % 4), g.spectrum.end(), 0.05f);
        }
        grips.push_back(withTags(g));
    }
    // Shifted copies whose spectra agree only between the loose and the
    // strict thresholds: their drifts at a shift are all that can pass them.
    for (uint32_t i = 0; i < 4; ++i) {
        const Grip& source = grips[10 * i + 5];
        auto score = [&source](const Grip& g) {
            return Score(source.spectrum.data(), g.spectrum.data(), kComparedBins);
        };
        Grip g = Straddle(source, RandomGrip(3000 + i), 0, 0.82f + 0.02f * i, score).first;
        const int d = i % 2 == 0 ? 1 + static_cast<int>(i) / 2 : -1 - static_cast<int>(i) / 2;
        std::rotate(g.envelope.begin(), g.envelope.begin() + (9 * d + 100) % 100, g.envelope.end());
        std::rotate(g.drift.begin(), g.drift.begin() + (d + 10) % 10, g.drift.end());
        grips.push_back(withTags(g));
    }

    GripStore store;
    std::vector<std::u16string> paths;
    std::map<std::u16string, size_t> byPath;
    for (size_t i = 0; i < grips.size(); ++i) {
        std::u16string path = u"/m/";
        for (int k = 0; k < 5; ++k) {
            path += static_cast<char16_t>(u'a' + rng() % 26);
        }
        path += static_cast<char16_t>(u'A' + i % 26) + std::u16string(1, u'0' + i / 26);
        grips[i].sequence = static_cast<uint32_t>(i + 1);
        ASSERT_NE(store.Insert(path, grips[i]), nullptr);
        paths.push_back(path);
        byPath[path] = i;
    }

    // Reference scores of every pair, once; the fast scores' bounds hold.
    std::vector<std::vector<Reference>> reference(grips.size());
    TagReachFilter reach;
    for (size_t i = 0; i < grips.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const Grip& a = grips[i];
            const Grip& b = grips[j];
            const Reference r{Score(a.spectrum.data(), b.spectrum.data(), kComparedBins),
                              Score(a.envelope.data(), b.envelope.data(), kEnvelopeLength),
                              Score(a.drift.data(), b.drift.data(), kDriftLength),
                              ComputeTagScores(a, b).tagScore, ComputeTolerantScores(a, b)};
            reference[i].push_back(r);
            const BoundedContentScores fast =
                FastContentScores(store.Find(paths[i])->vectors, store.Find(paths[j])->vectors);
            ASSERT_LE(std::fabs(fast.spectrum.value - r.spectrum), fast.spectrum.bound);
            ASSERT_LE(std::fabs(fast.envelope.value - r.envelope), fast.envelope.bound);
            ASSERT_LE(std::fabs(fast.drift.value - r.drift), fast.drift.bound);
            // The bounds that prune never lie below the scores.
            const SpectrumProjection& pi = store.scanProjections()[i];
            const SpectrumProjection& pj = store.scanProjections()[j];
            ASSERT_GE(SpectrumScoreBound(pi, pj), r.spectrum);
            ASSERT_GE(FinerSpectrumScoreBound(pi, store.scanOpenLines()[i].finer, pj,
                                              store.scanOpenLines()[j].finer),
                      r.spectrum);
            ASSERT_GE(ContourScoreBound(store.scanContourKeys()[i], store.scanContourKeys()[j]),
                      r.tolerant.contourScore);
            ASSERT_GE(TagScoreBound(a, b,
                                    [&](TagField fa, TagField fb) {
                                        return fb == kArtistField || fb == kAlbumField
                                                   ? SubstringOverlap(TagText(a, fa),
                                                                      TagText(b, fb))
                                                   : -1.0f;
                                    }),
                      r.tag);
            const auto& sketchA = store.scanSketches()[i].key;
            const auto& sketchB = store.scanSketches()[j].key;
            ASSERT_GE(TagScoreBound(EmptyTextsOf(a), EmptyTextsOf(b),
                                    [&](TagField fa, TagField fb) {
                                        return OverlapBound(sketchA[fa], sketchB[fb]);
                                    }),
                      r.tag);
            // A tagScore of s needs some field that may reach s.
            for (const float s : {0.05f, 0.3f, 0.75f, 1.0f}) {
                ASSERT_TRUE(r.tag < s || SomeFieldMayReach(sketchA, sketchB, s));
                reach.Begin(sketchA, s);
                ASSERT_TRUE(r.tag < s || reach.MayReach(store.scanSketchLines()[j]));
            }
        }
    }

    PassCounters& counters = GlobalPassCounters();
    const uint64_t judgedBefore = counters.judged.load();
    const uint64_t scoredBefore = counters.scored.load();
    const uint64_t alignedBefore = counters.aligned.load();
    RecordingOwner owner;
    const int32_t generation = ScanGeneration.load();
    size_t judged = 0;
    size_t perfectAtOne = 0;
    std::vector<int> hundredths;
    for (int k = 0; k <= 100; k += 5) {
        hundredths.push_back(k);
    }
    hundredths.insert(hundredths.end(), {73, 99});
    size_t narrowListed = 0;
    for (const auto& [strictCompare, method] :
         std::initializer_list<std::pair<bool, int32_t>>{{true, kCompareTags},
                                                         {true, kCompareContent},
                                                         {true, kCompareBoth},
                                                         {false, kCompareContent},
                                                         {false, kCompareBoth}}) {
        g_strictCompare = strictCompare;
        for (int k : hundredths) {
            const float s = static_cast<float>(k) * 0.01f;
            g_compareMethod = method;
            g_sensitivity = s;
            for (size_t i = 0; i < grips.size(); ++i) {
                ASSERT_EQ(ComparePass(generation, paths[i], store, owner, nullptr), S_OK);
                // The pair's figures, and its best alignment where the
                // comparison is tolerant.
                std::vector<std::tuple<std::u16string, float, float, int32_t>> expected;
                for (const auto& [path, j] : byPath) {
                    if (j >= i) {
                        continue;
                    }
                    const Reference& r = reference[i][j];
                    if (Listed(r, method, s, strictCompare)) {
                        const float figure = strictCompare ? r.spectrum : r.tolerant.spectrumScore;
                        expected.emplace_back(path, Percent(figure, s * 0.4f + 0.6f),
                                              Percent(r.tag, s),
                                              strictCompare ? 0 : r.tolerant.shift);
                        narrowListed += !strictCompare && r.tolerant.narrowBand;
                    }
                }
                std::vector<std::tuple<std::u16string, float, float, int32_t>> got;
                for (const DuplicatePair& p : owner.TakePendingPairs()) {
                    EXPECT_EQ(p.path1, paths[i]);
                    got.emplace_back(p.path2, p.contentPercent, p.tagPercent, p.shift);
                    perfectAtOne += k == 100 && p.contentPercent == 100.0f;
                }
                ASSERT_EQ(got, expected) << "method " << method << " s " << s << " file " << i
                                         << (strictCompare ? " strict" : " tolerant");
                judged += i;
            }
        }
    }
    EXPECT_GE(judged, 1000000u);
    EXPECT_EQ(counters.judged.load() - judgedBefore, judged);
    // The bounds spared a good share of the pairs their full scores.
    EXPECT_LT(counters.scored.load() - scoredBefore, judged * 3 / 4);
    // Most pairs are rejected by the spectrum's bound before their envelopes
    // are tried at every alignment.
    EXPECT_LT(counters.aligned.load() - alignedBefore, judged / 20);
    EXPECT_GT(narrowListed, 50u);
    // Identical Grips are listed at sensitivity 1.00 and show 100.
    EXPECT_GE(perfectAtOne, 24u);
    g_compareMethod = kCompareBoth;
    g_sensitivity = 0.75f;
    g_strictCompare = false;
}

}  // namespace
