#include "signal_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<float> Random(size_t n, uint32_t seed, float low = -1.0f, float high = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(low, high);
    std::vector<float> v(n);
    for (float& x : v) {
        x = dist(rng);
    }
    return v;
}

// X[k] = sum x[m] e^(+2 pi i m k / n) in double precision.
std::vector<std::complex<double>> ReferenceDft(const std::vector<float>& re,
                                               const std::vector<float>& im) {
    const size_t n = re.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t m = 0; m < n; ++m) {
            const double angle =
                2.0 * M_PI * static_cast<double>((m * k) % n) / static_cast<double>(n);
            sum += std::complex<double>(re[m], im[m]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

std::vector<double> ReferenceCorrelation(const std::vector<float>& x, const std::vector<float>& h) {
    const long nx = static_cast<long>(x.size());
    const long nh = static_cast<long>(h.size());
    std::vector<double> out(static_cast<size_t>(nx + nh - 1));
    for (long k = 0; k < nx + nh - 1; ++k) {
        double sum = 0;
        for (long m = 0; m < nh; ++m) {
            const long i = k - (nh - 1) + m;
            if (i >= 0 && i < nx) {
                sum += static_cast<double>(x[static_cast<size_t>(i)]) * h[static_cast<size_t>(m)];
            }
        }
        out[static_cast<size_t>(k)] = sum;
    }
    return out;
}

TEST(FftTest, MatchesADoublePrecisionDftForEverySize) {
    for (uint32_t n : {1u, 2u, 4u, 8u, 64u, 512u, 2048u}) {
        SCOPED_TRACE(n);
        std::vector<float> re = Random(n, n);
        std::vector<float> im = Random(n, n + 1);
        const auto expected = ReferenceDft(re, im);
        Fft(re.data(), im.data(), n);
        const double tolerance = 1e-5 * n;
        for (uint32_t k = 0; k < n; ++k) {
            ASSERT_NEAR(re[k], expected[k].real(), tolerance) << "bin " << k;
            ASSERT_NEAR(im[k], expected[k].imag(), tolerance) << "bin " << k;
        }
    }
}

TEST(FftTest, TwoPointsIsOneButterfly) {
    float re[2] = {3.0f, 5.0f};
    float im[2] = {1.0f, -2.0f};
    Fft(re, im, 2);
    EXPECT_EQ(re[0], 8.0f);
    EXPECT_EQ(im[0], -1.0f);
    EXPECT_EQ(re[1], -2.0f);
    EXPECT_EQ(im[1], 3.0f);
}

TEST(FftTest, InverseUndoesTheTransform) {
    for (uint32_t n : {2u, 16u, 2048u, 65536u}) {
        SCOPED_TRACE(n);
        const std::vector<float> re0 = Random(n, 7);
        const std::vector<float> im0 = Random(n, 8);
        std::vector<float> re = re0;
        std::vector<float> im = im0;
        Fft(re.data(), im.data(), n);
        InverseFft(re.data(), im.data(), n);
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_NEAR(re[i], re0[i], 1e-4);
            ASSERT_NEAR(im[i], im0[i], 1e-4);
        }
    }
}

TEST(FftTest, RepeatedTransformsGiveTheSameBits) {
    // The twiddles are computed once per size; concurrent and later calls must
    // see exactly the same values.
    std::vector<float> a = Random(2048, 3);
    std::vector<float> ai(2048, 0.0f);
    std::vector<float> b = a;
    std::vector<float> bi = ai;
    Fft(a.data(), ai.data(), 2048);
    Fft(b.data(), bi.data(), 2048);
    EXPECT_EQ(a, b);
    EXPECT_EQ(ai, bi);
}

// The transform as its stored results were first computed: bit reversal, then
// twiddle by twiddle, one butterfly at a time in 32-bit floats.
void ScalarFft(std::vector<float>& re, std::vector<float>& im) {
    const size_t n = re.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t half = 1; half < n; half *= 2) {
        const float step = 3.1415927f / static_cast<float>(half);
        for (size_t j = 0; j < half; ++j) {
            const float theta = static_cast<float>(j) * step;
            const auto c = static_cast<float>(std::cos(static_cast<double>(theta)));
            const auto sn = static_cast<float>(std::sin(static_cast<double>(theta)));
            for (size_t i = j; i < n; i += 2 * half) {
                const size_t p = i + half;
                const float tr = re[p] * c - im[p] * sn;
                const float ti = im[p] * c + re[p] * sn;
                re[p] = re[i] - tr;
                im[p] = im[i] - ti;
                re[i] = re[i] + tr;
                im[i] = im[i] + ti;
            }
        }
    }
}

TEST(FftTest, GivesTheBitsOfTheScalarButterflies) {
    // Spectra in users' caches were made this way; a faster transform must
    // not move a single bit.
    for (uint32_t n : {4u, 8u, 2048u, 65536u}) {
        SCOPED_TRACE(n);
        std::vector<float> re = Random(n, n + 5);
        std::vector<float> im = Random(n, n + 6);
        std::vector<float> expectedRe = re;
        std::vector<float> expectedIm = im;
        ScalarFft(expectedRe, expectedIm);
        Fft(re.data(), im.data(), n);
        EXPECT_EQ(re, expectedRe);
        EXPECT_EQ(im, expectedIm);
    }
}

TEST(FftTest, RealInputGivesTheBitsOfTheScalarButterflies) {
    // Zeros of either sign and a silent half must keep their signs too.
    for (uint32_t n : {8u, 32u, 2048u, 65536u}) {
        SCOPED_TRACE(n);
        std::vector<float> in = Random(n, n + 7);
        for (uint32_t i = 0; i < n; i += 5) {
            in[i] = (i % 2 == 0) ? 0.0f : -0.0f;
        }
        std::fill(in.begin() + n / 2, in.end(), 0.0f);
        std::vector<float> expectedRe = in;
        std::vector<float> expectedIm(n, 0.0f);
        ScalarFft(expectedRe, expectedIm);
        std::vector<float> re(n, 1.0f);
        std::vector<float> im(n, 1.0f);
        FftOfReal(in.data(), re.data(), im.data(), n);
        EXPECT_EQ(std::memcmp(re.data(), expectedRe.data(), n * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(im.data(), expectedIm.data(), n * sizeof(float)), 0);
    }
}

TEST(CorrelationCoefficientTest, KnownRelations) {
    const std::vector<float> a = Random(1025, 11);
    std::vector<float> negated(a.size());
    std::vector<float> shifted(a.size());
    std::vector<float> scaled(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        negated[i] = -a[i];
        shifted[i] = a[i] + 3.0f;
        scaled[i] = a[i] * 2.5f;
    }
    const std::vector<float> c1(100, 0.25f);
    const std::vector<float> c2(100, -4.0f);
    EXPECT_EQ(CorrelationCoefficient(c1.data(), c2.data(), 100), 1.0f);
    EXPECT_EQ(CorrelationCoefficient(c1.data(), a.data(), 100), 1.0f);
    EXPECT_NEAR(CorrelationCoefficient(a.data(), negated.data(), 1025), -1.0f, 1e-6);
    EXPECT_NEAR(CorrelationCoefficient(a.data(), shifted.data(), 1025), 1.0f, 1e-5);
    EXPECT_NEAR(CorrelationCoefficient(a.data(), scaled.data(), 1025), 1.0f, 1e-6);
}

TEST(CorrelationCoefficientTest, MatchesADoublePrecisionPearson) {
    for (uint32_t n : {2u, 10u, 100u, 1025u}) {
        const std::vector<float> a = Random(n, n * 3);
        const std::vector<float> b = Random(n, n * 5);
        double ma = 0, mb = 0;
        for (uint32_t i = 0; i < n; ++i) {
            ma += a[i];
            mb += b[i];
        }
        ma /= n;
        mb /= n;
        double cov = 0, va = 0, vb = 0;
        for (uint32_t i = 0; i < n; ++i) {
            cov += (a[i] - ma) * (b[i] - mb);
            va += (a[i] - ma) * (a[i] - ma);
            vb += (b[i] - mb) * (b[i] - mb);
        }
        EXPECT_NEAR(CorrelationCoefficient(a.data(), b.data(), n), cov / std::sqrt(va * vb), 1e-5)
            << n;
    }
}

TEST(CrossCorrelateTest, MatchesADirectSumAcrossBlockBoundaries) {
    struct Case {
        uint32_t nx;
        uint32_t nh;
    };
    for (const Case c :
         {Case{1, 1}, Case{50, 7}, Case{1000, 64}, Case{1450, 375}, Case{58, 15}, Case{10, 30}}) {
        SCOPED_TRACE(std::to_string(c.nx) + "/" + std::to_string(c.nh));
        const std::vector<float> x = Random(c.nx, c.nx);
        const std::vector<float> h = Random(c.nh, c.nh + 100);
        const std::vector<double> expected = ReferenceCorrelation(x, h);
        std::vector<float> out(expected.size(), -99.0f);
        const uint32_t peak = CrossCorrelate(x.data(), c.nx, h.data(), c.nh, out.data());
        size_t best = 0;
        for (size_t k = 0; k < expected.size(); ++k) {
            ASSERT_NEAR(out[k], expected[k], 1e-4 * c.nh) << "lag " << k;
            if (out[k] > out[best]) {
                best = k;
            }
        }
        if (out[best] > 0) {
            EXPECT_EQ(peak, best);
        }
        EXPECT_EQ(CrossCorrelate(x.data(), c.nx, h.data(), c.nh, nullptr), peak);
    }
}

TEST(CrossCorrelateTest, SingleOneKernelCopiesTheSignal) {
    const std::vector<float> x = {0.5f, -1.0f, 2.0f, 0.0f, 2.0f, 1.0f};
    const float one = 1.0f;
    std::vector<float> out(x.size());
    EXPECT_EQ(CrossCorrelate(x.data(), 6, &one, 1, out.data()), 2u);
    for (size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(out[i], x[i], 1e-6);
    }
}

TEST(CrossCorrelateTest, AllNegativeOutputPeaksAtZero) {
    const std::vector<float> x(40, 1.0f);
    const std::vector<float> h(5, -1.0f);
    EXPECT_EQ(CrossCorrelate(x.data(), 40, h.data(), 5, nullptr), 0u);
}

TEST(NormalizedCrossCorrelateTest, MatchesPerLagCorrelationCoefficients) {
    const uint32_t nx = 300;
    const uint32_t nh = 25;
    std::vector<float> x = Random(nx, 21);
    const std::vector<float> h = Random(nh, 22);
    // Plant the kernel, scaled and offset, at lag 150 (window ending at 174).
    for (uint32_t i = 0; i < nh; ++i) {
        x[150 + i] = 2.0f * h[i] + 0.5f;
    }
    // A constant stretch gives 0 at lags whose window lies inside it.
    for (uint32_t i = 250; i < 290; ++i) {
        x[i] = 0.75f;
    }
    std::vector<float> out(nx + nh - 1);
    const uint32_t peak = NormalizedCrossCorrelate(x.data(), nx, h.data(), nh, out.data());
    EXPECT_EQ(peak, 150u + nh - 1);
    EXPECT_NEAR(out[peak], 1.0f, 1e-4);
    for (uint32_t k = 250 + nh - 1; k < 290; ++k) {
        EXPECT_NEAR(out[k], 0.0f, 1e-3) << k;
    }
    // Every lag against a direct coefficient over the zero-padded window.
    for (uint32_t k = 0; k < nx + nh - 1; ++k) {
        double sx = 0, sxx = 0, sh = 0, shh = 0, sxh = 0;
        for (uint32_t m = 0; m < nh; ++m) {
            const long i = static_cast<long>(k) - static_cast<long>(nh - 1) + m;
            const double xv =
                (i >= 0 && i < static_cast<long>(nx)) ? x[static_cast<size_t>(i)] : 0.0;
            sx += xv;
            sxx += xv * xv;
            sh += h[m];
            shh += h[m] * h[m];
            sxh += xv * h[m];
        }
        const double varX = sxx / nh - (sx / nh) * (sx / nh);
        const double varH = shh / nh - (sh / nh) * (sh / nh);
        if (varX < 1e-6) {
            continue;  // near-constant windows are dominated by float cancellation
        }
        const double expected = (sxh / nh - (sx / nh) * (sh / nh)) / std::sqrt(varX * varH);
        ASSERT_NEAR(out[k], expected, 2e-3) << "lag " << k;
    }
}

}  // namespace
