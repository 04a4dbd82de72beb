// The CSV text of pairs and groups: RFC 4180 quoting of every kind of field
// a path can be, and the lines a spreadsheet reads.
#include <gtest/gtest.h>

#include <string>

#include "csv_export.h"
#include "decoder_contract.h"

namespace {

TEST(CsvExportTest, FieldsAreQuotedExactlyWhenTheyMustBe) {
    const struct {
        const char* field;
        const char* written;
    } cases[] = {
        {"/music/a.mp3", "/music/a.mp3"},
        {"", ""},
        {"/music/a, b.mp3", "\"/music/a, b.mp3\""},
        {"/music/say \"hi\".mp3", "\"/music/say \"\"hi\"\".mp3\""},
        {"\"", "\"\"\"\""},
        {"/music/two\nlines.mp3", "\"/music/two\nlines.mp3\""},
        {"/music/cr\r.mp3", "\"/music/cr\r.mp3\""},
        {"/musik/Gr\xC3\xBC\xC3\x9F\x65 \xE2\x99\xAB.flac",
         "/musik/Gr\xC3\xBC\xC3\x9F\x65 \xE2\x99\xAB.flac"},
        {"  padded  ", "  padded  "},
        {" a,\"b\" ", "\" a,\"\"b\"\" \""},
        {"semi;colon\ttab", "semi;colon\ttab"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvField(c.field), c.written) << c.field;
    }
}

TEST(CsvExportTest, PairsAndGroupsAreLinesEndedByCrLf) {
    DuplicatePair tagsOnly;
    tagsOnly.path1 = u"/m/x,1.mp3";
    tagsOnly.path2 = u"/m/y.mp3";
    tagsOnly.contentPercent = 12.34f;
    tagsOnly.tagPercent = 100.0f;
    tagsOnly.experimentalPercent = kExperimentalFailed;
    const VerdictOf judge = [](const DuplicatePair& p) { return JudgeVerdict(p, nullptr); };
    EXPECT_EQ(PairsCsv({&tagsOnly}, judge),
              "path1,path2,content_percent,tags_percent,experimental_percent,verdict,offset_s\r\n"
              "\"/m/x,1.mp3\",/m/y.mp3,12.3,100.0,,tags only,\r\n");

    const std::vector<DuplicatePair> pairs = {tagsOnly};
    GroupMember keeper{u"/m/y.mp3", FileRole::kKeeper};
    GroupMember copy{u"/m/x,1.mp3", FileRole::kTagsOnly, 0, 0, 1};
    EXPECT_EQ(GroupsCsv({{keeper, copy}}, pairs, judge),
              "group,role,path,content_percent,tags_percent,experimental_percent,verdict\r\n"
              "1,keeper,/m/y.mp3,,,,\r\n"
              "1,tags-only,\"/m/x,1.mp3\",12.3,100.0,,tags only\r\n");
}

}  // namespace
