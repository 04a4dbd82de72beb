// The verdict on a listed pair, from files of equal and unequal bytes, FLAC
// signatures that agree or are unset, decoded samples that agree or differ
// by one sample, and the pass's record.
#include "pair_verdict.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "analyzer.h"
#include "test_files.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A FLAC head: "fLaC", the STREAMINFO block header, 18 bytes of stream
// facts and the MD5 signature.
std::string FlacHead(char md5Byte, char fact) {
    return std::string("fLaC") + std::string("\x00\x00\x00\x22", 4) + std::string(18, fact) +
           std::string(16, md5Byte) + "frames";
}

TEST(PairVerdictTest, EachKindOfCopy) {
    TempDir dir;
    Write(dir.File("a"), "the same bytes");
    Write(dir.File("a copy"), "the same bytes");
    Write(dir.File("same size"), "the sane bytes");
    Write(dir.File("longer"), "the same bytes and more");
    Write(dir.File("a.flac"), FlacHead('\x5a', 1));
    Write(dir.File("b.flac"), FlacHead('\x5a', 2));
    Write(dir.File("unsigned a.flac"), FlacHead('\0', 1));
    Write(dir.File("unsigned b.flac"), FlacHead('\0', 2));
    // Equal samples in files of other bytes (another title), and the same
    // samples with one changed near the end of the analysed window.
    InstallPlugins(dir.path(), {"fake_high"});
    Analyzer decoder(dir.path());
    const std::vector<int16_t> pcm = ToPcm16(MusicLike(20 * 22050, 7));
    std::vector<int16_t> touched = pcm;
    touched[touched.size() - 3 * 22050] += 1;
    WriteFakeAudio(dir.File("x.fake"), {{"title", "x"}, {"rate", "22050"}}, pcm);
    WriteFakeAudio(dir.File("y.fake"), {{"title", "why"}, {"rate", "22050"}}, pcm);
    WriteFakeAudio(dir.File("z.fake"), {{"title", "z"}, {"rate", "22050"}}, touched);
    struct Case {
        const char* name;
        const char* file1;
        const char* file2;
        bool content;
        int32_t shift;
        bool narrow;
        bool sameFingerprint;
        Verdict verdict;
        float offset;
    };
    const Case cases[] = {
        {"equal bytes", "a", "a copy", true, 0, false, false, Verdict::kSameFile, 0.0f},
        {"equal bytes, tags only", "a", "a copy", false, 0, false, false, Verdict::kSameFile, 0.0f},
        {"equal size, other bytes", "a", "same size", true, 0, false, false,
         Verdict::kSameRecording, 0.0f},
        {"equal samples", "x.fake", "y.fake", true, 0, false, true, Verdict::kSameAudio, 0.0f},
        {"one sample differs", "x.fake", "z.fake", true, 0, false, true, Verdict::kSameRecording,
         0.0f},
        {"equal fingerprints, no audio", "a", "longer", true, 0, false, true,
         Verdict::kSameRecording, 0.0f},
        {"equal FLAC signatures", "a.flac", "b.flac", true, 3, false, false, Verdict::kSameAudio,
         0.9f},
        {"unset FLAC signatures", "unsigned a.flac", "unsigned b.flac", true, 0, false, false,
         Verdict::kSameRecording, 0.0f},
        {"starts later", "a", "longer", true, 7, true, false, Verdict::kShifted, 2.1f},
        {"starts earlier", "a", "longer", true, -27, false, false, Verdict::kShifted, -8.1f},
        {"narrow band", "a", "longer", true, 0, true, false, Verdict::kBandLimited, 0.0f},
        {"tags only", "a", "longer", false, 0, false, false, Verdict::kTagsOnly, 0.0f},
        {"a file gone", "a", "gone", true, 0, false, false, Verdict::kSameRecording, 0.0f},
        {"a folder", "a", ".", false, 0, false, false, Verdict::kTagsOnly, 0.0f},
    };
    for (const Case& c : cases) {
        DuplicatePair pair;
        pair.path1 = U16(dir.File(c.file1));
        pair.path2 = U16(dir.File(c.file2));
        pair.contentMatch = c.content;
        pair.shift = c.shift;
        pair.narrowBand = c.narrow;
        pair.sameFingerprint = c.sameFingerprint;
        const PairVerdict got = JudgeVerdict(pair, &decoder);
        EXPECT_EQ(VerdictName(got.verdict), VerdictName(c.verdict)) << c.name;
        EXPECT_NEAR(got.offsetSeconds, c.offset, 1e-5f) << c.name;
    }
}

}  // namespace
