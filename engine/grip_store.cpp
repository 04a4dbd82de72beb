#include "grip_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>
#include <numeric>
#include <thread>
#include <unordered_set>

#include "file_io.h"
#include "scan_owner.h"
#include "user_folders.h"

namespace {

constexpr int32_t kMaxLength16 = std::numeric_limits<int16_t>::max();
// The longest record the format allows: every length at its largest.
constexpr size_t kMaxRecordSize = kRecordFixedSize + 2 * kMaxLength16 + 4 * kMaxLength16;
// How much of a file loading holds in memory at once.
constexpr size_t kReadWindow = size_t{1} << 20;
// A refill starts this far before the offset asked for, so that a search
// that goes on just behind a parsed candidate stays in the window.
constexpr uint64_t kWindowSlack = 4096;
// No value of a Grip made from audio comes near this; a larger one is damage.
constexpr float kMaxGripValue = 1e6f;
// "Harmonyfox ": a header that begins so and differs after it is another version's.
constexpr size_t kHeaderNameSize = 11;
// An offset that no file reaches.
constexpr uint64_t kNowhere = std::numeric_limits<uint64_t>::max();
// Opening tries again this often when a holder renamed a new file over the
// one just opened.
constexpr int kOpenAttempts = 4;

// The stamp index is written afresh at load when it holds more entries than
// this many per live record (and kIndexSpare more).
constexpr uint64_t kIndexEntriesPerRecord = 2;
constexpr uint64_t kIndexSpare = 256;

// Our header, with the mark when marked.
void CacheHeader(unsigned char (&header)[kCacheHeaderSize], bool marked) {
    std::memset(header, 0, sizeof(header));
    std::memcpy(header, kCacheHeaderText, std::strlen(kCacheHeaderText));
    if (marked) {
        header[kCacheMarkOffset] = kCacheTiedMark;
    }
}

// "3 stored fingerprints", "1 stored fingerprint".
std::string Fingerprints(uint32_t count) {
    return std::to_string(count) + (count == 1 ? " stored fingerprint" : " stored fingerprints");
}

// A file read through one window of bounded size.
class FileWindow {
  public:
    // The buffer is no larger than the file: most caches and indexes are far
    // smaller than the window, and a megabyte cleared per load would dominate.
    FileWindow(int file, uint64_t size)
        : m_file(file),
          m_size(size),
          m_buffer(static_cast<size_t>(std::min<uint64_t>(size, kReadWindow + kWindowSlack))) {}

    uint64_t size() const { return m_size; }
    // Set once a read failed; the file is then not to be trusted.
    bool failed() const { return m_failed; }

    // The bytes [offset, offset + count), count at most kReadWindow; null
    // when they pass the end of the file or cannot be read. Valid until the
    // next call.
    const unsigned char* Bytes(uint64_t offset, size_t count) {
        if (count > kReadWindow || offset > m_size || m_size - offset < count) {
            return nullptr;
        }
        if (offset < m_start || offset + count > m_start + m_filled) {
            m_start = offset - std::min(offset, kWindowSlack);
            m_filled = static_cast<size_t>(std::min<uint64_t>(m_buffer.size(), m_size - m_start));
            if (!ReadAll(m_file, m_buffer.data(), m_filled, m_start)) {
                m_filled = 0;
                m_failed = true;
                return nullptr;
            }
        }
        return m_buffer.data() + (offset - m_start);
    }

  private:
    int m_file;
    uint64_t m_size;
    std::vector<unsigned char> m_buffer;
    uint64_t m_start = 0;
    size_t m_filled = 0;
    bool m_failed = false;
};

// Reads fields of one record from a byte range; every read fails once the
// range is exhausted.
class RecordReader {
  public:
    RecordReader(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}

    size_t offset() const { return m_offset; }
    bool Room(size_t count) const { return m_size - m_offset >= count; }

    bool Length(int16_t* value) {
        if (!Room(2)) {
            return false;
        }
        *value = static_cast<int16_t>(GetUint(m_data + m_offset, 2));
        m_offset += 2;
        return true;
    }
    bool Units(std::u16string& text, size_t count) {
        if ((m_size - m_offset) / 2 < count) {
            return false;
        }
        text.resize(count);
        for (size_t i = 0; i < count; ++i) {
            text[i] = static_cast<char16_t>(GetUint(m_data + m_offset + 2 * i, 2));
        }
        m_offset += 2 * count;
        return true;
    }
    template <size_t N>
    bool Floats(std::array<float, N>& values) {
        if ((m_size - m_offset) / 4 < N) {
            return false;
        }
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(values.data(), m_data + m_offset, 4 * N);
        } else {
            for (size_t i = 0; i < N; ++i) {
                const auto bits = static_cast<uint32_t>(GetUint(m_data + m_offset + 4 * i, 4));
                std::memcpy(&values[i], &bits, 4);
            }
        }
        m_offset += 4 * N;
        return true;
    }
    bool Text(std::string& text) {
        int16_t length = 0;
        if (!Length(&length) || length < 0 || !Room(static_cast<size_t>(length))) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(m_data + m_offset), static_cast<size_t>(length));
        m_offset += static_cast<size_t>(length);
        return true;
    }
    bool Marker() {
        if (!Room(sizeof(kRecordEndMarker)) ||
            std::memcmp(m_data + m_offset, kRecordEndMarker, sizeof(kRecordEndMarker)) != 0) {
            return false;
        }
        m_offset += sizeof(kRecordEndMarker);
        return true;
    }

  private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

template <size_t N>
bool Sane(const std::array<float, N>& values) {
    for (float v : values) {
        if (!(std::fabs(v) <= kMaxGripValue)) {  // NaN fails too
            return false;
        }
    }
    return true;
}

struct ParsedRecord {
    bool good = false;    // a whole record with sane values
    bool shaped = false;  // its lengths put its end marker inside the file
    uint64_t end = 0;     // where it ends, when shaped
    std::u16string path;
    Grip grip;
};

void ParseRecord(FileWindow& window, uint64_t offset, ParsedRecord& out) {
    out.good = false;
    out.shaped = false;
    const size_t span =
        static_cast<size_t>(std::min<uint64_t>(kMaxRecordSize, window.size() - offset));
    const unsigned char* data = window.Bytes(offset, span);
    if (data == nullptr) {
        return;
    }
    RecordReader in(data, span);
    Grip& g = out.grip;
    int16_t pathLength = 0;
    if (!in.Length(&pathLength) || pathLength < 1 ||
        !in.Units(out.path, static_cast<size_t>(pathLength)) || !in.Floats(g.envelope) ||
        !in.Floats(g.drift) || !in.Floats(g.spectrum) || !in.Text(g.nameKey) || !in.Text(g.title) ||
        !in.Text(g.artist) || !in.Text(g.album) || !in.Room(sizeof(kRecordEndMarker))) {
        return;
    }
    out.shaped = true;
    out.end = offset + in.offset() + sizeof(kRecordEndMarker);
    g.sequence = kNotInScan;
    out.good = in.Marker() && out.path.find(u'\0') == std::u16string::npos && Sane(g.envelope) &&
               Sane(g.drift) && Sane(g.spectrum);
}

// The offset of the next end marker at or after from, or kNowhere.
uint64_t FindMarker(FileWindow& window, uint64_t from) {
    while (from < window.size() && window.size() - from >= sizeof(kRecordEndMarker)) {
        const size_t span =
            static_cast<size_t>(std::min<uint64_t>(kReadWindow, window.size() - from));
        const unsigned char* data = window.Bytes(from, span);
        if (data == nullptr) {
            return kNowhere;
        }
        const void* hit = memmem(data, span, kRecordEndMarker, sizeof(kRecordEndMarker));
        if (hit != nullptr) {
            return from + static_cast<uint64_t>(static_cast<const unsigned char*>(hit) - data);
        }
        from += span - (sizeof(kRecordEndMarker) - 1);
    }
    return kNowhere;
}

// After the damaged record at from (parsed into record): the offset of the
// next good record, parsed into record, or kNowhere. A good record begins
// either where the damaged one's lengths say it ends (its marker or values
// were hit) or right after some end marker (its lengths were hit).
uint64_t NextGoodRecord(FileWindow& window, uint64_t from, ParsedRecord& record) {
    uint64_t computed = record.shaped ? record.end : kNowhere;
    uint64_t search = from + 1;
    for (;;) {
        const uint64_t marker = FindMarker(window, search);
        const uint64_t after = marker == kNowhere ? kNowhere : marker + sizeof(kRecordEndMarker);
        if (computed != kNowhere && computed <= after) {
            const uint64_t candidate = computed;
            computed = kNowhere;
            if (candidate < window.size()) {
                ParseRecord(window, candidate, record);
                if (record.good) {
                    return candidate;
                }
            }
            if (candidate == after) {
                search = marker + 1;
                continue;
            }
        }
        if (marker == kNowhere || window.failed()) {
            return kNowhere;
        }
        if (after < window.size()) {
            ParseRecord(window, after, record);
            if (record.good) {
                return after;
            }
        }
        search = marker + 1;
    }
}

void PutLength(std::vector<unsigned char>& out, size_t length) {
    out.push_back(static_cast<unsigned char>(length & 0xFF));
    out.push_back(static_cast<unsigned char>((length >> 8) & 0xFF));
}

template <size_t N>
void PutFloats(std::vector<unsigned char>& out, const std::array<float, N>& values) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
        out.insert(out.end(), bytes, bytes + 4 * N);
        return;
    }
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<unsigned char>((bits >> shift) & 0xFF));
        }
    }
}

// Above this size a cache is read on a thread of its own while the calling
// thread links the entries into the store; below it the thread costs more
// than it saves.
constexpr uint64_t kThreadedLoadBytes = uint64_t{2} << 20;
// Records handed over at once, and batches in flight: what the reading
// thread may run ahead by (about 3 MB of entries).
constexpr size_t kLoadBatch = 32;
constexpr size_t kLoadBatchesAhead = 20;

// Hands batches of loaded records from the reading thread to the linking
// one, at most kLoadBatchesAhead at a time.
template <typename Batch>
class BatchQueue {
  public:
    // Waits while the queue is full; false when the taker has given up.
    bool Push(Batch&& batch) {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_changed.wait(hold, [this] { return m_batches.size() < kLoadBatchesAhead || m_stopped; });
        if (m_stopped) {
            return false;
        }
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
        return true;
    }
    // Waits for a batch; false once the giver has finished and all are taken.
    bool Pop(Batch& batch) {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_changed.wait(hold, [this] { return !m_batches.empty() || m_finished; });
        if (m_batches.empty()) {
            return false;
        }
        batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_changed.notify_all();
        return true;
    }
    void Finish() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    // The taker gives up: the giver's next Push fails.
    void Stop() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_stopped = true;
        m_changed.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_batches;
    bool m_finished = false;
    bool m_stopped = false;
};

}  // namespace

const char* CacheLoadMessage(HRESULT result) {
    switch (result) {
        case E_CACHE_LOCKED:
            return "Another Harmonyfox is running and holds the cache file";
        case E_CACHE_FOREIGN:
            return "The file at the cache's place is not a Harmonyfox cache; it is left alone "
                   "and nothing is cached";
        default:
            return "Can't open cache file";
    }
}

std::string IndexReportMessage(const IndexReport& report) {
    const std::string index = "The stamp index " + report.path;
    const std::string untrusted = Fingerprints(report.untrusted) +
                                  (report.untrusted == 1 ? " is" : " are") +
                                  " not trusted and will be made again";
    switch (report.state) {
        case IndexState::kUnusable:
            return index + " is not a file Harmonyfox can write: fingerprints cannot be tied to " +
                   "their files until it is moved away" +
                   (report.untrusted > 0 ? "; " + untrusted : "");
        case IndexState::kMissing:
        case IndexState::kDamaged:
            if (report.untrusted == 0) {
                return std::string();
            }
            return index +
                   (report.state == IndexState::kMissing ? " was missing: " : " was damaged: ") +
                   untrusted;
        case IndexState::kSound:
            break;
    }
    if (report.untrusted == 0) {
        return std::string();
    }
    return Fingerprints(report.untrusted) + " did not match the stamp index " + report.path +
           " and will be made again";
}

GripStore::~GripStore() {
    CloseFile();
}

void GripStore::CloseFile() {
    if (m_file >= 0) {
        close(m_file);  // also drops the flock
        m_file = -1;
    }
    m_stampIndex.Close();
}

std::string GripStore::DefaultCachePath() {
    const std::string folder = ProgramUserFolder("XDG_CACHE_HOME", ".cache");
    return folder.empty() ? folder : folder + "/cache.dat";
}

std::string GripStore::IndexPath(const std::string& cachePath) {
    std::filesystem::path index(cachePath);
    if (index.extension() == ".idx") {
        return cachePath + ".idx";
    }
    return index.replace_extension(".idx").string();
}

HRESULT GripStore::LoadCache(const std::string& path, ScanOwner* owner) {
    CloseFile();
    ClearEntries();
    m_records.clear();
    m_path.clear();
    m_position = 0;
    m_deadBytes = 0;
    m_marked = false;
    m_indexReport = IndexReport();
    if (path.empty()) {
        return E_FAIL;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    HRESULT result = OpenLocked(path);
    if (Succeeded(result)) {
        result = CheckHeader();
    }
    if (Succeeded(result)) {
        StampIndex::Ties ties;
        const TieSource source = LoadIndex(ties);
        result = LoadRecords(ties, source);
    }
    if (Failed(result)) {
        CloseFile();
        ClearEntries();
        m_records.clear();
        m_indexReport = IndexReport();
        return result;
    }
    if (owner != nullptr) {
        owner->m_cachedCount.store(static_cast<int32_t>(m_entries.size()));
    }
    return S_OK;
}

HRESULT GripStore::OpenLocked(const std::string& path) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        // Non-blocking, so that a FIFO at the path cannot stall the open.
        const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
        if (file < 0) {
            return E_FAIL;
        }
        struct stat opened;
        if (fstat(file, &opened) != 0) {
            close(file);
            return E_FAIL;
        }
        if (!S_ISREG(opened.st_mode)) {
            close(file);
            return E_CACHE_FOREIGN;
        }
        if (flock(file, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            close(file);
            return held ? E_CACHE_LOCKED : E_FAIL;
        }
        // A holder that wrote the file afresh may have renamed a new file over
        // the one opened here just before letting its lock go.
        struct stat named;
        if (stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino) {
            m_file = file;
            m_path = path;
            return S_OK;
        }
        close(file);
    }
    return E_CACHE_LOCKED;
}

HRESULT GripStore::CheckHeader() {
    unsigned char ours[kCacheHeaderSize];
    CacheHeader(ours, false);
    const uint64_t size = FileSize(m_file);
    unsigned char found[kCacheHeaderSize] = {};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(size, kCacheHeaderSize));
    if (!ReadAll(m_file, found, have, 0)) {
        return E_FAIL;
    }
    // The mark is no difference; any other value in its place is one.
    const bool marked = have == kCacheHeaderSize && found[kCacheMarkOffset] == kCacheTiedMark;
    if (marked) {
        found[kCacheMarkOffset] = 0;
    }
    const size_t differing = static_cast<size_t>(std::inner_product(
        found, found + have, ours, size_t{0}, std::plus<>(), std::not_equal_to<>()));
    bool reset = false;
    if (size < kCacheHeaderSize) {
        // Empty, or cut short while it was being made.
        if (differing != 0) {
            return E_CACHE_FOREIGN;
        }
        reset = true;
    } else if (differing == 1) {
        FileWindow window(m_file, size);
        ParsedRecord first;
        if (size > kCacheHeaderSize) {
            ParseRecord(window, kCacheHeaderSize, first);
        }
        if (size == kCacheHeaderSize || first.good) {
            unsigned char mended[kCacheHeaderSize];
            CacheHeader(mended, marked);
            m_marked = marked;
            return WriteAll(m_file, mended, kCacheHeaderSize, 0) ? S_OK : E_FAIL;
        }
        reset = std::memcmp(found, ours, kHeaderNameSize) == 0;
    } else if (differing != 0) {
        reset = std::memcmp(found, ours, kHeaderNameSize) == 0;
    }
    if (differing != 0 && !reset) {
        return E_CACHE_FOREIGN;
    }
    if (reset && (!WriteAll(m_file, ours, kCacheHeaderSize, 0) ||
                  ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) != 0)) {
        return E_FAIL;
    }
    m_marked = marked && !reset;
    return S_OK;
}

GripStore::TieSource GripStore::LoadIndex(StampIndex::Ties& ties) {
    m_indexReport.path = IndexPath(m_path);
    // Once a stamp has been kept, whatever stands at the index's place was
    // our index, and may be emptied.
    IndexFound found = m_stampIndex.Open(m_indexReport.path, m_marked, ties);
    if (found == IndexFound::kOlder && m_marked) {
        // Stamps of that format are never kept beside the mark.
        ties.clear();
        found = IndexFound::kDamaged;
        if (!m_stampIndex.Clear()) {
            m_stampIndex.Close();
            found = IndexFound::kUnusable;
        }
    }
    switch (found) {
        case IndexFound::kCurrent:
            return TieSource::kChecked;
        case IndexFound::kOlder:
            return TieSource::kStampsOnly;
        case IndexFound::kMissing:
        case IndexFound::kDamaged:
            if (m_marked) {
                m_indexReport.state =
                    found == IndexFound::kMissing ? IndexState::kMissing : IndexState::kDamaged;
            }
            return TieSource::kChecked;
        case IndexFound::kForeign:
        case IndexFound::kUnusable:
            break;
    }
    m_indexReport.state = IndexState::kUnusable;
    return TieSource::kNone;
}

// One good record of the cache file, made into an entry.
struct GripStore::LoadedRecord {
    PreparedEntry entry;
    uint64_t offset = 0;
    uint64_t end = 0;
    uint64_t pathHash = 0;
    uint32_t check = 0;  // RecordCheck of its bytes
};

// What linking found of the records' ties.
struct GripStore::LoadTally {
    bool allTied = true;        // every linked record had its tie in the index
    uint32_t damagedLater = 0;  // untrusted records behind the trusted record of their path
    // Paths (by hash) with untrusted records and no trusted one yet: a
    // trusted record behind them superseded them, as it would have anyway.
    std::unordered_set<uint64_t> unclaimed;
};

bool GripStore::ReadRecords(uint64_t size,
                            const std::function<bool(std::vector<LoadedRecord>&&)>& take,
                            bool* damaged) {
    FileWindow window(m_file, size);
    ParsedRecord record;
    uint64_t position = kCacheHeaderSize;
    std::vector<LoadedRecord> batch;
    while (position < window.size()) {
        ParseRecord(window, position, record);
        if (!record.good) {
            position = NextGoodRecord(window, position, record);
            if (position == kNowhere) {
                break;
            }
            *damaged = true;
        }
        const unsigned char* bytes = window.Bytes(position, record.end - position);
        batch.push_back(LoadedRecord{
            Prepare(record.path, record.grip), position, record.end, PathHash(record.path),
            bytes != nullptr ? RecordCheck(bytes, record.end - position) : 0});
        // Every record read is linked in, in this order, so its texts get
        // the numbers here that linking would give them.
        NumberTexts(batch.back().entry.mapped());
        position = record.end;
        if (batch.size() == kLoadBatch) {
            if (!take(std::move(batch))) {
                return true;
            }
            batch.clear();
        }
    }
    if (!batch.empty()) {
        take(std::move(batch));
    }
    return !window.failed();
}

void GripStore::LinkRecords(std::vector<LoadedRecord>& batch, const StampIndex::Ties& ties,
                            TieSource source, LoadTally& tally, uint64_t* goodEnd) {
    for (LoadedRecord& record : batch) {
        const std::u16string& path = record.entry.key();
        const auto length = static_cast<uint32_t>(record.end - record.offset);
        *goodEnd = record.end;
        RecordTie tie;
        tie.check = record.check;
        bool tied = false;
        if (source == TieSource::kChecked) {
            const auto found = ties.find(StampIndex::Key(record.pathHash, record.check));
            if (found != ties.end() && found->second.check == record.check) {
                tie = found->second;
                tied = true;
            }
        } else if (source == TieSource::kStampsOnly) {
            const auto found = ties.find(record.pathHash);
            if (found != ties.end()) {
                tie.stamped = found->second.stamped;
                tie.stamp = found->second.stamp;
            }
        }
        if (!tied && m_marked) {
            // Stamps are kept for this cache, so a record without its tie is
            // superseded, damaged, or of a file that may have changed while
            // its tie was lost: it is not trusted, and its file is
            // fingerprinted again.
            m_deadBytes += length;
            if (m_records.count(path) != 0) {
                ++tally.damagedLater;
            } else {
                tally.unclaimed.insert(record.pathHash);
            }
            continue;
        }
        // A record of a cache from before stamps is taken as it is, once.
        tally.allTied = tally.allTied && tied;
        if (!tally.unclaimed.empty()) {
            tally.unclaimed.erase(record.pathHash);
        }
        const auto [place, fresh] = m_records.try_emplace(path);
        if (!fresh) {
            // A later record of a path supersedes the earlier one.
            m_deadBytes += place->second.length;
            EraseEntry(path);
        }
        place->second.offset = record.offset;
        place->second.length = length;
        place->second.tie = tie;
        Add(std::move(record.entry), true);
    }
}

HRESULT GripStore::LoadRecords(const StampIndex::Ties& ties, TieSource source) {
    const uint64_t size = FileSize(m_file);
    uint64_t goodEnd = kCacheHeaderSize;
    bool damaged = false;
    bool readable = true;
    LoadTally tally;
    tally.allTied = source == TieSource::kChecked;
    if (size <= kThreadedLoadBytes) {
        readable = ReadRecords(
            size,
            [&](std::vector<LoadedRecord>&& batch) {
                LinkRecords(batch, ties, source, tally, &goodEnd);
                return true;
            },
            &damaged);
    } else {
        // One thread reads the file and makes the entries' series while this
        // one links them in, in file order, so the store comes out as a
        // plain read would make it.
        BatchQueue<std::vector<LoadedRecord>> queue;
        std::thread reader([&] {
            readable = ReadRecords(
                size,
                [&queue](std::vector<LoadedRecord>&& batch) { return queue.Push(std::move(batch)); },
                &damaged);
            queue.Finish();
        });
        try {
            std::vector<LoadedRecord> batch;
            while (queue.Pop(batch)) {
                LinkRecords(batch, ties, source, tally, &goodEnd);
            }
        } catch (...) {
            queue.Stop();
            reader.join();
            throw;
        }
        reader.join();
    }
    if (!readable) {
        return E_FAIL;
    }
    m_indexReport.untrusted = tally.damagedLater + static_cast<uint32_t>(tally.unclaimed.size());
    m_position = goodEnd;
    // Appends must never land behind damage, or the next load would have to
    // find them again; untrusted records go at once, so that they are told
    // of once; superseded records go once they weigh. The index is written
    // afresh with the file.
    if ((damaged || m_indexReport.untrusted > 0 || 4 * m_deadBytes > size) &&
        Succeeded(RewriteCache())) {
        return S_OK;
    }
    if (goodEnd < size) {
        ftruncate(m_file, static_cast<off_t>(goodEnd));
    }
    // Every live record has its tie in the index before the first append,
    // after which a record without one is not trusted.
    if (m_stampIndex.isOpen() &&
        (!tally.allTied ||
         m_stampIndex.entries() > kIndexEntriesPerRecord * m_records.size() + kIndexSpare)) {
        RewriteIndex();
    }
    return S_OK;
}

HRESULT GripStore::RewriteCache() {
    std::vector<RecordPlace*> live;
    live.reserve(m_records.size());
    for (auto& [path, place] : m_records) {
        live.push_back(&place);
    }
    std::sort(live.begin(), live.end(),
              [](const RecordPlace* a, const RecordPlace* b) { return a->offset < b->offset; });
    const int file = CreateReplacement(m_path);
    if (file < 0) {
        return E_FAIL;
    }
    unsigned char header[kCacheHeaderSize];
    CacheHeader(header, m_marked);
    bool written = WriteAll(file, header, kCacheHeaderSize, 0);
    // The records' own bytes are copied, runs of neighbours at once.
    std::vector<uint64_t> offsets(live.size());
    uint64_t end = kCacheHeaderSize;
    for (size_t first = 0; written && first < live.size();) {
        size_t last = first;
        offsets[first] = end;
        uint64_t run = live[first]->length;
        while (last + 1 < live.size() &&
               live[last + 1]->offset == live[last]->offset + live[last]->length) {
            ++last;
            offsets[last] = end + run;
            run += live[last]->length;
        }
        written = CopyRange(m_file, live[first]->offset, file, end, run);
        end += run;
        first = last + 1;
    }
    if (!CommitReplacement(file, m_path, written)) {
        return E_FAIL;
    }
    close(m_file);
    m_file = file;
    for (size_t i = 0; i < live.size(); ++i) {
        live[i]->offset = offsets[i];
    }
    m_position = end;
    m_deadBytes = 0;
    RewriteIndex();
    return S_OK;
}

HRESULT GripStore::RewriteIndex() {
    if (!m_stampIndex.isOpen()) {
        return E_FAIL;
    }
    std::vector<std::pair<uint64_t, RecordTie>> ties;
    ties.reserve(m_records.size());
    bool stamped = false;
    for (const auto& [path, place] : m_records) {
        ties.emplace_back(PathHash(path), place.tie);
        stamped = stamped || place.tie.stamped;
    }
    if (stamped && !m_marked) {
        MarkCache();
    }
    return m_stampIndex.Rewrite(ties) ? S_OK : E_FAIL;
}

void GripStore::AppendTie(const std::u16string& path, const RecordTie& tie) {
    // The mark goes first: once a stamp is kept, a lost index must never let
    // the records pass for those of a cache from before stamps. Without an
    // index of ours no stamp is kept, and the file at its place must not be
    // taken for ours later.
    if (tie.stamped && !m_marked && m_stampIndex.usable()) {
        MarkCache();
    }
    m_stampIndex.Append(PathHash(path), tie);
}

void GripStore::MarkCache() {
    const unsigned char mark = kCacheTiedMark;
    if (m_file >= 0 && WriteAll(m_file, &mark, 1, kCacheMarkOffset)) {
        m_marked = true;
    }
}

HRESULT GripStore::ClearCache() {
    ExclusiveHold hold(m_lock);
    ClearEntries();
    m_records.clear();
    m_deadBytes = 0;
    if (m_file >= 0 && ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) == 0) {
        m_position = kCacheHeaderSize;
    }
    m_stampIndex.Clear();
    return S_OK;
}

HRESULT GripStore::CleanCache(ScanOwner* owner, CleanReport* report) {
    ExclusiveHold hold(m_lock);
    const uint64_t before = FileSize(m_file) + m_stampIndex.bytes();
    std::vector<std::u16string> gone;
    for (const auto& [path, entry] : m_entries) {
        struct stat info;
        if (stat(U16ToBytes(path).c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            gone.push_back(path);
        }
    }
    for (const std::u16string& path : gone) {
        EraseEntry(path);
        m_records.erase(path);
    }
    HRESULT result = S_OK;
    if (m_file >= 0 && (!gone.empty() || m_deadBytes > 0)) {
        result = RewriteCache();
    }
    const uint64_t after = FileSize(m_file) + m_stampIndex.bytes();
    if (report != nullptr) {
        report->dropped = static_cast<uint32_t>(gone.size());
        report->bytesFreed = before > after ? before - after : 0;
    }
    if (owner != nullptr) {
        owner->m_cachedCount.store(static_cast<int32_t>(m_entries.size()));
    }
    return result;
}

bool GripStore::SerializeRecord(const std::u16string& path, const Grip& grip,
                                std::vector<unsigned char>& buffer) {
    const std::string* texts[] = {&grip.nameKey, &grip.title, &grip.artist, &grip.album};
    if (path.empty() || path.size() > static_cast<size_t>(kMaxLength16)) {
        return false;
    }
    size_t size = kRecordFixedSize + 2 * path.size();
    for (const std::string* text : texts) {
        if (text->size() > static_cast<size_t>(kMaxLength16)) {
            return false;
        }
        size += text->size();
    }
    buffer.clear();
    buffer.reserve(size);
    PutLength(buffer, path.size());
    for (char16_t unit : path) {
        PutLength(buffer, unit);
    }
    PutFloats(buffer, grip.envelope);
    PutFloats(buffer, grip.drift);
    PutFloats(buffer, grip.spectrum);
    for (const std::string* text : texts) {
        PutLength(buffer, text->size());
        buffer.insert(buffer.end(), text->begin(), text->end());
    }
    buffer.insert(buffer.end(), std::begin(kRecordEndMarker), std::end(kRecordEndMarker));
    return true;
}

void GripStore::AppendRecord(const std::u16string& path, const Grip& grip,
                             std::vector<unsigned char>& buffer, ScanOwner* owner,
                             const FileStamp* stamp) {
    // A record whose lengths do not fit would be read back as garbage, so it
    // is not written at all.
    if (m_file >= 0 && SerializeRecord(path, grip, buffer)) {
        RecordTie tie;
        tie.check = RecordCheck(buffer.data(), buffer.size());
        tie.stamped = stamp != nullptr;
        tie.stamp = stamp != nullptr ? *stamp : FileStamp();
        // The tie goes first: a process killed between the two writes leaves
        // a tie without its record, which nothing matches, rather than a
        // record that the next load would not trust.
        AppendTie(path, tie);
        size_t written = 0;
        if (WriteAll(m_file, buffer.data(), buffer.size(), m_position, &written)) {
            const auto [place, fresh] = m_records.try_emplace(path);
            if (!fresh) {
                m_deadBytes += place->second.length;
            }
            place->second.offset = m_position;
            place->second.length = static_cast<uint32_t>(buffer.size());
            place->second.tie = tie;
            m_position += buffer.size();
        } else if (written > 0) {
            // Cut back, so the file ends with a whole record again.
            ftruncate(m_file, static_cast<off_t>(m_position));
        }
    }
    if (owner != nullptr) {
        owner->m_cachedCount.store(static_cast<int32_t>(m_entries.size()));
    }
}

bool GripStore::IsUnchanged(const std::u16string& path, const FileStamp& now) {
    const auto it = m_records.find(path);
    if (it == m_records.end()) {
        return true;
    }
    RecordTie& tie = it->second.tie;
    if (!tie.stamped) {
        tie.stamped = true;
        tie.stamp = now;
        AppendTie(path, tie);
        return true;
    }
    return tie.stamp == now;
}

bool GripStore::Erase(std::u16string_view path) {
    if (m_entries.find(path) == m_entries.end()) {
        return false;
    }
    EraseEntry(path);
    return true;
}

void GripStore::EraseEntry(std::u16string_view path) {
    const auto it = m_entries.find(path);
    if (it != m_entries.end()) {
        LeaveScan(it->second);
        m_entries.erase(it);
    }
}

GripStore::Entry* GripStore::Find(std::u16string_view path) {
    const auto it = m_entries.find(path);
    return it == m_entries.end() ? nullptr : &it->second;
}

GripStore::Entry* GripStore::Insert(const std::u16string& path, const Grip& grip) {
    return Insert(Prepare(path, grip), grip.sequence);
}

GripStore::PreparedEntry GripStore::Prepare(const std::u16string& path, const Grip& grip) {
    Map single{PoolAllocator<Map::value_type>(&m_pool)};
    Entry& entry = single.try_emplace(path).first->second;
    static_cast<GripTexts&>(entry.grip) = grip;
    MakeGripVectors(grip, entry.vectors);
    return single.extract(single.begin());
}

GripStore::Entry* GripStore::Insert(PreparedEntry&& prepared, uint32_t sequence) {
    Entry* entry = Add(std::move(prepared));
    if (entry != nullptr && sequence != kNotInScan) {
        entry->grip.sequence = sequence;
        // Numbers are given out in order, so the entry almost always goes last.
        const std::span<Entry* const> scan = this->scan();
        const auto at = std::upper_bound(
            scan.begin(), scan.end(), sequence,
            [](uint32_t value, const Entry* e) { return value < e->grip.sequence; });
        EnterScan(*entry, static_cast<size_t>(at - scan.begin()));
    }
    return entry;
}

size_t GripStore::ScanPositionOf(uint32_t sequence) const {
    const std::span<Entry* const> scan = this->scan();
    const auto end =
        std::lower_bound(scan.begin(), scan.end(), sequence,
                         [](const Entry* e, uint32_t value) { return e->grip.sequence < value; });
    return static_cast<size_t>(end - scan.begin());
}

void GripStore::JoinScan(Entry& entry) {
    if (entry.grip.sequence == kNotInScan) {
        std::atomic_ref<uint32_t>(entry.grip.sequence)
            .store(NextSequence(), std::memory_order_relaxed);
        EnterScan(entry, m_scan.size());
    }
}

GripStore::Stored GripStore::JoinIfUnchanged(const std::u16string& path, const FileStamp* stamp,
                                             bool exclusive) {
    Entry* entry = Find(path);
    if (entry == nullptr) {
        return Stored::kMissing;
    }
    std::lock_guard<std::mutex> join(m_joinMutex);
    if (stamp != nullptr && !IsUnchanged(path, *stamp)) {
        return Stored::kChanged;
    }
    if (entry->grip.sequence == kNotInScan) {
        // Passes may read the scan meanwhile: it must neither move nor be
        // projected afresh.
        if (!exclusive && (!m_scan.HasRoom() || BasisDue())) {
            return Stored::kRetryExclusively;
        }
        JoinScan(*entry);
    }
    return Stored::kUnchanged;
}

void GripStore::EnterScan(Entry& entry, size_t at) {
    EnsureBasis();
    if (at != m_scan.size()) {
        ++m_scanLayout;
    }
    if (!m_scan.HasRoom()) {
        // A rescan finds room for every stored file at its first file.
        m_scan.Reserve(std::max(m_entries.size(), m_scan.size() + m_scan.size() / 4 + 64));
    }
    SpectrumBounds bounds;
    ProjectSpectrum(m_basis, entry.vectors, bounds);
    m_scan.Insert(at, &entry, bounds, SketchesOf(entry));
}

void GripStore::ScanIndex::Reserve(size_t room) {
    if (room > m_entries.size()) {
        m_entries.resize(room);
        m_projections.resize(room);
        m_finer.resize(room);
        m_sketches.resize(room);
    }
}

void GripStore::ScanIndex::Insert(size_t at, Entry* entry, const SpectrumBounds& bounds,
                                  const TextSketches& sketches) {
    const size_t size = this->size();
    const auto shift = [size, at](auto& slots) {
        std::move_backward(slots.begin() + static_cast<std::ptrdiff_t>(at),
                           slots.begin() + static_cast<std::ptrdiff_t>(size),
                           slots.begin() + static_cast<std::ptrdiff_t>(size + 1));
    };
    shift(m_entries);
    shift(m_projections);
    shift(m_finer);
    shift(m_sketches);
    m_entries[at] = entry;
    m_projections[at] = bounds.projection;
    m_finer[at] = bounds.finer;
    m_sketches[at] = sketches;
    m_size.store(size + 1, std::memory_order_release);
}

void GripStore::ScanIndex::Erase(size_t at) {
    const size_t size = this->size();
    const auto shift = [size, at](auto& slots) {
        std::move(slots.begin() + static_cast<std::ptrdiff_t>(at + 1),
                  slots.begin() + static_cast<std::ptrdiff_t>(size),
                  slots.begin() + static_cast<std::ptrdiff_t>(at));
    };
    shift(m_entries);
    shift(m_projections);
    shift(m_finer);
    shift(m_sketches);
    m_size.store(size - 1, std::memory_order_release);
}

void GripStore::ScanIndex::Project(const SpectrumBasis& basis) {
    SpectrumBounds bounds;
    for (size_t at = 0; at < size(); ++at) {
        ProjectSpectrum(basis, m_entries[at]->vectors, bounds);
        m_projections[at] = bounds.projection;
        m_finer[at] = bounds.finer;
    }
}

bool GripStore::BasisDue() const {
    // Enough spectra for their principal directions to speak for the library.
    constexpr size_t kLeastSample = 64;
    // A first scan builds the directions from its first files; they are
    // built again as the store grows fourfold, until a sample of the whole
    // library speaks for it.
    constexpr size_t kGrowth = 4;
    constexpr size_t kSettled = 4096;
    return m_entries.size() >= kLeastSample &&
           (m_basis.empty() ||
            (m_basisBuiltAt < kSettled && m_entries.size() >= kGrowth * m_basisBuiltAt));
}

void GripStore::EnsureBasis() {
    constexpr size_t kMostSample = 512;
    if (!BasisDue()) {
        return;
    }
    m_basisBuiltAt = m_entries.size();
    ++m_scanLayout;
    std::vector<const GripVectors*> sample;
    const size_t stride = (m_entries.size() + kMostSample - 1) / kMostSample;
    size_t k = 0;
    for (const auto& [path, entry] : m_entries) {
        if (k++ % stride == 0) {
            sample.push_back(&entry.vectors);
        }
    }
    m_basis = BuildSpectrumBasis(sample);
    m_scan.Project(m_basis);
}

SpectrumBounds GripStore::ProjectionOf(const Entry& entry) const {
    const size_t at = EarlierInScan(entry);
    if (at < m_scan.size() && m_scan.entries()[at] == &entry) {
        return {m_scan.projections()[at], m_scan.finer()[at]};
    }
    SpectrumBounds bounds;
    ProjectSpectrum(m_basis, entry.vectors, bounds);
    return bounds;
}

GripStore::TextSketches GripStore::SketchesOf(const Entry& entry) {
    TextSketches sketches;
    for (int key = 0; key < kTextKeys; ++key) {
        sketches.key[key] = SketchText(TagText(entry.grip, static_cast<TagField>(key)));
    }
    return sketches;
}

void GripStore::LeaveScan(Entry& entry) {
    if (entry.grip.sequence != kNotInScan) {
        const size_t at = EarlierInScan(entry);
        if (at < m_scan.size() && m_scan.entries()[at] == &entry) {
            m_scan.Erase(at);
            ++m_scanLayout;
        }
        entry.grip.sequence = kNotInScan;
    }
}

GripStore::Entry* GripStore::Add(PreparedEntry&& prepared, bool numbered) {
    const auto inserted = m_entries.insert(std::move(prepared));
    if (!inserted.inserted) {
        return nullptr;
    }
    Entry& entry = inserted.position->second;
    entry.grip.sequence = kNotInScan;
    entry.path = &inserted.position->first;
    if (!numbered) {
        NumberTexts(entry);
    }
    return &entry;
}

void GripStore::NumberTexts(Entry& entry) {
    entry.textIds[0] = TextId(entry.grip.title);
    entry.textIds[1] = TextId(entry.grip.artist);
    entry.textIds[2] = TextId(entry.grip.nameKey);
    entry.textIds[3] = TextId(entry.grip.album);
}

uint32_t GripStore::TextId(const std::string& text) {
    if (m_textIds.empty()) {
        m_textIds.emplace(std::string(), 0);
    }
    // Numbers are given out in order, so the next one is the count so far.
    return m_textIds.try_emplace(text, static_cast<uint32_t>(m_textIds.size())).first->second;
}

void GripStore::ClearEntries() {
    m_entries.clear();
    m_pool.Trim();
    m_scan.Clear();
    ++m_scanLayout;
    m_basis = SpectrumBasis();
    m_basisBuiltAt = 0;
    m_textIds.clear();
}

void GripStore::ResetSequences() {
    for (Entry* entry : scan()) {
        entry->grip.sequence = kNotInScan;
    }
    m_scan.Clear();
    ++m_scanLayout;
}

Grip GripOf(const GripStore::Entry& entry) {
    Grip g;
    static_cast<GripTexts&>(g) = entry.grip;
    // A file joins the scan under the shared lock.
    g.sequence = std::atomic_ref<uint32_t>(const_cast<uint32_t&>(entry.grip.sequence))
                     .load(std::memory_order_relaxed);
    std::memcpy(g.spectrum.data(), entry.vectors.spectrum, sizeof(float) * kComparedBins);
    std::memcpy(g.envelope.data(), entry.vectors.envelope, sizeof(float) * kEnvelopeLength);
    std::memcpy(g.drift.data(), entry.vectors.drift, sizeof(float) * kDriftLength);
    return g;
}

GripStore& GlobalGripStore() {
    static GripStore store;
    return store;
}
