// Streamdec's conversion layer on its own: format suggestion, stream sizes,
// and the conversion fed in awkward pieces, which must give exactly what one
// large conversion gives (no sample lost or repeated between calls).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "acm_layer.h"
#include "audio_fixtures.h"
#include "test_files.h"

namespace {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    return wfx;
}

MPEGLAYER3WAVEFORMAT Mpeg(uint16_t channels, uint32_t rate, uint32_t averageBytes) {
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = channels;
    mp3.wfx.nSamplesPerSec = rate;
    mp3.wfx.nAvgBytesPerSec = averageBytes;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.cbSize = 12;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3.nBlockSize = 417;
    mp3.nFramesPerBlock = 1;
    return mp3;
}

constexpr uint32_t kAllHeld = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                              ACM_FORMATSUGGESTF_NSAMPLESPERSEC | ACM_FORMATSUGGESTF_WBITSPERSAMPLE;

struct CloseStream {
    void operator()(AcmStream* s) const { acmStreamClose(s, 0); }
};
using StreamPtr = std::unique_ptr<AcmStream, CloseStream>;

StreamPtr OpenStream(const WAVEFORMATEX* source, const WAVEFORMATEX& target) {
    HACMSTREAM has = nullptr;
    if (acmStreamOpen(&has, nullptr, source, &target, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        return nullptr;
    }
    return StreamPtr(has);
}

// Converts all of source with pieces of at most `piece` source bytes into
// destinations of `room` bytes, handing unused bytes back in again as the
// plug-in does, until the stream neither takes nor gives anything.
std::string ConvertAll(AcmStream* stream, const std::string& source, size_t piece, size_t room) {
    std::string out;
    std::vector<uint8_t> in;
    std::vector<uint8_t> dst(room);
    size_t at = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        const size_t n = std::min(piece, source.size() - at);
        in.assign(source.begin() + static_cast<std::ptrdiff_t>(at),
                  source.begin() + static_cast<std::ptrdiff_t>(at + n));
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof(header);
        header.pbSrc = in.data();
        header.cbSrcLength = static_cast<uint32_t>(n);
        header.pbDst = dst.data();
        header.cbDstLength = static_cast<uint32_t>(room);
        EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        EXPECT_LE(header.cbSrcLengthUsed, n);
        EXPECT_LE(header.cbDstLengthUsed, room);
        out.append(reinterpret_cast<const char*>(dst.data()), header.cbDstLengthUsed);
        at += header.cbSrcLengthUsed;
        if (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0) {
            break;
        }
    }
    return out;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AcmLayer, SuggestCompletesPcmTargetsItCanProduce) {
    const WAVEFORMATEX source = Pcm(2, 44100, 16);
    const MPEGLAYER3WAVEFORMAT mp3 = Mpeg(2, 44100, 16000);
    struct Case {
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
        bool possible;
    };
    const Case cases[] = {
        {1, 22050, 16, true},  {2, 48000, 24, true},  {8, 96000, 32, true},  {1, 8000, 8, true},
        {1, 22050, 12, false}, {0, 22050, 16, false}, {9, 22050, 16, false}, {1, 0, 16, false},
    };
    for (const Case& c : cases) {
        for (const WAVEFORMATEX* from : {&source, &mp3.wfx}) {
            SCOPED_TRACE(testing::Message() << c.channels << " " << c.rate << " " << c.bits
                                            << " from " << from->wFormatTag);
            WAVEFORMATEX target{};
            target.wFormatTag = WAVE_FORMAT_PCM;
            target.nChannels = c.channels;
            target.nSamplesPerSec = c.rate;
            target.wBitsPerSample = c.bits;
            const MMRESULT r = acmFormatSuggest(nullptr, from, &target, sizeof(target), kAllHeld);
            if (!c.possible) {
                EXPECT_NE(r, MMSYSERR_NOERROR);
                continue;
            }
            ASSERT_EQ(r, MMSYSERR_NOERROR);
            EXPECT_EQ(target.nChannels, c.channels);
            EXPECT_EQ(target.nSamplesPerSec, c.rate);
            EXPECT_EQ(target.wBitsPerSample, c.bits);
            EXPECT_EQ(target.nBlockAlign, c.channels * c.bits / 8);
            EXPECT_EQ(target.nAvgBytesPerSec, c.rate * target.nBlockAlign);
            EXPECT_EQ(target.cbSize, 0);
        }
    }
}

TEST(AcmLayer, CodingsWithoutACodecFailAtOpen) {
    const WAVEFORMATEX target = Pcm(1, 22050, 16);
    WAVEFORMATEX wma = Pcm(2, 44100, 16);
    wma.wFormatTag = 0x0161;
    WAVEFORMATEX adpcm = Pcm(1, 22050, 4);
    adpcm.wFormatTag = 0x0002;
    WAVEFORMATEX tooManyChannels = Pcm(9, 44100, 16);
    WAVEFORMATEX silly = Pcm(1, 0xFFFFFFFF, 16);
    for (const WAVEFORMATEX* source : {&wma, &adpcm, &tooManyChannels, &silly}) {
        SCOPED_TRACE(source->wFormatTag);
        HACMSTREAM has = reinterpret_cast<HACMSTREAM>(1);
        EXPECT_EQ(acmStreamOpen(&has, nullptr, source, &target, nullptr, 0, 0, 0),
                  ACMERR_NOTPOSSIBLE);
        EXPECT_EQ(has, nullptr);
    }
}

TEST(AcmLayer, SizeOfOneSecondOfOutput) {
    const WAVEFORMATEX target = Pcm(1, 22050, 16);
    struct Case {
        WAVEFORMATEX source;
        uint32_t sourceBytes;
    };
    const Case cases[] = {
        {Pcm(2, 44100, 16), 176400},
        {Pcm(1, 22050, 16), 44100},
        {Pcm(2, 48000, 24), 288000},
        {Pcm(1, 8000, 8), 8000},
    };
    for (const Case& c : cases) {
        auto stream = OpenStream(&c.source, target);
        ASSERT_TRUE(stream);
        uint32_t bytes = 0;
        EXPECT_EQ(acmStreamSize(stream.get(), 44100, &bytes, ACM_STREAMSIZEF_DESTINATION),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(bytes, c.sourceBytes);
    }
    const MPEGLAYER3WAVEFORMAT mp3 = Mpeg(2, 44100, 16000);
    auto stream = OpenStream(&mp3.wfx, target);
    ASSERT_TRUE(stream);
    uint32_t bytes = 0;
    EXPECT_EQ(acmStreamSize(stream.get(), 44100, &bytes, ACM_STREAMSIZEF_DESTINATION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(bytes, 16000u);

    // A free-format or damaged first frame gives no average: no size.
    const MPEGLAYER3WAVEFORMAT free = Mpeg(2, 44100, 0);
    auto freeStream = OpenStream(&free.wfx, target);
    ASSERT_TRUE(freeStream);
    EXPECT_EQ(acmStreamSize(freeStream.get(), 44100, &bytes, ACM_STREAMSIZEF_DESTINATION),
              ACMERR_NOTPOSSIBLE);
}

TEST(AcmLayer, HeadersMustBePreparedToConvert) {
    const WAVEFORMATEX pcm = Pcm(1, 22050, 16);
    auto stream = OpenStream(&pcm, pcm);
    ASSERT_TRUE(stream);
    uint8_t src[4] = {}, dst[4] = {};
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = src;
    header.cbSrcLength = sizeof(src);
    header.pbDst = dst;
    header.cbDstLength = sizeof(dst);
    EXPECT_EQ(acmStreamConvert(stream.get(), &header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), &header, 0), ACMERR_UNPREPARED);
    header.cbStruct = 8;
    EXPECT_EQ(acmStreamPrepareHeader(stream.get(), &header, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamConvert(nullptr, &header, 0), MMSYSERR_INVALHANDLE);
}

struct PieceCase {
    size_t piece;
    size_t room;
};

// Awkward pieces: smaller than a frame, not a multiple of a frame, and a
// destination smaller than what one step produces.
const PieceCase kPieces[] = {{7, 100}, {333, 1000}, {1000, 44}, {4096, 44100}, {16000, 6}};

TEST(AcmLayer, PcmInPiecesEqualsPcmInOneGo) {
    const std::vector<float> left = Tones(44100, 1, 44100);
    const std::vector<float> right = Tones(44100, 2, 44100);
    const std::string wav = WavBytes(Interleave({left, right}), 44100, 2, 24);
    const std::string data = wav.substr(44);
    const WAVEFORMATEX source = Pcm(2, 44100, 24);
    const WAVEFORMATEX target = Pcm(1, 22050, 16);

    auto whole = OpenStream(&source, target);
    ASSERT_TRUE(whole);
    const std::string expected = ConvertAll(whole.get(), data, data.size(), 1 << 20);
    EXPECT_NEAR(static_cast<double>(expected.size()), 44100.0, 64.0);
    for (const PieceCase& c : kPieces) {
        SCOPED_TRACE(testing::Message() << c.piece << " into " << c.room);
        auto stream = OpenStream(&source, target);
        ASSERT_TRUE(stream);
        EXPECT_EQ(ConvertAll(stream.get(), data, c.piece, c.room), expected);
    }
}

TEST(AcmLayer, MpegInPiecesEqualsMpegInOneGo) {
    TempDir dir;
    const std::string wav = dir.File("tone.wav");
    const std::string mp3 = dir.File("tone.mp3");
    ASSERT_TRUE(
        WriteWav(wav, Interleave({Tones(88200, 4, 44100), Tones(88200, 5, 44100)}), 44100, 2, 16));
    ASSERT_TRUE(
        EncodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"}));
    const std::string coded = ReadFileBytes(mp3);
    const MPEGLAYER3WAVEFORMAT source = Mpeg(2, 44100, 16000);
    const WAVEFORMATEX target = Pcm(1, 22050, 16);

    auto whole = OpenStream(&source.wfx, target);
    ASSERT_TRUE(whole);
    const std::string expected = ConvertAll(whole.get(), coded, coded.size(), 1 << 20);
    // Two seconds at 22050 Hz, 16-bit mono, give or take the codec's delay.
    EXPECT_NEAR(static_cast<double>(expected.size()), 88200.0, 4096.0);
    for (const PieceCase& c : kPieces) {
        SCOPED_TRACE(testing::Message() << c.piece << " into " << c.room);
        auto stream = OpenStream(&source.wfx, target);
        ASSERT_TRUE(stream);
        EXPECT_EQ(ConvertAll(stream.get(), coded, c.piece, c.room), expected);
    }
}

TEST(AcmLayer, MpegJunkIsConsumedAndDecodingResumesBehindIt) {
    TempDir dir;
    const std::string wav = dir.File("tone.wav");
    const std::string mp3 = dir.File("tone.mp3");
    ASSERT_TRUE(WriteWav(wav, Tones(44100, 6, 44100), 44100, 1, 16));
    ASSERT_TRUE(EncodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "64k"}));
    const std::string coded = ReadFileBytes(mp3);
    const MPEGLAYER3WAVEFORMAT source = Mpeg(1, 44100, 8000);
    const WAVEFORMATEX target = Pcm(1, 22050, 16);

    auto clean = OpenStream(&source.wfx, target);
    ASSERT_TRUE(clean);
    const size_t cleanBytes = ConvertAll(clean.get(), coded, 8000, 44100).size();

    // A megabyte of bytes that hold no frame, then the real stream.
    std::string junk(1 << 20, '\0');
    for (size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>((i * 7919u) >> 3 & 0x7F);
    }
    auto stream = OpenStream(&source.wfx, target);
    ASSERT_TRUE(stream);
    const std::string out = ConvertAll(stream.get(), junk + coded, 8000, 44100);
    // Resynchronising costs at most a frame or two (1152 samples each at 44.1 kHz).
    EXPECT_GE(out.size() + 2 * 1152, cleanBytes);
    EXPECT_LE(out.size(), cleanBytes);
}

}  // namespace
