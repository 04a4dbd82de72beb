// GripStore: the Grip of every audio file ever fingerprinted, keyed by its
// full path (compared exactly, byte for byte), mirrored in the cache file so
// that a file is decoded once in its life. One process-wide store
// (GlobalGripStore) lives until exit and keeps its cache file open and locked
// with an exclusive flock all that time, so a second running copy of the
// program cannot open it.
//
// Threads: LoadCache runs before any worker exists. Afterwards every access
// to the entries, the file position and the sequence counter happens under
// lock(): exclusively for anything that writes, shared for reading passes.
// Lock order: this lock before the owner's pairsLock.
//
// The cache file: a 32-byte header ("Harmonyfox 0.31" and 17 zero bytes),
// then records back to back, all numbers little-endian:
//   int16 p (>= 1), p UTF-16 code units of the path, 100 + 10 + 2048 float32
//   (envelope, drift, spectrum), then nameKey, title, artist, album, each an
//   int16 length (>= 0) and that many bytes, then the marker FF 'E' 'N' 'D'.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoder_contract.h"
#include "grip.h"
#include "grip_vectors.h"
#include "read_write_lock.h"

class ScanOwner;

// FileJob's code for an insert that found the path already stored.
inline constexpr HRESULT E_INSERT_FAILED = static_cast<HRESULT>(0x80040002u);
// The store's code for a path that it does not hold (the value of E_END_OF_STREAM).
inline constexpr HRESULT E_NOT_IN_STORE = static_cast<HRESULT>(0x80040001u);

inline constexpr size_t kCacheHeaderSize = 32;
inline constexpr char kCacheHeaderText[] = "Harmonyfox 0.31";
inline constexpr unsigned char kRecordEndMarker[4] = {0xFF, 'E', 'N', 'D'};
// A record's size without its path and its four strings' bytes.
inline constexpr size_t kRecordFixedSize = 8646;

class GripStore {
  public:
    // Number of text keys; textIds holds them in the order title, artist,
    // nameKey, album.
    static constexpr int kTextKeys = 4;

    struct Entry {
        Grip grip;
        GripVectors vectors;
        // Each text key's number in the store's table of distinct texts; equal
        // texts share a number, the empty text is 0.
        uint32_t textIds[kTextKeys];
        // Its key in the store.
        const std::u16string* path = nullptr;
    };
    using Map = std::map<std::u16string, Entry, std::less<>>;

    GripStore() = default;
    ~GripStore();
    GripStore(const GripStore&) = delete;
    GripStore& operator=(const GripStore&) = delete;

    // $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat, by default under
    // ~/.cache; empty when neither XDG_CACHE_HOME nor a home folder is known.
    static std::string DefaultCachePath();

    // Opens (creating it and its folder when missing) and locks the cache
    // file at path, replacing any file held before, and loads every good
    // record into an emptied store; sets owner's m_cachedCount (owner may be
    // null). A file shorter than the header, or with a foreign header, is
    // reset to the header alone; loading stops silently at the first damaged
    // record, whose bytes the next append overwrites. E_FAIL when the file
    // cannot be opened or is locked by another process; the store is then
    // empty and appends go nowhere. No lock is taken: call before workers run.
    HRESULT LoadCache(const std::string& path, ScanOwner* owner);
    HRESULT LoadCache(ScanOwner* owner) { return LoadCache(DefaultCachePath(), owner); }

    // Empties the store and cuts the file to its header. Takes the lock
    // exclusively itself. Always S_OK.
    HRESULT ClearCache();

    // Serialises one record into buffer and writes it at the end of the good
    // records; adds 1 to owner's m_cachedCount. Call under the exclusive lock.
    // A failed write is not reported: the next load stops at the damage.
    void AppendRecord(const std::u16string& path, const Grip& grip,
                      std::vector<unsigned char>& buffer, ScanOwner* owner);

    // The entry of path, or null. Call under the lock.
    Entry* Find(std::u16string_view path);
    // Stores grip under path with its scaled series, in O(log n); null when
    // path is already there (nothing changes then). A grip whose sequence is
    // set joins the scan with it. Call under the exclusive lock.
    Entry* Insert(const std::u16string& path, const Grip& grip);
    // Every entry in path order. Call under the lock.
    const Map& entries() const { return m_entries; }
    // The entries of the current scan in the order they joined it (by
    // sequence). Call under the lock.
    const std::vector<Entry*>& scan() const { return m_scan; }
    // How many entries of scan() joined it before entry. Call under the lock.
    size_t EarlierInScan(const Entry& entry) const;
    size_t size() const { return m_entries.size(); }
    // How many distinct texts the entries hold (numbers run below it).
    size_t textCount() const { return m_texts.size(); }

    // Adds 1 to the scan sequence counter and returns the new value. Call
    // under the exclusive lock.
    uint32_t NextSequence() { return ++m_sequence; }
    // Gives entry the next sequence number and adds it to the scan, unless it
    // has joined already. Call under the exclusive lock.
    void JoinScan(Entry& entry);
    // Marks every entry of the scan as not part of it; costs the size of the
    // scan, not of the store. Call under the exclusive lock.
    void ResetSequences();

    ReadWriteLock& lock() { return m_lock; }

    // The bytes of one record; false when a length does not fit its 16 bits.
    static bool SerializeRecord(const std::u16string& path, const Grip& grip,
                                std::vector<unsigned char>& buffer);

  private:
    void CloseFile();
    Entry* Add(const std::u16string& path, const Grip& grip);
    uint32_t TextId(const std::string& text);
    // Takes entry out of the scan list; call before it leaves the map.
    void LeaveScan(Entry& entry);
    void ClearEntries();

    ReadWriteLock m_lock;
    Map m_entries;
    std::vector<Entry*> m_scan;  // by sequence
    std::vector<std::string> m_texts;                     // by number
    std::unordered_map<std::string, uint32_t> m_textIds;  // number of each text
    uint32_t m_sequence = 0;
    int m_file = -1;
    uint64_t m_position = 0;  // end of the last good record
};

// The process's one store.
GripStore& GlobalGripStore();
