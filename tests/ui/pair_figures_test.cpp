// The explained figures under the details pane: which rule listed a pair (in
// the strict and the tolerant comparison) and what the tag comparison did, worked out again from two Grips; the spectrum
// on its logarithmic axis; and one drawing of the widget that is not blank.
#include <gtest/gtest.h>
#include <QImage>
#include <QLabel>

#include <cmath>

#include "compare_settings.h"
#include "pair_figures.h"
#include "test_grips.h"

namespace {

Grip Tagged(const Grip& base, const std::string& title, const std::string& artist,
            const std::string& album, const std::string& name) {
    Grip g = base;
    g.title = title;
    g.artist = artist;
    g.album = album;
    g.nameKey = name;
    return g;
}

TEST(PairFiguresTest, ExplanationNamesTheRuleAndWhatTheTagsDid) {
    const Grip music = RandomGrip(1);
    const Grip other = RandomGrip(2);
    struct Case {
        const char* name;
        Grip later, earlier;
        int32_t method;
        AcceptedBy acceptedBy;
        bool swapped, nameForTitle;
        std::array<bool, kTagFieldCount> takesPart, differs;
    };
    const Case cases[] = {
        {"identical copy, other file name",
         Tagged(music, "song", "band", "lp", "01 song"),
         Tagged(music, "song", "band", "lp", "song"),
         kCompareBoth,
         AcceptedBy::kStrongSpectrum,
         false,
         false,
         {true, true, true, true},
         {false, false, true, false}},
        {"other music, swapped tags",
         Tagged(other, "band", "song", "", "x"),
         Tagged(music, "song", "band", "", "x"),
         kCompareBoth,
         AcceptedBy::kTags,
         true,
         false,
         {true, true, true, false},
         {true, true, false, false}},
        {"copy judged by tags only, title missing",
         Tagged(music, "", "band", "lp", "song"),
         Tagged(music, "song", "band", "", "track"),
         kCompareTags,
         AcceptedBy::kNothing,
         false,
         true,
         {true, true, true, true},
         {true, false, true, true}},
        {"nothing alike",
         Tagged(other, "a", "b", "c", "d"),
         Tagged(music, "w", "x", "y", "z"),
         kCompareBoth,
         AcceptedBy::kNothing,
         false,
         false,
         {true, true, true, true},
         {true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PairExplanation e = ExplainPair(c.later, c.earlier, 0.75f, c.method, true);
        EXPECT_EQ(e.acceptedBy, c.acceptedBy);
        EXPECT_EQ(e.swapped, c.swapped);
        EXPECT_EQ(e.nameForTitle, c.nameForTitle);
        EXPECT_EQ(e.takesPart, c.takesPart);
        EXPECT_EQ(e.differs, c.differs);
        // The figures are the list's own.
        EXPECT_EQ(e.contentPercent, ContentPercent(e.content.spectrumScore, 0.75f));
        EXPECT_EQ(e.tagPercent, TagPercent(e.tags.tagScore, 0.75f));
    }
    // The seen case: same title, artist and album, other file names: the raw
    // tag score lies below 1 only because of the name.
    const PairExplanation seen =
        ExplainPair(cases[0].later, cases[0].earlier, 0.75f, kCompareBoth, true);
    EXPECT_FLOAT_EQ(seen.tags.tagScore, 0.85f + 0.15f * SubstringOverlap("01 song", "song"));
}

// The tolerant comparison names the way that listed the pair, in the order
// it tries them, and takes "% content" from the band both files carry.
TEST(PairFiguresTest, TolerantExplanationNamesItsWay) {
    const Grip music = RandomGrip(1);
    // The same levels raised to a power: the contour keeps its shape while
    // the spectrum bends; with unrelated envelopes only the contour lists it.
    Grip bent = RandomGrip(3);
    for (uint32_t k = 0; k < kSpectrumLength; ++k) {
        bent.spectrum[k] = std::pow(music.spectrum[k], 4.0f);
    }
    struct Case {
        const char* name;
        Grip earlier;
        AcceptedBy strict;
        AcceptedBy tolerant;
    };
    const Case cases[] = {
        {"identical copy", music, AcceptedBy::kStrongSpectrum, AcceptedBy::kStrongSpectrum},
        {"bent spectrum", bent, AcceptedBy::kNothing, AcceptedBy::kContour},
        {"other music", RandomGrip(2), AcceptedBy::kNothing, AcceptedBy::kNothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExplainPair(music, c.earlier, 0.75f, kCompareContent, true).acceptedBy, c.strict);
        const PairExplanation e = ExplainPair(music, c.earlier, 0.75f, kCompareContent, false);
        EXPECT_EQ(e.acceptedBy, c.tolerant);
        EXPECT_EQ(e.contentPercent, ContentPercent(e.tolerant.spectrumScore, 0.75f));
    }
}

TEST(PairFiguresTest, SpectrumColumnsFollowALogarithmicAxis) {
    for (uint32_t bin : {1u, 10u, 100u, 1000u}) {
        std::array<float, kSpectrumLength> spectrum{};
        spectrum[bin] = 1.0f;
        const int columns = 300;
        const std::vector<float> shown = LogFrequencyColumns(spectrum.data(), columns);
        ASSERT_EQ(shown.size(), static_cast<size_t>(columns));
        const auto peak = std::max_element(shown.begin(), shown.end()) - shown.begin();
        const double expected = std::log(static_cast<double>(bin)) / std::log(1024.0) * columns;
        EXPECT_NEAR(static_cast<double>(peak), expected, 2.0) << bin;
        EXPECT_GT(shown[static_cast<size_t>(peak)], 0.0f);
    }
    const float values[] = {0.5f, -2.0f, 1.0f};
    EXPECT_EQ(ScaledToPeak(values, 3), (std::vector<float>{0.25f, -1.0f, 0.5f}));
    const float zeros[] = {0.0f, 0.0f};
    EXPECT_EQ(ScaledToPeak(zeros, 2), (std::vector<float>{0.0f, 0.0f}));
}

TEST(PairFiguresTest, DrawsBothFingerprints) {
    CPairFigures figures;
    figures.resize(900, 250);
    auto render = [&figures] {
        QImage image(figures.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        figures.render(&image);
        int inFileColours = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                auto near = [&c](const QColor& file) {
                    return std::abs(c.red() - file.red()) + std::abs(c.green() - file.green()) +
                               std::abs(c.blue() - file.blue()) <
                           60;
                };
                inFileColours += near(kFile1Colour) || near(kFile2Colour);
            }
        }
        return inFileColours;
    };
    EXPECT_EQ(render(), 0);
    figures.SetPair(RandomGrip(1, "song"), RandomGrip(2, "song"), 0.75f, kCompareBoth, false);
    EXPECT_GT(render(), 200);
    EXPECT_TRUE(figures.Text()->text().contains(QStringLiteral("raw tag score")));
    EXPECT_TRUE(figures.Text()->text().contains(QStringLiteral("Tolerant comparison")));
}

}  // namespace
