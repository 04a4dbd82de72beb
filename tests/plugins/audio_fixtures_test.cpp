// The fixture writer is checked against an independent reader, the ffmpeg
// tool: a WAV it writes must read back as exactly the quantised samples.
#include "audio_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "test_files.h"

namespace {

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AudioFixtures, WavReadsBackExactlyThroughFfmpeg) {
    TempDir dir;
    const std::vector<float> left = MusicLike(600, 7, 8000);
    std::vector<float> right = Sine(600, 440.0, 0.9, 8000);
    right[3] = 1.0f;  // full scale must not wrap
    right[4] = -1.0f;
    const std::vector<float> frames = Interleave({left, right});

    for (uint16_t bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string stem = dir.File(std::to_string(bits));
        const std::string wav = stem + ".wav";
        const std::string raw = stem + ".raw";
        ASSERT_TRUE(WriteWav(wav, frames, 8000, 2, bits));
        ASSERT_TRUE(EncodeWithFfmpeg(wav, raw, {"-f", "s32le", "-c:a", "pcm_s32le"}));
        const std::string bytes = ReadFileBytes(raw);
        ASSERT_EQ(bytes.size(), frames.size() * 4);
        for (size_t i = 0; i < frames.size(); ++i) {
            int32_t q = QuantizeSample(frames[i], bits);
            if (bits == 8) {
                q -= 128;
            }
            const auto expected = static_cast<int32_t>(static_cast<uint32_t>(q) << (32 - bits));
            int32_t got = 0;
            std::memcpy(&got, bytes.data() + 4 * i, 4);
            ASSERT_EQ(got, expected) << "sample " << i;
        }
    }
}

}  // namespace
