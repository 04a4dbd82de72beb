// Streamdec's file readers on hand-made files: the MPEG header tables and the
// header search, RIFF/WAVE chunks, ASF objects and the ID3 version 1 trailer.
// Expected values come from the formats' own tables, worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "stream_file.h"
#include "stream_readers.h"
#include "test_files.h"
#include "wave_format.h"

namespace {

std::string Le16(uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(uint32_t v) {
    return Le16(static_cast<uint16_t>(v & 0xFFFF)) + Le16(static_cast<uint16_t>(v >> 16));
}
std::string Le64(uint64_t v) {
    return Le32(static_cast<uint32_t>(v)) + Le32(static_cast<uint32_t>(v >> 32));
}
std::string Be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>((v >> 16) & 0xFF),
            static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}
std::string Zeros(size_t n) {
    return std::string(n, '\0');
}
std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// An ID3 version 2 header announcing `size` bytes of tag behind it.
std::string Id3v2Header(uint32_t size) {
    std::string h = "ID3";
    h += '\x04';
    h += '\0';
    h += '\0';
    for (int shift = 21; shift >= 0; shift -= 7) {
        h += static_cast<char>((size >> shift) & 0x7F);
    }
    return h;
}

class ReadersTest : public ::testing::Test {
  protected:
    // Writes bytes, opens the file and reads its first four bytes, as the
    // plug-in does before it chooses a recogniser.
    bool Prepare(const std::string& bytes, const std::string& name = "file.bin") {
        const std::string path = m_dir.File(name);
        if (!WriteBytes(path, bytes) || !m_file.Open(path)) {
            return false;
        }
        m_size = static_cast<uint32_t>(bytes.size());
        uint8_t magic[4];
        return m_file.ReadExact(magic, sizeof(magic));
    }
    uint64_t Position() {
        uint64_t at = 0;
        EXPECT_TRUE(m_file.Tell(&at));
        return at;
    }

    TempDir m_dir;
    StreamFile m_file;
    uint32_t m_size = 0;
    SourceStream m_source;
};

// --- MPEG audio ---

struct HeaderCase {
    uint32_t header;
    uint16_t channels;
    uint32_t rate;
    uint32_t averageBytes;
    uint32_t flags;
    uint16_t blockSize;
    uint16_t frameLength;  // where the next frame's header is
};

TEST_F(ReadersTest, MpegHeadersAreDescribedByTheStandardTables) {
    const HeaderCase cases[] = {
        {0xFFFB9064, 2, 44100, 16000, MPEGLAYER3_FLAG_PADDING_OFF, 417,
         417},  // MPEG-1 III 128k joint stereo
        {0xFFFB9264, 2, 44100, 16000, MPEGLAYER3_FLAG_PADDING_ON, 418, 418},  // same, padded
        {0xFFF3A0C4, 1, 22050, 12000, MPEGLAYER3_FLAG_PADDING_OFF, 626,
         313},  // MPEG-2 III index 10 = 96k
        {0xFFFFC000, 2, 44100, 48000, MPEGLAYER3_FLAG_PADDING_OFF, 416,
         416},  // MPEG-1 I 384k: (104 + 0) * 4
        {0xFFFFC200, 2, 44100, 48000, MPEGLAYER3_FLAG_PADDING_ON, 420,
         420},  // same, padded: (104 + 1) * 4
        {0xFFFDA400, 2, 48000, 24000, MPEGLAYER3_FLAG_PADDING_OFF, 576,
         576},  // MPEG-1 II 192k 48 kHz
        {0xFFF798C0, 1, 16000, 18000, MPEGLAYER3_FLAG_PADDING_OFF, 432,
         432},  // MPEG-2 I index 9 = 144k
        {0xFFE380C0, 1, 11025, 8000, MPEGLAYER3_FLAG_PADDING_OFF, 835, 417},  // MPEG-2.5 III 64k
        {0xFFE31880, 2, 8000, 1000, MPEGLAYER3_FLAG_PADDING_OFF, 144, 72},  // MPEG-2.5 III 8k 8 kHz
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.header);
        const std::string frame = Be32(c.header) + Zeros(c.frameLength - 4u);
        ASSERT_TRUE(Prepare(frame + frame + Zeros(2000)));
        ASSERT_TRUE(RecogniseMpeg(m_file, m_size, &m_source));
        ASSERT_EQ(m_source.format.size(), sizeof(MPEGLAYER3WAVEFORMAT));
        MPEGLAYER3WAVEFORMAT mp3;
        std::memcpy(&mp3, m_source.format.data(), sizeof(mp3));
        EXPECT_EQ(mp3.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
        EXPECT_EQ(mp3.wfx.nChannels, c.channels);
        EXPECT_EQ(mp3.wfx.nSamplesPerSec, c.rate);
        EXPECT_EQ(mp3.wfx.nAvgBytesPerSec, c.averageBytes);
        EXPECT_EQ(mp3.wfx.nBlockAlign, 1);
        EXPECT_EQ(mp3.wfx.wBitsPerSample, 0);
        EXPECT_EQ(mp3.wfx.cbSize, 12);
        EXPECT_EQ(mp3.wID, MPEGLAYER3_ID_MPEG);
        EXPECT_EQ(mp3.fdwFlags, c.flags);
        EXPECT_EQ(mp3.nBlockSize, c.blockSize);
        EXPECT_EQ(mp3.nFramesPerBlock, 1);
        EXPECT_EQ(mp3.nCodecDelay, 0);
        EXPECT_EQ(m_source.remaining, m_size);
        EXPECT_EQ(Position(), 0u);
    }
}

struct SearchCase {
    const char* what;
    std::string bytes;
    int64_t offset;  // of the accepted header, -1 when the file is refused
};

TEST_F(ReadersTest, MpegSearchFindsTheFirstAcceptableHeader) {
    const std::string frame = Be32(0xFFFB9064) + Zeros(413);
    const std::string stream = frame + frame;
    const std::string reservedVersion = Be32(0xFFEB9064);
    const std::string reservedLayer = Be32(0xFFF99064);
    const std::string reservedRate = Be32(0xFFFB9C64);
    std::string tagWithDecoy =
        Id3v2Header(4086) + Zeros(100) + Be32(0xFFFB9064) + Zeros(4086 - 104);

    std::vector<SearchCase> cases = {
        {"at the start", stream, 0},
        {"behind a 4096-byte ID3v2 tag with a sync inside", tagWithDecoy + stream, 4096},
        {"ID3v2 tag reaching the end of the file", Id3v2Header(100) + Zeros(100), -1},
        {"ID3v2 tag beyond the end of the file", Id3v2Header(5000) + Zeros(100), -1},
        {"ID3v2 tag followed by three bytes", Id3v2Header(10) + Zeros(10) + "\xFF\xFB\x90", -1},
        {"reserved version skipped, search goes on behind its first byte",
         reservedVersion.substr(0, 2) + stream + Zeros(3000), 2},
        {"reserved layer skipped", reservedLayer + stream + Zeros(3000), 4},
        {"reserved sample rate skipped", Zeros(7) + reservedRate + stream, 11},
        {"rejected candidates at the start of a full buffer",
         "\xFF\xE8\xFF\xE8" + stream + Zeros(3000), 4},
        {"bad bit-rate index 15 skipped", Be32(0xFFFBF264) + stream, 4},
        {"free format skipped", Zeros(3) + Be32(0xFFFB0064) + stream, 7},
        {"a header without a frame behind it skipped", frame + Zeros(5) + stream, 422},
        {"a header followed by a frame of another sample rate skipped",
         frame + Be32(0xFFFB9864) + Zeros(572) + Be32(0xFFFB9864) + Zeros(572), 417},
        {"a lone frame", frame + Zeros(3000), -1},
        {"nothing but zeros", Zeros(5000), -1},
        {"a frame as far from the start as the search goes",
         Zeros(kMaxBytesWithoutAudio - kReadBlockSize) + stream,
         static_cast<int64_t>(kMaxBytesWithoutAudio - kReadBlockSize)},
        {"a frame beyond the search", Zeros(kMaxBytesWithoutAudio + kReadBlockSize) + stream, -1},
        {"fewer than ten bytes", "\xFF\xFB\x90\x64", -1},
    };
    // Headers around the end of the first buffer: the last three bytes of one
    // buffer start the next.
    for (size_t back = 0; back <= 5; ++back) {
        const size_t at = kReadBlockSize - back;
        cases.push_back(
            {"across the buffer boundary", Zeros(at) + stream, static_cast<int64_t>(at)});
        cases.push_back({"across the buffer boundary behind a tag",
                         Id3v2Header(0) + Zeros(at) + stream, static_cast<int64_t>(at + 10)});
    }
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.what);
        SCOPED_TRACE(c.offset);
        ASSERT_TRUE(Prepare(c.bytes));
        const bool found = RecogniseMpeg(m_file, m_size, &m_source);
        if (c.offset < 0) {
            EXPECT_FALSE(found);
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(Position(), static_cast<uint64_t>(c.offset));
        EXPECT_EQ(m_source.remaining, m_size - static_cast<uint32_t>(c.offset));
    }
}

// An encoder's tag frame is often written at a higher bit rate than the audio
// frames behind it (a tag does not fit an 8 kbit/s frame). MPEG-2.5 Layer III,
// 8 kHz, single channel: 8 kbit/s frames of 72 bytes, 24 kbit/s frames of 216,
// the tag 13 bytes into the frame.
TEST_F(ReadersTest, MpegFiguresComeFromTheFramesWhenTheTagFrameDisagrees) {
    const std::string frame8k = Be32(0xFFE318C0) + Zeros(68);
    const std::string frame24k = Be32(0xFFE338C0) + Zeros(212);
    auto tagFrame = [&](const char* name, uint32_t flags, uint32_t frames) {
        return Be32(0xFFE338C0) + Zeros(9) + name + Be32(flags) + Be32(frames) + Zeros(191);
    };
    const size_t kFrames = 834;  // 834 * 576 samples at 8 kHz: 60.048 s
    const std::string audio8k = Repeat(frame8k, kFrames);
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t bitrate;  // 0: the first frame's figures stand
        uint32_t durationMs;
    };
    const Case cases[] = {
        {"Info tag counting the frames", tagFrame("Info", 1, kFrames) + audio8k, 8028, 60048},
        {"Xing tag counting the frames", tagFrame("Xing", 15, kFrames) + audio8k, 8028, 60048},
        {"tag without a count: the frame behind it", tagFrame("Info", 0, 0) + audio8k, 8000, 60264},
        {"a count the file's size cannot hold: the frame behind it",
         tagFrame("Info", 1, 1) + audio8k, 8000, 60264},
        {"tag and frames at one rate", tagFrame("Info", 1, 200) + Repeat(frame24k, 200), 0, 0},
        {"no tag: the first frame describes the stream", frame24k + audio8k, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Prepare(c.bytes));
        ASSERT_TRUE(RecogniseMpeg(m_file, m_size, &m_source));
        EXPECT_EQ(m_source.bitrate, c.bitrate);
        EXPECT_EQ(m_source.durationMs, c.durationMs);
        EXPECT_EQ(Position(), 0u);
        EXPECT_EQ(m_source.remaining, m_size);
    }
}

// --- RIFF/WAVE ---

std::string FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                        const std::string& extra = {}, bool withCbSize = false) {
    std::string body = Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * channels * bits / 8) +
                       Le16(static_cast<uint16_t>(channels * bits / 8)) + Le16(bits);
    if (withCbSize) {
        body += Le16(static_cast<uint16_t>(extra.size())) + extra;
    }
    return "fmt " + Le32(static_cast<uint32_t>(body.size())) + body;
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

TEST_F(ReadersTest, RiffFormatChunkFirstThenChunksUpToData) {
    const std::string pcm = FormatChunk(1, 2, 44100, 16);
    const std::string data = "data" + Le32(8) + Zeros(8);
    struct Case {
        const char* what;
        std::string bytes;
        int64_t dataOffset;  // -1 when refused
    };
    const Case cases[] = {
        {"plain", Riff(pcm + data), 44},
        {"fact chunk between fmt and data", Riff(pcm + "fact" + Le32(4) + Le32(1234) + data), 56},
        {"odd-sized chunk skipped by its size alone", Riff(pcm + "junk" + Le32(3) + "abc" + data),
         55},
        {"LIST before fmt", Riff("LIST" + Le32(4) + "INFO" + pcm + data), -1},
        {"not WAVE", "RIFF" + Le32(40) + "AVI " + pcm + data, -1},
        {"no data chunk", Riff(pcm + "fact" + Le32(4) + Le32(1)), -1},
        {"chunk size past the end", Riff(pcm + "LIST" + Le32(0xFFFFFFF0u) + data), -1},
        // Empty chunks without a name are zeros, not chunks: the walk gives up
        // behind a few megabytes of them, but not behind named ones.
        {"data behind megabytes of zeros",
         Riff(pcm + Zeros(kMaxBytesWithoutAudio + kReadBlockSize) + data), -1},
        {"data behind megabytes of named empty chunks",
         Riff(pcm + Repeat("junk" + Le32(0), (kMaxBytesWithoutAudio + kReadBlockSize) / 8) + data),
         static_cast<int64_t>(44 + kMaxBytesWithoutAudio + kReadBlockSize)},
        {"data behind a long chunk", Riff(pcm + "LIST" + Le32(3000000) + Zeros(3000000) + data),
         3000052},
        {"format chunk larger than the file", Riff("fmt " + Le32(0x7FFFFFFF) + Zeros(16)), -1},
        {"cut inside the format chunk", Riff(pcm).substr(0, 30), -1},
        {"cut inside the data header", Riff(pcm + "data").append("\x08\x00", 2), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Prepare(c.bytes));
        const bool ok = RecogniseRiff(m_file, m_size, &m_source);
        if (c.dataOffset < 0) {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok);
        EXPECT_EQ(Position(), static_cast<uint64_t>(c.dataOffset));
        EXPECT_EQ(m_source.remaining, 8u);
        ASSERT_EQ(m_source.format.size(), 18u);  // a 16-byte chunk gets a zero extra-byte count
        const WAVEFORMATEX wfx = WaveFormatOf(m_source.format);
        EXPECT_EQ(wfx.wFormatTag, 1);
        EXPECT_EQ(wfx.nChannels, 2);
        EXPECT_EQ(wfx.nSamplesPerSec, 44100u);
        EXPECT_EQ(wfx.nAvgBytesPerSec, 176400u);
        EXPECT_EQ(wfx.wBitsPerSample, 16);
        EXPECT_EQ(wfx.cbSize, 0);
    }
}

TEST_F(ReadersTest, RiffRecordCoversTheExtraBytesItAnnounces) {
    // An 18-byte format chunk whose extra-byte count claims 22 bytes that the
    // chunk does not hold: the record is padded so that they can be read.
    std::string body =
        Le16(0xFFFE) + Le16(2) + Le32(44100) + Le32(176400) + Le16(4) + Le16(16) + Le16(22);
    ASSERT_TRUE(Prepare(Riff("fmt " + Le32(18) + body + "data" + Le32(0))));
    ASSERT_TRUE(RecogniseRiff(m_file, m_size, &m_source));
    EXPECT_EQ(m_source.format.size(), 40u);
    EXPECT_EQ(WaveFormatOf(m_source.format).cbSize, 22);
}

// --- ASF ---

constexpr char kHeaderObject[] = "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C";
constexpr char kStreamProperties[] =
    "\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65";
constexpr char kAudioMedia[] = "\x40\x9E\x69\xF8\x4D\x5B\xCF\x11\xA8\xFD\x00\x80\x5F\x5C\x44\x2B";
constexpr char kVideoMedia[] = "\xC0\xEF\x19\xBC\x4D\x5B\xCF\x11\xA8\xFD\x00\x80\x5F\x5C\x44\x2B";
constexpr char kOtherObject[] = "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65";

std::string Guid(const char* bytes) {
    return std::string(bytes, 16);
}

std::string StreamPropertiesObject(const char* type, const std::string& typeSpecific,
                                   uint64_t sizeOverride = 0) {
    std::string body = Guid(type) + Zeros(16) + Le64(0) +
                       Le32(static_cast<uint32_t>(typeSpecific.size())) + Le32(0) + Le16(1) +
                       Le32(0) + typeSpecific;
    const uint64_t size = sizeOverride != 0 ? sizeOverride : 24 + body.size();
    return Guid(kStreamProperties) + Le64(size) + body;
}

std::string AsfFile(const std::string& objects) {
    return Guid(kHeaderObject) + Le64(30 + objects.size()) + Le32(2) + "\x01\x02" + objects +
           Zeros(64);
}

TEST_F(ReadersTest, AsfFirstStreamPropertiesMustBeAudioWith28Bytes) {
    const std::string wma = Le16(0x0161) + Le16(2) + Le32(44100) + Le32(16000) + Le16(2973) +
                            Le16(16) + Le16(10) + Zeros(10);
    const std::string other = Guid(kOtherObject) + Le64(24 + 80) + Zeros(80);
    struct Case {
        const char* what;
        std::string bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"audio first", AsfFile(StreamPropertiesObject(kAudioMedia, wma)), true},
        {"audio behind another object", AsfFile(other + StreamPropertiesObject(kAudioMedia, wma)),
         true},
        {"video first",
         AsfFile(StreamPropertiesObject(kVideoMedia, wma) +
                 StreamPropertiesObject(kAudioMedia, wma)),
         false},
        {"audio format of 30 bytes", AsfFile(StreamPropertiesObject(kAudioMedia, wma + "xx")),
         false},
        {"object smaller than its fixed part",
         AsfFile(StreamPropertiesObject(kAudioMedia, wma, 70)), false},
        {"object size below 24", AsfFile(Guid(kOtherObject) + Le64(23) + Zeros(200)), false},
        {"no stream properties", AsfFile(other), false},
        {"not ASF", Zeros(30) + StreamPropertiesObject(kAudioMedia, wma), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Prepare(c.bytes));
        const bool ok = RecogniseAsf(m_file, m_size, &m_source);
        ASSERT_EQ(ok, c.accepted);
        if (ok) {
            EXPECT_EQ(m_source.format.size(), 28u);
            EXPECT_EQ(WaveFormatOf(m_source.format).wFormatTag, 0x0161);
            EXPECT_EQ(m_source.remaining, m_size);
            EXPECT_EQ(Position(), 0u);
        }
    }
}

TEST_F(ReadersTest, AsfWrittenByFfmpegIsRecognised) {
    const std::string wav = m_dir.File("tone.wav");
    ASSERT_TRUE(WriteWav(wav, Tones(22050, 3, 22050), 22050, 1, 16));
    const std::string wma = m_dir.File("tone.wma");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, wma, {"-c:a", "wmav2", "-b:a", "64k"}));
    ASSERT_TRUE(m_file.Open(wma));
    uint64_t size = 0;
    ASSERT_TRUE(m_file.Size(&size));
    ASSERT_TRUE(RecogniseAsf(m_file, static_cast<uint32_t>(size), &m_source));
    const WAVEFORMATEX wfx = WaveFormatOf(m_source.format);
    EXPECT_EQ(wfx.wFormatTag, 0x0161);
    EXPECT_EQ(wfx.nChannels, 1);
    EXPECT_EQ(wfx.nSamplesPerSec, 22050u);
    EXPECT_EQ(m_source.remaining, size);
}

// --- ID3 version 1 ---

std::string Field(const std::string& text) {
    return text + Zeros(30 - text.size());
}

TEST_F(ReadersTest, Id3v1TrailerGivesTitleArtistAlbum) {
    const std::string trailer = "TAG" + Field("Hello") + std::string("Band") +
                                std::string(26, ' ') + Field("Caf\xE9") + "1999" +
                                Field("comment") + "\x11";
    ASSERT_EQ(trailer.size(), 128u);
    ASSERT_TRUE(Prepare(Zeros(500) + trailer));
    ASSERT_TRUE(m_file.Seek(123, StreamFile::Origin::Begin));
    DecoderInfo info{};
    ASSERT_TRUE(ReadId3v1Trailer(m_file, &info));
    EXPECT_EQ(std::u16string(info.title), u"Hello");
    EXPECT_EQ(std::u16string(info.artist), u"Band" + std::u16string(26, u' '));  // blanks are kept
    EXPECT_EQ(std::u16string(info.album), u"Caf\u00E9");
    EXPECT_EQ(Position(), 123u);

    for (const std::string& bytes :
         {Zeros(500), Zeros(100), "TAG" + Zeros(124), std::string("RIFF")}) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(Prepare(bytes));
        DecoderInfo none{};
        EXPECT_FALSE(ReadId3v1Trailer(m_file, &none));
        EXPECT_EQ(none.title[0], 0);
        EXPECT_EQ(Position(), 4u);
    }
}

TEST(Id3v1Text, Utf8WhenValidElseWindows1252) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"Hello", u"Hello"},
        {"Caf\xC3\xA9", u"Caf\u00E9"},                // UTF-8
        {"Caf\xE9", u"Caf\u00E9"},                    // Windows-1252
        {"\x80 \x99 \x9F", u"\u20AC \u2122 \u0178"},  // the 0x80..0x9F block
        {"\x81\x8D\x8F\x90\x9D",
         u"\u0081\u008D\u008F\u0090\u009D"},      // unassigned: as the platform does
        {"\xE2\x82\xAC 5", u"\u20AC 5"},          // three-byte UTF-8
        {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},      // four bytes: a surrogate pair
        {"\xC0\xAF", u"\u00C0\u00AF"},            // overlong: not UTF-8
        {"\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},  // a surrogate in UTF-8: not UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string field = Field(c.bytes);
        const std::u16string text =
            Id3v1FieldText(reinterpret_cast<const uint8_t*>(field.data()), field.size());
        EXPECT_EQ(std::u16string(text.c_str()), c.text);
    }
    // A character cut by the end of the field makes the field Windows-1252.
    const std::string cut = std::string(29, 'a') + "\xC3";
    EXPECT_EQ(Id3v1FieldText(reinterpret_cast<const uint8_t*>(cut.data()), cut.size()),
              std::u16string(29, u'a') + u"\u00C3");
}

}  // namespace
