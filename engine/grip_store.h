// GripStore: the Grip of every audio file ever fingerprinted, keyed by its
// full path (compared exactly, byte for byte), mirrored in the cache file so
// that a file is decoded once in its life. One process-wide store
// (GlobalGripStore) lives until exit and keeps its cache file open and locked
// with an exclusive flock all that time, so a second running copy of the
// program cannot open it.
//
// Threads: LoadCache runs before any worker exists. Afterwards every access
// to the entries, the files and the sequence counter happens under lock():
// exclusively for anything that writes, shared for reading passes. The one
// exception, JoinIfUnchanged, lets a stored file join the scan under the
// shared lock and a mutex of its own.
// Lock order: this lock before the owner's pairsLock.
//
// The cache file behind it (CacheFile, cache_file.h) holds every entry's
// record; docs/scan-engine.md describes it and its stamp index.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "block_pool.h"
#include "cache_file.h"
#include "decoder_contract.h"
#include "file_stamp.h"
#include "grip.h"
#include "read_write_lock.h"
#include "scan_index.h"
#include "store_entry.h"

// FileJob's code for an insert that found the path already stored.
inline constexpr HRESULT E_INSERT_FAILED = static_cast<HRESULT>(0x80040002u);
// The store's code for a path that it does not hold (the value of E_END_OF_STREAM).
inline constexpr HRESULT E_NOT_IN_STORE = static_cast<HRESULT>(0x80040001u);
class GripStore {
  public:
    static constexpr int kTextKeys = ::kTextKeys;
    using HeldGrip = ::HeldGrip;
    using Entry = StoreEntry;
    using Map = std::map<std::u16string, Entry, std::less<>,
                         PoolAllocator<std::pair<const std::u16string, Entry>>>;
    // An entry made ready outside the lock, for Insert.
    using PreparedEntry = Map::node_type;
    using TextSketches = ::TextSketches;

    GripStore() : m_entries(PoolAllocator<Map::value_type>(&m_pool)) {}
    GripStore(const GripStore&) = delete;
    GripStore& operator=(const GripStore&) = delete;

    // $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat, by default under
    // ~/.cache; empty when neither XDG_CACHE_HOME nor a home folder is known.
    static std::string DefaultCachePath();

    // Opens (creating it and its folder when missing) and locks the cache
    // file at path, replacing any file held before, and loads every good
    // record into an emptied store; size() then counts them. The file is
    // read as a stream, one window at a time.
    // - A file that is not a cache of ours (a regular file whose first bytes
    //   are not our header, another file of ours such as a stamp index, or no
    //   regular file at all) is left alone: E_CACHE_FOREIGN. An empty file,
    //   a prefix of our header, or a header of another version ("Harmonyfox "
    //   and another version number) is reset to our header alone. A header
    //   with damaged bytes (at most one of them in "Harmonyfox ") is mended
    //   when a good record follows it anywhere; without one it is reset when
    //   its name is whole, else left alone.
    // - A damaged record costs itself only: loading finds the next good
    //   record and goes on. When good records follow damage, or more than a
    //   quarter of the file is superseded records, the file is written afresh
    //   from the bytes of the live records (into a new file, synced, renamed
    //   over the old one); damage at the end is cut off.
    // E_CACHE_LOCKED when another process holds the file, E_FAIL when it
    // cannot be opened; the store is then empty and appends go nowhere.
    // No lock is taken: call before workers run.
    HRESULT LoadCache(const std::string& path);
    HRESULT LoadCache() { return LoadCache(DefaultCachePath()); }

    // What the last LoadCache found of the stamp index. Read by the front end
    // after LoadCache, before workers run.
    const IndexReport& indexReport() const { return m_cache.indexReport(); }

    // Empties the store and cuts the file and its index to their headers.
    // Takes the lock exclusively itself. Always S_OK.
    HRESULT ClearCache();

    // Drops the entries of files that no longer exist, from the store and
    // from the files (written afresh from the live records' bytes), and
    // says so in report (may be null). Takes the lock exclusively itself.
    // S_OK, or E_FAIL when the files could not be written afresh (the
    // entries are gone from the store all the same).
    HRESULT CleanCache(CleanReport* report);

    // Serialises one record into buffer and writes it at the end of the good
    // records, then its tie to the index: stamp (the file's, read before it
    // was fingerprinted; null when it could not be read, and then taken at
    // the file's next scan) and the record's check. The record supersedes any
    // earlier one of path. Call under the exclusive lock. S_OK once both
    // are written; S_NOT_SAVED when nothing is to be written (no cache file,
    // or a length that does not fit the format); E_CACHE_WRITE when a write
    // failed: the failure is counted in saveFailures(), a part written is
    // cut back, and the records before stay loadable.
    HRESULT AppendRecord(const std::u16string& path, const Grip& grip,
                         std::vector<unsigned char>& buffer, const FileStamp* stamp = nullptr) {
        return m_cache.Append(path, grip, buffer, stamp);
    }

    // The entries in the store, as size() counts them. Any thread, without
    // the lock (the count may lag a running insert).
    size_t storedCount() const { return m_storedCount.load(std::memory_order_relaxed); }
    // What appends could not save. Any thread.
    SaveFailures saveFailures() const { return m_cache.saveFailures(); }

    // Whether the stored record of path was made from a file with stamp now.
    // A record without a stamp yet (from a cache from before stamps, or made
    // when its file's stamp could not be read) counts as unchanged and takes
    // now as its stamp. Call under the exclusive lock.
    bool IsUnchanged(const std::u16string& path, const FileStamp& now) {
        return m_cache.IsUnchanged(path, now);
    }

    // Takes path's entry out of the store (not out of the cache file: a new
    // record of path supersedes it there). false when it is not there. Call
    // under the exclusive lock.
    bool Erase(std::u16string_view path);

    // The entry of path, or null. Call under the lock.
    Entry* Find(std::u16string_view path);
    const Entry* Find(std::u16string_view path) const;
    // Stores grip under path with its scaled series, in O(log n); null when
    // path is already there (nothing changes then). A grip whose sequence is
    // set joins the scan with it. Call under the exclusive lock.
    Entry* Insert(const std::u16string& path, const Grip& grip);
    // The costly part of an insert, which needs no lock: path's entry with
    // grip's texts and scaled series. Any thread, at any time.
    PreparedEntry Prepare(const std::u16string& path, const Grip& grip);
    // Insert of a prepared entry, which then joins the scan with sequence
    // unless that is kNotInScan; null when its path is already there.
    // prepared must come from this store's Prepare. Call under the exclusive
    // lock.
    Entry* Insert(PreparedEntry&& prepared, uint32_t sequence);
    // Every entry in path order. Call under the lock.
    const Map& entries() const { return m_entries; }
    // The entries of the current scan in the order they joined it (by
    // sequence). Call under the lock.
    std::span<Entry* const> scan() const { return {m_scan.entries(), m_scan.size()}; }
    // How many entries of scan() joined it before entry. Call under the lock.
    size_t EarlierInScan(const Entry& entry) const { return ScanPositionOf(entry.grip.sequence); }
    // How many entries of scan() have a sequence below sequence. Call under
    // the lock.
    size_t ScanPositionOf(uint32_t sequence) const;
    // The pruning index: the spectrum projection of each entry of scan(), at
    // the same position. Call under the lock.
    std::span<const SpectrumProjection> scanProjections() const {
        return {m_scan.projections(), m_scan.size()};
    }
    // The projections on the next directions, at the same positions. Call
    // under the lock.
    std::span<const OpenLines> scanOpenLines() const { return {m_scan.openLines(), m_scan.size()}; }
    // The contour keys, at the same positions. Call under the lock.
    std::span<const ContourKey> scanContourKeys() const {
        return {m_scan.contourKeys(), m_scan.size()};
    }
    // entry's projections (from the index when entry is in the scan).
    SpectrumBounds ProjectionOf(const Entry& entry) const;
    // The sketches of the text keys of each entry of scan(), at the same
    // position. Call under the lock.
    std::span<const TextSketches> scanSketches() const {
        return {m_scan.sketches(), m_scan.size()};
    }
    std::span<const SketchLine> scanSketchLines() const {
        return {m_scan.sketchLines(), m_scan.size()};
    }
    // Changes whenever an entry of scan() leaves it or takes a place other
    // than the last, and whenever the projections are made afresh: while it
    // stays the same, positions in scan() and the projections read from it
    // stay valid. Call under the lock.
    uint64_t scanLayout() const { return m_scanLayout; }
    size_t size() const { return m_entries.size(); }
    // How many distinct texts the entries hold (numbers run below it).
    size_t textCount() const { return m_textIds.size(); }

    // Adds 1 to the scan sequence counter and returns the new value. Call
    // under the exclusive lock.
    uint32_t NextSequence() { return ++m_sequence; }
    // Gives entry the next sequence number and adds it to the scan, unless it
    // has joined already. Call under the exclusive lock.
    void JoinScan(Entry& entry);
    // For a file job: whether path is stored from a file with stamp (null:
    // not known, which counts as unchanged); a stored, unchanged entry
    // joins the scan unless it has joined already. Callable under the
    // shared lock, beside running passes; kRetryExclusively then means that
    // it must be called again under the exclusive lock.
    enum class Stored { kUnchanged, kChanged, kMissing, kRetryExclusively };
    Stored JoinIfUnchanged(const std::u16string& path, const FileStamp* stamp, bool exclusive);
    // Marks every entry of the scan as not part of it; costs the size of the
    // scan, not of the store. Call under the exclusive lock.
    void ResetSequences();

    // The stamp index beside the cache file at cachePath: its name with the
    // extension ".idx".
    static std::string IndexPath(const std::string& cachePath) {
        return CacheFile::IndexPath(cachePath);
    }

    ReadWriteLock& lock() { return m_lock; }

  private:
    // Loading links the records it trusts in, and drops superseded entries.
    friend class CacheFile;

    void EraseEntry(std::u16string_view path);
    // Links prepared in; numbers its texts unless numbered says that they are.
    Entry* Add(PreparedEntry&& prepared, bool numbered = false);
    void NumberTexts(Entry& entry);
    uint32_t TextId(const std::string& text);
    // Takes entry out of the scan list and the pruning index; call before it
    // leaves the map.
    void LeaveScan(Entry& entry);
    // Adds entry at position at of the scan and of the pruning index.
    void EnterScan(Entry& entry, size_t at);
    // Builds the directions of the pruning index from the store's own
    // spectra, once the store holds enough of them.
    void EnsureBasis();
    void ClearEntries();

    ReadWriteLock m_lock;
    BlockPool m_pool;  // of m_entries's nodes; outlives them
    Map m_entries;
    ScanIndex m_scan;  // by sequence
    // Serialises what JoinIfUnchanged changes under the shared lock: the
    // scan's end, the sequence counter, the records' stamps.
    std::mutex m_joinMutex;
    uint64_t m_scanLayout = 0;
    std::unordered_map<std::string, uint32_t> m_textIds;  // number of each text
    uint32_t m_sequence = 0;
    std::atomic<size_t> m_storedCount{0};  // m_entries.size(), for readers without the lock

    CacheFile m_cache{*this};
};

// The process's one store.
GripStore& GlobalGripStore();
