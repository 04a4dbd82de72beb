#include "content_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

Grip RandomGrip(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f);
    Grip g;
    for (float& v : g.spectrum) {
        v = dist(rng);
    }
    for (float& v : g.envelope) {
        v = dist(rng);
    }
    for (float& v : g.drift) {
        v = dist(rng);
    }
    return g;
}

TEST(ContentCompareTest, ThresholdsAtTheDefaultSensitivity) {
    const ContentThresholds t = ThresholdsFor(0.75f);
    EXPECT_EQ(t.strict, 0.90000004f);
    EXPECT_FLOAT_EQ(t.loose, 0.8f);
    EXPECT_FLOAT_EQ(t.pair, 0.7f);
    EXPECT_FLOAT_EQ(ThresholdsFor(0.0f).pair, -0.2f);
    EXPECT_EQ(ThresholdsFor(1.0f).strict, 1.0f);
}

TEST(ContentCompareTest, IdenticalAndMirroredGripsScoreOne) {
    const Grip a = RandomGrip(1);
    Grip mirrored = a;
    for (float& v : mirrored.spectrum) {
        v = 1.0f - v;
    }
    for (float& v : mirrored.envelope) {
        v = 1.0f - v;
    }
    for (float& v : mirrored.drift) {
        v = 1.0f - v;
    }
    for (const Grip* b : {&a, static_cast<const Grip*>(&mirrored)}) {
        const ContentScores s = ComputeContentScores(a, *b);
        EXPECT_NEAR(s.spectrumScore, 1.0f, 1e-6);
        EXPECT_NEAR(s.envelopeScore, 1.0f, 1e-6);
        EXPECT_NEAR(s.driftScore, 1.0f, 1e-6);
        for (float sensitivity : {0.0f, 0.5f, 0.75f, 0.99f}) {
            EXPECT_TRUE(ContentAccepts(s, sensitivity)) << sensitivity;
        }
    }
    EXPECT_NEAR(ContentPercent(ComputeContentScores(a, a).spectrumScore, 0.75f), 100.0f, 1e-3);
}

TEST(ContentCompareTest, SeriesWithoutVarianceMatchNothing) {
    Grip silent = RandomGrip(2);
    silent.envelope.fill(0.0f);
    silent.drift.fill(0.5f);
    silent.spectrum.fill(0.0f);
    for (const Grip& other : {RandomGrip(3), silent}) {
        const ContentScores s = ComputeContentScores(silent, other);
        EXPECT_EQ(s.spectrumScore, 0.0f);
        EXPECT_EQ(s.envelopeScore, 0.0f);
        EXPECT_EQ(s.driftScore, 0.0f);
        EXPECT_FALSE(ContentAccepts(s, 0.0f));
    }
}

TEST(ContentCompareTest, AcceptanceRules) {
    struct Case {
        ContentScores scores;
        float sensitivity;
        bool accepted;
        float percent;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {{0.85f, 0.85f, 0.85f}, 0.75f, true, 0.0f},      // rule 2 only
        {{0.95f, 0.3f, 0.3f}, 0.75f, false, 50.0f},      // 0.6 < 0.7 and 0.3 < 0.8
        {{0.95f, 0.4f, 0.3f}, 0.75f, true, 50.0f},       // rule 1
        {{0.90000004f, 0.5f, 0.5f}, 0.75f, true, 0.0f},  // exactly at the threshold
        {{0.99f, 0.0f, 0.0f}, 0.75f, false, 90.0f},
        {{0.6f, 0.0f, 0.0f}, 0.0f, true, 0.0f},  // pair threshold -0.2 always holds
        {{0.59f, 0.19f, 0.5f}, 0.0f, false, 0.0f},
        {{0.2f, 0.2f, 0.2f}, 0.0f, true, 0.0f},
        {{nan, 1.0f, 1.0f}, 0.0f, false, 0.0f},
        {{1.0f, 1.0f, 1.0f}, 1.0f, true, 100.0f},  // sensitivity 1: only exactly 1
        {{0.9999f, 1.0f, 1.0f}, 1.0f, false, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scores.spectrumScore << " " << c.scores.envelopeScore
                                        << " " << c.scores.driftScore << " at " << c.sensitivity);
        EXPECT_EQ(ContentAccepts(c.scores, c.sensitivity), c.accepted);
        EXPECT_NEAR(ContentPercent(c.scores.spectrumScore, c.sensitivity), c.percent, 0.01f);
    }
}

}  // namespace
