// The media runtime's reader on its own: ranges, coded samples, attribute
// buffers and argument checks, which the plug-in does not reach.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "media_runtime.h"
#include "test_files.h"

namespace {

class Runtime {
  public:
    Runtime() {
        m_module = dlopen((std::string(HF_BIN_DIR) + "/" + kMediaRuntimeName).c_str(),
                          RTLD_NOW | RTLD_LOCAL);
        if (m_module == nullptr) {
            return;
        }
        auto create =
            reinterpret_cast<WMCreateSyncReaderFunc>(dlsym(m_module, kCreateSyncReaderName));
        if (create != nullptr) {
            EXPECT_EQ(create(nullptr, 1, &m_reader), E_INVALIDARG);
            EXPECT_EQ(create(nullptr, 0, &m_reader), S_OK);
        }
    }
    ~Runtime() {
        if (m_reader != nullptr) {
            m_reader->Release();
        }
        if (m_module != nullptr) {
            dlclose(m_module);
        }
    }
    IWMSyncReader* reader() const { return m_reader; }

  private:
    void* m_module = nullptr;
    IWMSyncReader* m_reader = nullptr;
};

// A ramp that tells every sample's position (it wraps every 50000 samples).
std::vector<float> Ramp(size_t count) {
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<float>(static_cast<int>(i % 50000) - 25000) / 32767.0f;
    }
    return out;
}

std::vector<int16_t> ReadAll(IWMSyncReader* reader, uint16_t stream, size_t limit = 1u << 24) {
    std::vector<int16_t> out;
    for (;;) {
        INSSBuffer* sample = nullptr;
        const HRESULT hr =
            reader->GetNextSample(stream, &sample, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (Failed(hr)) {
            EXPECT_EQ(hr, NS_E_NO_MORE_SAMPLES);
            break;
        }
        uint8_t* bytes = nullptr;
        uint32_t length = 0;
        EXPECT_EQ(sample->GetBufferAndLength(&bytes, &length), S_OK);
        const size_t old = out.size();
        out.resize(old + length / 2);
        std::memcpy(out.data() + old, bytes, length / 2 * 2);
        sample->Release();
        if (out.size() >= limit) {
            break;
        }
    }
    return out;
}

// Chooses the 16-bit mono 22050 Hz format of output 0 and selects its stream.
void ChooseMono22050(IWMSyncReader* reader, bool compressed = false) {
    uint32_t formats = 0;
    ASSERT_EQ(reader->GetOutputFormatCount(0, &formats), S_OK);
    bool chosen = false;
    for (uint32_t f = 0; f < formats && !chosen; ++f) {
        IWMOutputMediaProps* props = nullptr;
        ASSERT_EQ(reader->GetOutputFormat(0, f, &props), S_OK);
        alignas(8) uint8_t buffer[90];
        uint32_t size = sizeof(buffer);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(buffer);
        ASSERT_EQ(props->GetMediaType(type, &size), S_OK);
        WAVEFORMATEX wave;
        std::memcpy(&wave, type->pbFormat, sizeof(wave));
        if (wave.nChannels == 1 && wave.nSamplesPerSec == 22050) {
            EXPECT_EQ(wave.wBitsPerSample, 16);
            EXPECT_EQ(wave.nBlockAlign, 2);
            ASSERT_EQ(reader->SetOutputProps(0, props), S_OK);
            chosen = true;
        }
        props->Release();
    }
    ASSERT_TRUE(chosen);
    const uint16_t stream = 1;
    const WMT_STREAM_SELECTION on = WMT_ON;
    ASSERT_EQ(reader->SetStreamsSelected(1, &stream, &on), S_OK);
    ASSERT_EQ(reader->SetReadStreamSamples(1, compressed), S_OK);
}

TEST(MediaRuntimeTest, RangesCutExactlyAndRewind) {
    Runtime runtime;
    ASSERT_NE(runtime.reader(), nullptr);
    TempDir dir;
    const std::vector<float> ramp = Ramp(3 * 22050);
    const std::string path = dir.File("ramp.wav");
    ASSERT_TRUE(WriteWav(path, ramp, 22050, 1, 16));
    IWMSyncReader* reader = runtime.reader();
    ASSERT_EQ(reader->Open(BytesToU16(path).c_str()), S_OK);
    ChooseMono22050(reader);

    struct Case {
        uint64_t start;
        int64_t duration;
        size_t first;
        size_t count;
    };
    const Case cases[] = {
        {0, 0, 0, 3 * 22050},
        {10000000, 20000000, 22050, 2 * 22050},
        {5000000, 0, 11025, 2 * 22050 + 11025},
        {0, 1000000, 0, 2205},
        {40000000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "+" + std::to_string(c.duration));
        ASSERT_EQ(reader->SetRange(c.start, c.duration), S_OK);
        const std::vector<int16_t> got = ReadAll(reader, 1);
        ASSERT_EQ(got.size(), c.count);
        for (size_t i = 0; i < got.size(); ++i) {
            if (got[i] != QuantizeSample(ramp[c.first + i], 16)) {
                ADD_FAILURE() << "sample " << i;
                break;
            }
        }
    }
}

TEST(MediaRuntimeTest, CodedSamplesAndStreamChecks) {
    Runtime runtime;
    IWMSyncReader* reader = runtime.reader();
    ASSERT_NE(reader, nullptr);
    TempDir dir;
    const std::string path = dir.File("tone.wav");
    ASSERT_TRUE(WriteWav(path, Sine(22050, 440, 0.5), 22050, 1, 16));

    // Nothing open: every call says so.
    uint32_t outputs = 0;
    EXPECT_TRUE(Failed(reader->GetOutputCount(&outputs)));
    INSSBuffer* sample = nullptr;
    EXPECT_TRUE(
        Failed(reader->GetNextSample(0, &sample, nullptr, nullptr, nullptr, nullptr, nullptr)));
    EXPECT_EQ(reader->Close(), S_OK);

    ASSERT_EQ(reader->Open(BytesToU16(path).c_str()), S_OK);
    ASSERT_EQ(reader->GetOutputCount(&outputs), S_OK);
    ASSERT_EQ(outputs, 1u);
    uint16_t stream = 0;
    EXPECT_EQ(reader->GetStreamNumberForOutput(0, &stream), S_OK);
    EXPECT_EQ(stream, 1);
    EXPECT_TRUE(Failed(reader->GetStreamNumberForOutput(1, &stream)));
    IWMOutputMediaProps* props = nullptr;
    EXPECT_TRUE(Failed(reader->GetOutputFormat(0, 1000, &props)));
    EXPECT_EQ(props, nullptr);
    // A stream that is not selected cannot be read.
    EXPECT_EQ(reader->GetNextSample(1, &sample, nullptr, nullptr, nullptr, nullptr, nullptr),
              NS_E_INVALID_REQUEST);
    const uint16_t bad = 2;
    const WMT_STREAM_SELECTION on = WMT_ON;
    EXPECT_EQ(reader->SetStreamsSelected(1, &bad, &on), E_INVALIDARG);

    // Coded samples are the file's own bytes: 16-bit PCM here.
    ChooseMono22050(reader, true);
    const std::vector<int16_t> coded = ReadAll(reader, 0);
    ASSERT_EQ(coded.size(), 22050u);
    EXPECT_EQ(coded[100], QuantizeSample(Sine(22050, 440, 0.5)[100], 16));
}

TEST(MediaRuntimeTest, DamagedPacketsArePassedOver) {
    Runtime runtime;
    IWMSyncReader* reader = runtime.reader();
    ASSERT_NE(reader, nullptr);
    TempDir dir;
    const uint32_t seconds = 20;
    const std::string wav = dir.File("clean.wav");
    ASSERT_TRUE(WriteWav(
        wav, Interleave({Tones(seconds * 44100, 1, 44100), Tones(seconds * 44100, 2, 44100)}),
        44100, 2, 16));
    // Some damaged AAC packets are found broken only when their frame is
    // asked for, others already when they are sent.
    const std::string coded = dir.File("damaged.m4a");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, coded, {"-c:a", "aac", "-b:a", "128k"}));
    std::string bytes = ReadWholeFile(coded);
    std::mt19937 random(4);
    for (int i = 0; i < 40; ++i) {
        bytes[8192 + random() % (bytes.size() - 16384)] = static_cast<char>(random());
    }
    ASSERT_TRUE(WriteBytes(coded, bytes));
    ASSERT_EQ(reader->Open(BytesToU16(coded).c_str()), S_OK);
    ChooseMono22050(reader);
    // What lies around the damage at most is lost, not the rest of the file.
    const size_t got = ReadAll(reader, 1).size();
    EXPECT_GT(got, seconds * 22050 * 9 / 10);
    EXPECT_LE(got, seconds * 22050 + 22050);
}

TEST(MediaRuntimeTest, AttributeBuffers) {
    Runtime runtime;
    IWMSyncReader* reader = runtime.reader();
    ASSERT_NE(reader, nullptr);
    TempDir dir;
    const std::string wav = dir.File("plain.wav");
    ASSERT_TRUE(WriteWav(wav, Sine(22050, 440, 0.5), 22050, 1, 16));
    const std::string flac = dir.File("tagged.flac");
    ASSERT_TRUE(EncodeWithFfmpeg(wav, flac, {"-metadata", "title=\xC3\x89t\xC3\xA9"}));
    ASSERT_EQ(reader->Open(BytesToU16(flac).c_str()), S_OK);
    void* object = nullptr;
    ASSERT_EQ(reader->QueryInterface(IID_IWMHeaderInfo, &object), S_OK);
    auto* header = static_cast<IWMHeaderInfo*>(object);

    uint16_t streamNumber = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
    uint16_t length = 0;
    // A null value asks for the length: "Été" and its terminator, in bytes.
    ASSERT_EQ(header->GetAttributeByName(&streamNumber, u"Title", &type, nullptr, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_STRING);
    EXPECT_EQ(length, 8);
    uint8_t value[16];
    length = 6;
    EXPECT_EQ(header->GetAttributeByName(&streamNumber, u"Title", &type, value, &length),
              ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(length, 8);
    length = sizeof(value);
    ASSERT_EQ(header->GetAttributeByName(&streamNumber, u"Title", &type, value, &length), S_OK);
    std::u16string title(reinterpret_cast<const char16_t*>(value));
    EXPECT_EQ(title, u"\u00C9t\u00E9");
    length = sizeof(value);
    EXPECT_EQ(header->GetAttributeByName(&streamNumber, u"WM/AlbumTitle", &type, value, &length),
              ASF_E_NOTFOUND);
    length = sizeof(value);
    ASSERT_EQ(header->GetAttributeByName(&streamNumber, u"Duration", &type, value, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_QWORD);
    uint64_t duration = 0;
    std::memcpy(&duration, value, 8);
    EXPECT_EQ(duration, 10000000u);
    streamNumber = 7;
    EXPECT_EQ(header->GetAttributeByName(&streamNumber, u"Title", &type, value, &length),
              E_INVALIDARG);
    header->Release();
}

}  // namespace
