// Time for Streamdec alone to deliver the first 45 s of a file as mono
// 22050 Hz floats through a DecoderSet, beside the ffmpeg tool decoding the
// same 45 s of the same file to 16-bit mono 22050 Hz. The fixtures (one
// minute of a changing three-tone signal, 44100 Hz stereo, as WAV and as a
// 128 kbit/s MP3) are made first in a temporary folder, where the plug-in is
// copied alone.
//
// Run: build/bin/streamdec_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "decoder_set.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSourceRate = 44100;
constexpr uint32_t kSourceSeconds = 60;
constexpr uint32_t kDeliveredSamples = 45 * 22050;

struct Format {
    const char* name;
    const char* file;
};
constexpr Format kFormats[] = {{"wav", "music.wav"}, {"mp3", "music.mp3"}};

std::string g_folder;
std::string g_pluginFolder;

std::string FixturePath(const char* file) {
    return g_folder + "/" + file;
}

// A minute of stereo sound whose three tones change every quarter second.
void WriteSource(const std::string& path) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pitch(110.0, 1760.0);
    const uint32_t frames = kSourceRate * kSourceSeconds;
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
    double f[3] = {}, p[3] = {};
    for (uint32_t i = 0; i < frames; ++i) {
        if (i % (kSourceRate / 4) == 0) {
            for (double& x : f) {
                x = pitch(rng);
            }
        }
        double left = 0, right = 0;
        for (int k = 0; k < 3; ++k) {
            p[k] += 2 * M_PI * f[k] / kSourceRate;
            left += 0.2 * std::sin(p[k]);
            right += 0.2 * std::sin(p[k] * (k + 1));
        }
        pcm[2 * i] = static_cast<int16_t>(std::lround(left * 32767.0));
        pcm[2 * i + 1] = static_cast<int16_t>(std::lround(right * 32767.0));
    }
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&out](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + dataBytes);
    out << "WAVEfmt ";
    u32(16), u16(1), u16(2), u32(kSourceRate), u32(kSourceRate * 4), u16(4), u16(16);
    out << "data";
    u32(dataBytes);
    out.write(reinterpret_cast<const char*>(pcm.data()), dataBytes);
}

bool MakeFixtures() {
    char pattern[] = "/tmp/harmonyfox-streamdec-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return false;
    }
    g_folder = pattern;
    g_pluginFolder = g_folder + "/plugins";
    std::error_code error;
    fs::create_directory(g_pluginFolder, error);
    fs::copy_file(DecoderSet::ProgramFolder() + "/libstreamdec.so",
                  g_pluginFolder + "/libstreamdec.so", error);
    if (error) {
        return false;
    }
    WriteSource(FixturePath("music.wav"));
    const std::string command = "ffmpeg -nostdin -loglevel error -y -i " +
                                FixturePath("music.wav") + " -c:a libmp3lame -b:a 128k " +
                                FixturePath("music.mp3");
    return std::system(command.c_str()) == 0;
}

void StreamdecFirst45s(benchmark::State& state, const char* file) {
    DecoderSet set(g_pluginFolder);
    if (set.PluginCount() != 1) {
        state.SkipWithError("Streamdec did not load");
        return;
    }
    const std::u16string path = BytesToU16(FixturePath(file));
    for (auto _ : state) {
        if (Failed(set.OpenFile(path.c_str()))) {
            state.SkipWithError("Streamdec refuses the file");
            break;
        }
        uint32_t delivered = 0;
        while (delivered < kDeliveredSamples) {
            const float* samples = nullptr;
            uint32_t count = 0;
            if (Failed(set.ReadSamples(&samples, &count))) {
                break;
            }
            benchmark::DoNotOptimize(samples);
            delivered += count;
        }
        set.CloseFile();
        state.counters["samples"] = delivered;
    }
}

void FfmpegFirst45s(benchmark::State& state, const char* file) {
    const std::string command = "ffmpeg -nostdin -loglevel error -t 45 -i " + FixturePath(file) +
                                " -f s16le -ac 1 -ar 22050 -y /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
    }
}

// Prints the usual table, then each format's Streamdec time over ffmpeg's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0 && run.run_type == Run::RT_Iteration) {
                m_ms[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-6s %14s %14s %8s\n", "format", "Streamdec ms", "ffmpeg ms", "ratio");
        for (const Format& f : kFormats) {
            const auto ours = m_ms.find(std::string("Streamdec/") + f.name + "/real_time");
            const auto theirs = m_ms.find(std::string("ffmpeg/") + f.name + "/real_time");
            if (ours != m_ms.end() && theirs != m_ms.end() && theirs->second > 0) {
                std::printf("%-6s %14.1f %14.1f %8.2f\n", f.name, ours->second, theirs->second,
                            ours->second / theirs->second);
            }
        }
    }

  private:
    std::map<std::string, double> m_ms;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeFixtures()) {
        std::fprintf(stderr,
                     "streamdec_bench: cannot make the fixtures (is ffmpeg installed, is the "
                     "plug-in built?)\n");
        return 1;
    }
    for (const Format& f : kFormats) {
        benchmark::RegisterBenchmark((std::string("Streamdec/") + f.name).c_str(),
                                     StreamdecFirst45s, f.file)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("ffmpeg/") + f.name).c_str(), FfmpegFirst45s,
                                     f.file)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
    return 0;
}
