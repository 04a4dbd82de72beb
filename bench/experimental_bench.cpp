// Benchmarks of the experimental comparison: one whole pair (two one-minute
// files decoded through a fake plug-in), and its stages on one opening.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "experimental_compare.h"
#include "test_files.h"

namespace {

constexpr size_t kFileLength = kOpeningLength + 22050;

// Two one-minute fake audio files and a plug-in folder, made once.
struct PairFiles {
    PairFiles() {
        InstallPlugins(dir.path(), {"fake_high"});
        WriteFakeAudio(dir.File("a.fake"), {{"chunk", "65536"}},
                       ToPcm16(MusicLike(kFileLength, 1)));
        WriteFakeAudio(dir.File("b.fake"), {{"chunk", "65536"}},
                       ToPcm16(MusicLike(kFileLength, 2)));
    }
    TempDir dir;
};

PairFiles& Files() {
    static PairFiles files;
    return files;
}

void BM_ExperimentalScore(benchmark::State& state) {
    PairFiles& files = Files();
    DecoderSet decoders(files.dir.path());
    const std::u16string a = U16(files.dir.File("a.fake"));
    const std::u16string b = U16(files.dir.File("b.fake"));
    for (auto _ : state) {
        float score = 0.0f;
        if (Failed(ExperimentalScore(a, b, decoders, &score))) {
            state.SkipWithError("ExperimentalScore failed");
            break;
        }
        benchmark::DoNotOptimize(score);
    }
}
BENCHMARK(BM_ExperimentalScore)->Unit(benchmark::kMillisecond);

void BM_ReadOpening(benchmark::State& state) {
    PairFiles& files = Files();
    DecoderSet decoders(files.dir.path());
    const std::u16string a = U16(files.dir.File("a.fake"));
    std::vector<float> opening;
    for (auto _ : state) {
        float rms = 0.0f;
        ReadOpening(a, kOpeningLength, decoders, opening, &rms);
        benchmark::DoNotOptimize(opening.data());
    }
}
BENCHMARK(BM_ReadOpening)->Unit(benchmark::kMillisecond);

void BM_OnsetCurve(benchmark::State& state) {
    const std::vector<float> x = MusicLike(kOpeningLength, 3);
    std::vector<float> curve;
    for (auto _ : state) {
        OnsetCurve(x, kLoudnessWindow, kFrameLength, 0.1f, curve);
        benchmark::DoNotOptimize(curve.data());
    }
}
BENCHMARK(BM_OnsetCurve)->Unit(benchmark::kMillisecond);

void BM_BandProfile(benchmark::State& state) {
    const std::vector<float> x = MusicLike(kOpeningLength, 4);
    std::vector<float> profile;
    for (auto _ : state) {
        BandProfile(x, profile);
        benchmark::DoNotOptimize(profile.data());
    }
}
BENCHMARK(BM_BandProfile)->Unit(benchmark::kMillisecond);

void BM_AlignScore(benchmark::State& state) {
    const std::vector<float> a = MusicLike(kOpeningLength, 5);
    const std::vector<float> b = MusicLike(kOpeningLength, 6);
    std::vector<float> curveA, curveB, bandsA, bandsB;
    OnsetCurve(a, kLoudnessWindow, kFrameLength, 0.1f, curveA);
    OnsetCurve(b, kLoudnessWindow, kFrameLength, 0.1f, curveB);
    BandProfile(a, bandsA);
    BandProfile(b, bandsB);
    curveA.resize(1450);
    curveB.resize(1450);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            AlignScore(curveA, curveB, bandsA, bandsB, kOnsetExcerpt, kBandExcerpt));
    }
}
BENCHMARK(BM_AlignScore)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
