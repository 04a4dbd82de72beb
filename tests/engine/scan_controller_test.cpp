// The scan controller over real scans of fake audio: a rescan that takes the
// pairs of unchanged files from the last complete scan lists exactly what a
// scan comparing every pair lists, whatever changed in between.
#include "scan_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "compare_pass.h"
#include "compare_settings.h"
#include "scan_state.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kPieceLength = 22050 * 16;

using Listing =
    std::multiset<std::tuple<std::string, std::string, long, long, bool, int32_t, bool, bool>>;

class ScanControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_compareMethod = kCompareBoth;
        g_sensitivity = 0.75f;
        g_accurate = false;
        g_strictCompare = false;
        InstallPlugins(m_dir.File("plugins"), {"fake_high"});
        fs::create_directories(Music());
    }
    void TearDown() override {
        stopRequested.store(0);
        g_strictCompare = false;
        g_sensitivity = 0.75f;
    }

    std::string Music() const { return m_dir.File("music"); }
    std::string Cache() const { return m_dir.File("cache/cache.dat"); }

    void Write(const std::string& name, uint32_t piece, const std::string& title, int64_t seconds) {
        std::map<std::string, std::string> keys;
        if (!title.empty()) {
            keys["title"] = title;
            keys["artist"] = "Band";
        }
        const std::string path = Music() + "/" + name;
        WriteFakeAudio(path, keys, ToPcm16(Piece(kPieceLength, piece)));
        // A rewrite within the file system's time resolution must still show.
        fs::last_write_time(path, fs::file_time_type(std::chrono::seconds(seconds)));
    }

    // One whole scan with a controller of its own, as a new run of the
    // program makes it; keep: whether the last complete scan's pairs may serve.
    Listing Scan(bool keep) {
        if (!keep) {
            fs::remove(ResultMemory::PathBeside(Cache()));
        }
        stopRequested.store(0);
        Listing listing;
        ScanController scan(nullptr);
        EXPECT_EQ(scan.Load(Cache(), m_dir.File("plugins")), S_OK);
        EXPECT_EQ(scan.StartPool(m_dir.File("plugins")), S_OK);
        scan.Begin(FolderRoles({{U16(Music()), FolderRole::kNormal}}));
        while (scan.Running()) {
            scan.TakeNews();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        scan.TakeNews();
        for (const DuplicatePair& p : scan.pairs()) {
            const std::string one = fs::path(U16ToBytes(p.path1)).filename().string();
            const std::string two = fs::path(U16ToBytes(p.path2)).filename().string();
            // The alignment is as the pass saw it, the first name against the second.
            listing.emplace(std::min(one, two), std::max(one, two),
                            std::lround(p.contentPercent * 10), std::lround(p.tagPercent * 10),
                            p.contentMatch, one < two ? p.shift : -p.shift, p.narrowBand,
                            p.sameFingerprint);
        }
        return listing;
    }

    TempDir m_dir;
};

TEST_F(ScanControllerTest, KeptPairsEqualAComparisonOfEveryPairAfterRandomEdits) {
    std::mt19937 random(19);
    std::vector<std::string> names;
    int64_t clock = 1000000;
    auto add = [&] {
        const std::string name = "f" + std::to_string(names.size() + 100 * clock % 7) + "-" +
                                 std::to_string(clock) + ".raw";
        const uint32_t piece = 1 + random() % 6;
        Write(name, piece, random() % 3 == 0 ? "Song " + std::to_string(piece) : "", ++clock);
        names.push_back(name);
    };
    for (int i = 0; i < 14; ++i) {
        add();
    }
    const Listing first = Scan(true);
    EXPECT_FALSE(first.empty());
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Two files come, one goes, one is rewritten as another piece.
        add();
        add();
        const size_t gone = random() % names.size();
        fs::remove(Music() + "/" + names[gone]);
        names.erase(names.begin() + static_cast<std::ptrdiff_t>(gone));
        Write(names[random() % names.size()], 1 + random() % 6, "", ++clock);

        const Listing kept = Scan(true);
        const Listing full = Scan(false);
        EXPECT_EQ(kept, full);
        // And once more with nothing changed: every pair is a kept one, and
        // no pair is judged.
        const uint64_t judged = GlobalPassCounters().judged.load();
        EXPECT_EQ(Scan(true), full);
        EXPECT_EQ(GlobalPassCounters().judged.load(), judged);
    }
    // A stricter sensitivity judges the kept pairs again, without a pass;
    // a looser one compares every pair.
    Listing before = Scan(true);
    for (const float sensitivity : {0.8f, 0.93f, 0.6f}) {
        SCOPED_TRACE(sensitivity);
        g_sensitivity = sensitivity;
        const uint64_t judgedBefore = GlobalPassCounters().judged.load();
        const Listing now = Scan(true);
        EXPECT_EQ(GlobalPassCounters().judged.load() == judgedBefore, sensitivity > 0.75f);
        EXPECT_EQ(now, Scan(false));
        EXPECT_NE(now, before);
        before = now;
    }
    g_sensitivity = 0.75f;
    // Pairs judged tolerantly never stand for strict ones.
    g_strictCompare = true;
    const uint64_t judged = GlobalPassCounters().judged.load();
    const Listing strict = Scan(true);
    EXPECT_GT(GlobalPassCounters().judged.load(), judged);
    EXPECT_EQ(strict, Scan(false));
}

}  // namespace
