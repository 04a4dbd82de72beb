// Benchmarks of the analysis core: the transform, one full fingerprint, and
// the content and tag scores of one pair.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "analyzer.h"
#include "content_compare.h"
#include "grip_vectors.h"
#include "naive_overlap.h"
#include "signal_math.h"
#include "tag_compare.h"

namespace {

std::vector<float> Noise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(n);
    for (float& x : v) {
        x = dist(rng);
    }
    return v;
}

Grip RandomGrip(uint32_t seed) {
    Grip g;
    const std::vector<float> v = Noise(kSpectrumLength + kEnvelopeLength + kDriftLength, seed);
    std::copy(v.begin(), v.begin() + kSpectrumLength, g.spectrum.begin());
    std::copy(v.begin() + kSpectrumLength, v.begin() + kSpectrumLength + kEnvelopeLength,
              g.envelope.begin());
    std::copy(v.end() - kDriftLength, v.end(), g.drift.begin());
    g.title = "the long and winding road";
    g.artist = "the beatles";
    g.album = "let it be (remastered 2009)";
    g.nameKey = "08 - the long and winding road";
    return g;
}

Grip OtherTags(Grip g) {
    g.title = "long and winding road - live";
    g.artist = "paul mccartney & wings";
    g.album = "wings over america";
    g.nameKey = "paul mccartney - long and winding road";
    return g;
}

void BM_Fft2048(benchmark::State& state) {
    std::vector<float> re = Noise(2048, 1);
    std::vector<float> im(2048, 0.0f);
    for (auto _ : state) {
        Fft(re.data(), im.data(), 2048);
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_Fft2048);

void BM_SpectraAndEnvelope(benchmark::State& state) {
    Analyzer analyzer(std::string("/nonexistent"));
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<float> noise = Noise(kAnalysisLength, 2);
        analyzer.samples().assign(noise.begin(), noise.end());
        state.ResumeTiming();
        analyzer.ComputeSpectra();
        analyzer.ComputeEnvelope();
        benchmark::DoNotOptimize(analyzer.grip().spectrum.data());
    }
}
BENCHMARK(BM_SpectraAndEnvelope)->Unit(benchmark::kMillisecond);

void BM_ContentScores(benchmark::State& state) {
    const Grip a = RandomGrip(3);
    const Grip b = RandomGrip(4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeContentScores(a, b));
    }
}
BENCHMARK(BM_ContentScores);

// The form the comparison pass uses: series centred and scaled once per Grip.
void BM_ContentScoresScaled(benchmark::State& state) {
    const Grip a = RandomGrip(3);
    const Grip b = RandomGrip(4);
    static GripVectors va;
    static GripVectors vb;
    MakeGripVectors(a, va);
    MakeGripVectors(b, vb);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FastContentScores(va, vb));
    }
}
BENCHMARK(BM_ContentScoresScaled);

// Everything one pair of a scan costs: scaled content scores and tag scores.
void BM_PairScores(benchmark::State& state) {
    const Grip a = RandomGrip(3);
    Grip b = OtherTags(RandomGrip(4));
    if (state.range(0) == 0) {
        b.title = "bohemian rhapsody";
        b.artist = "queen";
        b.album = "a night at the opera";
        b.nameKey = "11 - bohemian rhapsody";
    }
    static GripVectors va;
    static GripVectors vb;
    MakeGripVectors(a, va);
    MakeGripVectors(b, vb);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FastContentScores(va, vb));
        benchmark::DoNotOptimize(ComputeTagScores(a, b));
    }
}
// 0: unrelated tags, the common case; 1: closely related tags.
BENCHMARK(BM_PairScores)->Arg(0)->Arg(1);

void BM_TagScores(benchmark::State& state) {
    const Grip a = RandomGrip(3);
    const Grip b = OtherTags(RandomGrip(4));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeTagScores(a, b));
    }
}
BENCHMARK(BM_TagScores);

void BM_SubstringOverlap(benchmark::State& state) {
    const std::string a = "08 - the long and winding road";
    const std::string b = "paul mccartney - long and winding road";
    for (auto _ : state) {
        benchmark::DoNotOptimize(SubstringOverlap(a, b));
    }
}
BENCHMARK(BM_SubstringOverlap);

void BM_SubstringOverlapNaive(benchmark::State& state) {
    const std::string a = "08 - the long and winding road";
    const std::string b = "paul mccartney - long and winding road";
    for (auto _ : state) {
        benchmark::DoNotOptimize(NaiveSubstringOverlap(a, b));
    }
}
BENCHMARK(BM_SubstringOverlapNaive);

// Typical of a scan: most pairs are unrelated pieces.
void BM_TagScoresUnrelated(benchmark::State& state) {
    const Grip a = RandomGrip(3);
    Grip b = RandomGrip(4);
    b.title = "bohemian rhapsody";
    b.artist = "queen";
    b.album = "a night at the opera";
    b.nameKey = "11 - bohemian rhapsody";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeTagScores(a, b));
    }
}
BENCHMARK(BM_TagScoresUnrelated);

}  // namespace

BENCHMARK_MAIN();
