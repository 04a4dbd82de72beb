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
// The cache file: a 32-byte header ("Harmonyfox 0.31" and 17 zero bytes),
// then records back to back, all numbers little-endian:
//   int16 p (>= 1), p UTF-16 code units of the path, 100 + 10 + 2048 float32
//   (envelope, drift, spectrum), then nameKey, title, artist, album, each an
//   int16 length (>= 0) and that many bytes, then the marker FF 'E' 'N' 'D'.
// A later record of a path supersedes an earlier one. Beside it, the stamp
// index (IndexPath, StampIndex) ties each record to its file: the size and
// modification time the file had when the record was made, and a check of
// the record's bytes. Once a stamp has been kept for a cache, the last byte of
// its header holds the mark kCacheTiedMark, and from then on a record without
// its tie is not trusted. docs/scan-engine.md describes both files.
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
#include "decoder_contract.h"
#include "file_stamp.h"
#include "grip.h"
#include "grip_vectors.h"
#include "projection_bound.h"
#include "read_write_lock.h"
#include "stamp_index.h"
#include "tag_compare.h"

class ScanOwner;

// FileJob's code for an insert that found the path already stored.
inline constexpr HRESULT E_INSERT_FAILED = static_cast<HRESULT>(0x80040002u);
// The store's code for a path that it does not hold (the value of E_END_OF_STREAM).
inline constexpr HRESULT E_NOT_IN_STORE = static_cast<HRESULT>(0x80040001u);
// LoadCache: another running Harmonyfox holds the cache file.
inline constexpr HRESULT E_CACHE_LOCKED = static_cast<HRESULT>(0x80040010u);
// LoadCache: the file at the cache's path is not a cache of ours; it is left alone.
inline constexpr HRESULT E_CACHE_FOREIGN = static_cast<HRESULT>(0x80040011u);

// What a front end tells the user when LoadCache returned result (a failure).
const char* CacheLoadMessage(HRESULT result);

// What LoadCache found of the stamp index.
enum class IndexState {
    kSound,     // as it should be (or a cache that never had one, which now has)
    kMissing,   // stamps had been kept for the cache, and the index was gone
    kDamaged,   // stamps had been kept, and the index was no index (emptied,
                // cut short in its header, damaged, replaced): it was emptied
    kUnusable,  // no file that can be written (a folder, someone else's file,
                // no access): it is left alone and no stamp is kept; records
                // are trusted only when no stamp had been kept before either
};

// What LoadCache tells the front end about the ties of records to files.
struct IndexReport {
    IndexState state = IndexState::kSound;
    // Stored fingerprints that were not trusted (no tie, or bytes that do not
    // match it): their files are fingerprinted again when next scanned.
    uint32_t untrusted = 0;
    std::string path;  // of the index
};

// The one line a front end shows for report; empty when there is nothing to
// tell.
std::string IndexReportMessage(const IndexReport& report);

// What CleanCache did.
struct CleanReport {
    uint32_t dropped = 0;     // entries of files that no longer exist
    uint64_t bytesFreed = 0;  // the cache file and its index shrank by this much
};

inline constexpr size_t kCacheHeaderSize = 32;
inline constexpr char kCacheHeaderText[] = "Harmonyfox 0.31";
// The header byte that tells that stamps are kept for the cache, and its
// value (0 before). A reader that knows no mark takes it for one damaged
// header byte, which it mends, keeping the records.
inline constexpr size_t kCacheMarkOffset = 31;
inline constexpr unsigned char kCacheTiedMark = 'T';
inline constexpr unsigned char kRecordEndMarker[4] = {0xFF, 'E', 'N', 'D'};
// A record's size without its path and its four strings' bytes.
inline constexpr size_t kRecordFixedSize = 8646;

class GripStore {
  public:
    // Number of text keys; textIds holds them in the order title, artist,
    // nameKey, album.
    static constexpr int kTextKeys = 4;

    // What an entry holds of its Grip: the texts, the sequence, and the
    // compared series (in vectors). The upper spectrum bins are never
    // compared and stay in the cache file only.
    struct HeldGrip : GripTexts {
        uint32_t sequence = kNotInScan;
    };
    struct Entry {
        // Leaves vectors and textIds unset (Prepare and Insert fill them),
        // sparing a clear of some 5 KB per entry.
        Entry() {}
        GripVectors vectors;
        HeldGrip grip;
        // Each text key's number in the store's table of distinct texts; equal
        // texts share a number, the empty text is 0.
        uint32_t textIds[kTextKeys];
        // Its key in the store.
        const std::u16string* path = nullptr;
    };
    using Map = std::map<std::u16string, Entry, std::less<>,
                         PoolAllocator<std::pair<const std::u16string, Entry>>>;
    // An entry made ready outside the lock, for Insert.
    using PreparedEntry = Map::node_type;
    // The sketches of an entry's text keys, in TagField order: what a pass
    // reads of an earlier file's texts before it needs the file.
    struct TextSketches {
        TextSketch key[kTextKeys];
    };

    // The entries of the current scan in the order they joined it, with what
    // a pass reads of each beside it. A writer that holds the store
    // exclusively may change it freely; one that holds it shared (and the
    // join mutex) may append within the room there is while passes read,
    // as they read nothing at or past the size they find.
    class ScanIndex {
      public:
        size_t size() const { return m_size.load(std::memory_order_acquire); }
        bool HasRoom() const { return size() < m_entries.size(); }
        Entry* const* entries() const { return m_entries.data(); }
        const SpectrumProjection* projections() const { return m_projections.data(); }
        const FinerProjection* finer() const { return m_finer.data(); }
        const TextSketches* sketches() const { return m_sketches.data(); }
        // Makes room for room entries in all. Only under the exclusive hold.
        void Reserve(size_t room);
        // Needs room. Under the shared hold only to append (at is the
        // size); anything else under the exclusive hold.
        void Insert(size_t at, Entry* entry, const SpectrumBounds& bounds,
                    const TextSketches& sketches);
        // Projects every entry afresh on basis. Only under the exclusive hold.
        void Project(const SpectrumBasis& basis);
        void Erase(size_t at);
        void Clear() { m_size.store(0, std::memory_order_release); }

      private:
        std::vector<Entry*> m_entries;  // the room: all slots past the size are spare
        std::vector<SpectrumProjection> m_projections;
        std::vector<FinerProjection> m_finer;
        std::vector<TextSketches> m_sketches;
        std::atomic<size_t> m_size{0};
    };

    GripStore() : m_entries(PoolAllocator<Map::value_type>(&m_pool)) {}
    ~GripStore();
    GripStore(const GripStore&) = delete;
    GripStore& operator=(const GripStore&) = delete;

    // $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat, by default under
    // ~/.cache; empty when neither XDG_CACHE_HOME nor a home folder is known.
    static std::string DefaultCachePath();

    // Opens (creating it and its folder when missing) and locks the cache
    // file at path, replacing any file held before, and loads every good
    // record into an emptied store; sets owner's m_cachedCount (owner may be
    // null). The file is read as a stream, one window at a time.
    // - A file that is not ours (a regular file whose first bytes are not our
    //   header, or no regular file at all) is left alone: E_CACHE_FOREIGN.
    //   An empty file, a prefix of our header, or a header of another
    //   version ("Harmonyfox " and other text) is reset to our header alone;
    //   a header with one damaged byte is mended when a record follows it.
    // - A damaged record costs itself only: loading finds the next good
    //   record and goes on. When good records follow damage, or more than a
    //   quarter of the file is superseded records, the file is written afresh
    //   from the bytes of the live records (into a new file, synced, renamed
    //   over the old one); damage at the end is cut off.
    // E_CACHE_LOCKED when another process holds the file, E_FAIL when it
    // cannot be opened; the store is then empty and appends go nowhere.
    // No lock is taken: call before workers run.
    HRESULT LoadCache(const std::string& path, ScanOwner* owner);
    HRESULT LoadCache(ScanOwner* owner) { return LoadCache(DefaultCachePath(), owner); }

    // What the last LoadCache found of the stamp index. Read by the front end
    // after LoadCache, before workers run.
    const IndexReport& indexReport() const { return m_indexReport; }

    // Empties the store and cuts the file and its index to their headers.
    // Takes the lock exclusively itself. Always S_OK.
    HRESULT ClearCache();

    // Drops the entries of files that no longer exist, from the store and
    // from the files (written afresh from the live records' bytes), and sets
    // owner's m_cachedCount (owner may be null). Takes the lock exclusively
    // itself. S_OK, or E_FAIL when the files could not be written afresh (the
    // entries are gone from the store all the same).
    HRESULT CleanCache(ScanOwner* owner, CleanReport* report);

    // Serialises one record into buffer and writes it at the end of the good
    // records, then its tie to the index: stamp (the file's, read before it
    // was fingerprinted; null when it could not be read, and then taken at
    // the file's next scan) and the record's check. The record supersedes any
    // earlier one of path. Sets owner's m_cachedCount to the number of
    // entries. Call under the exclusive lock. A failed or short write is cut
    // back, so the file stays readable.
    void AppendRecord(const std::u16string& path, const Grip& grip,
                      std::vector<unsigned char>& buffer, ScanOwner* owner,
                      const FileStamp* stamp = nullptr);

    // Whether the stored record of path was made from a file with stamp now.
    // A record without a stamp yet (from a cache from before stamps, or made
    // when its file's stamp could not be read) counts as unchanged and takes
    // now as its stamp. Call under the exclusive lock.
    bool IsUnchanged(const std::u16string& path, const FileStamp& now);

    // Takes path's entry out of the store (not out of the cache file: a new
    // record of path supersedes it there). false when it is not there. Call
    // under the exclusive lock.
    bool Erase(std::u16string_view path);

    // The entry of path, or null. Call under the lock.
    Entry* Find(std::u16string_view path);
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
    std::span<const FinerProjection> scanFiner() const { return {m_scan.finer(), m_scan.size()}; }
    // entry's projections (from the index when entry is in the scan).
    SpectrumBounds ProjectionOf(const Entry& entry) const;
    // The sketches of the text keys of each entry of scan(), at the same
    // position. Call under the lock.
    std::span<const TextSketches> scanSketches() const {
        return {m_scan.sketches(), m_scan.size()};
    }
    static TextSketches SketchesOf(const Entry& entry);
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
    static std::string IndexPath(const std::string& cachePath);

    // Where a path's live record lies in the cache file, and its tie.
    struct RecordPlace {
        uint64_t offset = 0;
        uint32_t length = 0;
        RecordTie tie;
    };

    HRESULT OpenLocked(const std::string& path);
    // Checks and mends the header; sets m_marked.
    HRESULT CheckHeader();
    // Which ties the records of a load can have: none (no index), stamps
    // by path alone (an index from before record checks), or ties that
    // check the record's bytes.
    enum class TieSource { kNone, kStampsOnly, kChecked };
    // Opens the stamp index and reads its ties; sets m_indexReport's state.
    TieSource LoadIndex(StampIndex::Ties& ties);
    struct LoadTally;
    HRESULT LoadRecords(const StampIndex::Ties& ties, TieSource source);
    struct LoadedRecord;
    // Reads the good records of the cache file's first size bytes, made into
    // entries with their texts numbered, and hands them to take in batches, in file order, until take
    // refuses one; sets damaged when it passed over damage. false when the
    // file could not be read.
    bool ReadRecords(uint64_t size, const std::function<bool(std::vector<LoadedRecord>&&)>& take,
                     bool* damaged);
    // Links the trusted records of a batch into the store and the record
    // table; the others are counted in tally. goodEnd becomes the end of the
    // last.
    void LinkRecords(std::vector<LoadedRecord>& batch, const StampIndex::Ties& ties,
                     TieSource source, LoadTally& tally, uint64_t* goodEnd);
    // Writes tie to the index, marking the cache first when the tie is the
    // first stamp kept for it.
    void AppendTie(const std::u16string& path, const RecordTie& tie);
    // Sets the mark in the cache's header.
    void MarkCache();
    HRESULT RewriteCache();
    // Writes the index afresh with the tie of every live record; marks the
    // cache first when one of them holds a stamp.
    HRESULT RewriteIndex();
    void EraseEntry(std::u16string_view path);

    ReadWriteLock& lock() { return m_lock; }

    // The bytes of one record; false when a length does not fit its 16 bits.
    static bool SerializeRecord(const std::u16string& path, const Grip& grip,
                                std::vector<unsigned char>& buffer);

  private:
    void CloseFile();
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
    bool BasisDue() const;
    void ClearEntries();

    ReadWriteLock m_lock;
    BlockPool m_pool;  // of m_entries's nodes; outlives them
    Map m_entries;
    ScanIndex m_scan;  // by sequence
    // Serialises what JoinIfUnchanged changes under the shared lock: the
    // scan's end, the sequence counter, the records' stamps.
    std::mutex m_joinMutex;
    uint64_t m_scanLayout = 0;
    SpectrumBasis m_basis;
    size_t m_basisBuiltAt = 0;  // entries in the store when m_basis was built
    std::unordered_map<std::string, uint32_t> m_textIds;  // number of each text
    uint32_t m_sequence = 0;

    // The file side.
    std::string m_path;  // of the cache file
    int m_file = -1;
    uint64_t m_position = 0;   // end of the last good record
    uint64_t m_deadBytes = 0;  // superseded and untrusted records in the file
    std::unordered_map<std::u16string, RecordPlace> m_records;
    bool m_marked = false;  // the header holds kCacheTiedMark
    StampIndex m_stampIndex;
    IndexReport m_indexReport;
};

// The Grip that entry holds: its texts, sequence and compared series; the
// spectrum bins above them, which the store does not keep, are 0.
Grip GripOf(const GripStore::Entry& entry);

// The process's one store.
GripStore& GlobalGripStore();
