#include "experimental_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "scan_state.h"
#include "test_files.h"

namespace {

// ---- Independent double-precision references -------------------------------

// The loudness-change curve from prefix sums in long double: each window's
// deviation is computed from scratch, not by sliding float sums.
std::vector<double> ReferenceOnset(const std::vector<float>& x, uint32_t w, uint32_t d, float rms) {
    const size_t n = x.size();
    std::vector<long double> s(n + 1, 0.0L);
    std::vector<long double> q(n + 1, 0.0L);
    for (size_t i = 0; i < n; ++i) {
        s[i + 1] = s[i] + x[i];
        q[i + 1] = q[i] + static_cast<long double>(x[i]) * x[i];
    }
    const double floor = static_cast<double>(rms) * 0.0001;
    auto deviation = [&](size_t from, size_t to) {
        const long double sum = s[to] - s[from];
        const long double squares = q[to] - q[from];
        const double var = static_cast<double>((squares - sum * sum / w) / w);
        const double dev = std::sqrt(std::max(0.0, var));
        return dev > floor ? dev : floor;
    };
    std::vector<double> curve;
    double acc = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double devL = deviation(i >= w ? i - w : 0, i);
        const double devR = deviation(i, std::min(n, i + w));
        double v = 0.0;
        if (devL < devR) {
            v = 1.0 - devL / devR;
        } else if (devL > devR) {
            v = devR / devL - 1.0;
        }
        acc += v;
        if (i % d == d - 1) {
            curve.push_back(acc / d);
            acc = 0.0;
        }
    }
    return curve;
}

// Mean magnitude of bins [from, to) of the zero-padded 65536-point transform
// of one block, by a direct DFT.
double ReferenceBandMean(const float* block, size_t count, uint32_t from, uint32_t to) {
    double total = 0.0;
    for (uint32_t j = from; j < to; ++j) {
        std::complex<double> sum = 0.0;
        for (size_t m = 0; m < count; ++m) {
            const double angle = 2.0 * M_PI * static_cast<double>(j) * static_cast<double>(m) /
                                 static_cast<double>(kBandTransformSize);
            sum += static_cast<double>(block[m]) * std::polar(1.0, angle);
        }
        total += std::abs(sum);
    }
    return total / (to - from);
}

// Correlation coefficient of h with the nh-value window of x ending at k, for
// every k; x is zero outside its range.
std::vector<double> ReferenceNcc(const float* x, size_t nx, const float* h, size_t nh) {
    double hm = 0.0;
    double hq = 0.0;
    for (size_t j = 0; j < nh; ++j) {
        hm += h[j];
        hq += static_cast<double>(h[j]) * h[j];
    }
    hm /= nh;
    const double hv = hq / nh - hm * hm;
    std::vector<double> out(nx + nh - 1);
    for (size_t k = 0; k < out.size(); ++k) {
        double xm = 0.0;
        double xq = 0.0;
        double xh = 0.0;
        for (size_t j = 0; j < nh; ++j) {
            const ptrdiff_t at = static_cast<ptrdiff_t>(k) - static_cast<ptrdiff_t>(nh - 1) +
                                 static_cast<ptrdiff_t>(j);
            const double v = at >= 0 && at < static_cast<ptrdiff_t>(nx) ? x[at] : 0.0;
            xm += v;
            xq += v * v;
            xh += v * h[j];
        }
        xm /= nh;
        const double xv = xq / nh - xm * xm;
        const double den = std::sqrt(std::max(0.0, xv) * std::max(0.0, hv));
        out[k] = den > 1e-12 ? (xh / nh - xm * hm) / den : 0.0;
    }
    return out;
}

// The alignment search written out directly for opening-sized inputs.
double ReferenceAlign(const std::vector<float>& oA, const std::vector<float>& oB,
                      const std::vector<float>& bA, const std::vector<float>& bB, uint32_t l,
                      uint32_t m) {
    const size_t blocks = bB.size() / 25;
    const size_t series = blocks - 2;
    const size_t nB = oB.size();
    const size_t onsetStarts[3] = {(nB / 2 - l) / 2, (nB - l) / 2, nB / 2 + (nB / 2 - l) / 2};
    const size_t bandStarts[3] = {(series / 2 - m) / 2, (series - m) / 2,
                                  series / 2 + (series / 2 - m) / 2};
    double best = 0.0;
    for (int e = 0; e < 3; ++e) {
        const std::vector<double> co = ReferenceNcc(oA.data(), oA.size(), &oB[onsetStarts[e]], l);
        std::vector<double> cs(series + m - 1, 0.0);
        for (size_t k = 0; k < 25; ++k) {
            const std::vector<double> cb =
                ReferenceNcc(&bA[k * blocks + 1], series, &bB[k * blocks + bandStarts[e]], m);
            for (size_t j = 0; j < cs.size(); ++j) {
                cs[j] += cb[j] / 25.0;
            }
        }
        for (size_t i = 0; i < oA.size(); ++i) {
            best = std::max(best, co[i + l - 1] * cs[i / 25 + m - 1]);
        }
    }
    return best;
}

std::vector<float> Noise(size_t n, uint32_t seed, float amplitude = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(n);
    for (float& x : v) {
        x = dist(rng);
    }
    return v;
}

float Rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) {
        sum += static_cast<double>(v) * v;
    }
    return x.empty() ? 0.0f : static_cast<float>(std::sqrt(sum / static_cast<double>(x.size())));
}

// ---- Fake audio files ------------------------------------------------------

constexpr size_t kRate = 22050;

class CountingOwner final : public ScanOwner {
  public:
    void Post(uint32_t message) override { posted.push_back(message); }
    std::vector<uint32_t> posted;
};

// A plug-in folder and fake audio files, each written the first time a test
// asks for it (every test runs in a process of its own).
class FakeFiles {
  public:
    FakeFiles() { InstallPlugins(m_dir.path(), {"fake_high"}); }

    std::string Plugins() const { return m_dir.path(); }

    std::u16string Path(const std::string& name) {
        const std::string file = m_dir.File(name + ".fake");
        if (m_written.insert(name).second) {
            WriteFakeAudio(file, {{"chunk", "65536"}}, ToPcm16(Signal(name)));
        }
        return U16(file);
    }

  private:
    static std::vector<float> Signal(const std::string& name) {
        constexpr size_t kLength = kOpeningLength + 2 * kRate;
        constexpr size_t kShift = 2 * kRate + kRate / 2;  // 2.5 s
        if (name == "music" || name == "music_copy") {
            return MusicLike(kLength, 1);
        }
        if (name == "shifted") {
            std::vector<float> longer = MusicLike(kLength + kShift, 1);
            return std::vector<float>(longer.begin() + kShift, longer.end());
        }
        if (name == "other") {
            return MusicLike(kLength, 2);
        }
        if (name == "short") {
            return MusicLike(kOpeningLength - 1, 1);
        }
        if (name == "silent") {
            return std::vector<float>(kOpeningLength, 0.0f);
        }
        return {};
    }

    TempDir m_dir;
    std::set<std::string> m_written;
};

// ---- Band edges ------------------------------------------------------------

TEST(ExperimentalCompareTest, BandEdgesMatchTheTable) {
    const std::array<uint32_t, kBandCount + 1> expected = {
        0,   1,   2,   3,   5,    8,    12,   18,   27,   42,   64,    97,    147,
        222, 337, 511, 776, 1176, 1782, 2702, 4096, 6208, 9410, 14263, 21618, 32769};
    EXPECT_EQ(BandEdges(), expected);
}

// ---- Loudness-change curve -------------------------------------------------

// A series and the window and frame lengths OnsetCurve is given.
struct OnsetCase {
    const char* name;
    std::vector<float> x;
    uint32_t w;
    uint32_t d;
    double tolerance = 0;
};

TEST(ExperimentalCompareTest, OnsetCurveMatchesDirectReference) {
    std::vector<float> step(3000, 0.0f);
    for (size_t i = 0; i < step.size(); ++i) {
        step[i] = (i / 1000 == 1 ? 0.5f : 0.02f) * std::sin(0.3f * static_cast<float>(i));
    }
    const OnsetCase cases[] = {
        // A small window: one sample out of place moves values by about 1/w.
        {"small window, partial last frame", MusicLike(1005, 3), 50, 10, 1e-4},
        // Residues of the loud part stay in the float sums of the quiet part.
        {"quiet-loud-quiet steps", step, 64, 16, 1e-3},
        {"white noise", Noise(4000, 4), 100, 7, 1e-4},
        // The real window and frame over three seconds: float sums slide far.
        {"opening constants", MusicLike(3 * kRate + 100, 5), kLoudnessWindow, kFrameLength, 2e-4},
        {"exactly two windows", MusicLike(2 * kLoudnessWindow, 6), kLoudnessWindow, kFrameLength,
         2e-4},
    };
    for (const OnsetCase& c : cases) {
        SCOPED_TRACE(c.name);
        const float rms = Rms(c.x);
        std::vector<float> curve;
        ASSERT_EQ(OnsetCurve(c.x, c.w, c.d, rms, curve), S_OK);
        const std::vector<double> expected = ReferenceOnset(c.x, c.w, c.d, rms);
        ASSERT_EQ(curve.size(), c.x.size() / c.d);
        ASSERT_EQ(curve.size(), expected.size());
        for (size_t i = 0; i < curve.size(); ++i) {
            ASSERT_NEAR(curve[i], expected[i], c.tolerance) << "frame " << i;
            ASSERT_GE(curve[i], -1.0f);
            ASSERT_LE(curve[i], 1.0f);
        }
    }
}

TEST(ExperimentalCompareTest, OnsetCurveSignsFollowLoudness) {
    // Loud from sample 1000 to 2000: louder ahead of the first step, quieter
    // ahead of the second.
    std::vector<float> x(3000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = (i / 1000 == 1 ? 0.5f : 0.01f) * std::sin(0.7f * static_cast<float>(i));
    }
    std::vector<float> curve;
    ASSERT_EQ(OnsetCurve(x, 100, 50, Rms(x), curve), S_OK);
    ASSERT_EQ(curve.size(), 60u);
    EXPECT_GT(curve[19], 0.5f);   // samples 950..999 look ahead into the loud part
    EXPECT_LT(curve[39], -0.5f);  // samples 1950..1999 look ahead into the quiet part
    EXPECT_NEAR(curve[29], 0.0f, 0.1f);
}

TEST(ExperimentalCompareTest, OnsetCurveOfSilenceIsZeroAndBadArgumentsFail) {
    std::vector<float> curve;
    const std::vector<float> silence(5000, 0.0f);
    ASSERT_EQ(OnsetCurve(silence, 100, 10, 0.0f, curve), S_OK);
    ASSERT_EQ(curve.size(), 500u);
    for (float v : curve) {
        ASSERT_EQ(v, 0.0f);
    }

    const OnsetCase failing[] = {
        {"one sample short of two windows", Noise(199, 7), 100, 10},
        {"empty", {}, 100, 10},
        {"frame of 0", Noise(1000, 7), 100, 0},
        {"window of 0", Noise(1000, 7), 0, 10},
    };
    for (const OnsetCase& c : failing) {
        SCOPED_TRACE(c.name);
        curve.assign(3, 1.0f);
        EXPECT_EQ(OnsetCurve(c.x, c.w, c.d, 0.5f, curve), E_FAIL);
        EXPECT_TRUE(curve.empty());
    }
}

// ---- Band profile ----------------------------------------------------------

TEST(ExperimentalCompareTest, BandProfileMatchesDirectTransform) {
    // Two blocks, the second partial; the low bands (bins below 147) checked
    // against a direct DFT of each zero-padded block.
    const std::vector<float> x = MusicLike(kRate + 7950, 8);
    std::vector<float> profile;
    BandProfile(x, profile);
    ASSERT_EQ(profile.size(), 2 * kBandCount);
    const std::array<uint32_t, kBandCount + 1>& e = BandEdges();
    for (size_t b = 0; b < 2; ++b) {
        const size_t count = std::min(kRate, x.size() - b * kRate);
        double scale = 0.0;
        for (size_t i = 0; i < count; ++i) {
            scale += std::fabs(x[b * kRate + i]);
        }
        for (uint32_t k = 0; k < 12; ++k) {
            SCOPED_TRACE("block " + std::to_string(b) + " band " + std::to_string(k));
            const double expected = ReferenceBandMean(&x[b * kRate], count, e[k], e[k + 1]);
            EXPECT_NEAR(profile[k * 2 + b], expected, 1e-5 * scale);
        }
    }
}

TEST(ExperimentalCompareTest, BandProfilePutsToneInItsBand) {
    // Block 0 silent, block 1 a 1000 Hz tone (bin 2972, band 19), block 2 a
    // partial block of 250 Hz (bin 743, band 15).
    std::vector<float> x(2 * kRate, 0.0f);
    const std::vector<float> high = Sine(kRate, 1000.0, 0.5);
    std::copy(high.begin(), high.end(), x.begin() + kRate);
    const std::vector<float> low = Sine(kRate / 2, 250.0, 0.5);
    x.insert(x.end(), low.begin(), low.end());

    std::vector<float> profile;
    BandProfile(x, profile);
    const size_t blocks = 3;
    ASSERT_EQ(profile.size(), kBandCount * blocks);
    auto loudest = [&](size_t b) {
        uint32_t best = 0;
        for (uint32_t k = 1; k < kBandCount; ++k) {
            if (profile[k * blocks + b] > profile[best * blocks + b]) {
                best = k;
            }
        }
        return best;
    };
    for (uint32_t k = 0; k < kBandCount; ++k) {
        EXPECT_EQ(profile[k * blocks + 0], 0.0f) << "band " << k;
    }
    EXPECT_EQ(loudest(1), 19u);
    EXPECT_EQ(loudest(2), 15u);

    std::vector<float> empty;
    BandProfile({}, empty);
    EXPECT_TRUE(empty.empty());
}

// ---- Alignment -------------------------------------------------------------

// Opening-sized inputs: curves of 1450 values and band profiles of 60 blocks.
// B is A moved by `shift` curve values (and shift / 25 blocks) with noise.
struct AlignInputs {
    std::vector<float> oA, oB, bA, bB;
};

AlignInputs MakeAlignInputs(uint32_t seed, size_t shift, float noise) {
    constexpr size_t kCurve = 1450;
    constexpr size_t kBlocks = 60;
    const std::vector<float> base = Noise(kCurve + shift, seed);
    const std::vector<float> jitter = Noise(kCurve + 25 * kBlocks, seed + 1, noise);
    AlignInputs in;
    in.oA.assign(base.begin(), base.begin() + kCurve);
    in.oB.resize(kCurve);
    for (size_t i = 0; i < kCurve; ++i) {
        in.oB[i] = base[i + shift] + jitter[i];
    }
    const std::vector<float> bands = Noise(25 * (kBlocks + shift / 25), seed + 2);
    in.bA.resize(25 * kBlocks);
    in.bB.resize(25 * kBlocks);
    const size_t longBlocks = kBlocks + shift / 25;
    for (size_t k = 0; k < 25; ++k) {
        for (size_t b = 0; b < kBlocks; ++b) {
            in.bA[k * kBlocks + b] = std::fabs(bands[k * longBlocks + b]);
            in.bB[k * kBlocks + b] = std::fabs(bands[k * longBlocks + b + shift / 25]) +
                                     jitter[kCurve + k * kBlocks + b];
        }
    }
    return in;
}

TEST(ExperimentalCompareTest, AlignScoreMatchesDirectReference) {
    struct Case {
        const char* name;
        uint32_t seed;
        size_t shift;
        float noise;
    };
    const Case cases[] = {
        {"same series", 11, 0, 0.0f},
        {"moved by 3 s with noise", 12, 75, 0.2f},
        {"moved by 10.4 s, much noise", 13, 260, 1.0f},
        {"unrelated", 14, 0, 50.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AlignInputs in = MakeAlignInputs(c.seed, c.shift, c.noise);
        const float got = AlignScore(in.oA, in.oB, in.bA, in.bB, kOnsetExcerpt, kBandExcerpt);
        const double expected =
            std::min(1.0, ReferenceAlign(in.oA, in.oB, in.bA, in.bB, kOnsetExcerpt, kBandExcerpt));
        EXPECT_NEAR(got, expected, 1e-4);
        EXPECT_GE(got, 0.0f);
        EXPECT_LE(got, 1.0f);
    }
}

TEST(ExperimentalCompareTest, AlignScoreOfDegenerateInputs) {
    const AlignInputs in = MakeAlignInputs(21, 0, 0.0f);
    const std::vector<float> shortCurve(in.oA.begin(), in.oA.begin() + kOnsetExcerpt - 1);
    const std::vector<float> shortBands(in.bA.begin(), in.bA.begin() + 25 * kBandExcerpt - 1);
    const std::vector<float> moreBands(in.bA.size() + 25, 0.5f);
    const std::vector<float> nanBands(in.bA.size(), std::nanf(""));
    std::vector<float> nanCurve = in.oA;
    nanCurve[700] = std::nanf("");
    struct Case {
        const char* name;
        const std::vector<float>& oA;
        const std::vector<float>& oB;
        const std::vector<float>& bA;
        const std::vector<float>& bB;
    };
    const Case zero[] = {
        {"curve A of 374", shortCurve, in.oB, in.bA, in.bB},
        {"curve B of 374", in.oA, shortCurve, in.bA, in.bB},
        {"profile A of 374", in.oA, in.oB, shortBands, in.bB},
        {"profile B of 374", in.oA, in.oB, in.bA, shortBands},
        {"profiles of unequal size", in.oA, in.oB, in.bA, moreBands},
        {"NaN band values", in.oA, in.oB, nanBands, in.bB},
    };
    for (const Case& c : zero) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AlignScore(c.oA, c.oB, c.bA, c.bB, kOnsetExcerpt, kBandExcerpt), 0.0f);
    }
    EXPECT_EQ(AlignScore(in.oA, in.oB, in.bA, in.bB, 0, kBandExcerpt), 0.0f);
    EXPECT_EQ(AlignScore(in.oA, in.oB, in.bA, in.bB, kOnsetExcerpt, 0), 0.0f);

    // A NaN curve value spoils the correlations around it but never the figure.
    const float spoilt = AlignScore(nanCurve, in.oB, in.bA, in.bB, kOnsetExcerpt, kBandExcerpt);
    EXPECT_FALSE(std::isnan(spoilt));
    EXPECT_GE(spoilt, 0.0f);
    EXPECT_LE(spoilt, 1.0f);

    // Sizes for which some excerpts do not fit into B: defined, in range.
    const std::vector<float> curve400(in.oA.begin(), in.oA.begin() + 400);
    const std::vector<float> bands16(in.bA.begin(), in.bA.begin() + 25 * 16);
    const std::vector<float> bands3(in.bA.begin(), in.bA.begin() + 25 * 3);
    const std::vector<float> longCurve = Noise(5000, 30);
    struct Odd {
        const char* name;
        const std::vector<float>& oA;
        const std::vector<float>& oB;
        const std::vector<float>& bands;
        uint32_t m;
    };
    const Odd odd[] = {
        {"curve B of 400", in.oA, curve400, in.bA, kBandExcerpt},
        {"16 blocks", in.oA, in.oB, bands16, kBandExcerpt},
        {"3 blocks, excerpt of 1", in.oA, in.oB, bands3, 1},
        {"curve A longer than the band series", longCurve, in.oB, in.bA, kBandExcerpt},
    };
    for (const Odd& c : odd) {
        SCOPED_TRACE(c.name);
        const float score = AlignScore(c.oA, c.oB, c.bands, c.bands, kOnsetExcerpt, c.m);
        EXPECT_GE(score, 0.0f);
        EXPECT_LE(score, 1.0f);
    }
}

// ---- Openings and whole files ----------------------------------------------

TEST(ExperimentalCompareTest, ReadOpeningTakesTheFirstSamplesAndRemovesTheMean) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_high"});
    DecoderSet decoders(dir.path());
    std::vector<float> x = MusicLike(3000, 9);
    for (float& v : x) {
        v += 0.25f;
    }
    const std::vector<int16_t> pcm = ToPcm16(x);
    WriteFakeAudio(dir.File("chunked.fake"), {{"chunk", "1000"}}, pcm);
    WriteFakeAudio(dir.File("endless.fake"), {{"chunk", "1000"}, {"endless", "1"}}, pcm);
    std::ofstream(dir.File("not-audio.txt")) << "hello\n";

    struct Case {
        const char* name;
        std::string file;
        uint32_t n;
        size_t expected;
    };
    const Case cases[] = {
        {"cut inside a chunk", "chunked.fake", 1234, 1234},
        {"whole file when n is larger", "chunked.fake", 5000, 3000},
        {"decoder that never ends its stream", "endless.fake", 5000, 3000},
        {"nothing asked", "chunked.fake", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> opening;
        float rms = -1.0f;
        ASSERT_EQ(ReadOpening(U16(dir.File(c.file)), c.n, decoders, opening, &rms), S_OK);
        ASSERT_EQ(opening.size(), c.expected);
        double mean = 0.0;
        for (size_t i = 0; i < c.expected; ++i) {
            mean += pcm[i] / 32768.0;
        }
        mean = c.expected == 0 ? 0.0 : mean / static_cast<double>(c.expected);
        double squares = 0.0;
        for (size_t i = 0; i < c.expected; ++i) {
            const double centred = pcm[i] / 32768.0 - mean;
            ASSERT_NEAR(opening[i], centred, 1e-5) << "sample " << i;
            squares += centred * centred;
        }
        const double expectedRms =
            c.expected == 0 ? 0.0 : std::sqrt(squares / static_cast<double>(c.expected));
        EXPECT_NEAR(rms, expectedRms, 1e-5);
    }

    std::vector<float> opening(5, 1.0f);
    float rms = -1.0f;
    EXPECT_EQ(ReadOpening(U16(dir.File("not-audio.txt")), 100, decoders, opening, &rms), E_FAIL);
    EXPECT_TRUE(opening.empty());
    EXPECT_EQ(ReadOpening(U16(dir.File("missing.fake")), 100, decoders, opening, &rms), E_FAIL);
    // The set holds no open file afterwards.
    EXPECT_EQ(decoders.CloseFile(), E_FAIL);
}

TEST(ExperimentalCompareTest, FilesShorterThanAMinuteGetAFailedFigure) {
    FakeFiles files;
    DecoderSet decoders(files.Plugins());
    CountingOwner owner;
    const int32_t generation = ScanGeneration.load();
    const std::u16string missing = U16(files.Plugins() + "/missing.fake");
    const std::pair<std::u16string, std::u16string> pairs[] = {
        {files.Path("short"), files.Path("music")},
        {files.Path("music"), files.Path("short")},
        {missing, files.Path("music")},
        {files.Path("music"), missing},
    };
    for (const auto& [path1, path2] : pairs) {
        float score = -1.0f;
        EXPECT_EQ(ExperimentalScore(path1, path2, decoders, &score), E_FAIL);
        EXPECT_EQ(score, 0.0f);
        EXPECT_EQ(CompareExperimental(generation, path1, path2, decoders, owner), E_FAIL);
    }
    // Each pair hears that its figure will not come.
    ASSERT_EQ(owner.PendingPairs.size(), std::size(pairs));
    for (const DuplicatePair& update : owner.PendingPairs) {
        EXPECT_TRUE(update.isUpdate);
        EXPECT_EQ(update.experimentalPercent, kExperimentalFailed);
    }
    EXPECT_EQ(owner.posted.size(), std::size(pairs));
}

TEST(ExperimentalCompareTest, IdenticalPairScoresBelowHundredAndIsAppended) {
    FakeFiles files;
    DecoderSet decoders(files.Plugins());
    CountingOwner owner;
    const std::u16string path1 = files.Path("music_copy");
    const std::u16string path2 = files.Path("music");
    ASSERT_EQ(CompareExperimental(ScanGeneration.load(), path1, path2, decoders, owner), S_OK);
    ASSERT_EQ(owner.PendingPairs.size(), 1u);
    const DuplicatePair& update = owner.PendingPairs[0];
    EXPECT_TRUE(update.isUpdate);
    EXPECT_EQ(update.path1, path1);
    EXPECT_EQ(update.path2, path2);
    EXPECT_EQ(update.contentPercent, 0.0f);
    EXPECT_EQ(update.tagPercent, 0.0f);
    // The onset peak meets band series one block apart, so even an identical
    // pair stays below 100.
    EXPECT_GT(update.experimentalPercent, 0.0f);
    EXPECT_LT(update.experimentalPercent, 100.0f);
    EXPECT_EQ(owner.posted, std::vector<uint32_t>{WM_PAIRS_READY});
}

TEST(ExperimentalCompareTest, ShiftedCopyScoresAboveUnrelatedPiece) {
    FakeFiles files;
    DecoderSet decoders(files.Plugins());
    float shifted = 0.0f;
    float unrelated = 0.0f;
    ASSERT_EQ(ExperimentalScore(files.Path("shifted"), files.Path("music"), decoders, &shifted),
              S_OK);
    ASSERT_EQ(ExperimentalScore(files.Path("other"), files.Path("music"), decoders, &unrelated),
              S_OK);
    EXPECT_GT(shifted, unrelated + 0.2f);
    EXPECT_GE(unrelated, 0.0f);
    EXPECT_LE(shifted, 1.0f);
}

TEST(ExperimentalCompareTest, SilentOpeningScoresZero) {
    FakeFiles files;
    DecoderSet decoders(files.Plugins());
    CountingOwner owner;
    // The silent file holds exactly one minute: the shortest file that counts.
    ASSERT_EQ(CompareExperimental(ScanGeneration.load(), files.Path("silent"), files.Path("music"),
                                  decoders, owner),
              S_OK);
    ASSERT_EQ(owner.PendingPairs.size(), 1u);
    EXPECT_EQ(owner.PendingPairs[0].experimentalPercent, 0.0f);
}

TEST(ExperimentalCompareTest, StaleFigureIsDroppedButStillPosted) {
    FakeFiles files;
    DecoderSet decoders(files.Plugins());
    CountingOwner owner;
    const int32_t stale = ScanGeneration.load() - 1;
    ASSERT_EQ(CompareExperimental(stale, files.Path("other"), files.Path("music"), decoders, owner),
              S_OK);
    EXPECT_TRUE(owner.PendingPairs.empty());
    EXPECT_EQ(owner.posted, std::vector<uint32_t>{WM_PAIRS_READY});
}

}  // namespace
