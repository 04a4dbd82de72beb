// The media runtime's FLAC frame decoder against libavcodec's: the same frames
// bit for bit, in each container FFmpeg writes FLAC into, and a clean recovery
// from packets that are damaged or cut short.
#include "flac_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "audio_fixtures.h"
#include "test_files.h"

namespace {

struct Frame {
    int format = 0;
    int samples = 0;
    int rate = 0;
    int channels = 0;
    std::vector<uint8_t> bytes;  // the planes one after the other, or the one
    bool operator==(const Frame&) const = default;
};

Frame Copy(const AVFrame* f) {
    Frame out{f->format, f->nb_samples, f->sample_rate, f->ch_layout.nb_channels, {}};
    const auto format = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int bytes = av_get_bytes_per_sample(format) * f->nb_samples * (planar ? 1 : out.channels);
    for (int c = 0; c < (planar ? out.channels : 1); ++c) {
        out.bytes.insert(out.bytes.end(), f->extended_data[c], f->extended_data[c] + bytes);
    }
    return out;
}

// The audio stream's parameters and packets of a file.
struct Demuxed {
    std::shared_ptr<AVCodecParameters> parameters;
    std::vector<std::vector<uint8_t>> packets;
};

Demuxed Demux(const std::string& path) {
    Demuxed out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return out;
    }
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->nb_streams == 1) {
        out.parameters.reset(avcodec_parameters_alloc(),
                             [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
        avcodec_parameters_copy(out.parameters.get(), format->streams[0]->codecpar);
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            out.packets.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return out;
}

// Feeds the packets to send and collects what receive gives, end included.
template <class Send, class Receive>
std::vector<Frame> DecodeWith(const std::vector<std::vector<uint8_t>>& packets, Send send,
                              Receive receive) {
    std::vector<Frame> out;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (receive(frame) == 0) {
            out.push_back(Copy(frame));
            av_frame_unref(frame);
        }
    };
    for (const auto& bytes : packets) {
        packet->data = const_cast<uint8_t*>(bytes.data());
        packet->size = static_cast<int>(bytes.size());
        send(packet);
        drain();
    }
    send(nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    return out;
}

std::vector<Frame> DecodeWithFlac(const Demuxed& d,
                                  const std::vector<std::vector<uint8_t>>& packets) {
    std::unique_ptr<CFlacFrames> flac = CFlacFrames::Create(d.parameters.get());
    if (flac == nullptr) {
        return {};
    }
    return DecodeWith(
        packets, [&](const AVPacket* p) { return flac->Send(p); },
        [&](AVFrame* f) { return flac->Receive(f); });
}

std::vector<Frame> DecodeWithLibavcodec(const Demuxed& d) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLAC);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, d.parameters.get());
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return {};
    }
    std::vector<Frame> out = DecodeWith(
        d.packets, [&](const AVPacket* p) { return avcodec_send_packet(context, p); },
        [&](AVFrame* f) { return avcodec_receive_frame(context, f); });
    avcodec_free_context(&context);
    return out;
}

TEST(FlacFramesTest, DecodesWhatLibavcodecDecodes) {
    struct Case {
        const char* name;
        uint32_t rate;
        uint16_t channels;
        uint16_t bits;
    };
    const Case cases[] = {
        {"stereo16.flac", 44100, 2, 16}, {"mono16.flac", 22050, 1, 16},
        {"stereo24.flac", 48000, 2, 24}, {"stereo16.ogg", 44100, 2, 16},
        {"stereo16.mka", 44100, 2, 16},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<float>> channels;
        for (uint16_t i = 0; i < c.channels; ++i) {
            channels.push_back(Tones(c.rate * 3 / 2, 7 + i, c.rate));
        }
        const std::string wav = dir.File(std::string(c.name) + ".wav");
        ASSERT_TRUE(WriteWav(wav, Interleave(channels), c.rate, c.channels, c.bits));
        const std::string coded = dir.File(c.name);
        ASSERT_TRUE(EncodeWithFfmpeg(wav, coded, {"-c:a", "flac"}));
        const Demuxed d = Demux(coded);
        ASSERT_NE(d.parameters, nullptr);
        const std::vector<Frame> expected = DecodeWithLibavcodec(d);
        ASSERT_GT(expected.size(), 4u);
        EXPECT_TRUE(DecodeWithFlac(d, d.packets) == expected);
    }

    // Three channels are left to libavcodec.
    const std::string wav = dir.File("three.wav");
    const std::vector<float> tone = Tones(4410, 1, 44100);
    ASSERT_TRUE(WriteWav(wav, Interleave({tone, tone, tone}), 44100, 3, 16));
    ASSERT_TRUE(EncodeWithFfmpeg(wav, dir.File("three.flac"), {"-c:a", "flac"}));
    EXPECT_EQ(CFlacFrames::Create(Demux(dir.File("three.flac")).parameters.get()), nullptr);
}

TEST(FlacFramesTest, RecoversFromDamagedAndShortPackets) {
    TempDir dir;
    const std::string wav = dir.File("in.wav");
    ASSERT_TRUE(
        WriteWav(wav, Interleave({Tones(44100, 3, 44100), Tones(44100, 4, 44100)}), 44100, 2, 16));
    ASSERT_TRUE(EncodeWithFfmpeg(wav, dir.File("in.flac"), {"-c:a", "flac"}));
    const Demuxed d = Demux(dir.File("in.flac"));
    ASSERT_NE(d.parameters, nullptr);
    const std::vector<Frame> clean = DecodeWithFlac(d, d.packets);
    ASSERT_GT(clean.size(), 6u);

    std::mt19937 random(5);
    std::vector<uint8_t> noise(3000);
    for (uint8_t& b : noise) {
        b = static_cast<uint8_t>(random());
    }
    const auto& p = d.packets;
    std::vector<uint8_t> flipped = p[3];
    flipped.back() ^= 0x01;
    Demuxed alone = d;
    alone.packets = {flipped};
    const std::vector<Frame> flippedAsLibavcodecHasIt = DecodeWithLibavcodec(alone);
    ASSERT_EQ(flippedAsLibavcodecHasIt.size(), 1u);
    const std::vector<std::vector<uint8_t>> fed = {
        noise,
        {p[1].begin(), p[1].begin() + static_cast<std::ptrdiff_t>(p[1].size() / 2)},  // cut short
        p[2],
        flipped,  // the checksum fails: libavcodec decodes it
        {},
        p[4],
        {p[5].begin(), p[5].end() - 1},  // its checksum is missing
        p[6],
    };
    const std::vector<Frame> got = DecodeWithFlac(d, fed);
    ASSERT_EQ(got.size(), 3u + 1u);
    EXPECT_TRUE(got[0] == clean[2]);
    EXPECT_TRUE(got[1] == flippedAsLibavcodecHasIt[0]);
    EXPECT_TRUE(got[2] == clean[4]);
    EXPECT_TRUE(got[3] == clean[6]);
}

}  // namespace
