#include "audio_fixtures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "decoder_set.h"
#include "test_files.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

}  // namespace

int32_t QuantizeSample(float value, uint16_t bits) {
    const double v = std::clamp(static_cast<double>(value), -1.0, 1.0);
    switch (bits) {
        case 8:
            return static_cast<int32_t>(std::clamp(std::lround(v * 127.0) + 128, 0L, 255L));
        case 16:
            return static_cast<int32_t>(std::clamp(std::lround(v * 32767.0), -32768L, 32767L));
        case 24:
            return static_cast<int32_t>(
                std::clamp(std::lround(v * 8388607.0), -8388608L, 8388607L));
        default:
            return static_cast<int32_t>(
                std::clamp(std::llround(v * 2147483647.0), -2147483648LL, 2147483647LL));
    }
}

std::string WavBytes(const std::vector<float>& interleaved, uint32_t rate, uint16_t channels,
                     uint16_t bits) {
    const uint32_t sampleBytes = bits / 8u;
    const uint32_t dataSize = static_cast<uint32_t>(interleaved.size()) * sampleBytes;
    std::string out;
    out.reserve(44 + dataSize);
    out += "RIFF";
    PutLe(out, 36 + dataSize, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, channels, 2);
    PutLe(out, rate, 4);
    PutLe(out, static_cast<uint64_t>(rate) * channels * sampleBytes, 4);
    PutLe(out, channels * sampleBytes, 2);
    PutLe(out, bits, 2);
    out += "data";
    PutLe(out, dataSize, 4);
    for (float s : interleaved) {
        PutLe(out, static_cast<uint32_t>(QuantizeSample(s, bits)), static_cast<int>(sampleBytes));
    }
    return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WriteWav(const std::string& path, const std::vector<float>& interleaved, uint32_t rate,
              uint16_t channels, uint16_t bits) {
    return WriteBytes(path, WavBytes(interleaved, rate, channels, bits));
}

bool EncodeWithFfmpeg(const std::string& inPath, const std::string& outPath,
                      const std::vector<std::string>& extraArgs) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                     "error",  "-y",       "-i",           inPath};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    args.push_back(outPath);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(outPath);
}

std::vector<float> Tones(size_t count, uint32_t seed, double rate, double delaySeconds) {
    constexpr int kTones = 5;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pitch(100.0, 4000.0);
    std::uniform_real_distribution<double> swell(0.3, 3.0);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * M_PI);
    double f[kTones], s[kTones], p[kTones], q[kTones];
    for (int k = 0; k < kTones; ++k) {
        f[k] = pitch(rng), s[k] = swell(rng), p[k] = phase(rng), q[k] = phase(rng);
    }
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate - delaySeconds;
        double v = 0.0;
        for (int k = 0; k < kTones; ++k) {
            const double loudness = 0.5 + 0.5 * std::sin(2.0 * M_PI * s[k] * t + q[k]);
            v += 0.17 * loudness * std::sin(2.0 * M_PI * f[k] * t + p[k]);
        }
        out[i] = static_cast<float>(v);
    }
    return out;
}

std::vector<float> Interleave(const std::vector<std::vector<float>>& channels) {
    if (channels.empty()) {
        return {};
    }
    const size_t frames = channels[0].size();
    std::vector<float> out(frames * channels.size());
    for (size_t i = 0; i < frames; ++i) {
        for (size_t c = 0; c < channels.size(); ++c) {
            out[i * channels.size() + c] = channels[c][i];
        }
    }
    return out;
}

int32_t DecodeAll(DecoderSet& set, const std::string& path, std::vector<float>& out,
                  size_t maxSamples) {
    const std::u16string wide = U16(path);
    const int32_t hr = set.OpenFile(wide.c_str());
    if (hr < 0) {
        return hr;
    }
    // A decoder that keeps handing out empty chunks would hang the test; a
    // generous cap turns that into a failed expectation instead.
    constexpr int kMaxEmptyReads = 10000;
    int emptyReads = 0;
    while (out.size() < maxSamples) {
        const float* samples = nullptr;
        uint32_t count = 0;
        if (set.ReadSamples(&samples, &count) < 0) {
            break;
        }
        if (count == 0 && ++emptyReads > kMaxEmptyReads) {
            break;
        }
        const size_t take = std::min<size_t>(count, maxSamples - out.size());
        out.insert(out.end(), samples, samples + take);
    }
    set.CloseFile();
    return hr;
}

double CorrelationAtLag(const std::vector<float>& a, const std::vector<float>& b, int lag) {
    // Overlap: i in a, i + lag in b.
    const long long begin = std::max<long long>(0, -static_cast<long long>(lag));
    const long long end = std::min<long long>(static_cast<long long>(a.size()),
                                              static_cast<long long>(b.size()) - lag);
    if (end - begin < 2) {
        return 0.0;
    }
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (long long i = begin; i < end; ++i) {
        const double x = a[static_cast<size_t>(i)];
        const double y = b[static_cast<size_t>(i + lag)];
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    const double n = static_cast<double>(end - begin);
    const double cov = sab - sa * sb / n;
    const double va = saa - sa * sa / n;
    const double vb = sbb - sb * sb / n;
    if (va <= 0 || vb <= 0) {
        return 0.0;
    }
    return cov / std::sqrt(va * vb);
}

Alignment BestAlignment(const std::vector<float>& reference, const std::vector<float>& decoded,
                        int maxLag, size_t window) {
    const size_t start = reference.size() >= 11025 + window ? 11025 : 0;
    const size_t length = std::min(window, reference.size() - start);
    Alignment best{0, -2.0};
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double dot = 0, energy = 0;
        for (size_t i = start; i < start + length; ++i) {
            const long long j = static_cast<long long>(i) + lag;
            if (j < 0 || j >= static_cast<long long>(decoded.size())) {
                continue;
            }
            const double y = decoded[static_cast<size_t>(j)];
            dot += static_cast<double>(reference[i]) * y;
            energy += y * y;
        }
        const double score = energy > 0 ? dot / std::sqrt(energy) : -1.0;
        if (score > best.correlation) {
            best = {lag, score};
        }
    }
    best.correlation = CorrelationAtLag(reference, decoded, best.lag);
    return best;
}

void InstallRealPlugin(const std::string& folder, const std::string& name) {
    fs::create_directories(folder);
    const std::string file = "lib" + name + ".so";
    fs::copy_file(std::string(HF_BIN_DIR) + "/" + file, folder + "/" + file,
                  fs::copy_options::overwrite_existing);
}
