// Time to deliver the first 45 s of a file as mono 22050 Hz floats through a
// DecoderSet on the program's own folder (the real plug-ins), per format,
// beside the ffmpeg tool decoding the same 45 s of the same file to 16-bit
// mono 22050 Hz; and the same through Streamdec alone (copied into a folder of
// its own) for the formats it reads. The fixtures (one minute of a changing
// three-tone signal, 44100 Hz stereo) are made first with the ffmpeg tool in a
// temporary folder.
//
// Run: build/bin/decode_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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
    const char* extension;
    const char* codecArguments;
};
constexpr Format kFormats[] = {
    {"mp3", "-c:a libmp3lame -b:a 192k"}, {"wma", "-c:a wmav2 -b:a 128k"}, {"flac", "-c:a flac"},
    {"ogg", "-c:a libvorbis -q:a 5"},     {"wav", "-c:a pcm_s16le"},
};

// The formats Streamdec reads, measured with it alone.
constexpr const char* kStreamdecFormats[] = {"wav", "mp3"};

std::string g_folder;
std::string g_streamdecFolder;

std::string FixturePath(const char* extension) {
    return g_folder + "/music." + extension;
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
        double v = 0;
        for (int k = 0; k < 3; ++k) {
            p[k] += 2 * M_PI * f[k] / kSourceRate;
            v += 0.2 * std::sin(p[k]);
        }
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<int16_t>(std::lround(v * 32767.0));
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
    char pattern[] = "/tmp/harmonyfox-decode-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return false;
    }
    g_folder = pattern;
    g_streamdecFolder = g_folder + "/streamdec";
    std::error_code error;
    fs::create_directory(g_streamdecFolder, error);
    fs::copy_file(DecoderSet::ProgramFolder() + "/libstreamdec.so",
                  g_streamdecFolder + "/libstreamdec.so", error);
    const std::string source = g_folder + "/source.wav";
    WriteSource(source);
    for (const Format& f : kFormats) {
        const std::string command = "ffmpeg -nostdin -loglevel error -y -i " + source + " " +
                                    f.codecArguments + " " + FixturePath(f.extension);
        if (std::system(command.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

// pluginFolder empty: the program's own folder with every plug-in.
void DecoderSetFirst45s(benchmark::State& state, const char* extension,
                        const std::string& pluginFolder) {
    auto owned = pluginFolder.empty() ? std::make_unique<DecoderSet>()
                                      : std::make_unique<DecoderSet>(pluginFolder);
    DecoderSet& set = *owned;
    if (set.PluginCount() == 0) {
        state.SkipWithError("no plug-in loaded");
        return;
    }
    const std::u16string path = BytesToU16(FixturePath(extension));
    for (auto _ : state) {
        if (Failed(set.OpenFile(path.c_str()))) {
            state.SkipWithError("no plug-in opens the file");
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

void FfmpegFirst45s(benchmark::State& state, const char* extension) {
    const std::string command = "ffmpeg -nostdin -loglevel error -t 45 -i " +
                                FixturePath(extension) + " -f s16le -ac 1 -ar 22050 -y /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
    }
}

// The ffmpeg tool's own start and stop, for reading its figures: the same
// command on the WAV file, for a hundredth of a second.
void FfmpegStartup(benchmark::State& state) {
    const std::string command = "ffmpeg -nostdin -loglevel error -t 0.01 -i " + FixturePath("wav") +
                                " -f s16le -ac 1 -ar 22050 -y /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
    }
}

// Loading every plug-in of the program's folder: once per worker thread.
void DecoderSetLoad(benchmark::State& state) {
    for (auto _ : state) {
        DecoderSet set;
        benchmark::DoNotOptimize(set.PluginCount());
    }
}

// Prints the usual table, then each format's DecoderSet time over ffmpeg's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.iterations > 0 && run.run_type == Run::RT_Iteration) {
                m_seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-6s %14s %14s %14s %8s\n", "format", "DecoderSet ms", "Streamdec ms",
                    "ffmpeg ms", "ratio");
        for (const Format& f : kFormats) {
            const double ours = Milliseconds(std::string("DecoderSet/") + f.extension);
            const double alone = Milliseconds(std::string("Streamdec/") + f.extension);
            const double theirs = Milliseconds(std::string("ffmpeg/") + f.extension);
            if (ours > 0 && theirs > 0) {
                char aloneText[32] = "-";
                if (alone > 0) {
                    std::snprintf(aloneText, sizeof(aloneText), "%.1f", alone);
                }
                std::printf("%-6s %14.1f %14s %14.1f %8.2f\n", f.extension, ours, aloneText, theirs,
                            ours / theirs);
            }
        }
    }

  private:
    double Milliseconds(const std::string& name) const {
        const auto it = m_seconds.find(name + "/real_time");
        return it == m_seconds.end() ? 0.0 : it->second;
    }

  private:
    std::map<std::string, double> m_seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeFixtures()) {
        std::fprintf(stderr, "decode_bench: cannot make the fixtures (is ffmpeg installed?)\n");
        return 1;
    }
    benchmark::RegisterBenchmark("DecoderSet/load", DecoderSetLoad)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ffmpeg/startup", FfmpegStartup)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const Format& f : kFormats) {
        benchmark::RegisterBenchmark((std::string("DecoderSet/") + f.extension).c_str(),
                                     DecoderSetFirst45s, f.extension, std::string())
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("ffmpeg/") + f.extension).c_str(), FfmpegFirst45s,
                                     f.extension)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (const char* extension : kStreamdecFormats) {
        benchmark::RegisterBenchmark((std::string("Streamdec/") + extension).c_str(),
                                     DecoderSetFirst45s, extension, g_streamdecFolder)
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
