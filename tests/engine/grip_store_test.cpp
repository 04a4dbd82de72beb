#include "grip_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "test_files.h"
#include "test_grips.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

// The record layout written out field by field, independently of the store.
Bytes RecordBytes(const std::u16string& path, const Grip& g) {
    Bytes out;
    auto u16 = [&out](uint32_t v) {
        out.push_back(static_cast<unsigned char>(v));
        out.push_back(static_cast<unsigned char>(v >> 8));
    };
    auto floats = [&out](const float* v, size_t n) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(v);  // x86: little-endian
        out.insert(out.end(), bytes, bytes + 4 * n);
    };
    auto text = [&](const std::string& s) {
        u16(static_cast<uint32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    };
    u16(static_cast<uint32_t>(path.size()));
    for (char16_t c : path) {
        u16(c);
    }
    floats(g.envelope.data(), kEnvelopeLength);
    floats(g.drift.data(), kDriftLength);
    floats(g.spectrum.data(), kSpectrumLength);
    text(g.nameKey);
    text(g.title);
    text(g.artist);
    text(g.album);
    out.insert(out.end(), {0xFF, 'E', 'N', 'D'});
    return out;
}

Bytes HeaderBytes() {
    Bytes header(32, 0);
    std::memcpy(header.data(), "Harmonyfox 0.31", 15);
    return header;
}

void WriteBytes(const std::string& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether e holds b: its texts and its compared series, bit for bit.
bool SameGrip(const GripStore::Entry& e, const Grip& b) {
    const GripTexts& t = e.grip;
    return std::memcmp(e.vectors.envelope, b.envelope.data(), sizeof(float) * kEnvelopeLength) ==
               0 &&
           std::memcmp(e.vectors.drift, b.drift.data(), sizeof(float) * kDriftLength) == 0 &&
           std::memcmp(e.vectors.spectrum, b.spectrum.data(), sizeof(float) * kComparedBins) ==
               0 &&
           t.nameKey == b.nameKey && t.title == b.title && t.artist == b.artist &&
           t.album == b.album;
}

struct Sample {
    std::u16string path;
    Grip grip;
};

std::vector<Sample> ThreeSamples() {
    return {{u"/music/a.mp3", RandomGrip(1, "yesterday", "the beatles", "help!", "a")},
            {u"/music/\u00e9t\u00e9.flac", RandomGrip(2, "", "", "", "\xc3\xa9t\xc3\xa9")},
            {u"/music/c.wav", RandomGrip(3, "song", "", "x", "c")}};
}

class GripStoreTest : public ::testing::Test {
  protected:
    std::string CacheFile() const { return m_dir.File("cache/cache.dat"); }

    // A cache file of the header and the samples' records; the records' end
    // offsets go to ends.
    Bytes WriteCache(const std::vector<Sample>& samples, std::vector<size_t>* ends = nullptr) {
        Bytes bytes = HeaderBytes();
        for (const Sample& s : samples) {
            const Bytes record = RecordBytes(s.path, s.grip);
            bytes.insert(bytes.end(), record.begin(), record.end());
            if (ends != nullptr) {
                ends->push_back(bytes.size());
            }
        }
        fs::create_directories(fs::path(CacheFile()).parent_path());
        WriteBytes(CacheFile(), bytes);
        return bytes;
    }

    // Writes bytes to a new file each time, removing the one before:
    // rewriting one file in place makes the file system flush on every
    // truncation, which is slow.
    std::string DamagedCopy(const Bytes& bytes) {
        if (!m_copy.empty()) {
            fs::remove(m_copy);
            fs::remove(GripStore::IndexPath(m_copy));
        }
        m_copy = m_memory.File("damaged" + std::to_string(m_copies++) + ".dat");
        WriteBytes(m_copy, bytes);
        return m_copy;
    }

    TempDir m_dir;
    TempDir m_memory{true};
    RecordingOwner m_owner;
    std::string m_copy;
    int m_copies = 0;
};

TEST_F(GripStoreTest, FirstStartCreatesFolderAndHeader) {
    GripStore store;
    m_owner.m_cachedCount = 7;
    ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
    EXPECT_EQ(ReadBytes(CacheFile()), HeaderBytes());
    EXPECT_EQ(m_owner.m_cachedCount.load(), 0);
    EXPECT_EQ(store.size(), 0u);
}

TEST_F(GripStoreTest, SerializedRecordMatchesTheLayout) {
    for (const Sample& s : ThreeSamples()) {
        Bytes buffer;
        ASSERT_TRUE(GripStore::SerializeRecord(s.path, s.grip, buffer));
        EXPECT_EQ(buffer, RecordBytes(s.path, s.grip));
        EXPECT_EQ(buffer.size(), 8646 + 2 * s.path.size() + s.grip.nameKey.size() +
                                     s.grip.title.size() + s.grip.artist.size() +
                                     s.grip.album.size());
    }
}

TEST_F(GripStoreTest, AppendedRecordsLoadBackAndNextAppendOverwritesAHalfRecord) {
    const std::vector<Sample> samples = ThreeSamples();
    Bytes bytes = WriteCache(samples);
    const size_t good = bytes.size();
    const Bytes extra = RecordBytes(u"/music/half.mp3", RandomGrip(9));
    bytes.insert(bytes.end(), extra.begin(), extra.begin() + extra.size() / 2);
    WriteBytes(CacheFile(), bytes);

    {
        GripStore store;
        ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
        EXPECT_EQ(m_owner.m_cachedCount.load(), 3);
        for (const Sample& s : samples) {
            const GripStore::Entry* e = store.Find(s.path);
            ASSERT_NE(e, nullptr);
            EXPECT_TRUE(SameGrip(*e, s.grip));
            EXPECT_EQ(e->grip.sequence, kNotInScan);
        }
        const Grip added = RandomGrip(10, "t", "a", "b", "n");
        Bytes buffer;
        ExclusiveHold hold(store.lock());
        ASSERT_NE(store.Insert(u"/music/new.mp3", added), nullptr);
        store.AppendRecord(u"/music/new.mp3", added, buffer, &m_owner);
        EXPECT_EQ(m_owner.m_cachedCount.load(), 4);
    }
    const Bytes after = ReadBytes(CacheFile());
    const Bytes record = RecordBytes(u"/music/new.mp3", RandomGrip(10, "t", "a", "b", "n"));
    ASSERT_GE(after.size(), good + record.size());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), after.begin() + static_cast<long>(good)));

    GripStore again;
    ASSERT_EQ(again.LoadCache(CacheFile(), &m_owner), S_OK);
    EXPECT_EQ(again.size(), 4u);
}

TEST_F(GripStoreTest, OddRecordsAndHeaders) {
    const std::vector<Sample> samples = ThreeSamples();
    const Bytes record0 = RecordBytes(samples[0].path, samples[0].grip);
    const Bytes record2 = RecordBytes(samples[2].path, samples[2].grip);
    const size_t first = 32 + record0.size();
    Bytes withoutSecond = HeaderBytes();
    withoutSecond.insert(withoutSecond.end(), record0.begin(), record0.end());
    withoutSecond.insert(withoutSecond.end(), record2.begin(), record2.end());
    const Bytes whole = WriteCache(samples);
    struct Case {
        const char* name;
        std::function<Bytes(Bytes)> damage;  // applied to header + three records
        HRESULT result;
        size_t loaded;
        Bytes after;  // the file after loading; empty: as it was given
    };
    const Case cases[] = {
        {"path length 0 in the second record",
         [&](Bytes b) {
             b[first] = 0;
             b[first + 1] = 0;
             return b;
         },
         S_OK, 2, withoutSecond},
        {"negative path length",
         [&](Bytes b) {
             b[first + 1] = 0x80;
             return b;
         },
         S_OK, 2, withoutSecond},
        {"header of another version",
         [](Bytes b) {
             b[13] = '4';
             b[14] = '2';
             return b;
         },
         S_OK, 0, HeaderBytes()},
        {"header with one damaged byte", [](Bytes b) { return b[31] = 1, b; }, S_OK, 3, whole},
        {"our header cut short", [](Bytes b) { return b.resize(20), b; }, S_OK, 0, HeaderBytes()},
        {"empty", [](Bytes) { return Bytes(); }, S_OK, 0, HeaderBytes()},
        {"someone else's file",
         [](Bytes) { return Bytes{'I', 'D', '3', 4, 0, 0}; },
         E_CACHE_FOREIGN,
         0,
         {}},
        {"someone else's file that looks like records",
         [](Bytes b) {
             b[0] = 'h';
             b[5] = 'N';
             return b;
         },
         E_CACHE_FOREIGN,
         0,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes damaged = c.damage(whole);
        WriteBytes(CacheFile(), damaged);
        GripStore store;
        ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), c.result);
        EXPECT_EQ(store.size(), c.loaded);
        EXPECT_EQ(ReadBytes(CacheFile()), c.after.empty() ? damaged : c.after);
    }
}

// A later record of a path supersedes the earlier one; once superseded
// records are more than a quarter of the file, it is written afresh from the
// live records' own bytes, in their order.
TEST_F(GripStoreTest, SupersededRecordsAndCompaction) {
    const std::vector<Sample> base = ThreeSamples();
    const Sample a2{u"/music/a.mp3", RandomGrip(5)};
    const Sample c2{u"/music/c.wav", RandomGrip(6, "new", "tags")};
    const Sample upper{u"/music/A.mp3", RandomGrip(4)};  // differs in case: its own entry
    struct Case {
        const char* name;
        std::vector<Sample> written;
        std::vector<size_t> live;  // indices into written, in file order after loading
        bool compacted;
    };
    const Case cases[] = {
        {"one of five superseded", {base[0], base[1], base[2], upper, a2}, {1, 2, 3, 4}, false},
        {"two of five superseded", {base[0], base[1], base[2], a2, c2}, {1, 3, 4}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<size_t> ends;
        const Bytes bytes = WriteCache(c.written, &ends);
        GripStore store;
        ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
        ASSERT_EQ(store.size(), c.live.size());
        Bytes expected = HeaderBytes();
        for (size_t i : c.live) {
            EXPECT_TRUE(SameGrip(*store.Find(c.written[i].path), c.written[i].grip));
            const size_t begin = i == 0 ? 32 : ends[i - 1];
            expected.insert(expected.end(), bytes.begin() + static_cast<long>(begin),
                            bytes.begin() + static_cast<long>(ends[i]));
        }
        EXPECT_EQ(ReadBytes(CacheFile()), c.compacted ? expected : bytes);
    }
}

TEST_F(GripStoreTest, ClearLeavesTheHeader) {
    WriteCache(ThreeSamples());
    GripStore store;
    ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
    EXPECT_EQ(store.ClearCache(), S_OK);
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(ReadBytes(CacheFile()), HeaderBytes());
    // Appends go on after the header.
    Bytes buffer;
    const Sample s = ThreeSamples()[1];
    store.AppendRecord(s.path, s.grip, buffer, nullptr);
    EXPECT_EQ(ReadBytes(CacheFile()).size(), 32 + RecordBytes(s.path, s.grip).size());
}

TEST_F(GripStoreTest, SecondHolderIsRefused) {
    GripStore first;
    ASSERT_EQ(first.LoadCache(CacheFile(), &m_owner), S_OK);
    GripStore second;
    EXPECT_EQ(second.LoadCache(CacheFile(), &m_owner), E_CACHE_LOCKED);
    // Appends of the refused store go nowhere.
    Bytes buffer;
    const Sample s = ThreeSamples()[0];
    second.AppendRecord(s.path, s.grip, buffer, nullptr);
    EXPECT_EQ(ReadBytes(CacheFile()), HeaderBytes());
    // The lock goes with the file it was taken on.
    ASSERT_EQ(first.LoadCache(m_dir.File("other.dat"), &m_owner), S_OK);
    EXPECT_EQ(second.LoadCache(CacheFile(), &m_owner), S_OK);
}

TEST_F(GripStoreTest, UnusableLocationFails) {
    const std::string blocker = m_dir.File("file");
    WriteBytes(blocker, Bytes{1});
    GripStore store;
    EXPECT_EQ(store.LoadCache(blocker + "/cache.dat", &m_owner), E_FAIL);
    EXPECT_EQ(store.LoadCache(std::string(), &m_owner), E_FAIL);
    EXPECT_EQ(store.LoadCache(m_dir.path(), &m_owner), E_FAIL);
    // Neither waits on a FIFO nor writes to a device.
    ASSERT_EQ(mkfifo(m_dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(store.LoadCache(m_dir.File("fifo"), &m_owner), E_CACHE_FOREIGN);
    EXPECT_EQ(store.LoadCache("/dev/null", &m_owner), E_CACHE_FOREIGN);
}

TEST_F(GripStoreTest, OverlongFieldIsNotWritten) {
    GripStore store;
    ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
    Grip g = RandomGrip(1);
    g.title.assign(40000, 'x');
    Bytes buffer;
    store.AppendRecord(u"/music/long.mp3", g, buffer, nullptr);
    store.AppendRecord(u"/music/b.mp3", RandomGrip(2), buffer, nullptr);
    GripStore again;
    store.LoadCache(m_dir.File("elsewhere.dat"), nullptr);
    ASSERT_EQ(again.LoadCache(CacheFile(), &m_owner), S_OK);
    EXPECT_EQ(again.size(), 1u);
    EXPECT_NE(again.Find(u"/music/b.mp3"), nullptr);
}

TEST_F(GripStoreTest, DefaultLocationFollowsXdg) {
    const char* oldXdg = std::getenv("XDG_CACHE_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";

    setenv("XDG_CACHE_HOME", "/x/cache", 1);
    EXPECT_EQ(GripStore::DefaultCachePath(), "/x/cache/Quillmere/Harmonyfox/cache.dat");
    setenv("HOME", "/home/u", 1);
    setenv("XDG_CACHE_HOME", "relative", 1);
    EXPECT_EQ(GripStore::DefaultCachePath(), "/home/u/.cache/Quillmere/Harmonyfox/cache.dat");
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(GripStore::DefaultCachePath(), "/home/u/.cache/Quillmere/Harmonyfox/cache.dat");

    if (oldXdg != nullptr) {
        setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1);
    }
    if (oldHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

// Damages a small cache at every offset: loading never fails, keeps every
// record before the damage exactly, and leaves appends where the good part ends.
TEST_F(GripStoreTest, SurvivesTruncationAtEveryOffset) {
    std::vector<Sample> samples = ThreeSamples();
    samples.resize(2);
    std::vector<size_t> ends;
    const Bytes whole = WriteCache(samples, &ends);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        const std::string file =
            DamagedCopy(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        GripStore store;
        ASSERT_EQ(store.LoadCache(file, nullptr), S_OK) << cut;
        size_t expected = 0;
        while (expected < ends.size() && ends[expected] <= cut) {
            ++expected;
        }
        ASSERT_EQ(store.size(), expected) << cut;
        for (size_t i = 0; i < expected; ++i) {
            const GripStore::Entry* e = store.Find(samples[i].path);
            ASSERT_NE(e, nullptr) << cut;
            ASSERT_TRUE(SameGrip(*e, samples[i].grip)) << cut;
        }
    }
}

// Damages a small cache one byte at a time, and each length field in turn:
// every record that the damage missed loads as it was written, and a record
// appended afterwards loads beside them.
TEST_F(GripStoreTest, DamageCostsTheDamagedRecordOnly) {
    const std::vector<Sample> samples = ThreeSamples();
    std::vector<size_t> ends;
    const Bytes whole = WriteCache(samples, &ends);
    const Sample added{u"/music/added.mp3", RandomGrip(7, "added")};
    auto check = [&](const Bytes& damaged, size_t from, size_t to) {
        const std::string file = DamagedCopy(damaged);
        {
            GripStore store;
            ASSERT_EQ(store.LoadCache(file, nullptr), S_OK);
            Bytes buffer;
            store.AppendRecord(added.path, added.grip, buffer, nullptr);
        }
        GripStore store;
        ASSERT_EQ(store.LoadCache(file, nullptr), S_OK);
        for (size_t i = 0; i < samples.size(); ++i) {
            const size_t begin = i == 0 ? 32 : ends[i - 1];
            if (to <= begin || from >= ends[i]) {
                const GripStore::Entry* e = store.Find(samples[i].path);
                ASSERT_NE(e, nullptr) << i;
                ASSERT_TRUE(SameGrip(*e, samples[i].grip)) << i;
            }
        }
        const GripStore::Entry* e = store.Find(added.path);
        ASSERT_NE(e, nullptr);
        ASSERT_TRUE(SameGrip(*e, added.grip));
    };
    for (size_t at = 0; at < whole.size(); ++at) {
        SCOPED_TRACE("byte " + std::to_string(at));
        Bytes damaged = whole;
        damaged[at] ^= 0xA5;
        check(damaged, at, at + 1);
        if (HasFatalFailure()) {
            return;
        }
    }
    const int16_t values[] = {0, -1, 1, 0x7FFF};
    for (size_t i = 0; i < samples.size(); ++i) {
        const size_t begin = i == 0 ? 32 : ends[i - 1];
        std::vector<size_t> fields{begin};
        size_t at = begin + 2 + 2 * samples[i].path.size() + 4 * 2158;
        for (const std::string* text : {&samples[i].grip.nameKey, &samples[i].grip.title,
                                        &samples[i].grip.artist, &samples[i].grip.album}) {
            fields.push_back(at);
            at += 2 + text->size();
        }
        for (size_t field : fields) {
            for (int16_t value : values) {
                SCOPED_TRACE("length at " + std::to_string(field) + " = " + std::to_string(value));
                Bytes damaged = whole;
                damaged[field] = static_cast<unsigned char>(value & 0xFF);
                damaged[field + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
                check(damaged, field, field + 2);
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

// A cache of some megabytes is read on a thread of its own while the entries
// are linked in: a damaged record in its middle and a path whose later
// record supersedes an earlier one come out as in a small cache, and the
// file is written afresh from the live records.
TEST_F(GripStoreTest, LargeCacheLoadsAsASmallOneDoes) {
    constexpr size_t kRecords = 400;  // about 3.5 MB
    constexpr size_t kDamaged = 201;
    constexpr size_t kSupersedes = 350;  // a new record of file 3
    std::vector<Sample> samples;
    for (size_t i = 0; i < kRecords; ++i) {
        const size_t file = i == kSupersedes ? 3 : i;
        samples.push_back({u"/music/" + std::u16string(1, u'a' + file % 26) + u"/" +
                               std::u16string(1, u'0' + file / 26 % 10) + u"-" +
                               std::u16string(1, u'0' + file / 260) + u".flac",
                           RandomGrip(static_cast<uint32_t>(i + 1), "title", "artist")});
    }
    std::vector<size_t> ends;
    Bytes bytes = WriteCache(samples, &ends);
    bytes[ends[kDamaged] - 4] ^= 0x7F;  // its end marker
    WriteBytes(CacheFile(), bytes);

    GripStore store;
    ASSERT_EQ(store.LoadCache(CacheFile(), &m_owner), S_OK);
    EXPECT_EQ(store.size(), kRecords - 2);
    Bytes expected = HeaderBytes();
    for (size_t i = 0; i < kRecords; ++i) {
        if (i == kDamaged || i == 3) {
            continue;
        }
        const GripStore::Entry* e = store.Find(samples[i].path);
        ASSERT_NE(e, nullptr) << i;
        EXPECT_TRUE(SameGrip(*e, samples[i].grip)) << i;
        const size_t begin = i == 0 ? 32 : ends[i - 1];
        expected.insert(expected.end(), bytes.begin() + static_cast<long>(begin),
                        bytes.begin() + static_cast<long>(ends[i]));
    }
    EXPECT_EQ(store.Find(samples[kDamaged].path), nullptr);
    EXPECT_TRUE(ReadBytes(CacheFile()) == expected);
}

// The stamp index: a stamp written with a record comes back; a record
// without one (an older cache) counts as unchanged and adopts the first
// stamp it is shown.
TEST_F(GripStoreTest, StampsTellChangedFiles) {
    const std::vector<Sample> samples = ThreeSamples();
    WriteCache({samples[0]});
    const FileStamp early{1000, 5};
    const FileStamp later{1000, 6};
    {
        GripStore store;
        ASSERT_EQ(store.LoadCache(CacheFile(), nullptr), S_OK);
        ExclusiveHold hold(store.lock());
        EXPECT_TRUE(store.IsUnchanged(samples[0].path, later));  // adopted
        Bytes buffer;
        store.AppendRecord(samples[1].path, samples[1].grip, buffer, nullptr, &early);
    }
    GripStore store;
    ASSERT_EQ(store.LoadCache(CacheFile(), nullptr), S_OK);
    ExclusiveHold hold(store.lock());
    EXPECT_TRUE(store.IsUnchanged(samples[0].path, later));
    EXPECT_FALSE(store.IsUnchanged(samples[0].path, early));
    EXPECT_TRUE(store.IsUnchanged(samples[1].path, early));
    EXPECT_FALSE(store.IsUnchanged(samples[1].path, FileStamp{999, 5}));
    // The tie made when the cache was first loaded, the stamp adopted, the
    // new record's.
    EXPECT_EQ(ReadBytes(GripStore::IndexPath(CacheFile())).size(), 32u + 3 * 32);
}

// The older stamp index, written out field by field: "Harmonyfox stamps 1",
// then per path its FNV-1a 64 hash (of the UTF-16LE bytes), size, time and an
// FNV-1a 32 check of those 24 bytes.
Bytes OlderIndexBytes(const std::vector<std::pair<std::u16string, FileStamp>>& stamps) {
    Bytes out(32, 0);
    std::memcpy(out.data(), "Harmonyfox stamps 1", 19);
    auto put = [&out](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<unsigned char>(v >> (8 * i)));
        }
    };
    for (const auto& [path, stamp] : stamps) {
        uint64_t hash = 0xcbf29ce484222325ull;
        for (char16_t c : path) {
            for (unsigned char b :
                 {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8)}) {
                hash = (hash ^ b) * 0x100000001b3ull;
            }
        }
        const size_t entry = out.size();
        put(hash, 8);
        put(static_cast<uint64_t>(stamp.size), 8);
        put(static_cast<uint64_t>(stamp.mtimeNs), 8);
        uint32_t check = 0x811c9dc5u;
        for (size_t i = entry; i < entry + 24; ++i) {
            check = (check ^ out[i]) * 0x01000193u;
        }
        put(check, 4);
    }
    return out;
}

// Each record is tied to its file by the stamp index: a record whose tie is
// lost or does not match its bytes is not trusted once stamps have been kept
// for the cache, and the loss is told once. A cache from before stamps is
// taken as it is, once.
TEST_F(GripStoreTest, RecordsAreTrustedOnlyWithTheirTies) {
    struct Stamped {
        std::u16string path;
        Grip grip;
        FileStamp stamp;
    };
    // t5 before t4, so that a t4 whose path turns into t5 comes after t5's own record.
    const std::vector<Stamped> samples = {{u"/music/t5.mp3", RandomGrip(1, "five"), {1000, 11}},
                                          {u"/music/t4.mp3", RandomGrip(2, "four"), {2000, 22}},
                                          {u"/music/c.wav", RandomGrip(3, "c"), {3000, 33}}};
    std::vector<size_t> begins;
    size_t end = 32;
    for (const Stamped& s : samples) {
        begins.push_back(end);
        end += RecordBytes(s.path, s.grip).size();
    }
    enum class Made { kWithStamps, kBeforeStamps, kOlderIndex };
    using Damage = std::function<void(const std::string& cache, const std::string& index)>;
    auto flip = [](const std::string& file, size_t at, unsigned char bits) {
        Bytes b = ReadBytes(file);
        b[at] ^= bits;
        WriteBytes(file, b);
    };
    auto cut = [](const std::string& file, size_t size) { fs::resize_file(file, size); };
    struct Case {
        const char* name;
        Made made;
        Damage damage;
        IndexState state;
        uint32_t untrusted;
        std::vector<size_t> trusted;  // of samples
        bool stampsKept;              // false: the trusted records adopt the next stamp shown
    };
    const Case cases[] = {
        {"untouched", Made::kWithStamps, nullptr, IndexState::kSound, 0, {0, 1, 2}, true},
        {"index deleted",
         Made::kWithStamps,
         [](const std::string&, const std::string& index) { fs::remove(index); },
         IndexState::kMissing,
         3,
         {},
         true},
        {"index emptied",
         Made::kWithStamps,
         [&](const std::string&, const std::string& index) { cut(index, 0); },
         IndexState::kDamaged,
         3,
         {},
         true},
        {"index cut short in its second entry",
         Made::kWithStamps,
         [&](const std::string&, const std::string& index) { cut(index, 32 + 32 + 10); },
         IndexState::kSound,
         2,
         {0},
         true},
        {"index cut short in its header",
         Made::kWithStamps,
         [&](const std::string&, const std::string& index) { cut(index, 20); },
         IndexState::kDamaged,
         3,
         {},
         true},
        {"index replaced by junk",
         Made::kWithStamps,
         [](const std::string&, const std::string& index) { WriteBytes(index, Bytes(200, 0x5A)); },
         IndexState::kDamaged,
         3,
         {},
         true},
        {"index with one bad header byte",
         Made::kWithStamps,
         [&](const std::string&, const std::string& index) { flip(index, 3, 0x20); },
         IndexState::kDamaged,
         3,
         {},
         true},
        {"index is a folder",
         Made::kWithStamps,
         [](const std::string&, const std::string& index) {
             fs::remove(index);
             fs::create_directory(index);
         },
         IndexState::kUnusable,
         3,
         {},
         true},
        {"one bit of t4's path flipped: it reads t5",
         Made::kWithStamps,
         [&](const std::string& cache, const std::string&) {
             flip(cache, begins[1] + 2 + 2 * 8, 0x01);  // "/music/t4" : '4' ^ 1 = '5'
         },
         IndexState::kSound,
         1,
         {0, 2},
         true},
        {"one bit of a spectrum value flipped",
         Made::kWithStamps,
         [&](const std::string& cache, const std::string&) {
             flip(cache, begins[2] + 2 + 2 * samples[2].path.size() + 440 + 400, 0x01);
         },
         IndexState::kSound,
         1,
         {0, 1},
         true},
        {"t4's index entry damaged",
         Made::kWithStamps,
         [&](const std::string&, const std::string& index) { flip(index, 32 + 32 + 9, 0x10); },
         IndexState::kSound,
         1,
         {0, 2},
         true},
        {"a cache from before stamps",
         Made::kBeforeStamps,
         nullptr,
         IndexState::kSound,
         0,
         {0, 1, 2},
         false},
        {"a cache with an index from before record checks",
         Made::kOlderIndex,
         nullptr,
         IndexState::kSound,
         0,
         {0, 1, 2},
         true},
        {"a cache from before stamps beside someone else's file",
         Made::kBeforeStamps,
         [](const std::string&, const std::string& index) {
             WriteBytes(index, Bytes{'I', 'D', 'X', 1, 2, 3});
         },
         IndexState::kUnusable,
         0,
         {0, 1, 2},
         false},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string cache = m_dir.File("ties" + std::to_string(row++) + "/cache.dat");
        const std::string index = GripStore::IndexPath(cache);
        fs::create_directories(fs::path(cache).parent_path());
        if (c.made == Made::kWithStamps) {
            GripStore store;
            ASSERT_EQ(store.LoadCache(cache, nullptr), S_OK);
            Bytes buffer;
            for (const Stamped& s : samples) {
                store.AppendRecord(s.path, s.grip, buffer, nullptr, &s.stamp);
            }
        } else {
            Bytes bytes = HeaderBytes();
            std::vector<std::pair<std::u16string, FileStamp>> stamps;
            for (const Stamped& s : samples) {
                const Bytes record = RecordBytes(s.path, s.grip);
                bytes.insert(bytes.end(), record.begin(), record.end());
                stamps.emplace_back(s.path, s.stamp);
            }
            WriteBytes(cache, bytes);
            if (c.made == Made::kOlderIndex) {
                WriteBytes(index, OlderIndexBytes(stamps));
            }
        }
        if (c.made == Made::kWithStamps) {
            // A reader that knows no mark takes the header for one damaged
            // byte, which it mends, keeping the records; more would reset it.
            const Bytes bytes = ReadBytes(cache);
            const Bytes header(bytes.begin(), bytes.begin() + 32);
            const Bytes plain = HeaderBytes();
            size_t differing = 0;
            for (size_t i = 0; i < 32; ++i) {
                differing += header[i] != plain[i] ? 1 : 0;
                EXPECT_TRUE(header[i] == plain[i] || i >= 15) << i;
            }
            EXPECT_EQ(differing, 1u);
        }
        if (c.damage) {
            c.damage(cache, index);
        }
        const bool indexFile = fs::is_regular_file(index);
        const Bytes damagedIndex = indexFile ? ReadBytes(index) : Bytes();
        {
            GripStore store;
            ASSERT_EQ(store.LoadCache(cache, &m_owner), S_OK);
            EXPECT_EQ(store.indexReport().state, c.state);
            EXPECT_EQ(store.indexReport().untrusted, c.untrusted);
            EXPECT_EQ(IndexReportMessage(store.indexReport()).empty(),
                      c.untrusted == 0 && c.state != IndexState::kUnusable);
            EXPECT_EQ(store.size(), c.trusted.size());
            EXPECT_EQ(m_owner.m_cachedCount.load(), static_cast<int32_t>(c.trusted.size()));
            ExclusiveHold hold(store.lock());
            for (size_t i : c.trusted) {
                const GripStore::Entry* e = store.Find(samples[i].path);
                ASSERT_NE(e, nullptr) << i;
                EXPECT_TRUE(SameGrip(*e, samples[i].grip)) << i;
                const FileStamp other{samples[i].stamp.size, samples[i].stamp.mtimeNs + 1};
                EXPECT_EQ(store.IsUnchanged(samples[i].path, other), !c.stampsKept) << i;
            }
        }
        // Told once: what was not trusted is gone, and what was stays.
        GripStore again;
        ASSERT_EQ(again.LoadCache(cache, nullptr), S_OK);
        EXPECT_EQ(again.indexReport().state,
                  c.state == IndexState::kUnusable ? IndexState::kUnusable : IndexState::kSound);
        EXPECT_EQ(again.indexReport().untrusted, 0u);
        EXPECT_EQ(again.size(), c.trusted.size());
        if (c.state == IndexState::kUnusable && indexFile) {
            EXPECT_EQ(ReadBytes(index), damagedIndex);  // someone else's file is left alone
        }
    }
}

// Stored files join the scan under the shared lock while passes read it:
// the index stays in sequence order and whole, whichever thread appends.
TEST(GripStoreJoinTest, StoredFilesJoinBesideReaders) {
    GripStore store;
    std::vector<std::u16string> paths;
    for (uint32_t i = 0; i < 300; ++i) {
        paths.push_back(u"/m/" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                        std::u16string(i / 26 + 1, u'x'));
        ExclusiveHold hold(store.lock());
        store.Insert(paths.back(), RandomGrip(i, "title " + std::to_string(i)));
    }
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            SharedHold hold(store.lock());
            const auto scan = store.scan();
            for (size_t k = 1; k < scan.size(); ++k) {
                ASSERT_LT(scan[k - 1]->grip.sequence, scan[k]->grip.sequence);
                ASSERT_EQ(store.scanSketches()[k].key[kTitleField].length,
                          scan[k]->grip.title.size());
            }
        }
    });
    std::vector<std::thread> joiners;
    for (size_t t = 0; t < 3; ++t) {
        joiners.emplace_back([&, t] {
            for (size_t i = t; i < paths.size(); i += 3) {
                GripStore::Stored stored;
                {
                    SharedHold hold(store.lock());
                    stored = store.JoinIfUnchanged(paths[i], nullptr, false);
                }
                if (stored == GripStore::Stored::kRetryExclusively) {
                    ExclusiveHold hold(store.lock());
                    stored = store.JoinIfUnchanged(paths[i], nullptr, true);
                }
                ASSERT_EQ(stored, GripStore::Stored::kUnchanged);
            }
        });
    }
    for (std::thread& j : joiners) {
        j.join();
    }
    done = true;
    reader.join();
    SharedHold hold(store.lock());
    ASSERT_EQ(store.scan().size(), paths.size());
    for (size_t k = 0; k < paths.size(); ++k) {
        EXPECT_EQ(store.EarlierInScan(*store.scan()[k]), k);
    }
    EXPECT_EQ(store.JoinIfUnchanged(u"/m/none", nullptr, false), GripStore::Stored::kMissing);
}

}  // namespace
