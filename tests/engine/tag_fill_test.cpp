// The keeper's tags filled from its copies. Fixtures are encoded by the
// ffmpeg tool from generated tones; decoded audio is compared through it too.
#include "tag_fill.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "tag_pictures.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string> kCodecs = {
    {"mp3", "-c:a libmp3lame -b:a 64k"}, {"flac", "-c:a flac"},
    {"ogg", "-c:a libvorbis -q:a 2"},    {"m4a", "-c:a aac -b:a 64k"},
    {"wma", "-c:a wmav2 -b:a 64k"},
};

bool Ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -loglevel error -y " + arguments).c_str()) == 0;
}

// A two-second stereo tone in the format of path's extension, without tags.
std::string Encode(const TempDir& dir, const std::string& name, int frequency) {
    const std::string path = dir.File(name);
    const std::string codec = kCodecs.at(fs::path(name).extension().string().substr(1));
    EXPECT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=" + std::to_string(frequency) +
                       ":sample_rate=44100:duration=2 -ac 2 -map_metadata -1 " + codec + " " +
                       ShellQuoted(path)))
        << path;
    return path;
}

// The MD5 of every decoded sample of the first audio stream, as 32-bit floats.
std::string DecodedHash(const std::string& path) {
    const std::string command = "ffmpeg -nostdin -loglevel error -i " + ShellQuoted(path) +
                                " -map 0:a:0 -c:a pcm_f32le -f md5 -";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        pclose(pipe);
    }
    return out;
}

// The attached picture as ffmpeg finds it: the reader of no code of ours.
std::string PictureBytes(const TempDir& dir, const std::string& path) {
    const std::string out = dir.File("extracted.png");
    fs::remove(out);
    Ffmpeg("-i " + ShellQuoted(path) + " -map 0:v:0 -c copy -f image2 " + ShellQuoted(out));
    return ReadWholeFile(out);
}

struct Tags {
    std::string title, artist, album, genre;
    unsigned year = 0, track = 0;
};

Tags ReadTags(const std::string& path) {
    Tags t;
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || ref.tag() == nullptr) {
        return t;
    }
    TagLib::Tag* tag = ref.tag();
    return {tag->title().to8Bit(true),
            tag->artist().to8Bit(true),
            tag->album().to8Bit(true),
            tag->genre().to8Bit(true),
            tag->year(),
            tag->track()};
}

void SetTags(const std::string& path, const Tags& t, const std::string& cover) {
    TagLib::FileRef ref(path.c_str(), false);
    ASSERT_FALSE(ref.isNull()) << path;
    TagLib::Tag* tag = ref.tag();
    using TagLib::String;
    tag->setTitle(String(t.title, String::UTF8));
    tag->setArtist(String(t.artist, String::UTF8));
    tag->setAlbum(String(t.album, String::UTF8));
    tag->setGenre(String(t.genre, String::UTF8));
    tag->setYear(t.year);
    tag->setTrack(t.track);
    if (!cover.empty()) {
        ASSERT_TRUE(AddCoverPicture(ref.file(), {cover, "image/png"})) << path;
    }
    ASSERT_TRUE(ref.save()) << path;
}

GroupMember Member(const std::string& path, FileRole role) {
    GroupMember m;
    m.path = U16(path);
    m.role = role;
    return m;
}

// Every field and the cover go from a copy of another format into an
// untagged keeper, and the keeper's audio decodes to the very same samples.
TEST(TagFillTest, FillsEveryFieldAndLeavesTheAudio) {
    TempDir dir;
    const std::string cover = dir.File("cover.png");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i color=c=red:s=16x16 -frames:v 1 " + ShellQuoted(cover)));
    const std::string coverBytes = ReadWholeFile(cover);
    const Tags full = {"Morning Süng", "The Band", "First", "Folk", 1987, 4};
    const struct {
        const char* keeper;
        const char* donor;
    } cases[] = {
        {"keeper.mp3", "donor.flac"}, {"keeper.flac", "donor.ogg"}, {"keeper.ogg", "donor.m4a"},
        {"keeper.m4a", "donor.wma"},  {"keeper.wma", "donor.mp3"},
    };
    for (const auto& c : cases) {
        const std::string keeper = Encode(dir, c.keeper, 440);
        const std::string donor = Encode(dir, c.donor, 440);
        SetTags(donor, full, coverBytes);
        chmod(keeper.c_str(), 0640);
        const std::string hash = DecodedHash(keeper);
        ASSERT_FALSE(hash.empty()) << c.keeper;
        const std::string old = ReadWholeFile(keeper);

        const KeeperTagPlan plan = PlanKeeperTags(
            {Member(keeper, FileRole::kKeeper), Member(donor, FileRole::kDuplicate)});
        EXPECT_TRUE(plan.problem.empty()) << c.keeper;
        ASSERT_EQ(plan.fills.size(), kKeeperFieldCount) << c.keeper;
        for (const TagFill& fill : plan.fills) {
            EXPECT_EQ(fill.source, U16(donor)) << c.keeper << " " << KeeperFieldName(fill.field);
        }
        EXPECT_EQ(plan.fills[0].value, full.title);
        EXPECT_EQ(plan.fills[6].value, "image/png");
        EXPECT_EQ(plan.fills[6].pictureBytes, coverBytes.size());

        std::string kept;
        const TagFillResult result = WriteKeeperTags({plan}, [&](const std::string& path) {
            EXPECT_EQ(path, keeper);
            kept = ReadWholeFile(path);
            return S_OK;
        });
        EXPECT_TRUE(result.failures.empty()) << c.keeper << ": " << result.failures[0].reason;
        EXPECT_EQ(result.filesWritten, 1u) << c.keeper;
        EXPECT_EQ(result.fieldsFilled, kKeeperFieldCount) << c.keeper;
        EXPECT_EQ(kept, old) << c.keeper << ": the hook sees the old bytes";

        EXPECT_EQ(DecodedHash(keeper), hash) << c.keeper << ": the audio changed";
        const Tags now = ReadTags(keeper);
        EXPECT_EQ(now.title, full.title) << c.keeper;
        EXPECT_EQ(now.artist, full.artist) << c.keeper;
        EXPECT_EQ(now.album, full.album) << c.keeper;
        EXPECT_EQ(now.genre, full.genre) << c.keeper;
        EXPECT_EQ(now.year, full.year) << c.keeper;
        EXPECT_EQ(now.track, full.track) << c.keeper;
        EXPECT_EQ(PictureBytes(dir, keeper), coverBytes) << c.keeper;
        struct stat info {};
        ASSERT_EQ(stat(keeper.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u) << c.keeper;
        fs::remove(keeper);
        fs::remove(donor);
    }
}

// Which copy gives which field: a duplicate before the other copies, the
// first that has it within each, never a file tied in by its tags alone, and
// never over a field the keeper has.
TEST(TagFillTest, PlanTakesEachFieldFromTheRightCopy) {
    TempDir dir;
    const std::string keeper = Encode(dir, "keeper.mp3", 440);
    SetTags(keeper, {"Kept title", "", "", "", 0, 0}, "");
    const std::string linked = Encode(dir, "linked.mp3", 440);
    SetTags(linked, {"L title", "L artist", "L album", "", 0, 0}, "");
    const std::string dup1 = Encode(dir, "dup1.mp3", 440);
    SetTags(dup1, {"", "", "", "", 0, 7}, "");
    const std::string dup2 = Encode(dir, "dup2.mp3", 440);
    SetTags(dup2, {"", "D2 artist", "", "", 0, 9}, "");
    const std::string reference = Encode(dir, "ref.mp3", 440);
    SetTags(reference, {"", "", "", "", 2001, 0}, "");
    const std::string tagsOnly = Encode(dir, "tags.mp3", 440);
    SetTags(tagsOnly, {"", "", "", "Rock", 1999, 0}, "");

    const KeeperTagPlan plan = PlanKeeperTags(
        {Member(keeper, FileRole::kKeeper), Member(linked, FileRole::kLinked),
         Member(tagsOnly, FileRole::kTagsOnly), Member(dup1, FileRole::kDuplicate),
         Member(reference, FileRole::kReference), Member(dup2, FileRole::kDuplicate)});
    std::map<std::string, std::pair<std::string, std::string>> got;
    for (const TagFill& fill : plan.fills) {
        got[KeeperFieldName(fill.field)] = {fs::path(U16ToBytes(fill.source)).filename(),
                                            fill.value};
    }
    const std::map<std::string, std::pair<std::string, std::string>> want = {
        {"artist", {"dup2.mp3", "D2 artist"}},
        {"album", {"linked.mp3", "L album"}},
        {"year", {"ref.mp3", "2001"}},
        {"track", {"dup1.mp3", "7"}},
    };
    EXPECT_EQ(got, want);

    // What the keeper gained since the plan is kept; the rest is written.
    SetTags(keeper, {"Kept title", "Own artist", "", "", 0, 0}, "");
    const TagFillResult result = WriteKeeperTags({plan}, nullptr);
    EXPECT_EQ(result.fieldsFilled, 3u);
    const Tags now = ReadTags(keeper);
    EXPECT_EQ(now.artist, "Own artist");
    EXPECT_EQ(now.album, "L album");
    EXPECT_EQ(now.year, 2001u);
}

// A keeper that cannot be tagged or replaced is a failure with a reason and
// stays byte for byte as it was, with nothing left beside it.
TEST(TagFillTest, FailuresLeaveTheKeeper) {
    const struct {
        const char* name;
        std::string damageTo;  // the keeper's bytes after the plan; empty: left
        HRESULT hook;
        bool removed = false;
    } cases[] = {
        {"damaged since the plan", "This is no audio file at all, whatever its name says.", S_OK},
        {"its old bytes cannot be kept", "", E_FAIL},
        {"gone since the plan", "", S_OK, true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string keeper = Encode(dir, "keeper.ogg", 440);
        const std::string donor = Encode(dir, "donor.ogg", 440);
        SetTags(donor, {"T", "A", "", "", 0, 0}, "");
        const KeeperTagPlan plan = PlanKeeperTags(
            {Member(keeper, FileRole::kKeeper), Member(donor, FileRole::kDuplicate)});
        ASSERT_EQ(plan.fills.size(), 2u) << c.name;
        if (!c.damageTo.empty()) {
            std::ofstream(keeper, std::ios::binary) << c.damageTo;
        }
        if (c.removed) {
            fs::remove(keeper);
        }
        const std::string before = ReadWholeFile(keeper);
        const TagFillResult result =
            WriteKeeperTags({plan}, [&](const std::string&) { return c.hook; });
        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_FALSE(result.failures[0].reason.empty()) << c.name;
        EXPECT_EQ(result.filesWritten, 0u) << c.name;
        EXPECT_EQ(ReadWholeFile(keeper), before) << c.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                  c.removed ? 1 : 2)
            << c.name;
    }
    TempDir dir;
    std::ofstream(dir.File("text.mp3")) << "no audio";
    EXPECT_FALSE(PlanKeeperTags({Member(dir.File("text.mp3"), FileRole::kKeeper)}).problem.empty());
}

}  // namespace
