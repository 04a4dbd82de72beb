#include "cache_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>

#include "file_io.h"
#include "grip_store.h"
#include "whole_file.h"

namespace {

// "Harmonyfox ": what every file of ours begins with.
constexpr size_t kHeaderNameSize = 11;
// A word of at least this many lower-case letters after the name tells
// another file of ours.
constexpr std::ptrdiff_t kOwnWordLeast = 2;
// Opening tries again this often when a holder renamed a new file over the
// one just opened.
constexpr int kOpenAttempts = 4;

// Our header, with the mark when marked.
void CacheHeader(unsigned char (&header)[kCacheHeaderSize], bool marked) {
    std::memset(header, 0, sizeof(header));
    std::memcpy(header, kCacheHeaderText, std::strlen(kCacheHeaderText));
    if (marked) {
        header[kCacheMarkOffset] = kCacheTiedMark;
    }
}

// What a 32-byte header that is not ours (its mark taken out) says of its file.
enum class HeaderKind {
    kDamaged,       // ours with damaged bytes after the name
    kDamagedName,   // ours with one damaged byte in the name, perhaps more after it
    kOtherVersion,  // "Harmonyfox " and another version number, zeros after it
    kForeign,       // someone else's file, or another file of ours (the stamp index,
                    // anything else whose header names what it is)
};

HeaderKind KindOfHeader(const unsigned char (&found)[kCacheHeaderSize]) {
    const size_t nameDamage = static_cast<size_t>(std::inner_product(
        found, found + kHeaderNameSize, kCacheHeaderText, size_t{0}, std::plus<>(),
        [](unsigned char a, char b) { return a != static_cast<unsigned char>(b); }));
    if (nameDamage > 1) {
        return HeaderKind::kForeign;
    }
    if (nameDamage == 1) {
        return HeaderKind::kDamagedName;
    }
    const unsigned char* text = found + kHeaderNameSize;
    const unsigned char* end = found + kCacheHeaderSize;
    const unsigned char* textEnd = std::find(text, end, 0);
    const bool zerosAfter = std::all_of(textEnd, end, [](unsigned char c) { return c == 0; });
    // Our other files name what they are after "Harmonyfox " ("stamps 2"): a
    // word that no damage of one byte makes of a version number.
    const auto lower = [](unsigned char c) { return c >= 'a' && c <= 'z'; };
    const unsigned char* word = std::find_if_not(text, textEnd, lower);
    if (word - text >= kOwnWordLeast && (word == textEnd || *word == ' ')) {
        return HeaderKind::kForeign;
    }
    const auto versionChar = [](unsigned char c) { return (c >= '0' && c <= '9') || c == '.'; };
    const bool version = textEnd != text && *text >= '0' && *text <= '9' &&
                         std::all_of(text, textEnd, versionChar) &&
                         std::adjacent_find(text, textEnd,
                                            [](unsigned char a, unsigned char b) {
                                                return a == '.' && b == '.';
                                            }) == textEnd &&
                         textEnd[-1] != '.';
    return version && zerosAfter ? HeaderKind::kOtherVersion : HeaderKind::kDamaged;
}

// "3 stored fingerprints", "1 stored fingerprint".
std::string Fingerprints(uint32_t count) {
    return std::to_string(count) + (count == 1 ? " stored fingerprint" : " stored fingerprints");
}

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

std::string SaveFailuresMessage(const SaveFailures& failures) {
    if (failures.count == 0) {
        return std::string();
    }
    std::string reason;
    switch (failures.error) {
        case ENOSPC:
        case EDQUOT:
            reason = "disk full";
            break;
        case EFBIG:
            reason = "file size limit reached";
            break;
        default:
            reason = std::strerror(failures.error);
            break;
    }
    return std::to_string(failures.count) +
           (failures.count == 1 ? " fingerprint could not be saved ("
                                : " fingerprints could not be saved (") +
           reason + ")";
}

CacheFile::~CacheFile() {
    Close();
}

void CacheFile::Close() {
    if (m_file >= 0) {
        close(m_file);  // also drops the flock
        m_file = -1;
    }
    m_stampIndex.Close();
}

std::string CacheFile::IndexPath(const std::string& cachePath) {
    return SidePath(cachePath, ".idx");
}

HRESULT CacheFile::Load(const std::string& path) {
    Close();
    m_records.clear();
    m_path.clear();
    m_position = 0;
    m_deadBytes = 0;
    m_marked = false;
    m_indexReport = IndexReport();
    m_unsaved.store(0);
    m_saveError.store(0);
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
        // A run killed while it wrote a file afresh left the new file; only
        // the holder of the cache writes either.
        RemoveLeftoverReplacement(m_path);
        RemoveLeftoverReplacement(IndexPath(m_path));
    }
    if (Succeeded(result)) {
        StampIndex::Ties ties;
        const TieSource source = LoadIndex(ties);
        result = LoadRecords(ties, source);
    }
    if (Failed(result)) {
        Close();
        m_records.clear();
        m_indexReport = IndexReport();
        return result;
    }
    return S_OK;
}

HRESULT CacheFile::OpenLocked(const std::string& path) {
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

HRESULT CacheFile::CheckHeader() {
    unsigned char ours[kCacheHeaderSize];
    CacheHeader(ours, false);
    const uint64_t size = FileSize(m_file);
    unsigned char found[kCacheHeaderSize] = {};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(size, kCacheHeaderSize));
    if (!ReadAll(m_file, found, have, 0)) {
        return E_FAIL;
    }
    if (size < kCacheHeaderSize) {
        // Empty, or cut short while it was being made.
        return std::memcmp(found, ours, have) == 0 ? ResetHeader() : E_CACHE_FOREIGN;
    }
    // The mark is no difference; any other value in its place is one.
    const bool marked = found[kCacheMarkOffset] == kCacheTiedMark;
    if (marked) {
        found[kCacheMarkOffset] = 0;
    }
    if (std::memcmp(found, ours, kCacheHeaderSize) == 0) {
        m_marked = marked;
        return S_OK;
    }
    const HeaderKind kind = KindOfHeader(found);
    if (kind == HeaderKind::kOtherVersion) {
        return ResetHeader();
    }
    if (kind == HeaderKind::kForeign) {
        return E_CACHE_FOREIGN;
    }
    // A damaged header costs nothing while records follow it: it is mended
    // and loading passes over whatever damage the records have.
    if (size == kCacheHeaderSize || RecordFollows(size)) {
        unsigned char mended[kCacheHeaderSize];
        CacheHeader(mended, marked);
        if (!WriteAll(m_file, mended, kCacheHeaderSize, 0)) {
            return E_FAIL;
        }
        m_marked = marked;
        return S_OK;
    }
    return kind == HeaderKind::kDamaged ? ResetHeader() : E_CACHE_FOREIGN;
}

HRESULT CacheFile::ResetHeader() {
    unsigned char ours[kCacheHeaderSize];
    CacheHeader(ours, false);
    if (!WriteAll(m_file, ours, kCacheHeaderSize, 0) ||
        ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) != 0) {
        return E_FAIL;
    }
    m_marked = false;
    return S_OK;
}

bool CacheFile::RecordFollows(uint64_t size) {
    FileWindow window(m_file, size);
    ParsedRecord record;
    ParseRecord(window, kCacheHeaderSize, record);
    return record.good || NextGoodRecord(window, kCacheHeaderSize, record) != kNowhere;
}

CacheFile::TieSource CacheFile::LoadIndex(StampIndex::Ties& ties) {
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

HRESULT CacheFile::Rewrite() {
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

HRESULT CacheFile::RewriteIndex() {
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

bool CacheFile::AppendTie(const std::u16string& path, const RecordTie& tie) {
    // The mark goes first: once a stamp is kept, a lost index must never let
    // the records pass for those of a cache from before stamps. Without an
    // index of ours no stamp is kept, and the file at its place must not be
    // taken for ours later.
    if (tie.stamped && !m_marked && m_stampIndex.usable()) {
        MarkCache();
    }
    return m_stampIndex.Append(PathHash(path), tie) || !m_stampIndex.usable();
}

void CacheFile::MarkCache() {
    const unsigned char mark = kCacheTiedMark;
    if (m_file >= 0 && WriteAll(m_file, &mark, 1, kCacheMarkOffset)) {
        m_marked = true;
    }
}

void CacheFile::Clear() {
    m_records.clear();
    m_deadBytes = 0;
    if (m_file >= 0 && ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) == 0) {
        m_position = kCacheHeaderSize;
    }
    m_stampIndex.Clear();
    m_unsaved.store(0);
    m_saveError.store(0);
}

HRESULT CacheFile::Drop(const std::vector<std::u16string>& gone, uint64_t* bytesFreed) {
    const uint64_t before = FileSize(m_file) + m_stampIndex.bytes();
    for (const std::u16string& path : gone) {
        m_records.erase(path);
    }
    HRESULT result = S_OK;
    if (m_file >= 0 && (!gone.empty() || m_deadBytes > 0)) {
        result = Rewrite();
    }
    const uint64_t after = FileSize(m_file) + m_stampIndex.bytes();
    *bytesFreed = before > after ? before - after : 0;
    return result;
}

HRESULT CacheFile::Append(const std::u16string& path, const Grip& grip,
                          std::vector<unsigned char>& buffer, const FileStamp* stamp) {
    // A record whose lengths do not fit would be read back as garbage, so it
    // is not written at all.
    if (m_file < 0 || !SerializeRecord(path, grip, buffer)) {
        return S_NOT_SAVED;
    }
    RecordTie tie;
    tie.check = RecordCheck(buffer.data(), buffer.size());
    tie.stamped = stamp != nullptr;
    tie.stamp = stamp != nullptr ? *stamp : FileStamp();
    // The tie goes first: a process killed between the two writes leaves
    // a tie without its record, which nothing matches, rather than a
    // record that the next load would not trust.
    if (!AppendTie(path, tie)) {
        CountUnsaved(errno);
        return E_CACHE_WRITE;
    }
    size_t written = 0;
    if (!WriteAll(m_file, buffer.data(), buffer.size(), m_position, &written)) {
        const int error = errno;
        if (written > 0) {
            // Cut back, so the file ends with a whole record again.
            ftruncate(m_file, static_cast<off_t>(m_position));
        }
        CountUnsaved(error);
        return E_CACHE_WRITE;
    }
    const auto [place, fresh] = m_records.try_emplace(path);
    if (!fresh) {
        m_deadBytes += place->second.length;
    }
    place->second.offset = m_position;
    place->second.length = static_cast<uint32_t>(buffer.size());
    place->second.tie = tie;
    m_position += buffer.size();
    return S_OK;
}

void CacheFile::CountUnsaved(int error) {
    m_saveError.store(error != 0 ? error : EIO, std::memory_order_relaxed);
    m_unsaved.fetch_add(1, std::memory_order_relaxed);
}

bool CacheFile::IsUnchanged(const std::u16string& path, const FileStamp& now) {
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
