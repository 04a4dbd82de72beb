// Crafted files that once kept the plug-ins busy for minutes, offered to
// every plug-in of the program's folder: each must be refused. How fast is
// measured by hand, not here. Files that hold no sound, and sound that is
// broken or short, are told apart as a scan reports them.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "analyzer.h"
#include "audio_fixtures.h"
#include "decoder_set.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(CraftedFilesTest, WavFilesWithoutAudioAreRefusedByEveryPlugin) {
    // RIFF, WAVE and a 16-byte format chunk for 16-bit stereo 44100 Hz PCM.
    const std::string header(
        "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 36);
    struct Case {
        const char* name;
        std::string head;
        uint64_t size;  // the rest is zeros (a hole, where the file system allows)
    };
    const Case cases[] = {
        {"zeros.wav", header, 8u << 20},
        {"list.wav", header + std::string("LIST\xFF\xFF\xFF\xFF", 8), 5ull << 30},
    };
    TempDir dir;
    DecoderSet set(HF_BIN_DIR);
    ASSERT_GE(set.PluginCount(), 2u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(WriteBytes(path, c.head));
        fs::resize_file(path, c.size);
        EXPECT_TRUE(Failed(set.OpenFile(U16(path).c_str())));
        fs::remove(path);
    }
}

TEST(CraftedFilesTest, NoSoundIsUnsupportedBrokenSoundDamagedAndAShortClipTooShort) {
    TempDir dir;
    const std::string wav = dir.File("source.wav");
    ASSERT_TRUE(WriteWav(wav, Tones(40 * 22050, 3, 22050), 22050, 1, 16));
    const std::string clip = dir.File("clip.wav");
    ASSERT_TRUE(WriteWav(clip, Tones(10 * 22050, 3, 22050), 22050, 1, 16));
    std::mt19937 random(7);
    auto noise = [&](size_t count) {
        std::string bytes(count, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random());
        }
        return bytes;
    };
    // Real sound whose body behind the first 8 KiB is noise.
    auto broken = [&](const std::string& name, const std::vector<std::string>& args) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(EncodeWithFfmpeg(wav, path, args));
        const std::string bytes = ReadWholeFile(path);
        constexpr size_t kKept = 8192;
        EXPECT_TRUE(WriteBytes(path, bytes.substr(0, kKept) + noise(bytes.size() - kKept)));
        return path;
    };
    std::string text;
    for (int line = 0; line < 200; ++line) {
        text += "Not music at all, line " + std::to_string(line) + "\n";
    }
    struct Case {
        std::string path;
        SkipReason reason;
    };
    std::vector<Case> cases = {
        {dir.File("text.flac"), SkipReason::kUnsupported},
        {broken("broken.flac", {"-c:a", "flac"}), SkipReason::kDamaged},
        {broken("broken.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}), SkipReason::kDamaged},
        {dir.File("clip.mp3"), SkipReason::kTooShort},
    };
    ASSERT_TRUE(WriteBytes(cases[0].path, text));
    ASSERT_TRUE(EncodeWithFfmpeg(clip, cases[3].path, {"-c:a", "libmp3lame", "-b:a", "128k"}));
    // Noise under the names of every format: now and then it holds what looks
    // like a frame header, or a few bytes a demuxer knows.
    constexpr int kNoiseFiles = 24;
    const char* const names[] = {".mp3", ".flac", ".wav", ".ogg", ".m4a", ".wma"};
    for (int i = 0; i < kNoiseFiles; ++i) {
        const std::string path = dir.File("noise" + std::to_string(i) + names[i % 6]);
        ASSERT_TRUE(WriteBytes(path, noise(20000 + 30000 * static_cast<size_t>(i))));
        cases.push_back({path, SkipReason::kUnsupported});
    }
    Analyzer analyzer(HF_BIN_DIR);
    for (const Case& c : cases) {
        EXPECT_TRUE(Failed(analyzer.Extract(U16(c.path).c_str()))) << c.path;
        EXPECT_EQ(SkipReasonName(analyzer.failure()), SkipReasonName(c.reason)) << c.path;
    }
}

}  // namespace
