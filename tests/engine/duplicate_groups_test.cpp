// Groups of listed pairs, the keeper rules and folder roles, on tables of
// small cases named by letters: "AB,BC" is the pairs A~B and B~C.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "duplicate_groups.h"
#include "folder_roles.h"
#include "keeper_rules.h"

namespace {

// "AB" is a content match of A and B; "A~B" a pair listed by its tags alone.
std::vector<DuplicatePair> Pairs(const std::string& text) {
    std::vector<DuplicatePair> pairs;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(',', at);
        end = end == std::string::npos ? text.size() : end;
        const std::string token = text.substr(at, end - at);
        DuplicatePair p;
        p.path1 = std::u16string(1, token.front());
        p.path2 = std::u16string(1, token.back());
        p.contentMatch = token.size() == 2;
        pairs.push_back(p);
        at = end + 1;
    }
    return pairs;
}

std::string Letters(const std::vector<std::u16string>& files) {
    std::string out;
    for (const std::u16string& f : files) {
        out += static_cast<char>(f[0]);
    }
    return out;
}

TEST(DuplicateGroupsTest, ContentMatchesMakeGroupsAndTagsNeverJoinThem) {
    struct Case {
        const char* pairs;
        std::vector<uint32_t> listed;     // empty: all
        std::vector<std::string> groups;  // files; the content copies before a '+'
    };
    const Case cases[] = {
        {"AB", {}, {"AB"}},
        {"AB,BC", {}, {"ABC"}},
        {"AB,CD", {}, {"AB", "CD"}},
        {"AB,CD,DB", {}, {"ABCD"}},
        {"AB,CD,EF,FA", {}, {"ABEF", "CD"}},
        {"AB,BA,AB", {}, {"AB"}},
        {"AA", {}, {"A"}},
        {"AB,BC,CD", {0, 2, 7}, {"AB", "CD"}},  // a pair not listed ties nothing
        // A pair alike by tags alone between two pieces joins nothing.
        {"AB,CD,B~C", {}, {"AB", "CD"}},
        {"AB,B~C,CD", {}, {"AB", "CD"}},
        // Files reached by tags alone follow the first group they lead to.
        {"AB,C~A", {}, {"AB+C"}},
        {"AB,DE,C~F,F~A,C~D", {}, {"AB+CF", "DE"}},
        // Or make a group of their own.
        {"A~B,B~C", {}, {"+ABC"}},
        {"A~B,CD", {}, {"CD", "+AB"}},
        {"A~A", {}, {"+A"}},
    };
    for (const Case& c : cases) {
        const std::vector<DuplicatePair> records = Pairs(c.pairs);
        const std::vector<PairGroup> groups =
            c.listed.empty() ? GroupPairs(records) : GroupPairs(records, c.listed);
        std::vector<std::string> got;
        for (const PairGroup& g : groups) {
            std::string files = Letters(g.files);
            if (g.contentFiles < g.files.size()) {
                files.insert(g.contentFiles, "+");
            }
            got.push_back(files);
        }
        EXPECT_EQ(got, c.groups) << c.pairs;
    }
}

TEST(DuplicateGroupsTest, ArrangedAroundTheKeeper) {
    struct Case {
        const char* pairs;
        char keeper;
        std::string reference;  // letters under a reference folder
        // letter, role letter (k, d, r, l, t), tied by which letter's pair
        // ('-' keeper), depth
        std::vector<std::string> members;
    };
    const Case cases[] = {
        {"AB", 'B', "", {"Bk-0", "AdB1"}},
        // A chain: only the keeper's own matches are duplicates.
        {"AB,BC", 'A', "", {"Ak-0", "BdA1", "ClB2"}},
        {"AB,BC", 'C', "", {"Ck-0", "BdC1", "AlB2"}},
        {"AB,BC", 'B', "", {"Bk-0", "AdB1", "CdB1"}},
        // The pair with the keeper ties a file in even when another came first.
        {"AB,BC,AC", 'C', "", {"Ck-0", "BdC1", "AdC1"}},
        {"AB,BC", 'A', "C", {"Ak-0", "BdA1", "CrB2"}},
        {"AB,BC", 'A', "B", {"Ak-0", "BrA1", "ClB2"}},
        // A star around a leaf.
        {"AB,AC,AD", 'B', "", {"Bk-0", "AdB1", "ClA2", "DlA2"}},
        // A match by tags with the keeper makes no duplicate.
        {"AB,BC,A~C", 'A', "", {"Ak-0", "BdA1", "ClA1"}},
        {"AB,C~A", 'A', "", {"Ak-0", "BdA1", "CtA1"}},
        {"AB,C~B", 'A', "", {"Ak-0", "BdA1", "CtB2"}},
        {"A~B,B~C", 'B', "", {"Bk-0", "AtB1", "CtB1"}},
    };
    for (const Case& c : cases) {
        const std::vector<DuplicatePair> records = Pairs(c.pairs);
        const PairGroup group = GroupPairs(records).at(0);
        size_t keeper = 0;
        std::vector<bool> reference;
        for (size_t i = 0; i < group.files.size(); ++i) {
            keeper = group.files[i][0] == c.keeper ? i : keeper;
            reference.push_back(c.reference.find(static_cast<char>(group.files[i][0])) !=
                                std::string::npos);
        }
        std::vector<std::string> got;
        for (const GroupMember& m : ArrangeGroup(group, records, keeper, reference)) {
            std::string tiedBy = "-";
            if (m.record != kNoRecord) {
                const DuplicatePair& p = records[m.record];
                tiedBy = static_cast<char>(p.path1 == m.path ? p.path2[0] : p.path1[0]);
            }
            const char role = m.role == FileRole::kTagsOnly ? 't' : FileRoleName(m.role)[0];
            got.push_back(std::string(1, static_cast<char>(m.path[0])) + role + tiedBy +
                          std::to_string(m.depth));
        }
        EXPECT_EQ(got, c.members) << c.pairs << " keeper " << c.keeper;
    }
}

// Whatever the pairs and whichever keeper the rules pick: every file is in
// one group; every duplicate is a content match of its own group's keeper,
// and no keeper or reference file is one; a group's keeper is one of its
// copies. So deleting every duplicate leaves a copy that sounds like it.
TEST(DuplicateGroupsTest, AChosenKeeperLeadsOnlyAmongTheCopies) {
    struct Case {
        const char* pairs;
        std::vector<std::u16string> chosen;  // oldest choice first
        char keeper;
    };
    const Case cases[] = {
        {"AB,BC", {}, 'A'},  // the rules tie: the first path
        {"AB,BC", {u"C"}, 'C'},       {"AB,BC", {u"C", u"B"}, 'B'},  // the later choice wins
        {"AB,BC", {u"B", u"X"}, 'B'},  // a file of another group changes nothing here
        {"AB,BC,C~D", {u"D"}, 'A'},    // tied in by tags alone: never the keeper
        {"A~B", {u"B"}, 'B'},          // a group of tags alone has no copies to prefer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pairs);
        const std::vector<DuplicatePair> pairs = Pairs(c.pairs);
        const PairGroup group = GroupPairs(pairs).front();
        const std::vector<FileFacts> facts(group.files.size());
        const size_t keeper = PickGroupKeeper(group, facts, DefaultKeepRules(), c.chosen);
        ASSERT_LT(keeper, group.files.size());
        EXPECT_EQ(group.files[keeper], std::u16string(1, c.keeper));
    }
}

TEST(DuplicateGroupsTest, DeletingEveryDuplicateKeepsACopyOfEachFile) {
    std::mt19937 random(17);
    for (int round = 0; round < 400; ++round) {
        const int files = 2 + static_cast<int>(random() % 9);
        const int pairCount = 1 + static_cast<int>(random() % 14);
        std::vector<DuplicatePair> records;
        for (int i = 0; i < pairCount; ++i) {
            DuplicatePair p;
            p.path1 = std::u16string(1, static_cast<char16_t>(u'A' + random() % files));
            p.path2 = std::u16string(1, static_cast<char16_t>(u'A' + random() % files));
            p.contentMatch = random() % 3 != 0;
            records.push_back(p);
        }
        std::set<std::u16string> matches;  // "AB" and "BA" for each content match
        std::set<std::u16string> named;
        for (const DuplicatePair& p : records) {
            named.insert(p.path1);
            named.insert(p.path2);
            if (p.contentMatch) {
                matches.insert(p.path1 + p.path2);
                matches.insert(p.path2 + p.path1);
            }
        }
        std::set<std::u16string> grouped;
        for (const PairGroup& group : GroupPairs(records)) {
            ASSERT_LE(group.contentFiles, group.files.size());
            const size_t keeper = random() % KeeperCandidates(group);
            std::vector<bool> reference;
            for (size_t i = 0; i < group.files.size(); ++i) {
                reference.push_back(random() % 5 == 0);
            }
            const std::vector<GroupMember> members =
                ArrangeGroup(group, records, keeper, reference);
            ASSERT_EQ(members.size(), group.files.size());
            const std::u16string& kept = group.files[keeper];
            for (const GroupMember& m : members) {
                EXPECT_TRUE(grouped.insert(m.path).second) << "in two groups";
                if (m.role == FileRole::kDuplicate) {
                    EXPECT_NE(m.path, kept);
                    EXPECT_EQ(matches.count(m.path + kept), 1u) << "round " << round;
                    const size_t at = std::find(group.files.begin(), group.files.end(), m.path) -
                                      group.files.begin();
                    EXPECT_FALSE(reference[at]);
                }
            }
        }
        EXPECT_EQ(grouped, named) << "round " << round;
    }
}

TEST(KeeperRulesTest, RulesDecideInTheirOrder) {
    FileFacts lossless;
    lossless.lossless = true;
    lossless.bitrate = 900000;
    FileFacts mp3;
    mp3.bitrate = 1000000;  // a higher figure than the lossless copy
    mp3.tagsFilled = 3;
    FileFacts reference = mp3;
    reference.reference = true;
    reference.bitrate = 64000;
    FileFacts old;
    old.modified = 1000;
    FileFacts young;
    young.modified = 2000;
    FileFacts unknownTime;
    FileFacts beforeEpoch;
    beforeEpoch.modified = -1;
    const FileFacts blank;
    using R = KeepRule;
    struct Case {
        const char* what;
        std::vector<FileFacts> facts;
        std::vector<KeepRule> rules;
        size_t keeper;
    };
    const Case cases[] = {
        {"lossless first", {mp3, lossless}, DefaultKeepRules(), 1},
        {"bit rate first", {mp3, lossless}, {R::kBitrate, R::kLossless}, 0},
        {"tags", {lossless, mp3}, {R::kTags}, 1},
        {"reference beats every rule", {lossless, reference, mp3}, DefaultKeepRules(), 1},
        {"older", {young, old}, {R::kOlderFile}, 1},
        {"unknown time is not older", {unknownTime, young}, {R::kOlderFile}, 1},
        {"a time before 1970", {old, beforeEpoch, unknownTime}, {R::kOlderFile}, 1},
        {"no rules: the first path", {mp3, lossless}, {}, 0},
        {"full tie: the first path", {blank, blank, blank}, DefaultKeepRules(), 0},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> paths;
        for (size_t i = 0; i < c.facts.size(); ++i) {
            paths.push_back(u"/m/" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
        }
        EXPECT_EQ(PickKeeper(paths, c.facts, c.rules), c.keeper) << c.what;
    }
    // Of copies that tie, the path that sorts first, wherever it stands.
    EXPECT_EQ(PickKeeper({u"/m/b", u"/m/a"}, {blank, blank}, DefaultKeepRules()), 1u);
}

TEST(KeeperRulesTest, NamesAndLosslessFormats) {
    EXPECT_EQ(KeepRulesText(*ParseKeepRules("size,lossless")), "size,lossless");
    EXPECT_EQ(ParseKeepRules(KeepRulesText(DefaultKeepRules())), DefaultKeepRules());
    EXPECT_EQ(ParseKeepRules("")->size(), 0u);
    for (const char* bad : {"loud", "size,size", "size,", ",size", "size,,tags"}) {
        EXPECT_FALSE(ParseKeepRules(bad).has_value()) << bad;
    }
    struct Case {
        const char16_t* path;
        uint32_t bitrate;
        bool lossless;
    };
    const Case cases[] = {
        {u"/m/a.FLAC", 0, true},      {u"/m/a.wav", 0, true},         {u"/m/a.mp3", 320000, false},
        {u"/m/a.m4a", 1000000, true}, {u"/m/flac.d/a.mp3", 0, false}, {u"/m/noext", 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsLossless(c.path, c.bitrate), c.lossless) << U16ToBytes(c.path);
    }
}

TEST(FolderRolesTest, InnermostSettingWinsAndWalksCoverEachFolderOnce) {
    using F = FolderRole;
    const FolderRoles roles({{u"/m", F::kNormal},
                             {u"/m/old", F::kExcluded},
                             {u"/m/old/best", F::kReference},
                             {u"/m/ref", F::kReference},
                             {u"/m/ref/tmp", F::kExcluded},
                             {u"/x", F::kExcluded},
                             {u"/x/keep", F::kNormal}});
    struct Case {
        const char16_t* path;
        FolderRole role;
    };
    const Case cases[] = {
        {u"/m/a.mp3", F::kNormal},
        {u"/m/old/a.mp3", F::kExcluded},
        {u"/m/old/best/a.mp3", F::kReference},
        {u"/m/oldies/a.mp3", F::kNormal},
        {u"/m/ref/a.mp3", F::kReference},
        {u"/m/ref/tmp/a.mp3", F::kExcluded},
        {u"/x/keep/a.mp3", F::kNormal},
        {u"/elsewhere/a.mp3", F::kNormal},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(roles.RoleOf(c.path), c.role) << U16ToBytes(c.path);
    }
    EXPECT_EQ(roles.WalkRoots(), (std::vector<std::u16string>{u"/m", u"/m/old/best", u"/x/keep"}));
    EXPECT_EQ(roles.Excluded(), (std::vector<std::u16string>{u"/m/old", u"/m/ref/tmp", u"/x"}));
    EXPECT_TRUE(PathIsInside(u"/m/a", u"/"));
    EXPECT_TRUE(PathIsInside(u"/m", u"/m/"));
    EXPECT_FALSE(PathIsInside(u"/mm", u"/m"));
}

}  // namespace
