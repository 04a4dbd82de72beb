// Mediadec and its media runtime, through the plug-in's own interface and
// through the real DecoderSet. Fixtures are generated here: WAV files written
// directly, the other formats encoded from them with the ffmpeg tool.
#include <dlfcn.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "decoder_contract.h"
#include "decoder_set.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPluginFile = "libmediadec.so";
constexpr const char* kRuntimeFile = "libharmonyfox-media.so.1";
constexpr double kSourceRate = 44100.0;
constexpr size_t kSourceSeconds = 6;
constexpr uint32_t kSeed = 7;

// Writes 16-bit PCM as a RIFF/WAVE file, with a LIST/INFO chunk for the tags
// given (INAM title, IART artist, IPRD album).
void WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, uint16_t channels,
              uint32_t rate, const std::map<std::string, std::string>& info = {},
              uint16_t bits = 16) {
    std::string list;
    for (const auto& [id, text] : info) {
        std::string value = text;
        value.push_back('\0');
        if (value.size() % 2 != 0) {
            value.push_back('\0');
        }
        const uint32_t size = static_cast<uint32_t>(text.size() + 1);
        list += id;
        list.append(reinterpret_cast<const char*>(&size), 4);
        list += value;
    }
    std::string data;
    if (bits == 8) {
        for (int16_t s : interleaved) {
            data.push_back(static_cast<char>((s >> 8) + 128));
        }
    } else {
        data.assign(reinterpret_cast<const char*>(interleaved.data()), interleaved.size() * 2);
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    std::string body = "WAVEfmt " + u32(16) + u16(1) + u16(channels) + u32(rate) +
                       u32(rate * align) + u16(align) + u16(bits);
    if (!list.empty()) {
        body += "LIST" + u32(static_cast<uint32_t>(list.size() + 4)) + "INFO" + list;
    }
    body += "data" + u32(static_cast<uint32_t>(data.size())) + data;
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << u32(static_cast<uint32_t>(body.size())) << body;
}

void Ffmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The source every encoded fixture is made from: a music-like signal at
// 44100 Hz, the same in both channels.
const std::vector<float>& Source() {
    static const std::vector<float> source = MusicLike(kSourceSeconds * 44100, kSeed, kSourceRate);
    return source;
}

// What a perfect decoder delivers at 22050 Hz: every second source sample
// (the signal holds nothing near or above 11025 Hz).
std::vector<float> SourceAt22050() {
    std::vector<float> out;
    for (size_t i = 0; i < Source().size(); i += 2) {
        out.push_back(Source()[i]);
    }
    return out;
}

// The files of this test process, made on first use.
class Fixtures {
  public:
    static Fixtures& Get() {
        static Fixtures fixtures;
        return fixtures;
    }

    // "tagged.wav" 44100 stereo with tags; "tagged.<ext>" encoded from it;
    // "mono22.wav" and "mono22.flac" in exactly the delivered format.
    std::string Path(const std::string& name) {
        const std::string path = m_dir.File(name);
        if (fs::exists(path)) {
            return path;
        }
        const std::string tags =
            " -metadata title=\"Morning Song\" -metadata artist=\"The Band\" -metadata "
            "album=\"First\" ";
        if (name == "tagged.wav") {
            std::vector<int16_t> pcm;
            for (int16_t s : ToPcm16(Source())) {
                pcm.push_back(s);
                pcm.push_back(s);
            }
            WriteWav(path, pcm, 2, 44100,
                     {{"INAM", "Morning Song"}, {"IART", "The Band"}, {"IPRD", "First"}});
        } else if (name == "mono22.wav") {
            WriteWav(path, ToPcm16(MusicLike(5 * 22050, kSeed + 1)), 1, 22050);
        } else if (name == "mono22.flac") {
            Ffmpeg("-i " + Path("mono22.wav") + " " + path);
        } else if (name == "tagged.mp3") {
            Ffmpeg("-i " + Path("tagged.wav") + tags + "-c:a libmp3lame -b:a 128k " + path);
        } else if (name == "tagged.wma") {
            Ffmpeg("-i " + Path("tagged.wav") + tags + "-c:a wmav2 -b:a 128k " + path);
        } else if (name == "tagged.flac") {
            Ffmpeg("-i " + Path("tagged.wav") + tags + path);
        } else if (name == "tagged.ogg") {
            Ffmpeg("-i " + Path("tagged.wav") + tags + "-c:a libvorbis -q:a 5 " + path);
        } else if (name == "video.mkv") {
            Ffmpeg(
                "-f lavfi -i testsrc=size=64x48:rate=10:duration=3 -f lavfi -i "
                "sine=frequency=660:sample_rate=44100:duration=3 -map 0:v -map 1:a "
                "-c:v mpeg4 -c:a flac " +
                path);
        } else if (name == "videoonly.mkv") {
            Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mpeg4 " + path);
        } else if (name == "text.mp3") {
            std::ofstream(path) << "This is no audio file, whatever its name says.\n";
        }
        return path;
    }

  private:
    TempDir m_dir;
};

// A folder with the plug-in and, unless told otherwise, its runtime.
std::string PluginFolder(TempDir& dir, bool withRuntime = true) {
    fs::copy_file(std::string(HF_BIN_DIR) + "/" + kPluginFile, dir.File(kPluginFile));
    if (withRuntime) {
        fs::copy_file(std::string(HF_BIN_DIR) + "/" + kRuntimeFile, dir.File(kRuntimeFile));
    }
    return dir.path();
}

// The plug-in library loaded directly, for tests of its own interface.
class Plugin {
  public:
    explicit Plugin(const std::string& folder) {
        m_module = dlopen((folder + "/" + kPluginFile).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_module != nullptr) {
            m_getInterface = reinterpret_cast<GetInterfaceFunc>(dlsym(m_module, kGetInterfaceName));
        }
    }
    ~Plugin() {
        if (m_module != nullptr) {
            dlclose(m_module);
        }
    }
    GetInterfaceFunc getInterface() const { return m_getInterface; }

    struct Release {
        void operator()(IDecoder* d) const { d->Release(); }
    };
    using Decoder = std::unique_ptr<IDecoder, Release>;

    Decoder Create() const {
        IDecoder* decoder = nullptr;
        EXPECT_EQ(m_getInterface(IID_IDecoder, &decoder), S_OK);
        return Decoder(decoder);
    }

  private:
    void* m_module = nullptr;
    GetInterfaceFunc m_getInterface = nullptr;
};

struct Decoded {
    std::vector<float> samples;
    HRESULT end = S_OK;
};

Decoded DecodeAll(DecoderSet& set, const std::string& path) {
    Decoded out;
    out.end = set.OpenFile(U16(path).c_str());
    if (Failed(out.end)) {
        return out;
    }
    for (;;) {
        const float* chunk = nullptr;
        uint32_t count = 0;
        out.end = set.ReadSamples(&chunk, &count);
        if (Failed(out.end)) {
            break;
        }
        out.samples.insert(out.samples.end(), chunk, chunk + count);
    }
    set.CloseFile();
    return out;
}

// Pearson correlation of a and b with b shifted by lag, summed directly.
double CorrelationAt(const std::vector<float>& a, const std::vector<float>& b, long lag,
                     size_t from, size_t count) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    size_t n = 0;
    for (size_t i = from; i < from + count && i < a.size(); ++i) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || j >= static_cast<long>(b.size())) {
            continue;
        }
        const double x = a[i], y = b[static_cast<size_t>(j)];
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
        ++n;
    }
    if (n == 0) {
        return 0;
    }
    const double cov = sab - sa * sb / n;
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0;
}

// The best correlation of decoded against reference over shifts of up to
// maxLag samples: the lag is found on one second, the figure taken over all.
double AlignedCorrelation(const std::vector<float>& reference, const std::vector<float>& decoded,
                          long maxLag) {
    long bestLag = 0;
    double best = -2;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const double c = CorrelationAt(reference, decoded, lag, 22050, 22050);
        if (c > best) {
            best = c, bestLag = lag;
        }
    }
    return CorrelationAt(reference, decoded, bestLag, 0, reference.size());
}

std::u16string Text(const char16_t (&field)[kDecoderInfoTextLength]) {
    return std::u16string(field);
}

// Every format decodes end to end through the DecoderSet, by Mediadec, close
// to the signal it was made from, with its tags and duration.
TEST(MediadecTest, DecodesEachFormatThroughDecoderSet) {
    struct Case {
        const char* file;
        bool tagsExpected;
        double minCorrelation;
    };
    const Case cases[] = {
        {"tagged.wav", true, 0.999}, {"tagged.flac", true, 0.999}, {"tagged.mp3", true, 0.99},
        {"tagged.wma", true, 0.99},  {"tagged.ogg", true, 0.99},
    };
    TempDir dir;
    DecoderSet set(PluginFolder(dir));
    ASSERT_EQ(set.PluginCount(), 1u);
    const std::vector<float> reference = SourceAt22050();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = Fixtures::Get().Path(c.file);
        ASSERT_EQ(set.OpenFile(U16(path).c_str()), S_OK);
        EXPECT_EQ(set.PluginPath(static_cast<size_t>(set.CurrentPlugin())), dir.File(kPluginFile));
        DecoderInfo info;
        std::memset(&info, 0xAB, sizeof(info));
        ASSERT_EQ(set.GetFileInfo(&info), S_OK);
        EXPECT_NEAR(info.durationMs, kSourceSeconds * 1000.0, kSourceSeconds * 10.0);
        EXPECT_GT(info.bitrate, 0u);
        EXPECT_EQ(info.channels, 0u);
        EXPECT_EQ(info.samplesPerSec, 0u);
        EXPECT_EQ(Text(info.title), u"Morning Song");
        EXPECT_EQ(Text(info.artist), u"The Band");
        EXPECT_EQ(Text(info.album), u"First");
        set.CloseFile();

        const Decoded decoded = DecodeAll(set, path);
        EXPECT_EQ(decoded.end, E_END_OF_STREAM);
        EXPECT_NEAR(static_cast<double>(decoded.samples.size()), reference.size(),
                    reference.size() * 0.01);
        EXPECT_GE(AlignedCorrelation(reference, decoded.samples, 2400), c.minCorrelation);
    }
}

// Lossless files in the delivered format arrive sample for sample.
TEST(MediadecTest, LosslessFilesAreExactToOneStep) {
    const std::vector<int16_t> pcm = ToPcm16(MusicLike(5 * 22050, kSeed + 1));
    TempDir dir;
    DecoderSet set(PluginFolder(dir));
    for (const char* file : {"mono22.wav", "mono22.flac"}) {
        SCOPED_TRACE(file);
        const Decoded decoded = DecodeAll(set, Fixtures::Get().Path(file));
        EXPECT_EQ(decoded.end, E_END_OF_STREAM);
        ASSERT_EQ(decoded.samples.size(), pcm.size());
        size_t off = 0;
        for (size_t i = 0; i < pcm.size(); ++i) {
            off += std::fabs(decoded.samples[i] * 32768.0 - pcm[i]) > 1.0;
        }
        EXPECT_EQ(off, 0u);
    }
}

// Without its runtime the plug-in is still created, refuses every file, and
// the set goes on with the next plug-in.
TEST(MediadecTest, WithoutRuntimeEveryOpenFails) {
    TempDir dir;
    Plugin plugin(PluginFolder(dir, false));
    ASSERT_NE(plugin.getInterface(), nullptr);
    auto decoder = plugin.Create();
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->GetPriority(), 100u);
    EXPECT_EQ(decoder->Open(U16(Fixtures::Get().Path("mono22.wav")).c_str(), nullptr), E_FAIL);
    DecoderInfo info{};
    EXPECT_EQ(decoder->GetInfo(&info), E_FAIL);
    const void* data = nullptr;
    uint32_t bytes = 0;
    DecoderFormat format{};
    EXPECT_EQ(decoder->Read(&data, &bytes, &format), E_FAIL);

    DecoderSet alone(dir.path());
    ASSERT_EQ(alone.PluginCount(), 1u);
    EXPECT_EQ(alone.OpenFile(U16(Fixtures::Get().Path("mono22.wav")).c_str()), E_FAIL);
}

// With the program's other plug-in beside it, that one takes the file.
TEST(MediadecTest, WithoutRuntimeTheNextPluginTakesTheFile) {
    TempDir dir;
    PluginFolder(dir, false);
    const std::string streamdec = std::string(HF_BIN_DIR) + "/libstreamdec.so";
    if (!fs::exists(streamdec)) {
        GTEST_SKIP() << "libstreamdec.so is not built";
    }
    fs::copy_file(streamdec, dir.File("libstreamdec.so"));
    DecoderSet both(dir.path());
    ASSERT_EQ(both.OpenFile(U16(Fixtures::Get().Path("mono22.wav")).c_str()), S_OK);
    EXPECT_EQ(both.PluginPath(static_cast<size_t>(both.CurrentPlugin())),
              dir.File("libstreamdec.so"));
}

TEST(MediadecTest, ContractArgumentsAndStates) {
    TempDir dir;
    Plugin plugin(PluginFolder(dir));
    EXPECT_EQ(plugin.getInterface()(IID_IDecoder, nullptr), E_INVALIDARG);
    GUID other = IID_IDecoder;
    other.data4[7] ^= 1;
    IDecoder* untouched = reinterpret_cast<IDecoder*>(0x1234);
    EXPECT_EQ(plugin.getInterface()(other, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, reinterpret_cast<IDecoder*>(0x1234));

    auto decoder = plugin.Create();
    const void* data = nullptr;
    uint32_t bytes = 0;
    DecoderFormat format{};
    DecoderInfo info{};
    EXPECT_EQ(decoder->Read(&data, &bytes, &format), E_FAIL);
    EXPECT_EQ(decoder->GetInfo(&info), E_FAIL);
    EXPECT_EQ(decoder->GetInfo(nullptr), E_INVALIDARG);
    EXPECT_EQ(decoder->Close(), S_OK);
    EXPECT_EQ(decoder->Open(nullptr, nullptr), E_INVALIDARG);

    ASSERT_EQ(decoder->Open(U16(Fixtures::Get().Path("mono22.wav")).c_str(), nullptr), S_OK);
    EXPECT_EQ(decoder->Read(nullptr, &bytes, &format), E_INVALIDARG);
    EXPECT_EQ(decoder->Read(&data, nullptr, &format), E_INVALIDARG);
    EXPECT_EQ(decoder->Read(&data, &bytes, nullptr), E_INVALIDARG);
    ASSERT_EQ(decoder->Read(&data, &bytes, &format), S_OK);
    EXPECT_GT(bytes, 0u);

    // Files that are no audio, or no file at all, are refused without harm.
    const std::string fifo = dir.File("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string garbage = dir.File("noise.mp3");
    {
        std::ofstream out(garbage, std::ios::binary);
        uint32_t x = 12345;
        for (int i = 0; i < 20000; ++i) {
            x = x * 1664525u + 1013904223u;
            out.put(static_cast<char>(x >> 24));
        }
    }
    for (const std::string& path : {Fixtures::Get().Path("text.mp3"), dir.File("missing.mp3"),
                                    dir.path(), fifo, Fixtures::Get().Path("videoonly.mkv")}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(Failed(decoder->Open(U16(path).c_str(), nullptr)));
        EXPECT_EQ(decoder->Read(&data, &bytes, &format), E_FAIL);
    }
    // Random bytes may pass for some format; then they decode to an end.
    if (Succeeded(decoder->Open(U16(garbage).c_str(), nullptr))) {
        HRESULT hr = S_OK;
        for (int i = 0; i < 100000 && hr == S_OK; ++i) {
            hr = decoder->Read(&data, &bytes, &format);
        }
        EXPECT_TRUE(Failed(hr));
    }
}

// The output and format chosen are exactly the ones asked for; a format that
// no output offers is refused.
TEST(MediadecTest, DeliversExactlyTheWantedFormat) {
    struct Case {
        DecoderFormat wanted;
        bool accepted;
    };
    const Case cases[] = {
        {{1, 16, 1, 22050}, true},  {{1, 16, 2, 44100}, true},  {{7, 16, 2, 48000}, true},
        {{1, 16, 1, 11025}, true},  {{1, 16, 1, 12345}, false}, {{1, 8, 1, 22050}, false},
        {{1, 24, 2, 44100}, false}, {{1, 16, 6, 44100}, false}, {{1, 16, 0, 22050}, false},
    };
    TempDir dir;
    Plugin plugin(PluginFolder(dir));
    auto decoder = plugin.Create();
    const std::u16string path = U16(Fixtures::Get().Path("tagged.flac"));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.wanted.channels) + " x " +
                     std::to_string(c.wanted.bitsPerSample) + " bits at " +
                     std::to_string(c.wanted.samplesPerSec));
        const HRESULT opened = decoder->Open(path.c_str(), &c.wanted);
        if (!c.accepted) {
            EXPECT_EQ(opened, E_FAIL);
            continue;
        }
        ASSERT_EQ(opened, S_OK);
        uint64_t total = 0;
        const void* data = nullptr;
        uint32_t bytes = 0;
        DecoderFormat format{};
        HRESULT hr;
        while ((hr = decoder->Read(&data, &bytes, &format)) == S_OK) {
            EXPECT_EQ(std::memcmp(&format, &c.wanted, sizeof(format)), 0);
            total += bytes;
        }
        EXPECT_EQ(hr, E_END_OF_STREAM);
        const double expected = kSourceSeconds * c.wanted.samplesPerSec * c.wanted.channels * 2.0;
        EXPECT_NEAR(static_cast<double>(total), expected, expected * 0.002);
    }
    // A null format means 16-bit mono 22050 Hz.
    ASSERT_EQ(decoder->Open(path.c_str(), nullptr), S_OK);
    const void* data = nullptr;
    uint32_t bytes = 0;
    DecoderFormat format{};
    ASSERT_EQ(decoder->Read(&data, &bytes, &format), S_OK);
    EXPECT_EQ(std::memcmp(&format, &kDefaultDecoderFormat, sizeof(format)), 0);
}

// A file with a video stream is read through its audio output only.
TEST(MediadecTest, VideoFileIsReadThroughItsAudio) {
    TempDir dir;
    DecoderSet set(PluginFolder(dir));
    const Decoded decoded = DecodeAll(set, Fixtures::Get().Path("video.mkv"));
    EXPECT_EQ(decoded.end, E_END_OF_STREAM);
    ASSERT_NEAR(static_cast<double>(decoded.samples.size()), 3 * 22050.0, 22050 * 0.03);
    const std::vector<float> tone = Sine(3 * 22050, 660.0, 0.125);
    EXPECT_GE(AlignedCorrelation(tone, decoded.samples, 100), 0.99);
}

// After the last sample the plug-in stays opened: the end repeats and the
// properties can still be read.
TEST(MediadecTest, EndOfStreamKeepsTheFileDescribed) {
    TempDir dir;
    Plugin plugin(PluginFolder(dir));
    auto decoder = plugin.Create();
    ASSERT_EQ(decoder->Open(U16(Fixtures::Get().Path("tagged.mp3")).c_str(), nullptr), S_OK);
    const void* data = nullptr;
    uint32_t bytes = 0;
    DecoderFormat format{};
    HRESULT hr;
    int chunks = 0;
    while ((hr = decoder->Read(&data, &bytes, &format)) == S_OK) {
        ++chunks;
    }
    EXPECT_GT(chunks, 1);
    EXPECT_EQ(hr, static_cast<HRESULT>(0x80040001u));
    EXPECT_EQ(decoder->Read(&data, &bytes, &format), E_END_OF_STREAM);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(bytes, 0u);
    DecoderInfo info{};
    EXPECT_EQ(decoder->GetInfo(&info), S_OK);
    EXPECT_EQ(Text(info.title), u"Morning Song");
    // Closing ends it all; a new Open starts from the beginning.
    EXPECT_EQ(decoder->Close(), S_OK);
    EXPECT_EQ(decoder->GetInfo(&info), E_FAIL);
    ASSERT_EQ(decoder->Open(U16(Fixtures::Get().Path("tagged.mp3")).c_str(), nullptr), S_OK);
    EXPECT_EQ(decoder->Read(&data, &bytes, &format), S_OK);
}

// Properties: the duration in 100-ns units becomes milliseconds, long titles
// are cut to 255 units, a file without tags reports empty strings.
TEST(MediadecTest, PropertiesFromTheHeaderAttributes) {
    TempDir dir;
    Plugin plugin(PluginFolder(dir));
    auto decoder = plugin.Create();

    // 240 s of 8-bit mono at 8000 Hz: a "Duration" of 2,400,000,000.
    std::string title;
    while (title.size() < 300) {
        title += "0123456789";
    }
    const std::string longFile = dir.File("long.wav");
    WriteWav(longFile, std::vector<int16_t>(240 * 8000, 0), 1, 8000, {{"INAM", title}}, 8);
    ASSERT_EQ(decoder->Open(U16(longFile).c_str(), nullptr), S_OK);
    DecoderInfo info;
    std::memset(&info, 0xFF, sizeof(info));
    ASSERT_EQ(decoder->GetInfo(&info), S_OK);
    EXPECT_EQ(info.durationMs, 240000u);
    EXPECT_EQ(info.bitrate, 64000u);
    EXPECT_EQ(Text(info.title), U16(title.substr(0, 255)));
    EXPECT_EQ(info.title[255], 0);
    EXPECT_EQ(Text(info.artist), u"");

    // No tags at all: success with three empty strings, nothing left over.
    ASSERT_EQ(decoder->Open(U16(Fixtures::Get().Path("mono22.wav")).c_str(), nullptr), S_OK);
    ASSERT_EQ(decoder->GetInfo(&info), S_OK);
    EXPECT_EQ(info.durationMs, 5000u);
    EXPECT_EQ(info.bitrate, 22050u * 16u);
    for (const char16_t* field : {info.title, info.artist, info.album}) {
        EXPECT_EQ(field[0], 0);
    }
    EXPECT_EQ(info.title[1], 0);
}

// Objects created and released on many threads at once share one loading of
// the runtime; when the last goes the runtime is unloaded.
TEST(MediadecTest, RuntimeLoadsOnceAcrossThreads) {
    TempDir dir;
    Plugin plugin(PluginFolder(dir));
    const std::u16string path = U16(Fixtures::Get().Path("mono22.wav"));
    constexpr int kThreads = 8;
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        std::latch start(kThreads);
        std::vector<int> samples(kThreads, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                IDecoder* decoder = nullptr;
                if (Failed(plugin.getInterface()(IID_IDecoder, &decoder)) || decoder == nullptr) {
                    return;
                }
                if (decoder->Open(path.c_str(), nullptr) == S_OK) {
                    const void* data = nullptr;
                    uint32_t bytes = 0;
                    DecoderFormat format{};
                    while (decoder->Read(&data, &bytes, &format) == S_OK) {
                        samples[t] += static_cast<int>(bytes / 2);
                    }
                }
                decoder->Release();
            });
        }
        for (std::thread& th : threads) {
            th.join();
        }
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(samples[t], 5 * 22050) << "round " << round << " thread " << t;
        }
        void* still = dlopen(dir.File(kRuntimeFile).c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(still, nullptr) << "the runtime stays loaded with no object left";
        if (still != nullptr) {
            dlclose(still);
        }
    }
}

// A damaged file decodes as far as it can and then ends; it never hangs.
TEST(MediadecTest, DamagedFilesEndTheStream) {
    TempDir dir;
    DecoderSet set(PluginFolder(dir));
    for (const char* name : {"tagged.mp3", "tagged.flac", "tagged.ogg", "tagged.wma"}) {
        SCOPED_TRACE(name);
        std::ifstream in(Fixtures::Get().Path(name), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Overwrite a stretch in the middle and cut the last third off.
        for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000 && i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(i * 131);
        }
        bytes.resize(bytes.size() * 2 / 3);
        const std::string damaged = dir.File(std::string("damaged-") + name);
        std::ofstream(damaged, std::ios::binary) << bytes;
        const Decoded decoded = DecodeAll(set, damaged);
        if (decoded.end != E_FAIL) {
            EXPECT_TRUE(Failed(decoded.end));
            EXPECT_LT(decoded.samples.size(), kSourceSeconds * 22050);
        }
    }
}

}  // namespace
