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
