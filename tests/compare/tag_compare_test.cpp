#include "tag_compare.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "naive_overlap.h"

namespace {

Grip Tags(std::string title, std::string artist, std::string name, std::string album) {
    Grip g;
    g.title = std::move(title);
    g.artist = std::move(artist);
    g.nameKey = std::move(name);
    g.album = std::move(album);
    return g;
}

TEST(SubstringOverlapTest, WorkedValues) {
    struct Case {
        const char* a;
        const char* b;
        float expected;
    };
    const Case cases[] = {
        {"abc", "abc", 1.0f},
        {"abc", "abd", 0.5f},
        {"ab", "ba", 4.0f / 6},
        {"aaa", "a", 1.0f},
        {"song", "song live", 0.5f},
        {"the song", "song", 10.0f / 18},
        {"abc", "", 0.0f},
        {"", "", 0.0f},
        {"x", "y", 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(SubstringOverlap(c.a, c.b), c.expected) << c.a << " / " << c.b;
        EXPECT_FLOAT_EQ(SubstringOverlap(c.b, c.a), c.expected) << c.b << " / " << c.a;
    }
}

TEST(SubstringOverlapTest, AgreesWithTheNaiveCountOnRandomStrings) {
    std::mt19937 rng(42);
    for (int round = 0; round < 3000; ++round) {
        // Small alphabets make repeats and partial matches common.
        const int alphabet = 1 + static_cast<int>(rng() % 4);
        auto make = [&](size_t length) {
            std::string s;
            for (size_t i = 0; i < length; ++i) {
                s.push_back(static_cast<char>(round % 7 == 0 ? 0x80 + rng() % alphabet
                                                             : 'a' + rng() % alphabet));
            }
            return s;
        };
        const std::string a = make(rng() % 24);
        const std::string b = make(rng() % 24);
        ASSERT_EQ(SubstringOverlap(a, b), NaiveSubstringOverlap(a, b)) << a << " / " << b;
    }
    const std::string longA(700, 'a');
    const std::string longB = std::string(300, 'a') + "b" + std::string(300, 'a');
    EXPECT_EQ(SubstringOverlap(longA, longB), NaiveSubstringOverlap(longA, longB));
}

TEST(SubstringOverlapTest, SketchBoundNeverLiesBelowTheOverlap) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        // Small alphabets give repeated trigrams; a larger one mostly
        // unrelated texts; the second text is often an edited copy.
        const int alphabet = round % 3 == 0 ? 26 : 1 + static_cast<int>(rng() % 5);
        auto make = [&](size_t length) {
            std::string s;
            for (size_t i = 0; i < length; ++i) {
                s.push_back(static_cast<char>('a' + rng() % alphabet));
            }
            return s;
        };
        const std::string a = make(rng() % 40);
        std::string b = round % 2 == 0 ? make(rng() % 40) : a;
        if (round % 2 == 1 && !b.empty()) {
            b[rng() % b.size()] = '#';
            b.insert(rng() % b.size(), make(rng() % 5));
        }
        ASSERT_GE(OverlapBound(SketchText(a), SketchText(b)), SubstringOverlap(a, b))
            << a << " / " << b;
    }
    // More repeats of one class than the sketch counts exactly.
    const std::string many(70000, 'a');
    const std::string some(100, 'a');
    EXPECT_GE(OverlapBound(SketchText(many), SketchText(some)), SubstringOverlap(many, some));
    // Unrelated titles are told apart by the sketches alone.
    EXPECT_LT(OverlapBound(SketchText("Yellow Submarine"), SketchText("Hotel California")), 0.5f);
}

TEST(SubstringOverlapTest, ReachFilterDecidesAsTheSketches) {
    std::mt19937 rng(11);
    // Empty, one- and two-byte texts, repeats of few letters, and texts on
    // both sides of the filter's longest looked-up length, and beyond what a
    // folded line counts (255).
    auto make = [&]() {
        const size_t lengths[] = {0, 1, 2, 3, 5, 12, 30, 127, 128, 200, 300};
        const size_t length = lengths[rng() % std::size(lengths)];
        const int alphabet = 1 + static_cast<int>(rng() % 26);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text.push_back(static_cast<char>('a' + rng() % alphabet));
        }
        return text;
    };
    // The other Grip's texts: unrelated, or copies of the first's with a
    // few bytes changed, so that overlaps fall on both sides of s.
    auto edited = [&](std::string text) {
        for (size_t edits = rng() % 4; edits > 0 && !text.empty(); --edits) {
            text[rng() % text.size()] = '#';
        }
        return text;
    };
    // One filter for every Grip, as a pass thread keeps it.
    TagReachFilter filter;
    for (int round = 0; round < 1000; ++round) {
        std::string texts[kTagFieldCount];
        TextSketch a[kTagFieldCount];
        for (int f = 0; f < kTagFieldCount; ++f) {
            texts[f] = make();
            a[f] = SketchText(texts[f]);
        }
        const float s = round % 10 == 0 ? 0.0f : static_cast<float>(rng() % 101) * 0.01f;
        filter.Begin(a, s);
        for (int other = 0; other < 50; ++other) {
            TextSketch b[kTagFieldCount];
            for (TextSketch& sketch : b) {
                sketch = SketchText(rng() % 2 == 0 ? make() : edited(texts[rng() % kTagFieldCount]));
            }
            const bool mayReach = SomeFieldMayReach(a, b, s);
            ASSERT_EQ(filter.MayReach(b), mayReach) << round << " " << other;
            // The folded line only lets more through.
            ASSERT_TRUE(filter.MayReach(FoldSketches(b)) || !mayReach) << round << " " << other;
        }
    }
}

TEST(TagCompareTest, Scenarios) {
    struct Case {
        const char* name;
        Grip a;
        Grip b;
        float title, artist, nameScore, album, tagScore;
    };
    const Case cases[] = {
        {"all equal", Tags("yesterday", "beatles", "01 yesterday", "help"),
         Tags("yesterday", "beatles", "01 yesterday", "help"), 1, 1, 1, 1, 1},
        {"title and artist swapped", Tags("x song", "y band", "n", ""),
         Tags("y band", "x song", "n", ""), 1, 1, 1, 0, 1},
        {"no tags: the file name alone", Tags("", "", "track", ""), Tags("", "", "track", ""), 0, 0,
         1, 0, 1},
        {"no tags, one name missing", Tags("", "", "track", ""), Tags("", "", "", ""), 0, 0, 0, 0,
         0},
        {"unreadable tags", Tags("", "", "", ""), Tags("yesterday", "beatles", "x", "help"), 0, 0,
         0, 0, 0},
        {"file name stands in for the title", Tags("", "", "yesterday", ""),
         Tags("yesterday", "", "track01", ""), 1, 0, NaiveSubstringOverlap("yesterday", "track01"),
         0, -1},
        {"album on one side only", Tags("t", "a", "n", "album"), Tags("t", "a", "n", ""), 1, 1, 1,
         0, 0.85f},
        {"title on one side only", Tags("qqq", "a", "n", "al"), Tags("", "a", "n", "al"), 0, 1, 1,
         1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TagScores t = ComputeTagScores(c.a, c.b);
        EXPECT_FLOAT_EQ(t.titleScore, c.title);
        EXPECT_FLOAT_EQ(t.artistScore, c.artist);
        EXPECT_FLOAT_EQ(t.nameScore, c.nameScore);
        EXPECT_FLOAT_EQ(t.albumScore, c.album);
        if (c.tagScore >= 0) {
            EXPECT_NEAR(t.tagScore, c.tagScore, 1e-6);
        }
    }
}

TEST(TagCompareTest, RuleAndPercent) {
    EXPECT_TRUE(TagsAccept(0.75f, 0.75f));
    EXPECT_FALSE(TagsAccept(0.7499f, 0.75f));
    EXPECT_TRUE(TagsAccept(0.0f, 0.0f));
    EXPECT_NEAR(TagPercent(0.875f, 0.75f), 50.0f, 1e-3);
    EXPECT_EQ(TagPercent(0.5f, 0.75f), 0.0f);
    EXPECT_EQ(TagPercent(1.0f, 0.75f), 100.0f);
    EXPECT_EQ(TagPercent(1.0f, 1.0f), 100.0f);
    EXPECT_EQ(TagPercent(0.99f, 1.0f), 0.0f);
}

}  // namespace
