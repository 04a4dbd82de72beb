// CacheFile: the file side of a GripStore, which owns it: the cache file
// (opened, locked, checked and mended, loaded, appended to, written afresh,
// cleaned) and its stamp index. Loading links the records it trusts into the
// store. The same threads call it as call the store: Load before any worker
// exists, everything else under the store's exclusive lock; saveFailures
// from any thread.
//
// The cache file: a 32-byte header ("Harmonyfox 0.31" and 17 zero bytes),
// then records back to back (cache_record.h). A later record of a path
// supersedes an earlier one. Beside it, the stamp index (IndexPath,
// StampIndex) ties each record to its file: the size and modification time
// the file had when the record was made, and a check of the record's bytes.
// Once a stamp has been kept for a cache, the last byte of its header holds
// the mark kCacheTiedMark, and from then on a record without its tie is not
// trusted. docs/scan-engine.md describes both files.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cache_record.h"
#include "decoder_contract.h"
#include "file_stamp.h"
#include "grip.h"
#include "stamp_index.h"

class GripStore;

// LoadCache: another running Harmonyfox holds the cache file.
inline constexpr HRESULT E_CACHE_LOCKED = static_cast<HRESULT>(0x80040010u);
// LoadCache: the file at the cache's path is not a cache of ours; it is left alone.
inline constexpr HRESULT E_CACHE_FOREIGN = static_cast<HRESULT>(0x80040011u);
// AppendRecord: the record could not be written (the disk is full, the file
// size limit is reached, the device failed); the cache holds what it held.
inline constexpr HRESULT E_CACHE_WRITE = static_cast<HRESULT>(0x80040013u);
// AppendRecord: there was nothing to write (no cache file, or a length that
// does not fit the format).
inline constexpr HRESULT S_NOT_SAVED = 1;

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
    uint32_t kept = 0;        // entries in the store afterwards
};

// The fingerprints that appends could not write since the cache was loaded
// or cleared.
struct SaveFailures {
    uint32_t count = 0;
    int error = 0;  // the errno of the last failure: ENOSPC, EFBIG, EIO, ...
};

// "3 fingerprints could not be saved (disk full)"; empty when none failed.
std::string SaveFailuresMessage(const SaveFailures& failures);

inline constexpr size_t kCacheHeaderSize = 32;
inline constexpr char kCacheHeaderText[] = "Harmonyfox 0.31";
// The header byte that tells that stamps are kept for the cache, and its
// value (0 before). A reader that knows no mark takes it for one damaged
// header byte, which it mends, keeping the records.
inline constexpr size_t kCacheMarkOffset = 31;
inline constexpr unsigned char kCacheTiedMark = 'T';

class CacheFile {
  public:
    explicit CacheFile(GripStore& store) : m_store(store) {}
    ~CacheFile();
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    // The stamp index beside the cache file at cachePath: its name with the
    // extension ".idx".
    static std::string IndexPath(const std::string& cachePath);

    // Opens and locks the file at path, as GripStore::LoadCache tells, and
    // links its good records into the store, which the caller emptied. On
    // failure the file is closed and the caller empties the store again.
    HRESULT Load(const std::string& path);
    // Cuts the file and its index to their headers.
    void Clear();
    // Forgets the records of gone and writes the files afresh when that, or
    // superseded records, left anything to drop; *bytesFreed is how much
    // both files shrank. E_FAIL when they could not be written afresh.
    HRESULT Drop(const std::vector<std::u16string>& gone, uint64_t* bytesFreed);
    // GripStore::AppendRecord.
    HRESULT Append(const std::u16string& path, const Grip& grip, std::vector<unsigned char>& buffer,
                   const FileStamp* stamp);
    // GripStore::IsUnchanged.
    bool IsUnchanged(const std::u16string& path, const FileStamp& now);

    const IndexReport& indexReport() const { return m_indexReport; }
    SaveFailures saveFailures() const {
        return {m_unsaved.load(std::memory_order_relaxed),
                m_saveError.load(std::memory_order_relaxed)};
    }

  private:
    void Close();
    // Where a path's live record lies in the cache file, and its tie.
    struct RecordPlace {
        uint64_t offset = 0;
        uint32_t length = 0;
        RecordTie tie;
    };

    HRESULT OpenLocked(const std::string& path);
    // Checks and mends the header; sets m_marked.
    HRESULT CheckHeader();
    // Cuts the file to our header alone (no mark).
    HRESULT ResetHeader();
    // Whether a good record lies anywhere behind the header of the file's
    // first size bytes.
    bool RecordFollows(uint64_t size);
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
    // entries with their texts numbered, and hands them to take in batches,
    // in file order, until take refuses one; sets damaged when it passed over
    // damage. false when the file could not be read. Runs on the reading
    // thread of a large load.
    bool ReadRecords(uint64_t size, const std::function<bool(std::vector<LoadedRecord>&&)>& take,
                     bool* damaged);
    // Links the trusted records of a batch into the store and the record
    // table, on the loading thread; the others are counted in tally. goodEnd becomes the end of the
    // last.
    void LinkRecords(std::vector<LoadedRecord>& batch, const StampIndex::Ties& ties,
                     TieSource source, LoadTally& tally, uint64_t* goodEnd);
    // Writes tie to the index, marking the cache first when the tie is the
    // first stamp kept for it. false when the index is usable and the write
    // failed (errno tells why).
    bool AppendTie(const std::u16string& path, const RecordTie& tie);
    // Counts a fingerprint that could not be written, for error (an errno).
    void CountUnsaved(int error);
    // Sets the mark in the cache's header.
    void MarkCache();
    // Writes the file afresh from the live records' bytes, in their order,
    // then the index.
    HRESULT Rewrite();
    // Writes the index afresh with the tie of every live record; marks the
    // cache first when one of them holds a stamp.
    HRESULT RewriteIndex();

    GripStore& m_store;
    std::string m_path;  // of the cache file
    int m_file = -1;
    uint64_t m_position = 0;   // end of the last good record
    uint64_t m_deadBytes = 0;  // superseded and untrusted records in the file
    std::unordered_map<std::u16string, RecordPlace> m_records;
    bool m_marked = false;  // the header holds kCacheTiedMark
    StampIndex m_stampIndex;
    IndexReport m_indexReport;
    std::atomic<uint32_t> m_unsaved{0};
    std::atomic<int> m_saveError{0};
};
