// harmonyfox-cli scan with the real plug-ins beside it, on a small corpus of
// real formats: WAV written here, MP3, FLAC and Ogg Vorbis encoded from it by
// the ffmpeg tool, with and without tags, at two bit rates, one with a silent
// lead-in and one 6 dB quieter.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRate = 22050;
constexpr size_t kLength = kRate * 20;

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 16-bit mono RIFF/WAVE file.
void WriteWav(const std::string& path, const std::vector<float>& signal) {
    const std::vector<int16_t> pcm = ToPcm16(signal);
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    std::string out = "RIFF";
    auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    auto u16 = [&out](uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    u32(36 + dataBytes);
    out += "WAVEfmt ";
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    out += "data";
    u32(dataBytes);
    for (int16_t s : pcm) {
        u16(static_cast<uint16_t>(s));
    }
    std::ofstream(path, std::ios::binary) << out;
}

bool Ffmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments;
    return std::system(command.c_str()) == 0;
}

bool Available() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0 &&
           fs::exists(std::string(HF_BIN_DIR) + "/libstreamdec.so") &&
           fs::exists(std::string(HF_BIN_DIR) + "/libmediadec.so");
}

struct Scanned {
    int status = -1;
    std::multiset<std::pair<std::string, std::string>> pairs;
    std::string err;
};

// extra: more arguments, quoted for the shell.
Scanned Scan(const TempDir& dir, const std::string& extra = "") {
    const std::string out = dir.File("out.tsv");
    const std::string err = dir.File("err.txt");
    const std::string command = std::string(HF_BIN_DIR) + "/harmonyfox-cli scan --cache '" +
                                dir.File("cache.dat") + "' " + extra + " '" + dir.File("music") +
                                "' >'" + out + "' 2>'" + err + "'";
    Scanned scanned;
    const int raw = std::system(command.c_str());
    scanned.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    scanned.err = Slurp(err);
    std::istringstream in(Slurp(out));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        std::string a;
        std::string b;
        std::getline(cells, a, '\t');
        std::getline(cells, b, '\t');
        scanned.pairs.insert(
            std::minmax(std::string(fs::path(a).filename()), std::string(fs::path(b).filename())));
    }
    return scanned;
}

TEST(ScanFormatsTest, EveryCopyOfAPieceAndNothingElse) {
    if (!Available()) {
        GTEST_SKIP() << "needs the ffmpeg tool and the built plug-ins";
    }
    TempDir dir;
    const std::string music = dir.File("music");
    fs::create_directories(music + "/lossy");
    struct Piece {
        const char* name;
        uint32_t seed;
        const char* title;
        const char* artist;
    };
    const Piece pieces[] = {{"morning", 1, "Morning Song", "The Larks"},
                            {"harbour", 2, "Harbour Lights", "Fog Horns"},
                            {"winter", 3, "Winter Dance", "Ice Quartet"}};
    std::multiset<std::pair<std::string, std::string>> expected;
    for (const Piece& p : pieces) {
        const std::string base = music + "/" + p.name;
        WriteWav(base + ".wav", ::Piece(kLength, p.seed));
        const std::string tags =
            std::string(" -metadata title='") + p.title + "' -metadata artist='" + p.artist + "' ";
        const std::string in = "-i '" + base + ".wav' ";
        ASSERT_TRUE(Ffmpeg(in + "-c:a libmp3lame -b:a 128k" + tags + "'" + music + "/lossy/" +
                           p.name + "-128k.mp3'"));
        ASSERT_TRUE(Ffmpeg(in + "-af adelay=2000:all=1 -c:a libmp3lame -b:a 64k" + tags + "'" +
                           music + "/lossy/" + p.name + "-leadin.mp3'"));
        ASSERT_TRUE(Ffmpeg(in + "-c:a flac" + tags + "'" + base + ".flac'"));
        ASSERT_TRUE(Ffmpeg(in + "-af volume=-6dB -c:a libvorbis -q:a 3" + tags + "'" + music +
                           "/lossy/" + p.name + "-quiet.ogg'"));
        const std::vector<std::string> names = {
            std::string(p.name) + ".wav", std::string(p.name) + "-128k.mp3",
            std::string(p.name) + "-leadin.mp3", std::string(p.name) + ".flac",
            std::string(p.name) + "-quiet.ogg"};
        for (size_t i = 0; i < names.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                expected.insert(std::minmax(names[i], names[j]));
            }
        }
    }

    const Scanned first = Scan(dir);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.pairs, expected) << first.err;
    EXPECT_NE(first.err.find("15 files done of 15 found; 15 cached"), std::string::npos)
        << first.err;

    // The cache holds every Grip: with every file spoilt (its size and time
    // kept, so that it looks unchanged), a rescan still lists the same pairs,
    // so nothing was decoded again.
    const auto cacheSize = fs::file_size(dir.File("cache.dat"));
    for (const auto& entry : fs::recursive_directory_iterator(music)) {
        if (entry.is_regular_file()) {
            const auto time = fs::last_write_time(entry.path());
            const std::string spoilt(entry.file_size(), 's');
            std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << spoilt;
            fs::last_write_time(entry.path(), time);
        }
    }
    const Scanned again = Scan(dir);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.pairs, expected);
    EXPECT_EQ(fs::file_size(dir.File("cache.dat")), cacheSize);
}

// Silence resembles nothing: a file without music gives no fingerprint and
// is skipped as silent, whatever its format; a song after a long silence is
// found by its music.
TEST(ScanFormatsTest, SilentFilesAreSkippedAndHiddenTracksFoundByTheirMusic) {
    if (!Available()) {
        GTEST_SKIP() << "needs the ffmpeg tool and the built plug-ins";
    }
    TempDir dir;
    const std::string music = dir.File("music");
    fs::create_directories(music);
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        WriteWav(music + "/song" + std::to_string(seed) + ".wav", ::Piece(kLength, seed));
    }
    const std::vector<float> silence(60 * kRate, 0.0f);
    WriteWav(music + "/silence.wav", silence);
    const std::string in = "-i '" + music + "/silence.wav' ";
    ASSERT_TRUE(Ffmpeg(in + "-c:a flac '" + music + "/silence.flac'"));
    ASSERT_TRUE(Ffmpeg(in + "-c:a libmp3lame -b:a 128k '" + music + "/silence.mp3'"));
    std::vector<float> hidden(65 * kRate, 0.0f);
    const std::vector<float> song = ::Piece(kLength, 1);
    hidden.insert(hidden.end(), song.begin(), song.end());
    WriteWav(music + "/hidden.wav", hidden);

    const Scanned scanned = Scan(dir, "--skipped '" + dir.File("skipped.tsv") + "'");
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    const std::multiset<std::pair<std::string, std::string>> expected = {
        {"hidden.wav", "song1.wav"}};
    EXPECT_EQ(scanned.pairs, expected);
    std::set<std::string> skipped;
    std::istringstream lines(Slurp(dir.File("skipped.tsv")));
    for (std::string line; std::getline(lines, line);) {
        skipped.insert(fs::path(line).filename().string());
    }
    EXPECT_EQ(skipped, (std::set<std::string>{"silence.flac\tsilent", "silence.mp3\tsilent",
                                              "silence.wav\tsilent"}));
}

}  // namespace
