// CacheFile's reading of the records: a large cache is read on a thread of
// its own while the loading thread links the records into the store.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "cache_file.h"
#include "file_io.h"
#include "grip_store.h"

namespace {

// The stamp index is written afresh at load when it holds more entries than
// this many per live record (and kIndexSpare more).
constexpr uint64_t kIndexEntriesPerRecord = 2;
constexpr uint64_t kIndexSpare = 256;

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

// One good record of the cache file, made into an entry.
struct CacheFile::LoadedRecord {
    GripStore::PreparedEntry entry;
    uint64_t offset = 0;
    uint64_t end = 0;
    uint64_t pathHash = 0;
    uint32_t check = 0;  // RecordCheck of its bytes
};

// What linking found of the records' ties.
struct CacheFile::LoadTally {
    bool allTied = true;        // every linked record had its tie in the index
    uint32_t damagedLater = 0;  // untrusted records behind the trusted record of their path
    // Paths (by hash) with untrusted records and no trusted one yet: a
    // trusted record behind them superseded them, as it would have anyway.
    std::unordered_set<uint64_t> unclaimed;
};

bool CacheFile::ReadRecords(uint64_t size,
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
            m_store.Prepare(record.path, record.grip), position, record.end, PathHash(record.path),
            bytes != nullptr ? RecordCheck(bytes, record.end - position) : 0});
        // Every record read is linked in, in this order, so its texts get
        // the numbers here that linking would give them.
        m_store.NumberTexts(batch.back().entry.mapped());
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

void CacheFile::LinkRecords(std::vector<LoadedRecord>& batch, const StampIndex::Ties& ties,
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
            m_store.EraseEntry(path);
        }
        place->second.offset = record.offset;
        place->second.length = length;
        place->second.tie = tie;
        m_store.Add(std::move(record.entry), true);
    }
}

HRESULT CacheFile::LoadRecords(const StampIndex::Ties& ties, TieSource source) {
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
                [&queue](std::vector<LoadedRecord>&& batch) {
                    return queue.Push(std::move(batch));
                },
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
        Succeeded(Rewrite())) {
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
