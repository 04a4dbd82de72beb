#include "analyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "test_files.h"

namespace {

constexpr size_t kRate = 22050;

// Random signs at a constant magnitude: every half second has the same mean
// absolute level, and no two stretches look alike.
std::vector<int16_t> ConstantLevel(size_t count, int16_t magnitude, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int16_t> out(count);
    for (int16_t& s : out) {
        s = (rng() & 1) != 0 ? magnitude : static_cast<int16_t>(-magnitude);
    }
    return out;
}

float ToFloat(int16_t s) {
    return static_cast<float>(s) * (1.0f / 32768.0f);
}

class AnalyzerTest : public ::testing::Test {
  protected:
    AnalyzerTest() {
        InstallPlugins(m_dir.path(), {"fake_high"});
        m_analyzer = std::make_unique<Analyzer>(m_dir.path());
    }

    HRESULT ExtractSamples(const std::vector<int16_t>& pcm,
                           std::map<std::string, std::string> keys = {}) {
        m_pcm = pcm;
        const std::string path = m_dir.File("audio.fake");
        keys.emplace("chunk", "8192");
        WriteFakeAudio(path, keys, pcm);
        return m_analyzer->Extract(U16(path).c_str());
    }

    // Where the analysed buffer starts in the file, found by matching it
    // against the file's samples near the expected place.
    long TrimPosition(long near, long radius) {
        const SampleBuffer& buffer = m_analyzer->samples();
        for (long start = std::max(0L, near - radius); start <= near + radius; ++start) {
            bool match = true;
            for (size_t i = 0; i < 64 && match; ++i) {
                match = buffer[i] == ToFloat(m_pcm[static_cast<size_t>(start) + i]);
            }
            if (match) {
                return start;
            }
        }
        return -1;
    }

    TempDir m_dir;
    std::unique_ptr<Analyzer> m_analyzer;
    std::vector<int16_t> m_pcm;
};

TEST_F(AnalyzerTest, LoudAttackAfterQuietIntroStartsTheBuffer) {
    const size_t attack = 3 * kRate;
    std::vector<int16_t> pcm = ConstantLevel(attack, 300, 1);
    const std::vector<int16_t> loud = ConstantLevel(40 * kRate, 16384, 2);
    pcm.insert(pcm.end(), loud.begin(), loud.end());
    ASSERT_EQ(ExtractSamples(pcm), S_OK);
    EXPECT_EQ(m_analyzer->samples().size(), kAnalysisLength);
    // The largest rise is measured when the half second before it is all loud
    // and the one before that all quiet: the buffer starts at the attack.
    EXPECT_NEAR(TrimPosition(static_cast<long>(attack), 20), static_cast<long>(attack), 2);
}

TEST_F(AnalyzerTest, AttackAtTheStartTrimsNothing) {
    ASSERT_EQ(ExtractSamples(ConstantLevel(35 * kRate, 12000, 3)), S_OK);
    EXPECT_EQ(TrimPosition(0, 0), 0);
}

TEST_F(AnalyzerTest, NegativeOnlyLeadInIsDroppedWhenNoRiseQualifies) {
    // A slow fade-in never rises enough from one half second to the next, so
    // the quiet-threshold rule applies; it tests the signed value, so the
    // negative-only first two seconds go even though they are loud enough.
    std::mt19937 rng(4);
    const size_t fade = 10 * kRate;
    std::vector<int16_t> pcm(40 * kRate);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double amplitude = 16000.0 * std::min(1.0, static_cast<double>(i) / fade);
        const bool positive = i >= 2 * kRate && (rng() & 1) != 0;
        pcm[i] = static_cast<int16_t>(positive ? amplitude : -amplitude);
    }
    double sumAbs = 0;
    for (size_t i = 0; i < kAnalysisLength; ++i) {
        sumAbs += std::fabs(ToFloat(pcm[i]));
    }
    const double quiet = 0.1 * sumAbs / kAnalysisLength;
    long expected = -1;
    for (size_t i = 0; i < pcm.size() && expected < 0; ++i) {
        if (ToFloat(pcm[i]) > quiet) {
            expected = static_cast<long>(i);
        }
    }
    ASSERT_GE(expected, static_cast<long>(2 * kRate));
    ASSERT_EQ(ExtractSamples(pcm), S_OK);
    EXPECT_EQ(TrimPosition(expected, 0), expected);
}

TEST_F(AnalyzerTest, LengthLimits) {
    struct Case {
        const char* name;
        std::vector<int16_t> pcm;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {"14.9 s", ConstantLevel(static_cast<size_t>(14.9 * kRate), 10000, 5), E_FAIL},
        {"15 s", ConstantLevel(15 * kRate, 10000, 6), S_OK},
        // Silence: the first 30 s read are all dropped as lead-in; only what
        // follows can remain.
        {"40 s of silence", std::vector<int16_t>(40 * kRate, 0), E_FAIL},
        {"empty", {}, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractSamples(c.pcm), c.expected);
    }
}

// A window without music gives no Grip, as it would resemble every other
// such file; music after a long silence is analysed from where it begins.
TEST_F(AnalyzerTest, NoMusicNoGripAndHiddenTracksFromTheirMusic) {
    auto then = [](std::vector<int16_t> first, const std::vector<int16_t>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    };
    const std::vector<int16_t> music = ConstantLevel(30 * kRate, 12000, 9);
    const std::vector<int16_t> faint = ConstantLevel(150 * kRate, 20, 10);  // -64 dBFS
    struct Case {
        const char* name;
        std::vector<int16_t> pcm;
        long musicAt;  // -1: silent
    };
    const Case cases[] = {
        {"60 s of silence", std::vector<int16_t>(60 * kRate, 0), -1},
        {"a constant", std::vector<int16_t>(60 * kRate, 5000), -1},
        {"faint noise", faint, -1},
        {"music after 65 s", then(std::vector<int16_t>(65 * kRate, 0), music), 65 * kRate},
        {"music after 125 s", then(std::vector<int16_t>(125 * kRate, 0), music), -1},
        {"music after faint noise",
         then(std::vector<int16_t>(faint.begin(), faint.begin() + 70 * kRate), music),
         70 * kRate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.musicAt < 0) {
            EXPECT_EQ(ExtractSamples(c.pcm), E_FAIL);
            EXPECT_EQ(m_analyzer->failure(), SkipReason::kSilent);
        } else {
            ASSERT_EQ(ExtractSamples(c.pcm), S_OK);
            EXPECT_NEAR(TrimPosition(c.musicAt, 10), c.musicAt, 2);
        }
    }
}

TEST_F(AnalyzerTest, TwentySecondsFillSixtySevenStretches) {
    ASSERT_EQ(ExtractSamples(ConstantLevel(20 * kRate, 10000, 7)), S_OK);
    ASSERT_EQ(m_analyzer->samples().size(), 20 * kRate);
    const auto& envelope = m_analyzer->grip().envelope;
    for (size_t j = 0; j < kEnvelopeLength; ++j) {
        if (j <= 66) {
            EXPECT_GT(envelope[j], 0.2f) << j;
        } else {
            EXPECT_EQ(envelope[j], 0.0f) << j;
        }
    }
}

TEST_F(AnalyzerTest, EndlessEmptyChunksEndTheStream) {
    ASSERT_EQ(ExtractSamples(ConstantLevel(20 * kRate, 10000, 8), {{"endless", "1"}}), S_OK);
    EXPECT_EQ(m_analyzer->samples().size(), 20 * kRate);
}

TEST_F(AnalyzerTest, TagsBecomeNormalisedKeys) {
    ASSERT_EQ(ExtractSamples(ConstantLevel(16 * kRate, 10000, 9),
                             {{"title", " The Title\t"}, {"artist", "ÉCOLE ABC"}, {"album", "  "}}),
              S_OK);
    const Grip& g = m_analyzer->grip();
    EXPECT_EQ(g.nameKey, "audio");
    EXPECT_EQ(g.title, "the title");
    EXPECT_EQ(g.artist,
              "\xC3\x89"
              "cole abc");
    EXPECT_EQ(g.album, "");

    // Without a tag record every key stays empty, and the file still counts.
    ASSERT_EQ(
        ExtractSamples(ConstantLevel(16 * kRate, 10000, 9), {{"noinfo", "1"}, {"title", "x"}}),
        S_OK);
    EXPECT_EQ(m_analyzer->grip().nameKey, "");
    EXPECT_EQ(m_analyzer->grip().title, "");
}

TEST(AnalyzerKeyTest, NameKeys) {
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {u"/a.b/Track", "track"},
        {u"/music/x.y.mp3", "x.y"},
        {u"/music/.hidden", ""},
        {u"Song.MP3", "song"},
        {u"/m/ Spaced Out .ogg", "spaced out"},
        // The UTF-8 form is longer than the whole path in UTF-16 units.
        {u"/m/日本語の曲.mp3", "日本語の曲"},
        {u"/m/\xDCE9t\xDCE9.wav", "\xE9t\xE9"},
    };
    for (const auto& [path, key] : cases) {
        EXPECT_EQ(Analyzer::NameKey(path), key);
    }
    std::string dst;
    const char raw[] = "\t ABC\0def  ";
    Analyzer::NormalizeKey(dst, raw, raw + sizeof(raw) - 1);
    EXPECT_EQ(dst, "abc");
}

// The spectrum and drift recomputed in double precision with a direct DFT.
void ReferenceSpectra(const std::vector<float>& x, std::vector<double>& spectrum,
                      std::vector<double>& drift) {
    const size_t n = 2048;
    const size_t total = x.size();
    std::vector<std::vector<double>> segments(11, std::vector<double>(n, 0.0));
    std::vector<int> counts(11, 0);
    spectrum.assign(n, 0.0);
    size_t blocks = 0;
    std::vector<std::complex<double>> twiddle(n);
    for (size_t k = 0; k < n; ++k) {
        twiddle[k] = std::polar(1.0, 2.0 * M_PI * static_cast<double>(k) / n);
    }
    for (size_t pos = 0; pos < total; pos += n) {
        const size_t s = pos * 11 / total;
        ++counts[s];
        for (size_t k = 0; k < n; ++k) {
            std::complex<double> sum = 0;
            for (size_t m = 0; m < n && pos + m < total; ++m) {
                sum += static_cast<double>(x[pos + m]) * twiddle[(m * k) % n];
            }
            spectrum[k] += std::abs(sum);
            segments[s][k] += std::abs(sum);
        }
        ++blocks;
    }
    for (size_t k = 0; k < n; ++k) {
        spectrum[k] *= static_cast<double>(k + 1) / blocks / 2048.0;
    }
    drift.assign(10, 0.0);
    if (total <= 11 * n) {
        return;
    }
    for (size_t s = 0; s < 11; ++s) {
        for (size_t k = 0; k < n; ++k) {
            segments[s][k] *= static_cast<double>(k + 1) / counts[s] / 2048.0;
        }
    }
    for (size_t j = 0; j < 10; ++j) {
        const auto& a = segments[j];
        const auto& b = segments[j + 1];
        double ma = 0, mb = 0;
        for (size_t k = 0; k < 1025; ++k) {
            ma += a[k];
            mb += b[k];
        }
        ma /= 1025;
        mb /= 1025;
        double c = 0, va = 0, vb = 0;
        for (size_t k = 0; k < 1025; ++k) {
            c += (a[k] - ma) * (b[k] - mb);
            va += (a[k] - ma) * (a[k] - ma);
            vb += (b[k] - mb) * (b[k] - mb);
        }
        drift[j] = c / std::sqrt(va * vb);
    }
}

TEST(AnalyzerSpectraTest, MatchesADoublePrecisionReference) {
    Analyzer analyzer(std::string("/nonexistent"));
    // 5000 samples: three blocks, the last one partial and zero-padded, and
    // too few for the eleven segments. 30000: fifteen blocks over eleven segments.
    for (size_t length : {5000u, 30000u}) {
        SCOPED_TRACE(length);
        const std::vector<float> x = MusicLike(length, static_cast<uint32_t>(length));
        analyzer.samples().assign(x.begin(), x.end());
        ASSERT_EQ(analyzer.ComputeSpectra(), S_OK);
        std::vector<double> spectrum, drift;
        ReferenceSpectra(x, spectrum, drift);
        const Grip& g = analyzer.grip();
        for (size_t k = 0; k < kSpectrumLength; ++k) {
            ASSERT_NEAR(g.spectrum[k], spectrum[k], 1e-4 * std::max(1.0, spectrum[k]))
                << "bin " << k;
        }
        for (size_t j = 0; j < kDriftLength; ++j) {
            EXPECT_NEAR(g.drift[j], drift[j], 1e-4) << "drift " << j;
        }
    }
    analyzer.samples().assign(2047, 0.5f);
    EXPECT_EQ(analyzer.ComputeSpectra(), E_FAIL);
}

TEST(AnalyzerEnvelopeTest, StretchesMatchADirectStandardDeviation) {
    Analyzer analyzer(std::string("/nonexistent"));
    const std::vector<float> x = MusicLike(kAnalysisLength, 12);
    analyzer.samples().assign(x.begin(), x.end());
    ASSERT_EQ(analyzer.ComputeEnvelope(), S_OK);
    for (size_t j = 0; j < kEnvelopeLength; ++j) {
        // Stretch 0 holds samples 0..6615; stretch j >= 1 holds j*6615+1 .. (j+1)*6615.
        const size_t first = j == 0 ? 0 : j * 6615 + 1;
        const size_t last = std::min<size_t>((j + 1) * 6615, x.size() - 1);
        double sum = 0, sumSq = 0;
        for (size_t i = first; i <= last; ++i) {
            sum += x[i];
            sumSq += static_cast<double>(x[i]) * x[i];
        }
        const double count = static_cast<double>(last - first + 1);
        const double mean = sum / count;
        EXPECT_NEAR(analyzer.grip().envelope[j], std::sqrt(sumSq / count - mean * mean), 1e-4) << j;
    }
    // A constant buffer has no deviation, and never a NaN from rounding.
    analyzer.samples().assign(kAnalysisLength, 0.3f);
    analyzer.ComputeEnvelope();
    for (float e : analyzer.grip().envelope) {
        EXPECT_FALSE(std::isnan(e));
        EXPECT_NEAR(e, 0.0f, 1e-3);
    }
}

}  // namespace
