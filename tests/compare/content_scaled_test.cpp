// The comparison pass scores content from per-Grip scaled series; these
// tests hold those scores to the reference correlation of the Grips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "analyzer.h"
#include "content_compare.h"
#include "grip_vectors.h"
#include "test_files.h"
#include "test_grips.h"

namespace {

constexpr float kTolerance = 1e-5f;

void ExpectScaledMatchesReference(const Grip& a, const Grip& b, const std::string& what) {
    GripVectors va;
    GripVectors vb;
    MakeGripVectors(a, va);
    MakeGripVectors(b, vb);
    const ContentScores reference = ComputeContentScores(a, b);
    const BoundedContentScores fast = FastContentScores(va, vb);
    const std::pair<BoundedScore, float> series[] = {{fast.spectrum, reference.spectrumScore},
                                                     {fast.envelope, reference.envelopeScore},
                                                     {fast.drift, reference.driftScore}};
    for (const auto& [score, exact] : series) {
        EXPECT_NEAR(score.value, exact, kTolerance) << what;
        EXPECT_LE(std::fabs(score.value - exact), score.bound) << what;
    }
}

TEST(ScaledContentTest, RandomGripsAndSpecialSeries) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> mix(0.0f, 1.0f);
    for (uint32_t i = 0; i < 200; ++i) {
        const Grip a = RandomGrip(i);
        Grip b = RandomGrip(1000 + i);
        // Partly correlated copies cover the whole range of scores.
        const float w = mix(rng);
        for (size_t k = 0; k < kSpectrumLength; ++k) {
            b.spectrum[k] = w * a.spectrum[k] + (1 - w) * b.spectrum[k];
        }
        for (size_t k = 0; k < kEnvelopeLength; ++k) {
            b.envelope[k] = w * a.envelope[k] - (1 - w) * b.envelope[k];
        }
        for (size_t k = 0; k < kDriftLength; ++k) {
            b.drift[k] = -w * a.drift[k] + (1 - w) * b.drift[k];
        }
        ExpectScaledMatchesReference(a, b, "random " + std::to_string(i));
    }

    const Grip base = RandomGrip(5);
    struct Case {
        const char* name;
        void (*change)(Grip&);
    };
    const Case cases[] = {
        {"identical", [](Grip&) {}},
        {"silent envelope", [](Grip& g) { g.envelope.fill(0.0f); }},
        {"constant drift", [](Grip& g) { g.drift.fill(0.25f); }},
        {"constant spectrum", [](Grip& g) { g.spectrum.fill(1.0f); }},
        {"inverted",
         [](Grip& g) {
             for (float& v : g.spectrum)
                 v = 4.0f - v;
             for (float& v : g.envelope)
                 v = -v;
             for (float& v : g.drift)
                 v = -v;
         }},
        {"tiny values",
         [](Grip& g) {
             for (float& v : g.envelope)
                 v *= 1e-20f;
         }},
    };
    for (const Case& c : cases) {
        Grip b = base;
        c.change(b);
        ExpectScaledMatchesReference(b, base, c.name);
        ExpectScaledMatchesReference(base, b, c.name);
        ExpectScaledMatchesReference(b, b, c.name);
    }

    Grip broken = base;
    broken.spectrum[3] = std::nanf("");
    GripVectors vb;
    GripVectors vn;
    MakeGripVectors(base, vb);
    MakeGripVectors(broken, vn);
    EXPECT_TRUE(std::isnan(FastContentScores(vn, vb).spectrum.value));

    // Spectrum scores made eight at a time on vector lanes are the
    // reference's own bits, whatever shares their batch.
    std::vector<Grip> grips = {base, broken};
    for (const Case& c : cases) {
        grips.push_back(base);
        c.change(grips.back());
    }
    for (uint32_t i = 0; i < 24; ++i) {
        grips.push_back(RandomGrip(2000 + i));
    }
    std::vector<GripVectors> vectors(grips.size());
    std::vector<const GripVectors*> others;
    for (size_t i = 0; i < grips.size(); ++i) {
        MakeGripVectors(grips[i], vectors[i]);
        others.push_back(&vectors[i]);
    }
    for (const GripVectors& a : vectors) {
        for (size_t first = 0; first < others.size(); first += 5) {
            const uint32_t count =
                static_cast<uint32_t>(std::min<size_t>(kSpectrumLanes, others.size() - first));
            float got[kSpectrumLanes];
            SpectrumScores(a, others.data() + first, count, got);
            for (uint32_t k = 0; k < count; ++k) {
                const float expected = SpectrumScore(a, *others[first + k]);
                EXPECT_TRUE((std::isnan(got[k]) && std::isnan(expected)) ||
                            std::memcmp(&got[k], &expected, sizeof(float)) == 0)
                    << "lane " << k << " of " << count << ": " << got[k] << " against " << expected;
            }
        }
    }
}

// Grips made by the Analyzer from generated pieces, in variants a scan meets.
TEST(ScaledContentTest, AnalyzerGripsAndTheirVerdicts) {
    TempDir dir;
    InstallPlugins(dir.File("plugins"), {"fake_high"});
    Analyzer analyzer(dir.File("plugins"));
    constexpr size_t kLength = 22050 * 18;
    struct Made {
        uint32_t piece;
        Grip grip;
    };
    std::vector<Made> made;
    for (uint32_t piece = 1; piece <= 4; ++piece) {
        std::vector<float> signal = Piece(kLength, piece);
        std::vector<float> quieter(signal);
        for (float& v : quieter) {
            v *= 0.5f;
        }
        std::vector<float> leadIn(22050 * 2, 0.0f);
        leadIn.insert(leadIn.end(), signal.begin(), signal.end());
        for (const auto* variant : {&signal, &quieter, &leadIn}) {
            const std::string file = dir.File("piece.raw");
            WriteFakeAudio(file, {}, ToPcm16(*variant));
            ASSERT_EQ(analyzer.Extract(U16(file).c_str()), S_OK);
            made.push_back({piece, analyzer.grip()});
        }
    }
    for (size_t i = 0; i < made.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const std::string what = std::to_string(i) + " with " + std::to_string(j);
            ExpectScaledMatchesReference(made[i].grip, made[j].grip, what);
            GripVectors vi;
            GripVectors vj;
            MakeGripVectors(made[i].grip, vi);
            MakeGripVectors(made[j].grip, vj);
            EXPECT_EQ(JudgeContent(vi, vj, 0.75f), made[i].piece == made[j].piece) << what;
        }
    }
}

}  // namespace
