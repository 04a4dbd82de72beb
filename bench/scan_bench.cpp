// Scan throughput. Rescan: every file already in the fingerprint store, so a
// scan is nothing but comparison passes, n(n-1)/2 pairs on the worker pool
// (two threads per processor), reported as pairs per second. New files: 45 s
// MP3 files (made with the ffmpeg tool) fingerprinted through the real
// plug-ins, one file per worker at a time, reported as files per second,
// beside the ffmpeg tool decoding the same 45 s on one thread.
//
// Run: build/bin/scan_bench [--benchmark_filter=Rescan]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analyzer.h"
#include "bench_support.h"
#include "compare_settings.h"
#include "content_compare.h"
#include "grip_store.h"
#include "scan.h"
#include "scan_owner.h"
#include "scan_state.h"
#include "tag_compare.h"
#include "worker_pool.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

class QuietOwner final : public ScanOwner {
  public:
    void Post(uint32_t) override {}
};



// n Grips of noise, tagged like a music library: artists with a few albums of
// about twelve tracks each, file names "NN - title", some tags missing.
void FillStore(GripStore& store, size_t n, std::vector<std::u16string>& paths) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> noise(0.0f, 1.0f);
    std::uniform_int_distribution<int> percent(0, 99);
    paths.clear();
    std::string artist;
    std::string album;
    for (size_t i = 0; i < n; ++i) {
        if (i % 36 == 0) {
            artist = Words(rng, 1, 3);
        }
        if (i % 12 == 0) {
            album = Words(rng, 1, 4);
        }
        Grip g;
        for (float& v : g.envelope) {
            v = noise(rng) - 0.5f;
        }
        for (float& v : g.drift) {
            v = noise(rng);
        }
        for (float& v : g.spectrum) {
            v = noise(rng) * 3.0f;
        }
        const std::string title = Words(rng, 1, 5);
        char number[8];
        std::snprintf(number, sizeof(number), "%02zu", i % 12 + 1);
        g.nameKey = std::string(number) + " - " + title;
        const bool tagged = percent(rng) >= 15;
        if (tagged) {
            g.title = title;
            g.artist = artist;
            g.album = album;
        }
        const std::string path = "/music/" + artist + "/" + album + "/" + g.nameKey + ".mp3";
        paths.push_back(BytesToU16(path));
        store.Insert(paths.back(), g);
    }
}

void BM_Rescan(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    QuietOwner owner;
    GripStore store;
    std::vector<std::u16string> paths;
    FillStore(store, n, paths);
    WorkerPool pool(&owner, ScanWorkerFactory(store, "/nonexistent"));
    pool.Start();
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        const int32_t generation = BeginScan(&owner, store);
        RunFileJobs(pool, owner, generation, paths);
        owner.TakePendingPairs();
    }
    const double pairs = static_cast<double>(n) * static_cast<double>(n - 1) / 2.0;
    state.counters["pairs/s"] = benchmark::Counter(pairs * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    state.counters["threads"] = static_cast<double>(pool.ThreadCount());
    // The machine may be shared: pairs per second of processor time, all
    // threads together, tells what two idle cores would do.
    state.counters["pairs/cpu-s"] =
        pairs * static_cast<double>(state.iterations()) / (ProcessCpuSeconds() - cpuBefore);
}
BENCHMARK(BM_Rescan)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// The pairs of one comparison pass against n earlier files, on one thread.
void BM_ComparePassOneThread(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    QuietOwner owner;
    GripStore store;
    std::vector<std::u16string> paths;
    FillStore(store, n + 1, paths);
    {
        ExclusiveHold hold(store.lock());
        for (const std::u16string& p : paths) {
            store.JoinScan(*store.Find(p));
        }
    }
    const int32_t generation = ScanGeneration.load();
    for (auto _ : state) {
        ComparePass(generation, paths.back(), store, owner, nullptr);
        owner.TakePendingPairs();
    }
    state.counters["pairs/s"] =
        benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ComparePassOneThread)->Arg(2000)->Unit(benchmark::kMillisecond);

// The two halves of judging a pair, over the same library, on one thread.
void BM_PairHalves(benchmark::State& state) {
    const bool tags = state.range(0) != 0;
    GripStore store;
    std::vector<std::u16string> paths;
    FillStore(store, 1000, paths);
    std::vector<const GripStore::Entry*> entries;
    for (const auto& [path, entry] : store.entries()) {
        entries.push_back(&entry);
    }
    size_t pairs = 0;
    float sink = 0.0f;
    for (auto _ : state) {
        const GripStore::Entry& a = *entries[pairs % entries.size()];
        for (const GripStore::Entry* b : entries) {
            sink +=
                tags ? ComputeTagScores(a.grip, b->grip).tagScore
                     : FastContentScores(a.vectors, b->vectors).spectrum.value;
        }
        pairs += entries.size();
    }
    benchmark::DoNotOptimize(sink);
    state.counters["pairs/s"] =
        benchmark::Counter(static_cast<double>(pairs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PairHalves)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

std::string g_folder;

bool MakeMp3(const std::string& path) {
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=45:sample_rate=44100' "
        "-f lavfi -i 'anoisesrc=color=pink:duration=45:sample_rate=44100:amplitude=0.2' "
        "-filter_complex amix=inputs=2 -ac 2 -c:a libmp3lame -b:a 192k '" +
        path + "'";
    return std::system(command.c_str()) == 0;
}

// New files on the pool: copies of one 45 s MP3 under distinct names, so every
// one is decoded and analysed.
void BM_NewFilesMp3(benchmark::State& state) {
    const size_t files = 16;
    const std::string source = g_folder + "/source.mp3";
    if (!fs::exists(source) && !MakeMp3(source)) {
        state.SkipWithError("the ffmpeg tool could not make the MP3 file");
        return;
    }
    const std::string program = DecoderSet::ProgramFolder();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = g_folder + "/scan";
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (size_t i = 0; i < files; ++i) {
            fs::copy_file(source, folder + "/copy" + std::to_string(i) + ".mp3");
        }
        QuietOwner owner;
        GripStore store;
        WorkerPool pool(&owner, ScanWorkerFactory(store, program));
        pool.Start();
        state.ResumeTiming();
        const int32_t generation = BeginScan(&owner, store);
        PostFolders(pool, generation, {BytesToU16(folder)});
        while (!pool.WaitUntilIdle(generation, 1s)) {
        }
        state.PauseTiming();
        if (owner.m_doneCount.load() != static_cast<int32_t>(files)) {
            state.SkipWithError("not every MP3 file was fingerprinted");
        }
        pool.Shutdown();
        state.ResumeTiming();
    }
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(files) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NewFilesMp3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The ffmpeg tool decoding the same 45 s to mono 22050 Hz 16-bit, one process per file.
void BM_FfmpegDecodeMp3(benchmark::State& state) {
    const std::string source = g_folder + "/source.mp3";
    if (!fs::exists(source) && !MakeMp3(source)) {
        state.SkipWithError("the ffmpeg tool could not make the MP3 file");
        return;
    }
    const std::string command = "ffmpeg -loglevel error -threads 1 -i '" + source +
                                "' -t 45 -ac 1 -ar 22050 -f s16le -y /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
        }
    }
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegDecodeMp3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

int main(int argc, char** argv) {
    char folder[] = "/tmp/harmonyfox-scan-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    g_folder = folder;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g_folder);
    return 0;
}
