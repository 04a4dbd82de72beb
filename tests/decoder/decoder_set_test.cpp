#include "decoder_set.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

std::vector<float> ReadAll(DecoderSet& set) {
    std::vector<float> all;
    const float* samples = nullptr;
    uint32_t count = 0;
    while (Succeeded(set.ReadSamples(&samples, &count))) {
        all.insert(all.end(), samples, samples + count);
    }
    return all;
}

std::string LastLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        last = line;
    }
    return last;
}

TEST(DecoderSetTest, GetInterfaceChecksItsArguments) {
    void* module = dlopen(HF_TEST_PLUGIN_DIR "/libfake_high.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto getInterface = reinterpret_cast<GetInterfaceFunc>(dlsym(module, "GetInterface"));
    ASSERT_NE(getInterface, nullptr);

    EXPECT_EQ(getInterface(IID_IDecoder, nullptr), E_INVALIDARG);
    GUID other = IID_IDecoder;
    other.data4[7] ^= 1;
    auto* sentinel = reinterpret_cast<IDecoder*>(0x1234);
    IDecoder* slot = sentinel;
    EXPECT_EQ(getInterface(other, &slot), E_NOINTERFACE);
    EXPECT_EQ(slot, sentinel);

    IDecoder* first = nullptr;
    IDecoder* second = nullptr;
    ASSERT_EQ(getInterface(IID_IDecoder, &first), S_OK);
    ASSERT_EQ(getInterface(IID_IDecoder, &second), S_OK);
    EXPECT_NE(first, second);
    first->Release();
    second->Release();
    dlclose(module);
}

TEST(DecoderSetTest, HighestPriorityTakesTheFileAndOthersAreNotAsked) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_low", "fake_high"});
    DecoderSet set(dir.path());
    ASSERT_EQ(set.PluginCount(), 2u);
    EXPECT_EQ(set.PluginPriority(0), 100u);
    EXPECT_EQ(set.PluginPriority(1), 99u);

    const std::string log = dir.File("opens.log");
    WriteFakeAudio(dir.File("a.fake"), {{"log", log}}, {1, 2, 3});
    ASSERT_EQ(set.OpenFile(U16(dir.File("a.fake")).c_str()), S_OK);
    EXPECT_EQ(LastLine(log), "high");
    EXPECT_EQ(set.CurrentPlugin(), 0);
}

TEST(DecoderSetTest, RefusalFallsThroughToTheNextPlugin) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_low", "fake_high"});
    DecoderSet set(dir.path());
    const std::string log = dir.File("opens.log");
    WriteFakeAudio(dir.File("a.fake"), {{"accept", "low"}, {"log", log}}, {1, 2, 3});
    ASSERT_EQ(set.OpenFile(U16(dir.File("a.fake")).c_str()), S_OK);
    EXPECT_EQ(LastLine(log), "low");

    WriteFakeAudio(dir.File("none.fake"), {{"accept", "nobody"}}, {1});
    EXPECT_EQ(set.OpenFile(U16(dir.File("none.fake")).c_str()), E_FAIL);
    EXPECT_EQ(set.CurrentPlugin(), -1);
    const float* samples = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(set.ReadSamples(&samples, &count), E_FAIL);
}

TEST(DecoderSetTest, EqualPrioritiesOfferTheLaterFoundLibraryFirst) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_equal1", "fake_equal2"});
    // The order in which the folder lists its entries decides.
    std::vector<std::string> order;
    DIR* d = opendir(dir.path().c_str());
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.find("fake_equal") != std::string::npos) {
            order.push_back(name == "libfake_equal1.so" ? "equal1" : "equal2");
        }
    }
    closedir(d);
    ASSERT_EQ(order.size(), 2u);

    DecoderSet set(dir.path());
    const std::string log = dir.File("opens.log");
    WriteFakeAudio(dir.File("a.fake"), {{"log", log}}, {1});
    ASSERT_EQ(set.OpenFile(U16(dir.File("a.fake")).c_str()), S_OK);
    EXPECT_EQ(LastLine(log), order.back());
}

TEST(DecoderSetTest, LibrariesThatAreNoDecodersAreSkipped) {
    TempDir dir;
    InstallPlugins(dir.path(), {"no_interface", "fake_low"});
    std::ofstream(dir.File("junk.so")) << "not a library";
    DecoderSet set(dir.path());
    ASSERT_EQ(set.PluginCount(), 1u);
    EXPECT_EQ(set.PluginPriority(0), 99u);
    // The library without GetInterface was unloaded again.
    EXPECT_EQ(dlopen((dir.path() + "/libno_interface.so").c_str(), RTLD_NOW | RTLD_NOLOAD),
              nullptr);

    TempDir empty;
    DecoderSet none(empty.path());
    EXPECT_EQ(none.PluginCount(), 0u);
    EXPECT_EQ(none.OpenFile(u"/nonexistent"), E_FAIL);
    DecoderSet missing("/nonexistent/folder");
    EXPECT_EQ(missing.PluginCount(), 0u);
}

TEST(DecoderSetTest, ProgramFolderIsTheTestBinarysFolder) {
    EXPECT_EQ(DecoderSet::ProgramFolder(), std::string(HF_BIN_DIR));
}

struct ConversionCase {
    const char* name;
    std::map<std::string, std::string> keys;
    std::vector<int16_t> pcm;
    std::string extraBytes;
    HRESULT expected;
    std::vector<float> samples;
};

TEST(DecoderSetTest, ChunksAreConvertedToMonoFloatsAt22050) {
    std::vector<int16_t> stereo44(2000);  // 1000 frames, 4000 bytes
    for (size_t i = 0; i < stereo44.size(); ++i) {
        stereo44[i] = static_cast<int16_t>(i * 7 - 5000);
    }
    std::vector<float> stereoExpected;
    for (size_t frame = 0; frame < 1000; frame += 2) {
        const float sum =
            stereo44[2 * frame] * (1.0f / 32768) + stereo44[2 * frame + 1] * (1.0f / 32768);
        stereoExpected.push_back(sum * 0.5f);
    }
    std::vector<int16_t> mono(2000);
    std::vector<float> monoExpected(2000);
    for (size_t i = 0; i < mono.size(); ++i) {
        mono[i] = static_cast<int16_t>(i % 2 == 0 ? -32768 : 32767);
        monoExpected[i] = i % 2 == 0 ? -1.0f : 0.999969482421875f;
    }
    std::vector<ConversionCase> cases = {
        {"stereo 44100",
         {{"rate", "44100"}, {"channels", "2"}, {"chunk", "4000"}},
         stereo44,
         "",
         S_OK,
         stereoExpected},
        {"odd byte dropped", {{"chunk", "4001"}}, mono, "x", S_OK, monoExpected},
        {"11025 Hz", {{"rate", "11025"}}, mono, "", E_FAIL, {}},
        {"48000 Hz", {{"rate", "48000"}}, mono, "", E_FAIL, {}},
        {"8-bit", {{"bits", "8"}}, mono, "", E_FAIL, {}},
        {"no channels", {{"channels", "0"}}, mono, "", E_FAIL, {}},
    };
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_high"});
    DecoderSet set(dir.path());
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string payload;
        for (int16_t s : c.pcm) {
            payload.push_back(static_cast<char>(static_cast<uint16_t>(s) & 0xFF));
            payload.push_back(static_cast<char>(static_cast<uint16_t>(s) >> 8));
        }
        payload += c.extraBytes;
        WriteFakeAudioBytes(dir.File("c.fake"), c.keys, payload);
        ASSERT_EQ(set.OpenFile(U16(dir.File("c.fake")).c_str()), S_OK);
        const float* samples = nullptr;
        uint32_t count = 0;
        const HRESULT hr = set.ReadSamples(&samples, &count);
        ASSERT_EQ(hr, c.expected);
        if (hr == S_OK) {
            ASSERT_EQ(count, c.samples.size());
            for (uint32_t i = 0; i < count; ++i) {
                ASSERT_EQ(samples[i], c.samples[i]) << "sample " << i;
            }
        }
        // Appended to what the caller holds, the same samples; nothing on failure.
        ASSERT_EQ(set.OpenFile(U16(dir.File("c.fake")).c_str()), S_OK);
        SampleBuffer held = {0.5f};
        ASSERT_EQ(set.ReadSamples(held, &count), c.expected);
        SampleBuffer expected = {0.5f};
        expected.insert(expected.end(), c.samples.begin(), c.samples.end());
        EXPECT_EQ(held, expected);
        set.CloseFile();
    }
}

TEST(DecoderSetTest, EmptyChunkGivesNoSamplesAndEndOfStreamFollows) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_high"});
    DecoderSet set(dir.path());
    WriteFakeAudio(dir.File("e.fake"), {{"endless", "1"}}, {});
    ASSERT_EQ(set.OpenFile(U16(dir.File("e.fake")).c_str()), S_OK);
    const float* samples = reinterpret_cast<const float*>(0x1);
    uint32_t count = 77;
    EXPECT_EQ(set.ReadSamples(&samples, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(samples, nullptr);

    WriteFakeAudio(dir.File("f.fake"), {}, {100, 200});
    ASSERT_EQ(set.OpenFile(U16(dir.File("f.fake")).c_str()), S_OK);
    EXPECT_EQ(ReadAll(set).size(), 2u);
    EXPECT_EQ(set.ReadSamples(&samples, &count), E_END_OF_STREAM);
    // The decoder stays current after the end of its stream.
    DecoderInfo info;
    EXPECT_EQ(set.GetFileInfo(&info), S_OK);
    EXPECT_EQ(set.CloseFile(), S_OK);
}

TEST(DecoderSetTest, CallsWithoutAnOpenFileFail) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_high"});
    DecoderSet set(dir.path());
    DecoderInfo info;
    const float* samples = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(set.CloseFile(), E_FAIL);
    EXPECT_EQ(set.GetFileInfo(&info), E_FAIL);
    EXPECT_EQ(set.ReadSamples(&samples, &count), E_FAIL);
}

TEST(DecoderSetTest, SecondOpenReplacesTheFirstFile) {
    TempDir dir;
    InstallPlugins(dir.path(), {"fake_high"});
    DecoderSet set(dir.path());
    WriteFakeAudio(dir.File("one.fake"), {{"title", "One"}}, std::vector<int16_t>(10, 1000));
    WriteFakeAudio(dir.File("two.fake"), {{"title", "Two"}}, std::vector<int16_t>(3, -1000));
    ASSERT_EQ(set.OpenFile(U16(dir.File("one.fake")).c_str()), S_OK);
    ASSERT_EQ(set.OpenFile(U16(dir.File("two.fake")).c_str()), S_OK);
    DecoderInfo info;
    ASSERT_EQ(set.GetFileInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.title), u"Two");
    const std::vector<float> all = ReadAll(set);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_FLOAT_EQ(all[0], -1000.0f / 32768.0f);
}

TEST(DecoderContractTest, PathsSurviveTheUtf16RoundTrip) {
    const std::vector<std::string> names = {
        "plain.mp3",
        "Ünïcödé €.flac",
        "日本語の曲.ogg",
        "emoji 🎵.wav",
        std::string("latin1 \xE9t\xE9.mp3"),
        std::string("\xC0\x80 overlong"),
        std::string("\xED\xA0\x80 surrogate"),
        std::string("cut \xE2\x82"),
    };
    for (const std::string& name : names) {
        EXPECT_EQ(U16ToBytes(BytesToU16(name)), name);
    }
    EXPECT_EQ(BytesToU16("日本"), u"日本");
    EXPECT_EQ(U16ToBytes(u"\xD800x"), "\xEF\xBF\xBDx");

    char16_t field[kDecoderInfoTextLength];
    const std::u16string longText(300, u'a');
    CopyInfoText(field, longText);
    EXPECT_EQ(std::u16string(field).size(), 255u);
    std::u16string pairAtEnd(254, u'b');
    pairAtEnd += u"\U0001F3B5";
    CopyInfoText(field, pairAtEnd);
    EXPECT_EQ(std::u16string(field), std::u16string(254, u'b'));
}

}  // namespace
