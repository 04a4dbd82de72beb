// Crafted files that once kept the plug-ins busy for minutes, offered to
// every plug-in of the program's folder: each must be refused. How fast is
// measured by hand, not here.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "audio_fixtures.h"
#include "decoder_set.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(CraftedFilesTest, WavFilesWithoutAudioAreRefusedByEveryPlugin) {
    // RIFF, WAVE and a 16-byte format chunk for 16-bit stereo 44100 Hz PCM.
    const std::string header(
        "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 36);
    struct Case {
        const char* name;
        std::string head;
        uint64_t size;  // the rest is zeros (a hole, where the file system allows)
    };
    const Case cases[] = {
        {"zeros.wav", header, 8u << 20},
        {"list.wav", header + std::string("LIST\xFF\xFF\xFF\xFF", 8), 5ull << 30},
    };
    TempDir dir;
    DecoderSet set(HF_BIN_DIR);
    ASSERT_GE(set.PluginCount(), 2u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        ASSERT_TRUE(WriteBytes(path, c.head));
        fs::resize_file(path, c.size);
        EXPECT_TRUE(Failed(set.OpenFile(U16(path).c_str())));
        fs::remove(path);
    }
}

}  // namespace
