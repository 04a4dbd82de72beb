#include "scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "compare_settings.h"
#include "scan_state.h"
#include "skip_memory.h"
#include "test_files.h"
#include "test_grips.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

constexpr size_t kPieceLength = 22050 * 17;  // 17 s: long enough for a Grip

// Keeps a list the way the desktop window does: it clears on WM_CLEAR_PAIRS
// and takes the waiting pairs on WM_PAIRS_READY, at once on the worker's thread.
class ListOwner : public ScanOwner {
  public:
    void Post(uint32_t message) override {
        if (message == WM_CLEAR_PAIRS) {
            // Posted under pairsLock: only the list's own lock may be taken here.
            std::lock_guard<std::mutex> hold(m_listLock);
            m_list.clear();
            ++m_clears;
        } else if (message == WM_PAIRS_READY) {
            std::vector<DuplicatePair> taken = TakePendingPairs();
            std::lock_guard<std::mutex> hold(m_listLock);
            m_list.insert(m_list.end(), taken.begin(), taken.end());
        }
    }
    std::vector<DuplicatePair> List() {
        std::lock_guard<std::mutex> hold(m_listLock);
        return m_list;
    }
    int Clears() {
        std::lock_guard<std::mutex> hold(m_listLock);
        return m_clears;
    }

  private:
    std::mutex m_listLock;
    std::vector<DuplicatePair> m_list;
    int m_clears = 0;
};

class ScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_compareMethod = kCompareBoth;
        g_sensitivity = 0.75f;
        g_accurate = false;
        InstallPlugins(m_dir.File("plugins"), {"fake_high"});
        fs::create_directories(Music());
        ASSERT_EQ(m_store.LoadCache(m_dir.File("cache.dat"), &m_owner), S_OK);
    }
    void TearDown() override { m_pool.Shutdown(); }

    std::string Music() const { return m_dir.File("music"); }
    std::string Log() const { return m_dir.File("opens.log"); }

    // A fake audio file of piece seed, logged on every open.
    void WriteSong(const std::string& path, uint32_t seed, const std::string& title = "") {
        fs::create_directories(fs::path(path).parent_path());
        std::map<std::string, std::string> keys{{"log", Log()}};
        if (!title.empty()) {
            keys["title"] = title;
        }
        WriteFakeAudio(path, keys, ToPcm16(Piece(kPieceLength, seed)));
    }

    size_t Opens() const {
        std::ifstream in(Log());
        return static_cast<size_t>(
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
    }

    void Start(uint32_t threads = 2) { ASSERT_EQ(m_pool.Start(threads), S_OK); }

    // One whole scan of the folders; returns its generation.
    int32_t Scan(const std::vector<std::string>& folders,
                 const std::vector<std::string>& leftOut = {}) {
        const int32_t generation = BeginScan(&m_owner, m_store);
        std::vector<std::u16string> paths;
        for (const std::string& f : folders) {
            paths.push_back(U16(f));
        }
        std::vector<std::u16string> skipped;
        for (const std::string& f : leftOut) {
            skipped.push_back(U16(f));
        }
        PostFolders(m_pool, generation, paths, skipped);
        while (!m_pool.WaitUntilIdle(generation, 1s)) {
        }
        return generation;
    }

    // The unordered pairs of the list, by file name.
    std::multiset<std::pair<std::string, std::string>> Pairs() {
        std::multiset<std::pair<std::string, std::string>> out;
        for (const DuplicatePair& p : m_owner.List()) {
            std::string a = fs::path(U16ToBytes(p.path1)).filename();
            std::string b = fs::path(U16ToBytes(p.path2)).filename();
            out.insert(std::minmax(a, b));
        }
        return out;
    }

    TempDir m_dir;
    ListOwner m_owner;
    GripStore m_store;
    WorkerPool m_pool{&m_owner, ScanWorkerFactory(m_store, m_dir.File("plugins"))};
};

TEST_F(ScanTest, EachPairOnceLaterFileFirstAndRescanDecodesNothing) {
    WriteSong(Music() + "/a1.raw", 1);
    WriteSong(Music() + "/a2.raw", 1);
    WriteSong(Music() + "/sub/a3.raw", 1);
    WriteSong(Music() + "/b1.raw", 2);
    std::ofstream(Music() + "/notes.txt") << "not audio";
    Start();

    Scan({Music()});
    const std::multiset<std::pair<std::string, std::string>> expected{
        {"a1.raw", "a2.raw"}, {"a1.raw", "a3.raw"}, {"a2.raw", "a3.raw"}};
    EXPECT_EQ(Pairs(), expected);
    EXPECT_EQ(Opens(), 4u);
    EXPECT_EQ(m_owner.m_pendingCount.load(), 4);  // the text file came off
    EXPECT_EQ(m_owner.m_doneCount.load(), 4);
    EXPECT_EQ(m_owner.m_cachedCount.load(), 4);
    {
        SharedHold hold(m_store.lock());
        for (const DuplicatePair& p : m_owner.List()) {
            EXPECT_GT(m_store.Find(p.path1)->grip.sequence, m_store.Find(p.path2)->grip.sequence);
            EXPECT_EQ(p.experimentalPercent, kExperimentalNotRequested);
            EXPECT_NEAR(p.contentPercent, 100.0f, 0.01f);
        }
    }

    Scan({Music()});
    EXPECT_EQ(Opens(), 4u);  // every Grip came from the store
    EXPECT_EQ(Pairs(), expected);
    EXPECT_EQ(m_owner.m_doneCount.load(), 4);
    EXPECT_EQ(m_owner.Clears(), 2);

    // A fresh start reads the same Grips from the cache file.
    GripStore reloaded;
    m_store.LoadCache(m_dir.File("elsewhere.dat"), nullptr);
    ASSERT_EQ(reloaded.LoadCache(m_dir.File("cache.dat"), nullptr), S_OK);
    EXPECT_EQ(reloaded.size(), 4u);
}

// A file reached by several paths (a chosen folder inside another, links to
// folders, a hard link, a tree of links that branches at every level) joins
// the scan once: counted once, stored once, never paired with itself.
TEST_F(ScanTest, EachFileOnceWhateverTheWaysToIt) {
    WriteSong(Music() + "/a1.raw", 1);
    WriteSong(Music() + "/sub/a2.raw", 1);
    WriteSong(Music() + "/sub/a3.raw", 1);
    fs::create_directory_symlink("sub", Music() + "/link");
    fs::create_hard_link(Music() + "/a1.raw", Music() + "/hard.raw");
    constexpr int kLevels = 12;  // 4096 paths to the one file below
    for (int level = 0; level < kLevels; ++level) {
        const std::string folder = Music() + "/tree/l" + std::to_string(level);
        fs::create_directories(folder);
        for (const char* branch : {"a", "b"}) {
            fs::create_directory_symlink("../l" + std::to_string(level + 1), folder + "/" + branch);
        }
    }
    WriteSong(Music() + "/tree/l" + std::to_string(kLevels) + "/deep.raw", 2);
    Start(4);
    Scan({Music(), Music() + "/sub", Music() + "/link"});
    EXPECT_EQ(m_owner.m_pendingCount.load(), 4);
    EXPECT_EQ(m_owner.m_doneCount.load(), 4);
    EXPECT_EQ(m_owner.m_cachedCount.load(), 4);
    EXPECT_EQ(Opens(), 4u);
    ASSERT_EQ(m_owner.List().size(), 3u);
    std::set<std::pair<ino_t, ino_t>> pairs;
    for (const DuplicatePair& p : m_owner.List()) {
        struct stat one;
        struct stat two;
        ASSERT_EQ(stat(U16ToBytes(p.path1).c_str(), &one), 0);
        ASSERT_EQ(stat(U16ToBytes(p.path2).c_str(), &two), 0);
        EXPECT_NE(one.st_ino, two.st_ino);
        pairs.insert(std::minmax(one.st_ino, two.st_ino));
    }
    EXPECT_EQ(pairs.size(), 3u);  // no pair twice
}

// A left-out folder stays out under every path that leads to it: its own,
// another spelling, a link to it, a link into it.
TEST_F(ScanTest, LeftOutFoldersStayOutWhateverTheWayToThem) {
    WriteSong(Music() + "/keep/k.raw", 1);
    WriteSong(Music() + "/old/o.raw", 1);
    WriteSong(Music() + "/old/deep/d.raw", 1);
    fs::create_directory_symlink("old", Music() + "/alias");
    fs::create_directory_symlink("../old/deep", Music() + "/keep/deeplink");
    Start();
    const struct {
        std::vector<std::string> leftOut;
        std::set<std::string> found;
    } cases[] = {
        {{}, {"keep/k.raw", "old/o.raw", "old/deep/d.raw"}},
        {{Music() + "/old"}, {"keep/k.raw"}},
        {{Music() + "/old/"}, {"keep/k.raw"}},
        {{Music() + "/alias"}, {"keep/k.raw"}},
        {{Music() + "/old/deep"}, {"keep/k.raw", "old/o.raw"}},
        {{Music() + "/keep", Music() + "/missing"}, {"old/o.raw", "old/deep/d.raw"}},
    };
    for (const auto& c : cases) {
        Scan({Music()}, c.leftOut);
        std::set<std::string> found;
        for (const GripStore::Entry* e : m_store.scan()) {
            // A file reached through a link is named by the link's path; the
            // file itself tells which one it is.
            const std::string path = fs::canonical(U16ToBytes(*e->path)).string();
            found.insert(path.substr(fs::canonical(Music()).string().size() + 1));
        }
        EXPECT_EQ(found, c.found) << (c.leftOut.empty() ? "" : c.leftOut[0]);
        EXPECT_EQ(m_owner.m_foundCount.load(), static_cast<int32_t>(c.found.size()));
    }
}

// A file retagged or replaced since its Grip was made is fingerprinted again
// and its new record supersedes the old one; an entry from before stamps
// were kept adopts the file as it is; the entries of deleted files go with
// CleanCache.
TEST_F(ScanTest, ChangedFilesAreFingerprintedAgain) {
    auto touch = [](const std::string& path, int seconds) {
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(seconds));
    };
    WriteSong(Music() + "/retagged.raw", 1, "Old title");
    WriteSong(Music() + "/replaced.raw", 2);
    WriteSong(Music() + "/kept.raw", 3);
    WriteSong(Music() + "/deleted.raw", 4);
    Start();
    Scan({Music()});
    EXPECT_EQ(Opens(), 4u);

    WriteSong(Music() + "/retagged.raw", 1, "New title");  // the same size
    touch(Music() + "/retagged.raw", 10);
    WriteSong(m_dir.File("new.raw"), 3);
    fs::rename(m_dir.File("new.raw"), Music() + "/replaced.raw");
    fs::remove(Music() + "/deleted.raw");
    Scan({Music()});
    EXPECT_EQ(Opens(), 6u);
    const std::multiset<std::pair<std::string, std::string>> copies{{"kept.raw", "replaced.raw"}};
    EXPECT_EQ(Pairs(), copies);
    EXPECT_EQ(m_owner.m_doneCount.load(), 3);
    EXPECT_EQ(m_owner.m_cachedCount.load(), 4);

    RecordingOwner counts;
    CleanReport report;
    EXPECT_EQ(m_store.CleanCache(&counts, &report), S_OK);
    EXPECT_EQ(report.dropped, 1u);
    EXPECT_EQ(counts.m_cachedCount.load(), 3);
    // Two superseded records and the deleted file's went; the live ones stay.
    size_t live = 32;
    size_t record = 0;
    for (const auto& [path, entry] : m_store.entries()) {
        const GripTexts& t = entry.grip;
        record = kRecordFixedSize + 2 * path.size() + t.nameKey.size() + t.title.size() +
                 t.artist.size() + t.album.size();
        live += record;
    }
    EXPECT_GE(report.bytesFreed, 3 * record);
    EXPECT_EQ(fs::file_size(m_dir.File("cache.dat")), live);

    // A cache from before stamps (no index, no mark): the changed file is
    // taken as it is, once.
    m_store.LoadCache(m_dir.File("elsewhere.dat"), nullptr);
    fs::remove(GripStore::IndexPath(m_dir.File("cache.dat")));
    {
        std::fstream cache(m_dir.File("cache.dat"), std::ios::in | std::ios::out | std::ios::binary);
        cache.seekp(kCacheMarkOffset);
        cache.put(0);
    }
    ASSERT_EQ(m_store.LoadCache(m_dir.File("cache.dat"), &m_owner), S_OK);
    EXPECT_EQ(m_store.Find(U16(Music() + "/retagged.raw"))->grip.title, "new title");
    touch(Music() + "/retagged.raw", 20);
    Scan({Music()});
    EXPECT_EQ(Opens(), 6u);
    touch(Music() + "/retagged.raw", 30);
    Scan({Music()});
    EXPECT_EQ(Opens(), 7u);
}

TEST_F(ScanTest, LinksAreFollowedWithoutLoopsAndSpecialFilesAreSkipped) {
    WriteSong(Music() + "/a1.raw", 1);
    WriteSong(m_dir.File("elsewhere/a2.raw"), 1);
    fs::create_directories(Music() + "/sub");
    fs::create_directory_symlink("..", Music() + "/sub/up");        // loop to an ancestor
    fs::create_directory_symlink(Music(), Music() + "/sub/again");  // loop by full path
    fs::create_symlink(m_dir.File("elsewhere/a2.raw"), Music() + "/link.raw");
    fs::create_symlink(m_dir.File("missing.raw"), Music() + "/dangling.raw");
    ASSERT_EQ(mkfifo((Music() + "/pipe.raw").c_str(), 0600), 0);
    WriteSong(Music() + "/caf\xe9.raw", 1);  // a name that is not UTF-8
    Start();
    Scan({Music()});
    EXPECT_EQ(m_owner.m_pendingCount.load(), 3);
    EXPECT_EQ(m_owner.m_doneCount.load(), 3);
    const std::multiset<std::pair<std::string, std::string>> expected{
        {"a1.raw", "link.raw"}, {"a1.raw", "caf\xe9.raw"}, {"caf\xe9.raw", "link.raw"}};
    EXPECT_EQ(Pairs(), expected);
    // The name survives the cache file byte for byte.
    GripStore reloaded;
    m_store.LoadCache(m_dir.File("elsewhere.dat"), nullptr);
    ASSERT_EQ(reloaded.LoadCache(m_dir.File("cache.dat"), nullptr), S_OK);
    EXPECT_NE(reloaded.Find(BytesToU16(Music() + "/caf\xe9.raw")), nullptr);
}

TEST_F(ScanTest, StaleRequestsAreDroppedAndANewScanRestarts) {
    for (int i = 0; i < 4; ++i) {
        WriteSong(Music() + "/s" + std::to_string(i) + ".raw", 5);
    }
    Start(1);
    const int32_t old = BeginScan(&m_owner, m_store);
    const int32_t current = BeginScan(&m_owner, m_store);
    ASSERT_EQ(current, old + 1);
    // Work of the superseded scan is skipped unrun.
    PostFolders(m_pool, old, {U16(Music())});
    auto file = std::make_unique<WorkRequest>();
    file->kind = kProcessFile;
    file->generation = old;
    file->path = U16(Music() + "/s0.raw");
    m_pool.PostRequest(std::move(file));
    while (!m_pool.WaitUntilIdle(old, 1s)) {
    }
    EXPECT_EQ(Opens(), 0u);
    EXPECT_EQ(m_owner.m_pendingCount.load(), 0);

    Scan({Music()});
    EXPECT_EQ(m_owner.List().size(), 6u);
    // Start a scan and supersede it at once: the list and counters restart.
    const int32_t abandoned = BeginScan(&m_owner, m_store);
    PostFolders(m_pool, abandoned, {U16(Music())});
    const int32_t latest = Scan({Music()});
    while (!m_pool.WaitUntilIdle(abandoned, 1s)) {
    }
    EXPECT_EQ(latest, abandoned + 1);
    EXPECT_EQ(m_owner.Clears(), 5);
    EXPECT_EQ(m_owner.m_doneCount.load(), 4);
    EXPECT_EQ(m_owner.List().size(), 6u);
    EXPECT_EQ(Opens(), 4u);
}

TEST_F(ScanTest, ExperimentalFiguresArriveForMinuteLongPairsOnly) {
    constexpr size_t kMinute = 22050 * 60;
    const std::vector<float> piece = Piece(kMinute + 22050, 8);
    WriteFakeAudio(Music() + "/long1.raw", {}, ToPcm16(piece));
    WriteFakeAudio(Music() + "/long2.raw", {}, ToPcm16(piece));
    WriteFakeAudio(Music() + "/short.raw", {},
                   ToPcm16(std::vector<float>(piece.begin(), piece.begin() + kMinute - 22050)));
    g_accurate = true;
    Start();
    Scan({Music()});
    // The list holds the three pairs; only the pair of minute-long files got
    // a figure, the pairs with the short file a failure, each as an update
    // of its own record.
    std::vector<DuplicatePair> list = m_owner.List();
    int updates = 0;
    int pending = 0;
    for (const DuplicatePair& p : list) {
        const bool withShort = U16ToBytes(p.path1).find("short") != std::string::npos ||
                               U16ToBytes(p.path2).find("short") != std::string::npos;
        if (p.isUpdate) {
            ++updates;
            if (withShort) {
                EXPECT_EQ(p.experimentalPercent, kExperimentalFailed);
                continue;
            }
            EXPECT_GE(p.experimentalPercent, 0.0f);
            EXPECT_LE(p.experimentalPercent, 100.0f);
            EXPECT_EQ(p.contentPercent, 0.0f);
            const bool named = std::any_of(list.begin(), list.end(), [&](const DuplicatePair& q) {
                return !q.isUpdate && q.path1 == p.path1 && q.path2 == p.path2;
            });
            EXPECT_TRUE(named);
        } else {
            EXPECT_EQ(p.experimentalPercent, kExperimentalPending);
            ++pending;
        }
    }
    EXPECT_EQ(pending, 3);
    EXPECT_EQ(updates, 3);

    // A request of a superseded scan is dropped unrun.
    const int32_t old = ScanGeneration.load();
    BeginScan(&m_owner, m_store);
    auto request = std::make_unique<WorkRequest>();
    request->kind = kCompareExperimental;
    request->generation = old;
    request->path = U16(Music() + "/long1.raw");
    request->secondPath = U16(Music() + "/long2.raw");
    m_pool.PostRequest(std::move(request));
    while (!m_pool.WaitUntilIdle(old, 1s)) {
    }
    EXPECT_TRUE(m_owner.List().empty());
}

TEST_F(ScanTest, SkippedFilesAreCountedByReasonAndNotDecodedAgainUnlessChanged) {
    SkipMemory memory;
    ASSERT_EQ(memory.Load(m_dir.File("skipped.dat"), "plugins v1"), S_OK);
    m_owner.skipMemory = &memory;
    WriteSong(Music() + "/song.raw", 1);
    WriteSong(Music() + "/copy.raw", 1);
    const std::string clip = Music() + "/clip.raw";
    WriteFakeAudio(clip, {{"log", Log()}}, ToPcm16(Piece(22050 * 14, 3)));
    // Eight-bit chunks are refused by the decoder set once the file is open.
    WriteFakeAudio(Music() + "/damaged.raw", {{"log", Log()}, {"bits", "8"}},
                   ToPcm16(Piece(kPieceLength, 4)));
    // A file that says it lasts a minute but ends after 10 s, and one with no sample at all.
    WriteFakeAudio(Music() + "/cut.raw", {{"log", Log()}, {"duration", "60000"}},
                   ToPcm16(Piece(22050 * 10, 5)));
    WriteFakeAudioBytes(Music() + "/empty.raw", {{"log", Log()}}, "");
    std::ofstream(Music() + "/notes.flac") << "not audio";
    ASSERT_EQ(mkfifo((Music() + "/pipe").c_str(), 0600), 0);
    fs::create_symlink(m_dir.File("missing.raw"), Music() + "/dangling.raw");
    Start();

    auto reasons = [this] {
        std::map<std::string, std::string> byName;
        for (const SkippedFile& file : m_owner.CopySkipped()) {
            byName[fs::path(U16ToBytes(file.path)).filename()] =
                std::string(SkipReasonName(file.reason));
        }
        return byName;
    };
    const std::map<std::string, std::string> expected{
        {"clip.raw", "too-short"},     {"damaged.raw", "damaged"},    {"cut.raw", "damaged"},
        {"empty.raw", "damaged"},      {"notes.flac", "unsupported"}, {"pipe", "not-regular"},
        {"dangling.raw", "unreadable"}};
    struct Counts {
        int found, fromCache, fresh, skipped;
        bool operator==(const Counts&) const = default;
    };
    auto counts = [this] {
        return Counts{m_owner.m_foundCount.load(), m_owner.m_fromCacheCount.load(),
                      m_owner.m_newCount.load(), m_owner.m_skippedCount.load()};
    };

    Scan({Music()});
    EXPECT_EQ(reasons(), expected);
    EXPECT_EQ(counts(), (Counts{9, 0, 2, 7}));
    EXPECT_EQ(Opens(), 6u);

    // Unchanged: nothing is opened again, and every file keeps its reason.
    Scan({Music()});
    EXPECT_EQ(reasons(), expected);
    EXPECT_EQ(counts(), (Counts{9, 2, 0, 7}));
    EXPECT_EQ(Opens(), 6u);

    // A fresh start reads the same memory from its file.
    SkipMemory reloaded;
    ASSERT_EQ(reloaded.Load(m_dir.File("skipped.dat"), "plugins v1"), S_OK);
    FileStamp stamp;
    ASSERT_TRUE(ReadFileStamp(clip, &stamp));
    EXPECT_EQ(reloaded.Find(U16(clip), stamp), SkipReason::kTooShort);

    // The clip grows into a song: it is decoded again and joins the scan.
    WriteSong(clip, 1);
    Scan({Music()});
    EXPECT_EQ(counts(), (Counts{9, 2, 1, 6}));
    EXPECT_EQ(Opens(), 7u);
    EXPECT_EQ(m_owner.List().size(), 3u);
    m_owner.skipMemory = nullptr;
}

TEST_F(ScanTest, MissingFolderAndOwnerlessWorkerFail) {
    Start();
    Scan({Music() + "/missing"});
    EXPECT_EQ(m_owner.m_pendingCount.load(), 0);

    WorkerPool idle(nullptr, nullptr);
    CWorker worker(idle, m_store, m_dir.File("plugins"));
    const int32_t generation = ScanGeneration.load();
    EXPECT_EQ(worker.ScanFolder(generation, U16(Music())), E_FAIL);
    EXPECT_EQ(worker.FileJob(generation, U16(Music() + "/x.raw")), E_FAIL);
    EXPECT_EQ(ResetScan(nullptr, m_store), E_FAIL);
}

}  // namespace
