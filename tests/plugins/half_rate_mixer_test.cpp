// The media runtime's half-rate mixer on its own: what it keeps and removes
// of a tone, how it mixes, and that pieces of any size give exactly what one
// piece gives.
#include "half_rate_mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "test_files.h"

namespace {

constexpr double kSourceRate = 44100.0;

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / sizeof(int16_t));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(int16_t));
    return out;
}

// Mixes interleaved float frames in pieces of `piece` frames, then flushes.
std::vector<int16_t> MixInPieces(const std::vector<float>& interleaved, int channels,
                                 size_t piece) {
    CHalfRateMixer mixer;
    const PcmFrameLayout layout{PcmFrameLayout::kFloat, false, channels};
    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    std::vector<uint8_t> out;
    for (size_t at = 0; at < frames; at += piece) {
        const auto* data = reinterpret_cast<const uint8_t*>(interleaved.data() + at * channels);
        mixer.Push(&data, layout, static_cast<int>(std::min(piece, frames - at)), out);
    }
    mixer.Flush(out);
    return Samples(out);
}

// Root mean square of the samples away from both ends, full scale 1.0.
double Rms(const std::vector<int16_t>& s) {
    const size_t edge = 200;
    double sum = 0.0;
    for (size_t i = edge; i + edge < s.size(); ++i) {
        sum += static_cast<double>(s[i]) * s[i];
    }
    return std::sqrt(sum / static_cast<double>(s.size() - 2 * edge)) / 32768.0;
}

TEST(HalfRateMixerTest, KeepsTheNewBandAndRemovesWhatWouldFoldIntoIt) {
    struct Case {
        double frequency;
        double minGain;
        double maxGain;
    };
    const double amplitude = 0.5;
    const Case cases[] = {
        {100.0, 0.999, 1.001}, {5000.0, 0.999, 1.001}, {9500.0, 0.95, 1.0},
        // Above 11025 Hz a tone would fold back into the new band.
        {12500.0, 0.0, 0.001}, {16000.0, 0.0, 0.001}, {20000.0, 0.0, 0.001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frequency);
        const std::vector<float> tone = Sine(44100, c.frequency, amplitude, kSourceRate);
        const std::vector<int16_t> out = MixInPieces(tone, 1, tone.size());
        const double gain = Rms(out) / (amplitude / std::sqrt(2.0));
        EXPECT_GE(gain, c.minGain);
        EXPECT_LE(gain, c.maxGain);
    }
}

TEST(HalfRateMixerTest, PiecesOfAnySizeGiveTheSameSamples) {
    // One output per two input frames, rounded up, whatever the pieces.
    for (size_t frames : {1u, 2u, 3u, 32u, 33u, 34u, 1001u, 20000u}) {
        SCOPED_TRACE(frames);
        const std::vector<float> music = MusicLike(2 * frames, 7, kSourceRate);
        const std::vector<int16_t> whole = MixInPieces(music, 2, frames);
        EXPECT_EQ(whole.size(), (frames + 1) / 2);
        for (size_t piece : {1u, 7u, 33u, 1152u}) {
            SCOPED_TRACE(piece);
            EXPECT_EQ(MixInPieces(music, 2, piece), whole);
        }
    }
}

TEST(HalfRateMixerTest, EverySampleFormatMixesTheSame) {
    // Left and right hold a tone and its opposite plus a common part: only
    // the common part, at half the level, may survive the mix.
    const size_t frames = 8000;
    const std::vector<float> tone = Sine(frames, 440.0, 0.25, kSourceRate);
    const std::vector<float> common = Sine(frames, 1000.0, 0.5, kSourceRate);
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    std::vector<float> interleaved;
    for (size_t i = 0; i < frames; ++i) {
        left[i] = common[i] + tone[i];
        right[i] = common[i] - tone[i];
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    const std::vector<int16_t> expected = MixInPieces(common, 1, frames);
    auto asInt = [](const std::vector<float>& v, double scale, auto type) {
        std::vector<decltype(type)> out;
        for (float x : v) {
            out.push_back(static_cast<decltype(type)>(std::lround(x * scale)));
        }
        return out;
    };
    const auto left16 = asInt(left, 32767.0, int16_t{});
    const auto right16 = asInt(right, 32767.0, int16_t{});
    const auto interleaved32 = asInt(interleaved, 2147483647.0, int32_t{});
    struct Case {
        const char* name;
        PcmFrameLayout layout;
        std::vector<const uint8_t*> planes;
        double lsb;  // allowed difference in output steps
    };
    const auto bytes = [](const auto& v) { return reinterpret_cast<const uint8_t*>(v.data()); };
    const Case cases[] = {
        {"float planar", {PcmFrameLayout::kFloat, true, 2}, {bytes(left), bytes(right)}, 1},
        {"float packed", {PcmFrameLayout::kFloat, false, 2}, {bytes(interleaved)}, 1},
        {"int16 planar", {PcmFrameLayout::kInt16, true, 2}, {bytes(left16), bytes(right16)}, 2},
        {"int32 packed", {PcmFrameLayout::kInt32, false, 2}, {bytes(interleaved32)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHalfRateMixer mixer;
        std::vector<uint8_t> out;
        mixer.Push(c.planes.data(), c.layout, static_cast<int>(frames), out);
        mixer.Flush(out);
        const std::vector<int16_t> got = Samples(out);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_NEAR(got[i], expected[i], c.lsb) << "sample " << i;
        }
    }
}

}  // namespace
