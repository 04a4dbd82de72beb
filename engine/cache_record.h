// The record format of the cache file, and how loading finds the next good
// record after damage. A record, all numbers little-endian:
//   int16 p (>= 1), p UTF-16 code units of the path, 100 + 10 + 2048 float32
//   (envelope, drift, spectrum), then nameKey, title, artist, album, each an
//   int16 length (>= 0) and that many bytes, then the marker FF 'E' 'N' 'D'.
// Plain functions and values over a file the caller owns; any thread, each
// FileWindow on one thread at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "file_io.h"
#include "grip.h"

inline constexpr unsigned char kRecordEndMarker[4] = {0xFF, 'E', 'N', 'D'};
// A record's size without its path and its four strings' bytes.
inline constexpr size_t kRecordFixedSize = 8646;
inline constexpr int32_t kMaxLength16 = std::numeric_limits<int16_t>::max();
// The longest record the format allows: every length at its largest.
inline constexpr size_t kMaxRecordSize = kRecordFixedSize + 2 * kMaxLength16 + 4 * kMaxLength16;
// How much of a file loading holds in memory at once.
inline constexpr size_t kReadWindow = size_t{1} << 20;
// A refill starts this far before the offset asked for, so that a search
// that goes on just behind a parsed candidate stays in the window.
inline constexpr uint64_t kWindowSlack = 4096;
// An offset that no file reaches.
inline constexpr uint64_t kNowhere = std::numeric_limits<uint64_t>::max();

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

struct ParsedRecord {
    bool good = false;    // a whole record with sane values
    bool shaped = false;  // its lengths put its end marker inside the file
    uint64_t end = 0;     // where it ends, when shaped
    std::u16string path;
    Grip grip;
};

// Parses the record at offset into out: good when it is whole and sane (no
// NaN, infinity or value beyond any audio's, no NUL in the path).
void ParseRecord(FileWindow& window, uint64_t offset, ParsedRecord& out);

// After the damaged record at from (parsed into record): the offset of the
// next good record, parsed into record, or kNowhere. A good record begins
// either where the damaged one's lengths say it ends (its marker or values
// were hit) or right after some end marker (its lengths were hit).
uint64_t NextGoodRecord(FileWindow& window, uint64_t from, ParsedRecord& record);

// The bytes of one record into buffer; false when a length does not fit its
// 16 bits (nothing is to be written then).
bool SerializeRecord(const std::u16string& path, const Grip& grip,
                     std::vector<unsigned char>& buffer);
