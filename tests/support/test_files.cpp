#include "test_files.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "decoder_contract.h"

namespace fs = std::filesystem;

TempDir::TempDir(bool inMemory) {
    const fs::path memory = "/dev/shm";
    const fs::path base =
        inMemory && access(memory.c_str(), W_OK) == 0 ? memory : fs::temp_directory_path();
    std::string pattern = (base / "harmonyfox-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
}

void InstallPlugins(const std::string& folder, const std::vector<std::string>& names) {
    fs::create_directories(folder);
    for (const std::string& name : names) {
        const std::string file = "lib" + name + ".so";
        fs::copy_file(std::string(HF_TEST_PLUGIN_DIR) + "/" + file, folder + "/" + file,
                      fs::copy_options::overwrite_existing);
    }
}

void WriteFakeAudioBytes(const std::string& path, const std::map<std::string, std::string>& keys,
                         const std::string& payload) {
    std::ofstream out(path, std::ios::binary);
    out << "HFFAKE\n";
    for (const auto& [key, value] : keys) {
        out << key << '=' << value << '\n';
    }
    out << "--\n";
    out.write(payload.data(), static_cast<std::streamsize>(payload.size()));
}

void WriteFakeAudio(const std::string& path, const std::map<std::string, std::string>& keys,
                    const std::vector<int16_t>& samples) {
    std::string payload;
    payload.reserve(samples.size() * 2);
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        payload.push_back(static_cast<char>(u & 0xFF));
        payload.push_back(static_cast<char>(u >> 8));
    }
    WriteFakeAudioBytes(path, keys, payload);
}

std::vector<int16_t> ToPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double v = std::lround(static_cast<double>(samples[i]) * 32767.0);
        out[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return out;
}

std::vector<float> Sine(size_t count, double frequency, double amplitude, double rate) {
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<float>(
            amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
    }
    return out;
}

std::vector<float> MusicLike(size_t count, uint32_t seed, double rate) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pitch(110.0, 1760.0);
    std::uniform_real_distribution<double> level(0.1, 0.3);
    std::vector<float> out(count);
    const size_t note = static_cast<size_t>(rate / 4);
    double f1 = pitch(rng), f2 = pitch(rng), f3 = pitch(rng);
    double a1 = level(rng), a2 = level(rng), a3 = level(rng);
    double p1 = 0, p2 = 0, p3 = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i % note == 0) {
            f1 = pitch(rng), f2 = pitch(rng), f3 = pitch(rng);
            a1 = level(rng), a2 = level(rng), a3 = level(rng);
        }
        const double decay =
            std::exp(-3.0 * static_cast<double>(i % note) / static_cast<double>(note));
        p1 += 2 * M_PI * f1 / rate;
        p2 += 2 * M_PI * f2 / rate;
        p3 += 2 * M_PI * f3 / rate;
        out[i] =
            static_cast<float>(decay * (a1 * std::sin(p1) + a2 * std::sin(p2) + a3 * std::sin(p3)));
    }
    return out;
}

std::vector<float> Piece(size_t count, uint32_t seed, double rate) {
    std::mt19937 rng(seed * 7919u + 17u);
    std::uniform_real_distribution<double> pitch(130.0, 2600.0);
    std::uniform_real_distribution<double> tempo(0.18, 0.7);
    std::uniform_real_distribution<double> level(0.15, 0.35);
    std::uniform_int_distribution<int> pick(0, 4);
    double pitches[5];
    for (double& p : pitches) {
        p = pitch(rng);
    }
    const size_t note = static_cast<size_t>(rate * tempo(rng));
    std::vector<float> out(count);
    double f = pitches[0];
    double a = level(rng);
    double phase = 0.0;
    for (size_t i = 0; i < count; ++i) {
        if (i % note == 0) {
            f = pitches[pick(rng)];
            a = level(rng);
        }
        const double decay =
            std::exp(-2.5 * static_cast<double>(i % note) / static_cast<double>(note));
        phase += 2 * M_PI * f / rate;
        out[i] = static_cast<float>(
            a * decay * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.25 * std::sin(3 * phase)));
    }
    return out;
}

std::u16string U16(const std::string& utf8) {
    return BytesToU16(utf8);
}

std::string ReadWholeFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ShellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}
