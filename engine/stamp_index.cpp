#include "stamp_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file_io.h"

namespace {

constexpr size_t kHeaderSize = 32;
constexpr char kHeaderText[] = "Harmonyfox stamps 2";
constexpr size_t kEntrySize = 32;
// The format before record checks: the path's hash, the size, the time and
// an FNV-1a check of those 24 bytes.
constexpr char kOlderHeaderText[] = "Harmonyfox stamps 1";
constexpr size_t kOlderEntrySize = 28;
// "Harmonyfox ": a file that begins so is ours, whatever follows.
constexpr size_t kNameSize = 11;
// The size written for a file whose stamp is not known yet.
constexpr int64_t kUnknownSize = -1;
// Entries read at a time.
constexpr uint64_t kEntriesPerRead = 4096;

constexpr uint64_t kFnvOffset64 = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime64 = 0x100000001b3ull;
constexpr uint32_t kFnvOffset32 = 0x811c9dc5u;
constexpr uint32_t kFnvPrime32 = 0x01000193u;
// Spreads a record's check over 64 bits before it joins the path's hash.
constexpr uint64_t kCheckSpread = 0x9E3779B97F4A7C15ull;

void Header(unsigned char (&header)[kHeaderSize], const char* text) {
    std::memset(header, 0, sizeof(header));
    std::memcpy(header, text, std::strlen(text));
}

uint32_t Crc32(const unsigned char* bytes, size_t size) {
    return static_cast<uint32_t>(crc32_z(0, bytes, size));
}

uint32_t OlderEntryCheck(const unsigned char* bytes, size_t size) {
    uint32_t check = kFnvOffset32;
    for (size_t i = 0; i < size; ++i) {
        check = (check ^ bytes[i]) * kFnvPrime32;
    }
    return check;
}

void EncodeEntry(unsigned char* out, uint64_t pathHash, const RecordTie& tie) {
    PutUint(out, pathHash, 8);
    PutUint(out + 8, static_cast<uint64_t>(tie.stamped ? tie.stamp.size : kUnknownSize), 8);
    PutUint(out + 16, static_cast<uint64_t>(tie.stamped ? tie.stamp.mtimeNs : 0), 8);
    PutUint(out + 24, tie.check, 4);
    PutUint(out + 28, Crc32(out, 28), 4);
}

}  // namespace

uint32_t RecordCheck(const unsigned char* bytes, size_t size) {
    return Crc32(bytes, size);
}

uint64_t PathHash(const std::u16string& path) {
    uint64_t hash = kFnvOffset64;
    for (char16_t unit : path) {
        for (int shift = 0; shift < 16; shift += 8) {
            hash = (hash ^ ((static_cast<uint32_t>(unit) >> shift) & 0xFF)) * kFnvPrime64;
        }
    }
    return hash;
}

uint64_t StampIndex::Key(uint64_t pathHash, uint32_t check) {
    return pathHash ^ (static_cast<uint64_t>(check) * kCheckSpread);
}

void StampIndex::Close() {
    if (m_file >= 0) {
        close(m_file);
        m_file = -1;
    }
    m_current = false;
    m_end = 0;
    m_entries = 0;
}

IndexFound StampIndex::Open(const std::string& path, bool mayReset, Ties& ties) {
    Close();
    ties.clear();
    m_path = path;
    IndexFound found = IndexFound::kCurrent;
    // Non-blocking, so that a FIFO at the path cannot stall the open.
    int file = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (file < 0 && errno == ENOENT) {
        found = IndexFound::kMissing;
        file = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0644);
    }
    struct stat info;
    if (file >= 0 && (fstat(file, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(file);
        file = -1;
    }
    if (file < 0) {
        return IndexFound::kUnusable;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    unsigned char head[kHeaderSize] = {};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(size, kHeaderSize));
    if (!ReadAll(file, head, have, 0)) {
        close(file);
        return IndexFound::kUnusable;
    }
    unsigned char current[kHeaderSize];
    unsigned char older[kHeaderSize];
    Header(current, kHeaderText);
    Header(older, kOlderHeaderText);
    size_t entrySize = 0;
    if (have == kHeaderSize && std::memcmp(head, current, kHeaderSize) == 0) {
        entrySize = kEntrySize;
        m_current = true;
    } else if (have == kHeaderSize && std::memcmp(head, older, kHeaderSize) == 0) {
        entrySize = kOlderEntrySize;
        found = IndexFound::kOlder;
    } else {
        if (found != IndexFound::kMissing) {
            const bool ours = std::memcmp(head, current, have) == 0 ||
                              (have >= kNameSize && std::memcmp(head, current, kNameSize) == 0);
            if (!ours && !mayReset) {
                close(file);
                return IndexFound::kForeign;
            }
            found = IndexFound::kDamaged;
        }
        if (ftruncate(file, static_cast<off_t>(kHeaderSize)) != 0 ||
            !WriteAll(file, current, kHeaderSize, 0)) {
            close(file);
            return IndexFound::kUnusable;
        }
        size = kHeaderSize;
        m_current = true;
    }
    m_file = file;
    m_end = kHeaderSize;
    if (entrySize != 0 && !ReadEntries(size, entrySize, ties)) {
        Close();
        ties.clear();
        return IndexFound::kUnusable;
    }
    // A crash while an entry was appended leaves a part of it.
    if (m_current && size != m_end && ftruncate(m_file, static_cast<off_t>(m_end)) != 0) {
        Close();
        ties.clear();
        return IndexFound::kUnusable;
    }
    return found;
}

bool StampIndex::ReadEntries(uint64_t size, size_t entrySize, Ties& ties) {
    const uint64_t whole = (size - kHeaderSize) / entrySize;
    std::vector<unsigned char> chunk(
        static_cast<size_t>(std::min(whole, kEntriesPerRead) * entrySize));
    for (uint64_t at = 0; at < whole;) {
        const uint64_t count = std::min(whole - at, kEntriesPerRead);
        if (!ReadAll(m_file, chunk.data(), static_cast<size_t>(count * entrySize),
                     kHeaderSize + at * entrySize)) {
            return false;
        }
        for (uint64_t i = 0; i < count; ++i) {
            const unsigned char* e = chunk.data() + i * entrySize;
            RecordTie tie;
            tie.stamp.size = static_cast<int64_t>(GetUint(e + 8, 8));
            tie.stamp.mtimeNs = static_cast<int64_t>(GetUint(e + 16, 8));
            tie.stamped = tie.stamp.size >= 0;
            if (!tie.stamped) {
                tie.stamp = FileStamp();
            }
            const uint64_t pathHash = GetUint(e, 8);
            // A damaged entry is passed over; a later one of the same key wins.
            if (entrySize == kEntrySize) {
                tie.check = static_cast<uint32_t>(GetUint(e + 24, 4));
                if (GetUint(e + 28, 4) == Crc32(e, 28)) {
                    ties[Key(pathHash, tie.check)] = tie;
                }
            } else if (GetUint(e + 24, 4) == OlderEntryCheck(e, 24)) {
                ties[pathHash] = tie;
            }
        }
        at += count;
    }
    m_end = kHeaderSize + whole * entrySize;
    m_entries = whole;
    return true;
}

bool StampIndex::Append(uint64_t pathHash, const RecordTie& tie) {
    if (!usable()) {
        return false;
    }
    unsigned char entry[kEntrySize];
    EncodeEntry(entry, pathHash, tie);
    size_t written = 0;
    if (WriteAll(m_file, entry, kEntrySize, m_end, &written)) {
        m_end += kEntrySize;
        ++m_entries;
        return true;
    }
    if (written > 0) {
        ftruncate(m_file, static_cast<off_t>(m_end));
    }
    return false;
}

bool StampIndex::Rewrite(const std::vector<std::pair<uint64_t, RecordTie>>& ties) {
    if (m_file < 0) {
        return false;
    }
    const int file = CreateReplacement(m_path);
    if (file < 0) {
        return false;
    }
    std::vector<unsigned char> bytes(kHeaderSize + ties.size() * kEntrySize);
    unsigned char header[kHeaderSize];
    Header(header, kHeaderText);
    std::memcpy(bytes.data(), header, kHeaderSize);
    for (size_t i = 0; i < ties.size(); ++i) {
        EncodeEntry(bytes.data() + kHeaderSize + i * kEntrySize, ties[i].first, ties[i].second);
    }
    if (!CommitReplacement(file, m_path, WriteAll(file, bytes.data(), bytes.size(), 0))) {
        return false;
    }
    close(m_file);
    m_file = file;
    m_current = true;
    m_end = bytes.size();
    m_entries = ties.size();
    return true;
}

bool StampIndex::Clear() {
    if (m_file < 0) {
        return false;
    }
    unsigned char header[kHeaderSize];
    Header(header, kHeaderText);
    if (ftruncate(m_file, static_cast<off_t>(kHeaderSize)) != 0 ||
        !WriteAll(m_file, header, kHeaderSize, 0)) {
        return false;
    }
    m_current = true;
    m_end = kHeaderSize;
    m_entries = 0;
    return true;
}
