// StampIndex: the file beside the cache that ties each cache record to its
// audio file: the stamp (size and modification time) the file had when the
// record was made, and a check of the record's bytes. A record is trusted
// only with its tie, so a changed file, a lost index or a damaged record
// leads to a new fingerprint, never to a stale or misplaced one. Owned by the
// GripStore and used where it uses its cache file: before workers run, or
// under the store's exclusive lock. Not thread-safe by itself.
//
// The file: a 32-byte header ("Harmonyfox stamps 2" and 13 zero bytes), then
// entries of 32 bytes, little-endian: the path's hash (PathHash), the file's
// size (int64; -1 while it is not known yet), its modification time
// (nanoseconds since 1970, int64), the record's check (RecordCheck) and a
// CRC-32 of the 28 bytes before it. A later entry of the same path and record
// wins. The format before record checks ("Harmonyfox stamps 1", entries of 28
// bytes without the record's check) is read once, to be written afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "file_stamp.h"

// A record's tie to its file.
struct RecordTie {
    uint32_t check = 0;    // RecordCheck of the record's bytes
    bool stamped = false;  // false: the stamp is taken when the file is next scanned
    FileStamp stamp;
};

// The CRC-32 of size bytes: a record's check.
uint32_t RecordCheck(const unsigned char* bytes, size_t size);
// A path's key in the index: the 64-bit FNV-1a hash of its UTF-16LE bytes.
uint64_t PathHash(const std::u16string& path);

// What StampIndex::Open found at the index's path.
enum class IndexFound {
    kCurrent,   // an index of the current format: its ties were read
    kOlder,     // an index from before record checks: its stamps were read
    kMissing,   // no file: an empty index was made
    kDamaged,   // a file of ours that is no index (empty, cut short or damaged
                // in its header, another version): it was emptied
    kForeign,   // a file that is not ours: left alone, no index
    kUnusable,  // no regular file, or it cannot be opened, read or written: no index
};

class StampIndex {
  public:
    // Ties as Open reads them: by Key(path hash, record check) from an index
    // of the current format; by path hash alone (the checks unknown) from an
    // older one.
    using Ties = std::unordered_map<uint64_t, RecordTie>;
    static uint64_t Key(uint64_t pathHash, uint32_t check);

    StampIndex() = default;
    ~StampIndex() { Close(); }
    StampIndex(const StampIndex&) = delete;
    StampIndex& operator=(const StampIndex&) = delete;

    // Opens the index at path, creating it when missing, and reads its ties
    // into ties (emptied first). A file that is not an index of ours is
    // emptied to the current header when it is ours by its first bytes (a
    // header of ours cut short, "Harmonyfox ...") or when mayReset says so;
    // else it is left alone. A damaged entry is passed over, a part of one
    // at the end cut off. Replaces any file opened before.
    IndexFound Open(const std::string& path, bool mayReset, Ties& ties);
    // Whether ties can be appended: a file is open and of the current format.
    bool usable() const { return m_file >= 0 && m_current; }
    bool isOpen() const { return m_file >= 0; }
    // Appends the tie of the path whose hash is pathHash. false when the
    // index is not usable or the write failed (a part written is cut off).
    bool Append(uint64_t pathHash, const RecordTie& tie);
    // Writes the index afresh in the current format with ties (path hash,
    // tie), into a new file that is synced and renamed over the old one.
    // false when the index is not open or that failed; the old file stays.
    bool Rewrite(const std::vector<std::pair<uint64_t, RecordTie>>& ties);
    // Cuts the index to the current header. false when it is not open or
    // that failed.
    bool Clear();
    void Close();
    // Entries in the file, and its size in bytes.
    uint64_t entries() const { return m_entries; }
    uint64_t bytes() const { return m_end; }

  private:
    // Reads whole entries of entrySize from the header on; false on a read
    // error.
    bool ReadEntries(uint64_t size, size_t entrySize, Ties& ties);

    std::string m_path;
    int m_file = -1;
    bool m_current = false;  // of the current format
    uint64_t m_end = 0;      // end of the last whole entry
    uint64_t m_entries = 0;
};
