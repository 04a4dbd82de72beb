// harmonyfox-cli scan, run as the user runs it, on generated corpora: fake
// audio read by a fake plug-in placed beside a copy of the program.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kLength = 22050 * 17;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// One pair as listed: file names of path1 and path2, figures as printed.
struct Row {
    std::string name1;
    std::string name2;
    std::string content;
    std::string tags;
    std::string experimental;
};

class ScanCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_dir.File("bin"));
        fs::copy_file(std::string(HF_BIN_DIR) + "/harmonyfox-cli", Program());
        InstallPlugins(m_dir.File("bin"), {"fake_high"});
        fs::create_directories(Music());
    }

    std::string Program() const { return m_dir.File("bin/harmonyfox-cli"); }
    std::string Music() const { return m_dir.File("music"); }
    std::string Cache() const { return m_dir.File("cache/cache.dat"); }
    std::string Log() const { return m_dir.File("opens.log"); }

    Outcome Scan(const std::vector<std::string>& args, bool withCache = true) {
        std::string command = "scan";
        if (withCache) {
            command += " --cache ";
            command += Quote(Cache());
        }
        for (const std::string& a : args) {
            command += ' ';
            command += Quote(a);
        }
        return Run(command);
    }

    // The program with arguments, quoted as the shell wants them.
    // wrapper: a command that runs the program (as another user, say).
    Outcome Run(std::string command, const std::string& wrapper = "") {
        // Remembered "not duplicates" are read from the test's own data folder.
        command = "XDG_DATA_HOME=" + Quote(m_dir.File("data")) + " " + wrapper + Quote(Program()) +
                  " " + command;
        const std::string out = m_dir.File("stdout");
        const std::string err = m_dir.File("stderr");
        command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
        Outcome run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = Slurp(out);
        run.err = Slurp(err);
        return run;
    }

    void Song(const std::string& name, uint32_t piece,
              std::map<std::string, std::string> keys = {}) {
        keys["log"] = Log();
        const std::string path = Music() + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        WriteFakeAudio(path, keys, ToPcm16(Piece(kLength, piece)));
    }

    size_t Opens() const {
        const std::string log = Slurp(Log());
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    static std::vector<Row> Rows(const std::string& tsv) {
        std::vector<Row> rows;
        std::istringstream in(tsv);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, "path1\tpath2\tcontent\ttags\texperimental");
        while (std::getline(in, line)) {
            std::vector<std::string> cells;
            std::istringstream fields(line);
            std::string cell;
            while (std::getline(fields, cell, '\t')) {
                cells.push_back(cell);
            }
            EXPECT_EQ(cells.size(), 5u) << line;
            if (cells.size() == 5) {
                rows.push_back({fs::path(cells[0]).filename(), fs::path(cells[1]).filename(),
                                cells[2], cells[3], cells[4]});
            }
        }
        return rows;
    }

    // The unordered pairs of names.
    static std::multiset<std::pair<std::string, std::string>> Pairs(const std::vector<Row>& rows) {
        std::multiset<std::pair<std::string, std::string>> out;
        for (const Row& r : rows) {
            out.insert(std::minmax(r.name1, r.name2));
        }
        return out;
    }

    TempDir m_dir;
};

TEST_F(ScanCommandTest, ArgumentsAndFailures) {
    const Outcome help = Scan({"--help"}, false);
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--method", "--sensitivity", "--experimental", "--cache", "--format",
                             "--output", "tsv", "json", "m3u", "Exit status"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--method", "sound", Music()},
        {"--sensitivity", "1.5", Music()},
        {"--sensitivity", "x", Music()},
        {"--sensitivity=nan", Music()},
        {"--format", "xml", Music()},
        {"--colour", Music()},
        {Music(), "--output"},
    };
    for (const auto& args : bad) {
        const Outcome run = Scan(args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
    const Outcome missing = Scan({Music() + "/nowhere"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such folder"), std::string::npos);

    // Another running copy holds the cache file.
    fs::create_directories(fs::path(Cache()).parent_path());
    const int held = open(Cache().c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const Outcome locked = Scan({Music()});
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("Another Harmonyfox is running"), std::string::npos) << locked.err;
    close(held);

    // A file that is not a cache is left alone, and the run fails.
    const std::string song = m_dir.File("song.mp3");
    std::ofstream(song) << "ID3 and then some audio";
    const Outcome foreign = Scan({"--cache", song, Music()}, false);
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.err.find("not a Harmonyfox cache"), std::string::npos) << foreign.err;
    EXPECT_EQ(Slurp(song), "ID3 and then some audio");

    // The listing never replaces the cache, by its name or through a link.
    fs::create_symlink(Cache(), m_dir.File("alias.tsv"));
    ASSERT_EQ(Scan({Music()}).status, 0);
    for (const std::string& output : {Cache(), m_dir.File("alias.tsv")}) {
        const std::string before = Slurp(Cache());
        const Outcome same = Scan({"--output", output, Music()});
        EXPECT_EQ(same.status, 2) << output;
        EXPECT_NE(same.err.find("cache file"), std::string::npos);
        EXPECT_EQ(Slurp(Cache()), before);
    }

    const Outcome unwritable = Scan({"--output", m_dir.File("no/such/folder/out.tsv"), Music()});
    EXPECT_EQ(unwritable.status, 1);
}

// Files of ours are never overwritten through the arguments, nor waited on
// as FIFOs, and a folder where a file of ours should be is a message.
TEST_F(ScanCommandTest, OurFilesAreNeverTakenOverNorWaitedOn) {
    Song("one.raw", 1);
    Song("two.raw", 1);
    fs::create_directories(Music() + "/ref");
    ASSERT_EQ(Scan({Music()}).status, 0);
    const std::string cacheFolder = fs::path(Cache()).parent_path();
    const std::string notDuplicates = m_dir.File("data/Quillmere/Harmonyfox/not-duplicates.txt");
    fs::create_directories(fs::path(notDuplicates).parent_path());
    std::ofstream(notDuplicates) << "/x\t/y\n";
    const std::string out = m_dir.File("out.tsv");
    struct Refused {
        std::vector<std::string> args;
        const char* said;
    };
    const Refused refused[] = {
        {{"--output", Cache()}, "the cache file"},
        {{"--skipped", Cache()}, "the cache file"},
        {{"--output", cacheFolder + "/cache.idx"}, "stamp index"},
        {{"--skipped", cacheFolder + "/cache.skip"}, "skipped files"},
        {{"--output", notDuplicates}, "not duplicates"},
        {{"--output", out, "--skipped", out}, "the same file"},
        {{"--keep", ""}, "usage:"},
        {{"--reference", Music() + "/ref", "--exclude", Music() + "/ref/"},
         "both a reference folder and excluded"},
        {{"--exclude", Music()}, "both scanned and excluded"},
    };
    for (const Refused& r : refused) {
        std::map<std::string, std::string> before;
        for (const std::string& f :
             {Cache(), cacheFolder + "/cache.idx", cacheFolder + "/cache.skip", notDuplicates}) {
            before[f] = Slurp(f);
        }
        std::vector<std::string> args = r.args;
        args.push_back(Music());
        const Outcome run = Scan(args);
        EXPECT_EQ(run.status, 2) << r.args[0] << " " << r.args[1];
        EXPECT_NE(run.err.find(r.said), std::string::npos) << run.err;
        for (const auto& [f, bytes] : before) {
            EXPECT_EQ(Slurp(f), bytes) << f;
        }
    }

    // FIFOs and a folder in the places of our files: the scan runs, says so
    // and leaves them as they are.
    fs::remove(cacheFolder + "/cache.skip");
    ASSERT_EQ(mkfifo((cacheFolder + "/cache.skip").c_str(), 0644), 0);
    fs::remove(notDuplicates);
    ASSERT_EQ(mkfifo(notDuplicates.c_str(), 0644), 0);
    const Outcome fifos = Scan({Music()});
    EXPECT_EQ(fifos.status, 0) << fifos.err;
    EXPECT_NE(fifos.err.find("is not a list of skipped files"), std::string::npos) << fifos.err;
    EXPECT_NE(fifos.err.find("cannot read " + notDuplicates), std::string::npos) << fifos.err;
    EXPECT_EQ(Rows(fifos.out).size(), 1u);
    fs::remove(notDuplicates);
    fs::create_directory(notDuplicates);
    const Outcome folder = Scan({Music()});
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_NE(folder.err.find("cannot read " + notDuplicates), std::string::npos) << folder.err;
    EXPECT_TRUE(fs::is_fifo(cacheFolder + "/cache.skip"));
    EXPECT_TRUE(fs::is_directory(notDuplicates));

    // Another cache in the same folder keeps to its own side files, and a
    // user's own skipped.dat beside it is left alone.
    std::ofstream(cacheFolder + "/skipped.dat") << "my own notes";
    ASSERT_EQ(Scan({"--cache", cacheFolder + "/new.dat", Music()}, false).status, 0);
    EXPECT_EQ(Slurp(cacheFolder + "/skipped.dat"), "my own notes");
    EXPECT_TRUE(fs::exists(cacheFolder + "/new.skip"));
    EXPECT_TRUE(fs::exists(cacheFolder + "/new.idx"));

    // The stamp index named as the cache is no older cache to start afresh.
    const std::string index = Slurp(cacheFolder + "/cache.idx");
    const Outcome asCache = Scan({"--cache", cacheFolder + "/cache.idx", Music()}, false);
    EXPECT_EQ(asCache.status, 1);
    EXPECT_NE(asCache.err.find("not a Harmonyfox cache"), std::string::npos) << asCache.err;
    EXPECT_EQ(Slurp(cacheFolder + "/cache.idx"), index);
}

// A cache that cannot grow: the scan says how many fingerprints could not be
// saved and why, and exits 1; the records written before load at the next
// scan, which saves no more than the first.
TEST_F(ScanCommandTest, FingerprintsThatCannotBeSavedAreSaid) {
    constexpr int kSongs = 9;
    for (int i = 0; i < kSongs; ++i) {
        Song("song" + std::to_string(i) + ".raw", static_cast<uint32_t>(10 + i));
    }
    const std::string folder = fs::path(Cache()).parent_path();
    struct Case {
        const char* name;
        const char* reason;
        bool smallDisk;  // else a file size limit
    };
    const Case cases[] = {
        {"a file size limit", "file size limit reached", false},
        {"a full disk", "disk full", true},
    };
    const std::regex said(R"((\d+) fingerprints? could not be saved \(([^)]*)\))");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::string wrapper;
        if (!c.smallDisk) {
            // 40 KiB: the header and four records, not nine.
            wrapper = "bash -c 'ulimit -f 40; exec \"$0\" \"$@\"' ";
        } else if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=40k hftest " +
                                                  Quote(folder) + " 2>/dev/null")
                                                     .c_str()) != 0) {
            std::printf("[  SKIPPED ] %s: mounting a small tmpfs needs root\n", c.name);
            continue;
        }
        const std::string command = "scan --cache " + Quote(Cache()) + " " + Quote(Music());
        const Outcome first = Run(command, wrapper);
        const Outcome second = Run(command, wrapper);
        if (c.smallDisk) {
            EXPECT_EQ(std::system(("umount " + Quote(folder)).c_str()), 0);
        }
        std::smatch firstSaid;
        ASSERT_TRUE(std::regex_search(first.err, firstSaid, said)) << first.err;
        EXPECT_EQ(first.status, 1) << first.err;
        EXPECT_EQ(firstSaid[2], c.reason);
        const int unsaved = std::stoi(firstSaid[1]);
        EXPECT_GT(unsaved, 0);
        EXPECT_LT(unsaved, kSongs);
        EXPECT_NE(second.err.find(std::to_string(kSongs - unsaved) + " from the cache"),
                  std::string::npos)
            << second.err;
        std::smatch secondSaid;
        ASSERT_TRUE(std::regex_search(second.err, secondSaid, said)) << second.err;
        EXPECT_EQ(second.status, 1);
        EXPECT_EQ(std::stoi(secondSaid[1]), unsaved);
    }
}

TEST_F(ScanCommandTest, CorpusPairsEveryCopyAndOnlyCopiesAndRescanUsesTheCache) {
    // Three pieces in three copies each, tagged and not, in nested folders.
    for (uint32_t piece = 1; piece <= 3; ++piece) {
        const std::string p = std::to_string(piece);
        Song("p" + p + "a.raw", piece, {{"title", "Song " + p}, {"artist", "Band"}});
        Song("sub/p" + p + "b.raw", piece);
        const char* titles[] = {"", "Rain", "Fire", "Snow"};
        Song("sub/deeper/p" + p + "c.raw", piece, {{"title", titles[piece]}});
    }
    std::ofstream(Music() + "/cover.jpg") << "not audio";

    const Outcome first = Scan({Music()});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::vector<Row> rows = Rows(first.out);
    std::multiset<std::pair<std::string, std::string>> expected;
    for (const char* p : {"p1", "p2", "p3"}) {
        const std::string a = std::string(p) + "a.raw";
        const std::string b = std::string(p) + "b.raw";
        const std::string c = std::string(p) + "c.raw";
        expected.insert(std::minmax(a, b));
        expected.insert(std::minmax(a, c));
        expected.insert(std::minmax(b, c));
    }
    EXPECT_EQ(Pairs(rows), expected);
    for (const Row& r : rows) {
        EXPECT_EQ(r.experimental, "n/a");
        EXPECT_EQ(r.content.find('.'), r.content.size() - 2) << r.content;  // one decimal
    }
    EXPECT_EQ(Opens(), 9u);  // every audio file once
    EXPECT_NE(first.err.find("9 pairs; 9 files done of 10 found; 9 cached; 9 new, 0 from the "
                             "cache, 1 skipped (1 unsupported)"),
              std::string::npos)
        << first.err;

    const std::string skipped = m_dir.File("skipped.tsv");
    const Outcome again = Scan({Music(), "--format", "json", "--skipped", skipped});
    ASSERT_EQ(again.status, 0) << again.err;
    // The fingerprints all come from the cache; only the verdicts decode, both
    // files of each pair of equal fingerprints.
    EXPECT_EQ(Opens(), 9u + 2 * 9u);
    const nlohmann::json document = nlohmann::json::parse(again.out);
    EXPECT_EQ(document["counters"],
              nlohmann::json::parse(R"({"cached":9,"found":10,"done":9,"new":0,"fromCache":9,
                  "skipped":1,"skippedBy":{"unsupported":1,"damaged":0,"too-short":0,
                  "unreadable":0,"not-regular":0,"silent":0}})"));
    EXPECT_EQ(document["pairs"].size(), 9u);
    for (const nlohmann::json& pair : document["pairs"]) {
        // Every pair here is alike by content: the offset is a number.
        EXPECT_EQ(pair["verdict"], "same audio") << pair;
        EXPECT_TRUE(pair["offset_s"].is_number()) << pair;
    }
    EXPECT_EQ(Slurp(skipped), Music() + "/cover.jpg\tunsupported\n");

    const std::string playlist = m_dir.File("list.m3u");
    const Outcome m3u = Scan({"--format=m3u", "--output", playlist, Music()});
    ASSERT_EQ(m3u.status, 0) << m3u.err;
    EXPECT_TRUE(m3u.out.empty());
    const std::string bytes = Slurp(playlist);
    EXPECT_EQ(bytes.rfind("#EXTM3U\r\n", 0), 0u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + 9);  // each file once
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");

    // A name with a line break stays out of the playlist and is counted.
    Song("sub/p1\n#EXTINF:0,x\nd.raw", 1);
    const Outcome odd = Scan({"--format=m3u", Music()});
    ASSERT_EQ(odd.status, 0) << odd.err;
    EXPECT_EQ(odd.out.find("#EXTINF"), std::string::npos);
    EXPECT_EQ(std::count(odd.out.begin(), odd.out.end(), '\n'), 1 + 9);
    EXPECT_NE(odd.err.find("1 paths left out of the playlist"), std::string::npos) << odd.err;

    // Cleaning drops the entries of files that went.
    fs::remove(Music() + "/p1a.raw");
    fs::remove(Music() + "/sub/p1\n#EXTINF:0,x\nd.raw");
    const Outcome cleaned = Run("clean-cache --cache " + Quote(Cache()));
    EXPECT_EQ(cleaned.status, 0) << cleaned.err;
    EXPECT_EQ(cleaned.out.rfind("2 entries dropped, ", 0), 0u) << cleaned.out;
    EXPECT_NE(cleaned.out.find("8 entries kept"), std::string::npos) << cleaned.out;
}

TEST_F(ScanCommandTest, JsonKeepsNamesThatAreNotUtf8) {
    Song("caf\xC3\xA9 \"1\".raw", 5);
    Song("bad\xFF\\2.raw", 5);
    const Outcome run = Scan({"--format", "json", Music()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("bad\\udcff\\\\2.raw"), std::string::npos) << run.out;
    std::string readable = run.out;
    readable.replace(readable.find("\\udcff"), 6, "?");
    const nlohmann::json pair = nlohmann::json::parse(readable)["pairs"].at(0);
    const std::set<std::string> names = {fs::path(pair["path1"].get<std::string>()).filename(),
                                         fs::path(pair["path2"].get<std::string>()).filename()};
    EXPECT_EQ(names, (std::set<std::string>{"bad?\\2.raw", "caf\xC3\xA9 \"1\".raw"}));
}

TEST_F(ScanCommandTest, GroupsWithKeepersReferenceExclusionsAndNotDuplicates) {
    Song("a/one.raw", 1, {{"bitrate", "128000"}});
    Song("b/one.raw", 1, {{"bitrate", "320000"}});
    Song("ref/one.raw", 1, {{"bitrate", "64000"}});
    Song("a/two.raw", 2, {{"bitrate", "128000"}, {"title", "Two"}, {"artist", "Band"}});
    Song("b/two.raw", 2, {{"bitrate", "320000"}});
    Song("old/three.raw", 3);
    Song("a/three.raw", 3);
    // Each group as "keeper: role path, role path" (the others sorted, as
    // their order follows the order found); groups numbered 1, 2, ...
    auto groups = [this](const std::string& tsv) {
        std::map<int, std::vector<std::string>> numbered;
        std::istringstream in(tsv);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, "group\trole\tpath");
        while (std::getline(in, line)) {
            std::istringstream cells(line);
            int number = 0;
            std::string role;
            std::string path;
            cells >> number;
            cells.ignore();
            std::getline(cells, role, '\t');
            std::getline(cells, path);
            numbered[number].push_back(role + " " + path.substr(Music().size() + 1));
        }
        std::set<std::string> out;
        int expected = 1;
        for (auto& [number, files] : numbered) {
            EXPECT_EQ(number, expected++);
            EXPECT_EQ(files[0].rfind("keeper ", 0), 0u) << files[0];
            std::sort(files.begin() + 1, files.end());
            std::string text = files[0].substr(7) + ":";
            for (size_t i = 1; i < files.size(); ++i) {
                text += (i == 1 ? " " : ", ") + files[i];
            }
            out.insert(text);
        }
        return out;
    };
    struct Case {
        std::vector<std::string> args;
        std::set<std::string> groups;
    };
    const Case cases[] = {
        {{"--reference", Music() + "/ref", "--exclude", Music() + "/old"},
         {"ref/one.raw: duplicate a/one.raw, duplicate b/one.raw",
          "b/two.raw: duplicate a/two.raw"}},
        {{"--keep", "tags,bitrate", "--exclude", Music() + "/ref"},
         {"b/one.raw: duplicate a/one.raw", "a/two.raw: duplicate b/two.raw",
          "a/three.raw: duplicate old/three.raw"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--groups");
        args.push_back(Music());
        const Outcome run = Scan(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(groups(run.out), c.groups) << c.args[0];
    }

    // JSON, and a pair remembered as "not duplicates" is left out.
    fs::create_directories(m_dir.File("data/Quillmere/Harmonyfox"));
    std::ofstream(m_dir.File("data/Quillmere/Harmonyfox/not-duplicates.txt"))
        << Music() << "/b/two.raw\t" << Music() << "/a/two.raw\n";
    const Outcome json = Scan({"--groups", "--format", "json", "--reference", Music() + "/ref",
                               "--exclude", Music() + "/old", Music()});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document["groups"].size(), 1u) << json.out;
    const nlohmann::json& group = document["groups"][0];
    EXPECT_EQ(group["keeper"], Music() + "/ref/one.raw");
    EXPECT_EQ(group["files"][0],
              (nlohmann::json{
                  {"path", Music() + "/ref/one.raw"}, {"role", "keeper"}, {"verdict", nullptr}}));
    EXPECT_EQ(group["files"].size(), 3u);
    // The copies of one are paired with the keeper, each with its verdict.
    EXPECT_TRUE(group["files"][1]["verdict"].is_string()) << group;
    EXPECT_TRUE(group["files"][2]["verdict"].is_string()) << group;
    EXPECT_EQ(document["counters"]["found"], 6);  // every file but the excluded one
    const Outcome pairs = Scan({"--exclude", Music() + "/old", Music()});
    // The three pairs of one; two's pair is not one of duplicates, three's copy is excluded.
    EXPECT_EQ(Rows(pairs.out).size(), 3u);
}

// RFC 4180 records, read as a spreadsheet reads them: quoted fields may hold
// commas, doubled quotation marks and line breaks; records end with CR LF.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = records.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            records.emplace_back(1);
        } else {
            field += c;
        }
    }
    EXPECT_FALSE(quoted) << "an open quotation at the end";
    EXPECT_EQ(records.back(), std::vector<std::string>(1)) << "no CR LF after the last record";
    records.pop_back();
    return records;
}

TEST_F(ScanCommandTest, CsvReadsBackAsTheJsonOfTheSameScan) {
    // Names a CSV reader trips over: a comma, quotation marks, a line break,
    // letters beyond ASCII and spaces at both ends.
    Song("a, \"quoted\".raw", 7, {{"bitrate", "320000"}});
    Song("line\nbreak.raw", 7);
    Song(" Gr\xC3\xBC\xC3\x9F\x65 \xE2\x99\xAB .raw", 7);
    auto figure = [](const nlohmann::json& value) {
        char text[32] = "";
        if (value.is_number()) {
            std::snprintf(text, sizeof(text), "%.1f", value.get<double>());
        }
        return std::string(text);
    };
    for (const bool groups : {false, true}) {
        std::vector<std::string> args = {"--format", "csv"};
        if (groups) {
            args.push_back("--groups");
        }
        args.push_back(Music());
        const Outcome csv = Scan(args);
        args[1] = "json";
        const Outcome json = Scan(args);
        ASSERT_EQ(csv.status, 0) << csv.err;
        ASSERT_EQ(json.status, 0) << json.err;
        const nlohmann::json document = nlohmann::json::parse(json.out);
        std::vector<std::vector<std::string>> expected;
        for (const nlohmann::json& pair : document.value("pairs", nlohmann::json::array())) {
            expected.push_back({pair["path1"], pair["path2"], figure(pair["content"]),
                                figure(pair["tags"]), figure(pair["experimental"]), pair["verdict"],
                                figure(pair["offset_s"])});
        }
        const nlohmann::json listed = document.value("groups", nlohmann::json::array());
        for (size_t g = 0; g < listed.size(); ++g) {
            for (const nlohmann::json& file : listed[g]["files"]) {
                expected.push_back({std::to_string(g + 1), file["role"], file["path"],
                                    file["verdict"].is_string() ? file["verdict"].get<std::string>()
                                                                : std::string()});
            }
        }
        std::vector<std::vector<std::string>> records = ReadCsv(csv.out);
        ASSERT_EQ(records.size(), 4u) << csv.out;
        records.erase(records.begin());  // the header
        for (std::vector<std::string>& record : records) {
            ASSERT_EQ(record.size(), 7u) << csv.out;
            if (groups) {  // the figures against the keeper are the pairs' own
                record = {record[0], record[1], record[2], record[6]};
            }
        }
        EXPECT_EQ(records, expected) << csv.out;
    }
}

// A folder the walk cannot open is a skipped file, never lost without a
// word. Root opens any folder, so the scan runs as "nobody" then.
TEST_F(ScanCommandTest, UnreadableFoldersAreSkippedFiles) {
    Song("open/one.raw", 1);
    Song("closed/two.raw", 2);
    fs::create_directories(fs::path(Cache()).parent_path());
    fs::permissions(Music() + "/closed", fs::perms::none);
    std::string prefix;
    if (geteuid() == 0) {
        if (std::system("setpriv --help >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "runs as root without setpriv: every folder opens";
        }
        for (const auto& entry : fs::recursive_directory_iterator(
                 m_dir.path(), fs::directory_options::skip_permission_denied)) {
            if (entry.path() != Music() + "/closed") {
                fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
            }
        }
        fs::permissions(m_dir.path(), fs::perms::all, fs::perm_options::add);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const std::string skipped = m_dir.File("skipped.tsv");
    const Outcome run = Run("scan --cache " + Quote(Cache()) + " --skipped " + Quote(skipped) +
                                " --format json " + Quote(Music()),
                            prefix);
    fs::permissions(Music() + "/closed", fs::perms::owner_all);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Slurp(skipped), Music() + "/closed\tunreadable\n");
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["counters"]["found"], 2);
    EXPECT_EQ(document["counters"]["skippedBy"]["unreadable"], 1);
}

// Following every duplicate line of --groups must leave a copy of every
// piece and every reference file: a pair alike by tags alone joins no two
// pieces, and a reference folder is one whatever the spelling of the path.
TEST_F(ScanCommandTest, DuplicateLinesAreSafeToDelete) {
    const std::map<std::string, std::string> same = {{"title", "Track"}, {"artist", "Unknown"}};
    Song("a/one.raw", 1, same);
    Song("b/one.raw", 1);
    Song("a/two.raw", 2, same);
    Song("b/two.raw", 2);
    Song("real/ref/three.raw", 3);
    Song("a/three.raw", 3);
    // The two pieces in a/ are listed by their tags alone.
    const Outcome tagsOnly = Scan({Music() + "/a"});
    ASSERT_EQ(tagsOnly.status, 0) << tagsOnly.err;
    EXPECT_EQ(Pairs(Rows(tagsOnly.out)).count({"one.raw", "two.raw"}), 1u) << tagsOnly.out;
    fs::create_directory_symlink(Music() + "/real", Music() + "/spelt");
    fs::create_directory_symlink(Music() + "/real/ref", Music() + "/a/into-ref");
    struct Case {
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {{"--reference", Music() + "/spelt/ref", Music() + "/a", Music() + "/b",
          Music() + "/real"}},
        {{"--reference", Music() + "/real/ref", Music() + "/spelt", Music() + "/a",
          Music() + "/b"}},
        {{"--reference", Music() + "/real/ref", Music() + "/a", Music() + "/b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--groups");
        const Outcome run = Scan(args);
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream in(run.out);
        std::string line;
        std::getline(in, line);
        std::set<std::string> left;  // what remains once every duplicate is deleted
        std::map<std::string, std::string> roles;
        while (std::getline(in, line)) {
            const size_t tab = line.find('\t');
            const size_t tab2 = line.find('\t', tab + 1);
            const std::string role = line.substr(tab + 1, tab2 - tab - 1);
            const std::string name = fs::path(line.substr(tab2 + 1)).filename();
            roles[line.substr(tab2 + 1 + Music().size() + 1)] = role;
            if (role != "duplicate") {
                left.insert(name);
            }
        }
        EXPECT_EQ(left, (std::set<std::string>{"one.raw", "two.raw", "three.raw"})) << run.out;
        for (const auto& [path, role] : roles) {
            if (path.find("ref/") != std::string::npos) {
                EXPECT_NE(role, "duplicate") << path;
            }
        }
    }
}

TEST_F(ScanCommandTest, MethodAndSensitivity) {
    // Two pieces with the same tags, and a copy with other tags.
    Song("one.raw", 1, {{"title", "Same"}, {"artist", "Band"}, {"album", "A"}});
    Song("two.raw", 2, {{"title", "Same"}, {"artist", "Band"}, {"album", "A"}});
    Song("copy.raw", 1, {{"title", "Other"}, {"artist", "Group"}, {"album", "Z"}});
    struct Case {
        std::vector<std::string> args;
        std::multiset<std::pair<std::string, std::string>> pairs;
    };
    const Case cases[] = {
        {{}, {{"copy.raw", "one.raw"}, {"one.raw", "two.raw"}}},
        {{"--method", "content"}, {{"copy.raw", "one.raw"}}},
        {{"--method", "tags"}, {{"one.raw", "two.raw"}}},
        {{"--method", "tags", "--sensitivity", "0"},
         {{"copy.raw", "one.raw"}, {"one.raw", "two.raw"}, {"copy.raw", "two.raw"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(Music());
        const Outcome run = Scan(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Pairs(Rows(run.out)), c.pairs) << (c.args.empty() ? "" : c.args[0]);
    }
    EXPECT_EQ(Opens(), 3u);
}

TEST_F(ScanCommandTest, ExperimentalFiguresReachTheirPairs) {
    // Two minute-long copies get a figure; a copy shorter than a minute fails.
    const std::vector<float> piece = Piece(22050 * 61, 4);
    WriteFakeAudio(Music() + "/long1.raw", {}, ToPcm16(piece));
    WriteFakeAudio(Music() + "/long2.raw", {}, ToPcm16(piece));
    WriteFakeAudio(Music() + "/short.raw", {},
                   ToPcm16(std::vector<float>(piece.begin(), piece.begin() + 22050 * 50)));
    const Outcome run = Scan({"--experimental", Music()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Row> rows = Rows(run.out);
    ASSERT_EQ(rows.size(), 3u);
    for (const Row& r : rows) {
        if (r.name1 != "short.raw" && r.name2 != "short.raw") {
            EXPECT_NE(r.experimental, "wait");
            EXPECT_EQ(r.experimental.find('.'), r.experimental.size() - 2) << r.experimental;
        } else {
            EXPECT_EQ(r.experimental, "failed");
        }
    }
}

// A fingerprint belongs to its file. t5 is scanned, then t4 and c4 (a copy of
// t4); the stamp index is then lost or damaged and c4 replaced by another
// piece, or a bit of t4's record turns its path into t5's. The next scan
// fingerprints the files concerned again (c4 is no copy of t4, t5 no copy of
// anything) and tells of it on one line; the scan after it says nothing more.
TEST_F(ScanCommandTest, FingerprintsWithoutTheirTieAreMadeAgainAndToldOnce) {
    using Damage = std::function<void(const std::string& cache, const std::string& index)>;
    auto cut = [](const std::string& file, uintmax_t size) { fs::resize_file(file, size); };
    struct Case {
        const char* name;
        Damage damage;
        bool replaceCopy;  // c4 becomes another piece
        std::multiset<std::pair<std::string, std::string>> pairs;
        const char* counts;  // of the scan after the damage
        bool toldAgain;      // by the scan after that
    };
    const std::multiset<std::pair<std::string, std::string>> none;
    const Case cases[] = {
        {"index deleted", [](const std::string&, const std::string& index) { fs::remove(index); },
         true, none, "3 new, 0 from the cache", false},
        {"index emptied", [&](const std::string&, const std::string& index) { cut(index, 0); },
         true, none, "3 new, 0 from the cache", false},
        {"index cut short", [&](const std::string&, const std::string& index) { cut(index, 50); },
         true, none, "3 new, 0 from the cache", false},
        {"index replaced by junk",
         [](const std::string&, const std::string& index) {
             std::ofstream(index, std::ios::binary | std::ios::trunc) << std::string(100, 'x');
         },
         true, none, "3 new, 0 from the cache", false},
        {"index with one bad header byte",
         [](const std::string&, const std::string& index) {
             std::fstream file(index, std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(0);
             file.put('h');
         },
         true, none, "3 new, 0 from the cache", false},
        {"index is a folder",
         [](const std::string&, const std::string& index) {
             fs::remove(index);
             fs::create_directory(index);
         },
         true, none, "3 new, 0 from the cache", true},
        {"one bit of t4's path flipped: it reads t5",
         [](const std::string& cache, const std::string&) {
             std::string bytes = Slurp(cache);
             const std::string t4("/\0t\0004\0.\0r\0a\0w\0", 14);
             const size_t at = bytes.find(t4);
             ASSERT_NE(at, std::string::npos);
             bytes[at + 4] ^= 0x01;
             std::ofstream(cache, std::ios::binary | std::ios::trunc) << bytes;
         },
         false,
         {{"c4.raw", "t4.raw"}},
         "1 new, 2 from the cache",
         false},
    };
    auto told = [](const std::string& err) {
        size_t lines = 0;
        for (size_t at = err.find("stamp index"); at != std::string::npos;
             at = err.find("stamp index", at + 1)) {
            ++lines;
        }
        return lines;
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = "row" + std::to_string(row++);
        const std::string cache = m_dir.File(folder + ".dat");
        const std::string index = m_dir.File(folder + ".idx");
        const std::vector<std::string> args = {"--cache", cache, Music() + "/" + folder};
        Song(folder + "/t5.raw", 2);
        ASSERT_EQ(Scan(args, false).status, 0);
        Song(folder + "/t4.raw", 1);
        Song(folder + "/c4.raw", 1);
        const Outcome before = Scan(args, false);
        ASSERT_EQ(before.status, 0) << before.err;
        ASSERT_EQ(Pairs(Rows(before.out)),
                  (std::multiset<std::pair<std::string, std::string>>{{"c4.raw", "t4.raw"}}));
        EXPECT_EQ(told(before.err), 0u) << before.err;

        c.damage(cache, index);
        if (c.replaceCopy) {
            Song(folder + "/c4.raw", 3);
        }
        const Outcome after = Scan(args, false);
        ASSERT_EQ(after.status, 0) << after.err;
        EXPECT_EQ(Pairs(Rows(after.out)), c.pairs);
        EXPECT_NE(after.err.find(c.counts), std::string::npos) << after.err;
        EXPECT_EQ(told(after.err), 1u) << after.err;
        EXPECT_EQ(after.err.rfind("harmonyfox-cli scan: ", 0), 0u) << after.err;

        const Outcome later = Scan(args, false);
        ASSERT_EQ(later.status, 0) << later.err;
        EXPECT_EQ(Pairs(Rows(later.out)), c.pairs);
        EXPECT_EQ(told(later.err), c.toldAgain ? 1u : 0u) << later.err;
        EXPECT_NE(later.err.find(c.toldAgain ? "3 new" : "0 new"), std::string::npos) << later.err;
    }
}

}  // namespace
