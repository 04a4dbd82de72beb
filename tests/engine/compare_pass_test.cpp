#include "compare_pass.h"

#include <gtest/gtest.h>

#include "compare_settings.h"
#include "scan_state.h"
#include "tag_compare.h"
#include "test_grips.h"

namespace {

class RecordingPoster : public ExperimentalPoster {
  public:
    explicit RecordingPoster(ScanOwner& owner) : m_owner(owner) {}
    void PostExperimental(int32_t generation, const std::u16string& path1,
                          const std::u16string& path2) override {
        // Posting happens before pairsLock is taken.
        EXPECT_TRUE(m_owner.pairsLock.try_lock());
        m_owner.pairsLock.unlock();
        posted.push_back({generation, path1, path2});
    }
    struct Posted {
        int32_t generation;
        std::u16string path1;
        std::u16string path2;
    };
    std::vector<Posted> posted;

  private:
    ScanOwner& m_owner;
};

class ComparePassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_compareMethod = kCompareBoth;
        g_sensitivity = 0.75f;
        g_accurate = false;
        m_generation = ScanGeneration.load();
    }
    void TearDown() override {
        g_compareMethod = kCompareBoth;
        g_sensitivity = 0.75f;
        g_accurate = false;
    }

    // Adds path to the store; joins the scan unless sequence is kNotInScan.
    void Add(const std::u16string& path, const Grip& grip, uint32_t sequence) {
        Grip g = grip;
        g.sequence = sequence;
        ASSERT_NE(m_store.Insert(path, g), nullptr);
    }

    std::vector<DuplicatePair> Pass(const std::u16string& path, HRESULT expected = S_OK) {
        EXPECT_EQ(ComparePass(m_generation, path, m_store, m_owner, &m_poster), expected);
        return m_owner.TakePendingPairs();
    }

    GripStore m_store;
    RecordingOwner m_owner;
    RecordingPoster m_poster{m_owner};
    int32_t m_generation = 0;
};

TEST_F(ComparePassTest, JudgesOnlyEarlierFilesOfTheScanInPathOrder) {
    const Grip same = RandomGrip(1, "t", "a", "b", "n");
    Add(u"/m/c", same, 3);
    Add(u"/m/a", same, 1);
    Add(u"/m/d", same, 2);
    Add(u"/m/b", same, kNotInScan);  // cached, not part of this scan
    Add(u"/m/e", same, 4);

    EXPECT_TRUE(Pass(u"/m/a").empty());  // the first file has no pair
    EXPECT_EQ(m_owner.pairsReady.load(), 0);

    const std::vector<DuplicatePair> pairs = Pass(u"/m/c");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].path1, u"/m/c");
    EXPECT_EQ(pairs[0].path2, u"/m/a");  // key order, not sequence order
    EXPECT_EQ(pairs[1].path2, u"/m/d");
    EXPECT_EQ(m_owner.pairsReady.load(), 2);
    for (const DuplicatePair& p : pairs) {
        EXPECT_FALSE(p.isUpdate);
        EXPECT_NEAR(p.contentPercent, 100.0f, 1e-3f);
        EXPECT_EQ(p.tagPercent, 100.0f);
        EXPECT_EQ(p.experimentalPercent, kExperimentalNotRequested);
        EXPECT_EQ(p.details1, 0u);
        EXPECT_EQ(p.details2, 0u);
    }
    EXPECT_EQ(Pass(u"/m/e").size(), 3u);

    EXPECT_TRUE(Pass(u"/m/x", E_NOT_IN_STORE).empty());
    m_generation -= 1;
    EXPECT_TRUE(Pass(u"/m/e", E_FAIL).empty());  // stale, though in the store
}

TEST_F(ComparePassTest, MethodAndSensitivity) {
    // Same content, unrelated tags; unrelated content, same tags; neither.
    const Grip content = RandomGrip(1, "alpha", "beta", "gamma", "delta");
    Grip contentTwin = content;
    contentTwin.title = "zzzz";
    contentTwin.artist = "yyyy";
    contentTwin.album = "xxxx";
    contentTwin.nameKey = "wwww";
    const Grip tagTwin = RandomGrip(2, "alpha", "beta", "gamma", "delta");
    const Grip stranger = RandomGrip(3, "qqqq", "rrrr", "ssss", "uuuu");

    struct Case {
        int32_t method;
        float sensitivity;
        bool contentPair;
        bool tagPair;
        bool strangerPair;
    };
    const Case cases[] = {
        {kCompareBoth, 0.75f, true, true, false},
        {kCompareContent, 0.75f, true, false, false},
        {kCompareTags, 0.75f, false, true, false},
        {kCompareTags, 0.0f, true, true, true},  // any tagScore passes at 0
        {kCompareBoth, 0.99f, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "method " << c.method << " s " << c.sensitivity);
        GripStore store;
        auto add = [&store](const std::u16string& path, Grip g, uint32_t sequence) {
            g.sequence = sequence;
            store.Insert(path, g);
        };
        add(u"/a", content, 1);
        add(u"/b", contentTwin, 2);
        add(u"/c", tagTwin, 3);
        add(u"/d", stranger, 4);
        g_compareMethod = c.method;
        g_sensitivity = c.sensitivity;
        auto listed = [&](const std::u16string& later, const std::u16string& earlier) {
            ComparePass(m_generation, later, store, m_owner, nullptr);
            bool found = false;
            for (const DuplicatePair& p : m_owner.TakePendingPairs()) {
                if (p.path2 == earlier) {
                    found = true;
                    if (c.method == kCompareTags && earlier == u"/a" && later == u"/b") {
                        // Only tags: the content figure is still shown.
                        EXPECT_GT(p.contentPercent, 99.0f);
                    }
                }
            }
            return found;
        };
        EXPECT_EQ(listed(u"/b", u"/a"), c.contentPair);
        EXPECT_EQ(listed(u"/c", u"/a"), c.tagPair);
        EXPECT_EQ(listed(u"/d", u"/a"), c.strangerPair);
    }
}

TEST_F(ComparePassTest, ExperimentalSwitch) {
    const Grip same = RandomGrip(1, "t", "a", "b", "n");
    Add(u"/m/a", same, 1);
    Add(u"/m/b", same, 2);
    g_accurate = true;
    std::vector<DuplicatePair> pairs = Pass(u"/m/b");
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].experimentalPercent, kExperimentalPending);
    ASSERT_EQ(m_poster.posted.size(), 1u);
    EXPECT_EQ(m_poster.posted[0].generation, m_generation);
    EXPECT_EQ(m_poster.posted[0].path1, u"/m/b");
    EXPECT_EQ(m_poster.posted[0].path2, u"/m/a");

    g_accurate = false;
    pairs = Pass(u"/m/b");  // judged again, as a file found twice is
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].experimentalPercent, kExperimentalNotRequested);
    EXPECT_EQ(m_poster.posted.size(), 1u);
}

}  // namespace

namespace {

// The pass looks overlaps up in a table per distinct text; its tag figures
// must be those of ComputeTagScores for every pair.
TEST_F(ComparePassTest, RememberedOverlapsGiveTheDirectTagScores) {
    const char* titles[] = {"", "yesterday", "let it be", "yesterday (live)", "help"};
    const char* artists[] = {"", "the beatles", "beatles", "paul mccartney"};
    const char* albums[] = {"", "help!", "let it be", "anthology 2"};
    const char* names[] = {"", "01 yesterday", "track01", "the beatles - help", "yesterday"};
    std::vector<std::pair<std::u16string, Grip>> files;
    uint32_t seed = 0;
    for (const char* t : titles) {
        for (const char* a : artists) {
            ++seed;
            Grip g = RandomGrip(seed, t, a, albums[seed % 4], names[seed % 5]);
            g.sequence = seed;
            files.emplace_back(u"/m/" + std::u16string(1, static_cast<char16_t>(u'A' + seed)), g);
            ASSERT_NE(m_store.Insert(files.back().first, g), nullptr);
        }
    }
    g_compareMethod = kCompareTags;
    g_sensitivity = 0.0f;  // every pair is listed
    size_t listed = 0;
    for (const auto& [path, grip] : files) {
        for (const DuplicatePair& p : Pass(path)) {
            const GripTexts& earlier = m_store.Find(p.path2)->grip;
            const float direct = TagPercent(ComputeTagScores(grip, earlier).tagScore, 0.0f);
            EXPECT_EQ(p.tagPercent, direct);
            ++listed;
        }
    }
    EXPECT_EQ(listed, files.size() * (files.size() - 1) / 2);
}

}  // namespace
