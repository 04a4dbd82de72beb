// Streamdec through the real host: the plug-in is copied alone into a folder
// and loaded by DecoderSet, or loaded directly where a test needs the decoder
// object itself (formats other than the host's, the contract's corner cases).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include <sys/stat.h>

#include "audio_fixtures.h"
#include "decoder_contract.h"
#include "decoder_set.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kHostRate = 22050;

struct ReleaseDecoder {
    void operator()(IDecoder* d) const { d->Release(); }
};
using DecoderPtr = std::unique_ptr<IDecoder, ReleaseDecoder>;

// The plug-in library, copied alone into a folder of its own and loaded by name.
class StreamdecLibrary {
  public:
    StreamdecLibrary() {
        InstallRealPlugin(m_dir.path(), "streamdec");
        m_module = dlopen((m_dir.path() + "/libstreamdec.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_module != nullptr) {
            m_getInterface = reinterpret_cast<GetInterfaceFunc>(dlsym(m_module, kGetInterfaceName));
        }
    }
    ~StreamdecLibrary() {
        if (m_module != nullptr) {
            dlclose(m_module);
        }
    }
    GetInterfaceFunc getInterface() const { return m_getInterface; }
    DecoderPtr Create() const {
        IDecoder* decoder = nullptr;
        if (m_getInterface == nullptr || m_getInterface(IID_IDecoder, &decoder) < 0) {
            return nullptr;
        }
        return DecoderPtr(decoder);
    }
    const std::string& folder() const { return m_dir.path(); }

  private:
    TempDir m_dir;
    void* m_module = nullptr;
    GetInterfaceFunc m_getInterface = nullptr;
};

class StreamdecTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_library = new StreamdecLibrary(); }
    static void TearDownTestSuite() {
        delete s_library;
        s_library = nullptr;
    }

    DecoderPtr Create() const { return s_library->Create(); }
    // A DecoderSet that sees Streamdec and nothing else.
    std::unique_ptr<DecoderSet> HostSet() const {
        return std::make_unique<DecoderSet>(s_library->folder());
    }

    static StreamdecLibrary* s_library;
    TempDir m_dir;
};

StreamdecLibrary* StreamdecTest::s_library = nullptr;

TEST_F(StreamdecTest, HostSeesStreamdecAloneAtPriority99) {
    auto set = HostSet();
    ASSERT_EQ(set->PluginCount(), 1u);
    EXPECT_EQ(set->PluginPriority(0), 99u);
}

struct WavCase {
    uint16_t bits;
    uint16_t channels;
    uint32_t rate;
};

class StreamdecWavTest : public StreamdecTest, public ::testing::WithParamInterface<WavCase> {};

// Each channel carries its own piece; the host mixes them to mono and
// resamples to 22050 Hz. The reference is the same pieces generated at 22050
// Hz and mixed the same way.
TEST_P(StreamdecWavTest, DecodesLikeTheGeneratedSignal) {
    const WavCase c = GetParam();
    constexpr double kSeconds = 3.0;
    const auto frames = static_cast<size_t>(kSeconds * c.rate);
    std::vector<std::vector<float>> channels;
    std::vector<float> reference(static_cast<size_t>(kSeconds * kHostRate), 0.0f);
    for (uint16_t ch = 0; ch < c.channels; ++ch) {
        channels.push_back(Tones(frames, 11 + ch, c.rate));
        const std::vector<float> atHost = Tones(reference.size(), 11 + ch, kHostRate);
        for (size_t i = 0; i < reference.size(); ++i) {
            reference[i] += atHost[i] / static_cast<float>(c.channels);
        }
    }
    const std::string path = m_dir.File("signal.wav");
    ASSERT_TRUE(WriteWav(path, Interleave(channels), c.rate, c.channels, c.bits));

    auto set = HostSet();
    std::vector<float> decoded;
    ASSERT_EQ(DecodeAll(*set, path, decoded), S_OK);
    EXPECT_NEAR(static_cast<double>(decoded.size()), static_cast<double>(reference.size()), 64.0);
    const Alignment a = BestAlignment(reference, decoded, 64);
    EXPECT_LE(std::abs(a.lag), 2);
    EXPECT_GE(a.correlation, 0.99);
}

INSTANTIATE_TEST_SUITE_P(Formats, StreamdecWavTest,
                         ::testing::Values(WavCase{16, 1, 22050}, WavCase{8, 1, 22050},
                                           WavCase{8, 2, 44100}, WavCase{16, 2, 44100},
                                           WavCase{16, 1, 48000}, WavCase{24, 2, 48000},
                                           WavCase{24, 1, 22050}, WavCase{16, 2, 22050}),
                         [](const auto& param) {
                             return std::to_string(param.param.bits) + "bit_" +
                                    std::to_string(param.param.channels) + "ch_" +
                                    std::to_string(param.param.rate);
                         });

TEST_F(StreamdecTest, Wav16BitMono22050IsDeliveredExactly) {
    const std::vector<float> signal = MusicLike(2 * kHostRate + 777, 5, kHostRate);
    const std::string path = m_dir.File("exact.wav");
    ASSERT_TRUE(WriteWav(path, signal, kHostRate, 1, 16));
    auto set = HostSet();
    std::vector<float> decoded;
    ASSERT_EQ(DecodeAll(*set, path, decoded), S_OK);
    ASSERT_EQ(decoded.size(), signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        ASSERT_EQ(decoded[i], static_cast<float>(QuantizeSample(signal[i], 16)) / 32768.0f)
            << "sample " << i;
    }
}

// ffmpeg writes 24-bit PCM as an extensible record followed by a LIST chunk;
// it must decode like the 16-bit file it was made from. Float samples have no
// codec here and are refused.
TEST_F(StreamdecTest, ExtensibleWavAsFfmpegWritesIt) {
    const std::string source = m_dir.File("source.wav");
    ASSERT_TRUE(WriteWav(source, Interleave({Tones(96000, 31, 48000), Tones(96000, 32, 48000)}),
                         48000, 2, 16));
    const std::string wide = m_dir.File("wide.wav");
    ASSERT_TRUE(EncodeWithFfmpeg(source, wide, {"-c:a", "pcm_s24le"}));
    const std::string floats = m_dir.File("float.wav");
    ASSERT_TRUE(EncodeWithFfmpeg(source, floats, {"-c:a", "pcm_f32le"}));

    auto set = HostSet();
    std::vector<float> fromSource, fromWide, fromFloats;
    ASSERT_EQ(DecodeAll(*set, source, fromSource), S_OK);
    ASSERT_EQ(DecodeAll(*set, wide, fromWide), S_OK);
    EXPECT_EQ(fromWide.size(), fromSource.size());
    EXPECT_GE(CorrelationAtLag(fromSource, fromWide, 0), 0.9999);
    EXPECT_EQ(DecodeAll(*set, floats, fromFloats), E_FAIL);

    // MPEG audio inside RIFF (tags 0x0055 and 0x0050) goes to the MPEG codec.
    for (const char* codec : {"libmp3lame", "mp2"}) {
        SCOPED_TRACE(codec);
        const std::string coded = m_dir.File(std::string(codec) + ".wav");
        ASSERT_TRUE(EncodeWithFfmpeg(source, coded, {"-c:a", codec, "-b:a", "192k", "-f", "wav"}));
        std::vector<float> decoded;
        ASSERT_EQ(DecodeAll(*set, coded, decoded), S_OK);
        EXPECT_GE(BestAlignment(fromSource, decoded, 4096).correlation, 0.95);
    }
}

struct Mp3Case {
    const char* name;
    uint32_t rate;
    uint16_t channels;
    std::vector<std::string> args;
};

class StreamdecMpegTest : public StreamdecTest, public ::testing::WithParamInterface<Mp3Case> {};

// The mono mix of the channels generated by Tones at the host's rate.
std::vector<float> HostReference(size_t count, uint32_t firstSeed, uint16_t channels,
                                 double delaySeconds = 0.0) {
    std::vector<float> mix(count, 0.0f);
    for (uint16_t ch = 0; ch < channels; ++ch) {
        const std::vector<float> one = Tones(count, firstSeed + ch, kHostRate, delaySeconds);
        for (size_t i = 0; i < count; ++i) {
            mix[i] += one[i] / static_cast<float>(channels);
        }
    }
    return mix;
}

// The decoded stream must line up with the source at one lag throughout: a
// chunk lost or repeated between two conversion steps would shift every
// second after it by a whole frame.
TEST_P(StreamdecMpegTest, DecodesWithOneLagThroughout) {
    const Mp3Case& c = GetParam();
    constexpr double kSeconds = 6.0;
    constexpr uint32_t kSeed = 21;
    const auto frames = static_cast<size_t>(kSeconds * c.rate);
    std::vector<std::vector<float>> channels;
    for (uint16_t ch = 0; ch < c.channels; ++ch) {
        channels.push_back(Tones(frames, kSeed + ch, c.rate));
    }
    const std::vector<float> reference =
        HostReference(static_cast<size_t>(kSeconds * kHostRate), kSeed, c.channels);
    const std::string wav = m_dir.File("source.wav");
    const std::string coded = m_dir.File(c.name);
    ASSERT_TRUE(WriteWav(wav, Interleave(channels), c.rate, c.channels, 16));
    ASSERT_TRUE(EncodeWithFfmpeg(wav, coded, c.args));

    auto set = HostSet();
    std::vector<float> decoded;
    ASSERT_EQ(DecodeAll(*set, coded, decoded), S_OK);
    // Encoder and decoder delays come to well under 4096 samples at 22050 Hz.
    EXPECT_NEAR(static_cast<double>(decoded.size()), static_cast<double>(reference.size()), 4096.0);
    const Alignment whole = BestAlignment(reference, decoded, 4096);
    for (size_t second = 1; second + 1 < static_cast<size_t>(kSeconds); ++second) {
        SCOPED_TRACE(second);
        const std::vector<float> piece(
            reference.begin() + static_cast<std::ptrdiff_t>(second * kHostRate),
            reference.begin() + static_cast<std::ptrdiff_t>((second + 1) * kHostRate));
        std::vector<float> around(decoded.begin() + static_cast<std::ptrdiff_t>(second * kHostRate),
                                  decoded.end());
        const Alignment local =
            BestAlignment(piece, around, std::abs(whole.lag) + 64, kHostRate / 2);
        // The codecs' delay need not be a whole number of samples at 22050 Hz.
        EXPECT_LE(std::abs(local.lag - whole.lag), 1);
    }
    double best = whole.correlation;
    for (int eighth = -8; eighth <= 8; ++eighth) {
        const double delay = eighth / 8.0 / kHostRate;
        best = std::max(best,
                        CorrelationAtLag(HostReference(reference.size(), kSeed, c.channels, delay),
                                         decoded, whole.lag));
    }
    EXPECT_GE(best, 0.99);
}

INSTANTIATE_TEST_SUITE_P(
    Layers, StreamdecMpegTest,
    ::testing::Values(Mp3Case{"stereo.mp3", 44100, 2, {"-c:a", "libmp3lame", "-b:a", "128k"}},
                      Mp3Case{"VBR.MP3", 44100, 2, {"-c:a", "libmp3lame", "-q:a", "4"}},
                      Mp3Case{"lsf.mp3", 22050, 1, {"-c:a", "libmp3lame", "-b:a", "64k"}},
                      Mp3Case{"layer2.mp2", 48000, 2, {"-c:a", "mp2", "-b:a", "192k"}},
                      Mp3Case{"mono32k.mp3", 32000, 1, {"-c:a", "libmp3lame", "-b:a", "48k"}}),
    [](const auto& param) {
        std::string name = param.param.name;
        for (char& ch : name) {
            if (ch == '.') {
                ch = '_';
            }
        }
        return name;
    });

}  // namespace

namespace {

std::string Le16(uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(uint32_t v) {
    return Le16(static_cast<uint16_t>(v & 0xFFFF)) + Le16(static_cast<uint16_t>(v >> 16));
}

// A RIFF/WAVE header for `dataSize` bytes of PCM whose record declares
// `averageBytes` per second, whatever the other fields say.
std::string WavHeader(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataSize,
                      uint32_t averageBytes) {
    return "RIFF" + Le32(36 + dataSize) + "WAVEfmt " + Le32(16) + Le16(1) + Le16(channels) +
           Le32(rate) + Le32(averageBytes) + Le16(static_cast<uint16_t>(channels * bits / 8)) +
           Le16(bits) + "data" + Le32(dataSize);
}

std::string Id3v1(const std::string& title, const std::string& artist, const std::string& album) {
    auto field = [](const std::string& s) { return s + std::string(30 - s.size(), '\0'); };
    return "TAG" + field(title) + field(artist) + field(album) + "2001" + field("") + '\x0C';
}

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

struct ReadResult {
    HRESULT last = S_OK;
    std::string pcm;
    uint32_t largestChunk = 0;
    int reads = 0;
    bool formatsMatched = true;
};

// Reads an opened decoder to its end (or to a cap on the number of reads).
ReadResult ReadToEnd(IDecoder& decoder, const DecoderFormat& wanted) {
    ReadResult r;
    while (r.reads < 100000) {
        const void* data = nullptr;
        uint32_t count = 0;
        DecoderFormat format{};
        r.last = decoder.Read(&data, &count, &format);
        ++r.reads;
        if (r.last < 0) {
            break;
        }
        r.formatsMatched = r.formatsMatched && std::memcmp(&format, &wanted, sizeof(format)) == 0;
        r.pcm.append(static_cast<const char*>(data), count);
        r.largestChunk = std::max(r.largestChunk, count);
    }
    return r;
}

TEST_F(StreamdecTest, GetInterfaceFollowsTheContract) {
    GetInterfaceFunc getInterface = s_library->getInterface();
    ASSERT_NE(getInterface, nullptr);
    EXPECT_EQ(getInterface(IID_IDecoder, nullptr), E_INVALIDARG);
    GUID other = IID_IDecoder;
    other.data4[7] ^= 1;
    IDecoder* untouched = reinterpret_cast<IDecoder*>(0x1234);
    EXPECT_EQ(getInterface(other, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, reinterpret_cast<IDecoder*>(0x1234));

    DecoderPtr a = Create();
    DecoderPtr b = Create();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->GetPriority(), 99u);
}

TEST_F(StreamdecTest, CallsOutOfTurnOrWithNullArguments) {
    DecoderPtr d = Create();
    const void* data = nullptr;
    uint32_t count = 0;
    DecoderFormat format{};
    DecoderInfo info{};
    EXPECT_EQ(d->Read(&data, &count, &format), E_FAIL);
    EXPECT_EQ(d->GetInfo(&info), E_FAIL);
    EXPECT_EQ(d->Close(), S_OK);
    EXPECT_EQ(d->Open(nullptr, nullptr), E_INVALIDARG);

    const std::string path = m_dir.File("a.wav");
    ASSERT_TRUE(WriteWav(path, Tones(1000, 1, kHostRate), kHostRate, 1, 16));
    ASSERT_EQ(d->Open(U16(path).c_str(), nullptr), S_OK);
    EXPECT_EQ(d->Read(nullptr, &count, &format), E_INVALIDARG);
    EXPECT_EQ(d->Read(&data, nullptr, &format), E_INVALIDARG);
    EXPECT_EQ(d->Read(&data, &count, nullptr), E_INVALIDARG);
    EXPECT_EQ(d->GetInfo(nullptr), E_INVALIDARG);
    // Nothing was consumed by the refused calls: the whole file still comes.
    EXPECT_EQ(ReadToEnd(*d, kDefaultDecoderFormat).pcm.size(), 2000u);
}

// The host's request on a 16-bit mono 22050 Hz file: chunks of at most one
// second, the wanted record with every chunk, then the end, after which the
// object has closed itself.
TEST_F(StreamdecTest, ChunksOfOneSecondThenEndThenClosed) {
    const std::vector<float> signal = Tones(2 * kHostRate + 1234, 2, kHostRate);
    const std::string path = m_dir.File("chunks.wav");
    ASSERT_TRUE(WriteWav(path, signal, kHostRate, 1, 16));
    DecoderPtr d = Create();
    const DecoderFormat wanted = {1, 16, 1, kHostRate};
    ASSERT_EQ(d->Open(U16(path).c_str(), &wanted), S_OK);
    const ReadResult r = ReadToEnd(*d, wanted);
    EXPECT_EQ(r.last, E_END_OF_STREAM);
    EXPECT_EQ(r.pcm, WavBytes(signal, kHostRate, 1, 16).substr(44));
    EXPECT_EQ(r.largestChunk, 44100u);
    EXPECT_TRUE(r.formatsMatched);

    const void* data = nullptr;
    uint32_t count = 0;
    DecoderFormat format{};
    DecoderInfo info{};
    EXPECT_EQ(d->Read(&data, &count, &format), E_FAIL);
    EXPECT_EQ(d->GetInfo(&info), E_FAIL);
}

struct WantedCase {
    DecoderFormat wanted;
    uint32_t largestChunk;
};

// Formats other than the host's: one second of each, exactly.
TEST_F(StreamdecTest, DeliversOtherWantedFormats) {
    const std::vector<float> signal = Tones(3 * kHostRate, 3, kHostRate);
    const std::string path = m_dir.File("mono.wav");
    ASSERT_TRUE(WriteWav(path, signal, kHostRate, 1, 16));
    const WantedCase cases[] = {
        {{1, 16, 2, 44100}, 176400},
        {{1, 24, 1, 22050}, 66150},
        {{1, 8, 1, 11025}, 11025},
        {{7, 32, 2, 48000}, 384000},  // the tag is handed back, not judged
    };
    for (const WantedCase& c : cases) {
        SCOPED_TRACE(c.largestChunk);
        DecoderPtr d = Create();
        ASSERT_EQ(d->Open(U16(path).c_str(), &c.wanted), S_OK);
        const ReadResult r = ReadToEnd(*d, c.wanted);
        EXPECT_EQ(r.last, E_END_OF_STREAM);
        EXPECT_TRUE(r.formatsMatched);
        EXPECT_EQ(r.largestChunk, c.largestChunk);
        const double seconds = static_cast<double>(r.pcm.size()) / c.largestChunk;
        EXPECT_NEAR(seconds, 3.0, 0.01);
    }
    // 16 to 24 bits at the same rate widens every sample exactly.
    DecoderPtr d = Create();
    const DecoderFormat wide = {1, 24, 1, kHostRate};
    ASSERT_EQ(d->Open(U16(path).c_str(), &wide), S_OK);
    const std::string pcm = ReadToEnd(*d, wide).pcm;
    ASSERT_EQ(pcm.size(), signal.size() * 3);
    for (size_t i = 0; i < signal.size(); ++i) {
        const int32_t v =
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(pcm[3 * i])) |
                                 static_cast<uint32_t>(static_cast<uint8_t>(pcm[3 * i + 1])) << 8 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(pcm[3 * i + 2])) << 16)
                << 8 >>
            8;
        ASSERT_EQ(v, QuantizeSample(signal[i], 16) * 256) << i;
    }
    // Nothing the conversion cannot produce is accepted.
    const DecoderFormat odd = {1, 12, 1, kHostRate};
    EXPECT_EQ(d->Open(U16(path).c_str(), &odd), E_FAIL);
}

TEST_F(StreamdecTest, EndsOfStreamOfCutAndOddFiles) {
    const std::vector<float> signal = Tones(kHostRate, 4, kHostRate);
    const std::string full = WavBytes(signal, kHostRate, 1, 16);
    const std::string samples = full.substr(44);
    struct Case {
        const char* what;
        std::string bytes;
        size_t delivered;
        HRESULT last;
    };
    const Case cases[] = {
        // A data size beyond the end of the file: what is there, then a failure.
        {"cut short", full.substr(0, 44 + 10000), 10000, E_FAIL},
        // Cut inside a sample: the half sample is neither taken nor converted.
        {"cut inside a sample", full.substr(0, 44 + 10001), 10000, E_END_OF_STREAM},
        // One byte behind the last whole sample: the codec takes nothing and
        // gives nothing, which ends the stream.
        {"odd data size", WavHeader(1, kHostRate, 16, 2001, 44100) + samples.substr(0, 2001), 2000,
         E_END_OF_STREAM},
        {"empty data chunk", WavHeader(1, kHostRate, 16, 0, 44100), 0, E_END_OF_STREAM},
        {"data followed by another chunk", full + "LIST" + Le32(4) + "INFO", samples.size(),
         E_END_OF_STREAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = m_dir.File("cut.wav");
        ASSERT_TRUE(WriteBytes(path, c.bytes));
        DecoderPtr d = Create();
        ASSERT_EQ(d->Open(U16(path).c_str(), nullptr), S_OK);
        const ReadResult r = ReadToEnd(*d, kDefaultDecoderFormat);
        EXPECT_EQ(r.last, c.last);
        EXPECT_EQ(r.pcm, samples.substr(0, c.delivered));
    }
}

struct InfoCase {
    const char* what;
    uint32_t fileSize;
    uint32_t averageBytes;
    uint32_t bitrate;
    uint32_t durationMs;
};

// Bit rate and duration come from the record's average byte rate and the
// whole file's size, in 64 bits.
TEST_F(StreamdecTest, BitRateAndDurationArithmetic) {
    const InfoCase cases[] = {
        {"four minutes at 128 kbit/s", 3840000, 16000, 128000, 240000},
        {"past 32 bits in the product", 9000000, 16000, 128000, 562500},
        {"no average byte rate", 10000, 0, 0, 0},
        {"a damaged rate held at 32 bits", 1000, 0xFFFFFFF0u, 0xFFFFFFFFu, 0},
        {"a tiny rate whose duration is held at 32 bits", 9000000, 1, 8, 0xFFFFFFFFu},
    };
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string header = WavHeader(1, 8000, 16, c.fileSize - 44, c.averageBytes);
        const std::string path = m_dir.File("sized.wav");
        {
            std::ofstream out(path, std::ios::binary);
            out << header;
        }
        fs::resize_file(path, c.fileSize);
        DecoderPtr d = Create();
        ASSERT_EQ(d->Open(U16(path).c_str(), nullptr), S_OK);
        DecoderInfo info;
        std::memset(&info, 0xAB, sizeof(info));
        ASSERT_EQ(d->GetInfo(&info), S_OK);
        EXPECT_EQ(info.bitrate, c.bitrate);
        EXPECT_EQ(info.durationMs, c.durationMs);
        EXPECT_EQ(info.channels, 1u);
        EXPECT_EQ(info.samplesPerSec, 8000u);
        EXPECT_EQ(info.title[0], 0);
        EXPECT_EQ(info.album[kDecoderInfoTextLength - 1], 0);  // the whole record was written
    }
}

TEST_F(StreamdecTest, Mp3InfoAndTrailerTags) {
    const std::string wav = m_dir.File("source.wav");
    ASSERT_TRUE(
        WriteWav(wav, Interleave({Tones(88200, 1, 44100), Tones(88200, 2, 44100)}), 44100, 2, 16));
    const std::string plain = m_dir.File("plain.mp3");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, plain,
                                 {"-c:a", "libmp3lame", "-b:a", "128k", "-id3v2_version", "0"}));
    std::string bytes;
    {
        std::ifstream in(plain, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::string tagged = m_dir.File("tagged.mp3");
    ASSERT_TRUE(WriteBytes(tagged, bytes + Id3v1("Hello", "Caf\xE9 Band", "Fr\xC3\xBChling")));

    auto set = HostSet();
    DecoderInfo info{};
    ASSERT_EQ(set->OpenFile(U16(tagged).c_str()), S_OK);
    ASSERT_EQ(set->GetFileInfo(&info), S_OK);
    EXPECT_EQ(info.bitrate, 128000u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.samplesPerSec, 44100u);
    EXPECT_EQ(info.durationMs, (bytes.size() + 128) * 8000 / 128000);
    EXPECT_EQ(std::u16string(info.title), u"Hello");  // five letters, then 25 zero bytes
    EXPECT_EQ(std::u16string(info.artist), u"Caf\u00E9 Band");
    EXPECT_EQ(std::u16string(info.album), u"Fr\u00FChling");

    // The next file has no trailer: nothing of the last one's tags remains.
    ASSERT_EQ(set->OpenFile(U16(plain).c_str()), S_OK);
    ASSERT_EQ(set->GetFileInfo(&info), S_OK);
    EXPECT_EQ(info.title[0], 0);
    EXPECT_EQ(info.artist[0], 0);
    EXPECT_EQ(info.album[0], 0);
}

// RIFF at the start decides by itself; otherwise the name's last four
// characters choose the reader, in any case of letters.
TEST_F(StreamdecTest, RecogniserChosenByContentThenExtension) {
    const std::string wavBytes = WavBytes(Tones(4410, 1, 44100), 44100, 1, 16);
    const std::string wav = m_dir.File("source.wav");
    ASSERT_TRUE(WriteBytes(wav, wavBytes));
    const std::string mp3 = m_dir.File("source.mp3");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "96k"}));
    std::string mp3Bytes;
    {
        std::ifstream in(mp3, std::ios::binary);
        mp3Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    struct Case {
        const char* name;
        const std::string* bytes;
        bool taken;
    };
    const Case cases[] = {
        {"UPPER.MP3", &mp3Bytes, true},  {"mixed.Mp3", &mp3Bytes, true},
        {"layer.mp2", &mp3Bytes, true},  {"layer.MP1", &mp3Bytes, true},
        {"song.ogg", &mp3Bytes, false},  {"song.mp4", &mp3Bytes, false},
        {"song.mp3x", &mp3Bytes, false}, {"noext", &mp3Bytes, false},
        {"riff.mp3", &wavBytes, true},   {"riff.ogg", &wavBytes, true},
        {"riff", &wavBytes, true},       {"wave.WMA", &wavBytes, true},
        {"text.mp3", nullptr, false},    {"empty.wav", nullptr, false},
    };
    auto set = HostSet();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.File(c.name);
        ASSERT_TRUE(WriteBytes(
            path, c.bytes != nullptr ? *c.bytes
                                     : std::string(c.name[0] == 't' ? "just some text\n" : "")));
        std::vector<float> decoded;
        const int32_t hr = DecodeAll(*set, path, decoded);
        EXPECT_EQ(hr >= 0, c.taken);
        if (c.taken) {
            EXPECT_GT(decoded.size(), 1000u);
        }
    }
}

// A path shorter than four code units is judged by its content alone.
TEST_F(StreamdecTest, ShortRelativePaths) {
    const std::string cwd = fs::current_path().string();
    fs::current_path(m_dir.path());
    ASSERT_TRUE(WriteBytes("a", std::string(2000, '\xFF')));
    ASSERT_TRUE(WriteWav("w", Tones(4410, 1, 22050), kHostRate, 1, 16));
    DecoderPtr d = Create();
    const HRESULT shortOther = d->Open(u"a", nullptr);
    const HRESULT shortRiff = d->Open(u"w", nullptr);
    d->Close();
    fs::current_path(cwd);
    EXPECT_EQ(shortOther, E_FAIL);
    EXPECT_EQ(shortRiff, S_OK);
}

// Folders, pipes and missing files are refused at once; nothing waits for a
// writer and no descriptor is left behind by refusals or reopenings.
TEST_F(StreamdecTest, NonRegularFilesAndDescriptors) {
    const std::string folder = m_dir.File("folder.mp3");
    fs::create_directory(folder);
    const std::string fifo = m_dir.File("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string good = m_dir.File("good.wav");
    ASSERT_TRUE(WriteWav(good, Tones(4410, 1, 22050), kHostRate, 1, 16));
    const std::string refused = m_dir.File("refused.mp3");
    ASSERT_TRUE(WriteBytes(refused, std::string(5000, '\0')));

    DecoderPtr d = Create();
    const int before = OpenDescriptors();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(d->Open(U16(folder).c_str(), nullptr), E_FAIL);
        EXPECT_EQ(d->Open(U16(fifo).c_str(), nullptr), E_FAIL);
        EXPECT_EQ(d->Open(U16(m_dir.File("missing.mp3")).c_str(), nullptr), E_FAIL);
        EXPECT_EQ(d->Open(U16(refused).c_str(), nullptr), E_FAIL);
        EXPECT_EQ(d->Open(U16(good).c_str(), nullptr), S_OK);
        EXPECT_EQ(d->Open(U16(good).c_str(), nullptr), S_OK);
    }
    EXPECT_EQ(OpenDescriptors(), before + 1);  // the one open file
    d->Close();
    EXPECT_EQ(OpenDescriptors(), before);
}

// Damaged files: every cut of the headers, bytes overwritten at random, and
// noise under a music name. Each must end (refused, ended or failed) after a
// bounded number of reads, never crash.
TEST_F(StreamdecTest, DamagedFilesEndCleanly) {
    const std::string wavBytes = WavBytes(Tones(2 * 44100, 7, 44100), 44100, 1, 16);
    const std::string wav = m_dir.File("source.wav");
    ASSERT_TRUE(WriteBytes(wav, wavBytes));
    const std::string mp3 = m_dir.File("source.mp3");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "128k"}));
    std::string mp3Bytes;
    {
        std::ifstream in(mp3, std::ios::binary);
        mp3Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    for (size_t cut = 0; cut <= 64; ++cut) {
        files.emplace_back("cut.wav", wavBytes.substr(0, cut));
    }
    for (size_t cut : {1u, 3u, 9u, 10u, 100u, 417u, 1000u, 5000u, 20000u}) {
        files.emplace_back("cut.mp3", mp3Bytes.substr(0, std::min<size_t>(cut, mp3Bytes.size())));
    }
    std::mt19937 rng(99);
    for (int i = 0; i < 12; ++i) {
        std::string wavDamaged = wavBytes;
        std::string mp3Damaged = mp3Bytes;
        for (int k = 0; k < 40; ++k) {
            wavDamaged[rng() % 64] = static_cast<char>(rng());
            mp3Damaged[rng() % mp3Damaged.size()] = static_cast<char>(rng());
        }
        files.emplace_back("damaged.wav", wavDamaged);
        files.emplace_back("damaged.mp3", mp3Damaged);
    }
    std::string noise(200000, '\0');
    for (char& ch : noise) {
        ch = static_cast<char>(rng());
    }
    files.emplace_back("noise.mp3", noise);
    files.emplace_back("noise.mp2", std::string(100000, '\xFF'));
    files.emplace_back("noise.wma", noise);

    DecoderPtr d = Create();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(testing::Message()
                     << i << " " << files[i].first << " of " << files[i].second.size());
        const std::string path = m_dir.File(files[i].first);
        ASSERT_TRUE(WriteBytes(path, files[i].second));
        if (d->Open(U16(path).c_str(), nullptr) < 0) {
            continue;
        }
        DecoderInfo info{};
        EXPECT_EQ(d->GetInfo(&info), S_OK);
        const ReadResult r = ReadToEnd(*d, kDefaultDecoderFormat);
        EXPECT_LT(r.last, 0);
        // At most about one read per second of the file's bytes at the
        // lowest plausible rate, plus the draining read.
        EXPECT_LT(r.reads, 1000);
    }
}

// Objects on different threads work independently.
TEST_F(StreamdecTest, TwoThreadsDecodeTheSameFileAlike) {
    const std::string wav = m_dir.File("source.wav");
    ASSERT_TRUE(WriteWav(wav, Interleave({Tones(3 * 44100, 8, 44100), Tones(3 * 44100, 9, 44100)}),
                         44100, 2, 16));
    const std::string mp3 = m_dir.File("source.mp3");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "128k"}));
    std::vector<float> results[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            DecoderSet set(s_library->folder());
            DecodeAll(set, t % 2 == 0 ? mp3 : wav, results[t]);
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_GT(results[0].size(), 60000u);
    EXPECT_EQ(results[0], results[2]);
    EXPECT_GT(results[1].size(), 60000u);
    EXPECT_EQ(results[1], results[3]);
}

}  // namespace
