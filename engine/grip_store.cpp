#include "grip_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "scan_owner.h"

namespace {

constexpr int32_t kMaxLength16 = std::numeric_limits<int16_t>::max();

void Header(unsigned char (&header)[kCacheHeaderSize]) {
    std::memset(header, 0, sizeof(header));
    std::memcpy(header, kCacheHeaderText, sizeof(kCacheHeaderText) - 1);
}

bool WriteAll(int file, const unsigned char* data, size_t size, uint64_t offset, size_t* written) {
    *written = 0;
    while (*written < size) {
        const ssize_t n =
            pwrite(file, data + *written, size - *written, static_cast<off_t>(offset + *written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        *written += static_cast<size_t>(n);
    }
    return true;
}

bool ReadWhole(int file, std::vector<unsigned char>& out) {
    out.clear();
    unsigned char chunk[65536];
    uint64_t offset = 0;
    for (;;) {
        const ssize_t n = pread(file, chunk, sizeof(chunk), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.insert(out.end(), chunk, chunk + n);
        offset += static_cast<uint64_t>(n);
    }
}

// Reads fields of one record from a byte range; every read fails once the
// range is exhausted.
class RecordReader {
  public:
    RecordReader(const unsigned char* data, size_t size, size_t offset)
        : m_data(data), m_size(size), m_offset(offset) {}

    size_t offset() const { return m_offset; }

    bool Length(int16_t* value) {
        if (m_size - m_offset < 2) {
            return false;
        }
        const auto u = static_cast<uint16_t>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
        *value = static_cast<int16_t>(u);
        m_offset += 2;
        return true;
    }
    bool Units(std::u16string& text, size_t count) {
        if ((m_size - m_offset) / 2 < count) {
            return false;
        }
        text.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* p = m_data + m_offset + 2 * i;
            text[i] = static_cast<char16_t>(p[0] | (p[1] << 8));
        }
        m_offset += 2 * count;
        return true;
    }
    template <size_t N>
    bool Floats(std::array<float, N>& values) {
        if ((m_size - m_offset) / 4 < N) {
            return false;
        }
        for (size_t i = 0; i < N; ++i) {
            const unsigned char* p = m_data + m_offset + 4 * i;
            const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                  (static_cast<uint32_t>(p[2]) << 16) |
                                  (static_cast<uint32_t>(p[3]) << 24);
            std::memcpy(&values[i], &bits, 4);
        }
        m_offset += 4 * N;
        return true;
    }
    bool Text(std::string& text) {
        int16_t length = 0;
        if (!Length(&length) || length < 0 || m_size - m_offset < static_cast<size_t>(length)) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(m_data + m_offset), static_cast<size_t>(length));
        m_offset += static_cast<size_t>(length);
        return true;
    }
    bool Marker() {
        if (m_size - m_offset < sizeof(kRecordEndMarker) ||
            std::memcmp(m_data + m_offset, kRecordEndMarker, sizeof(kRecordEndMarker)) != 0) {
            return false;
        }
        m_offset += sizeof(kRecordEndMarker);
        return true;
    }

  private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_offset;
};

void PutLength(std::vector<unsigned char>& out, size_t length) {
    out.push_back(static_cast<unsigned char>(length & 0xFF));
    out.push_back(static_cast<unsigned char>((length >> 8) & 0xFF));
}

template <size_t N>
void PutFloats(std::vector<unsigned char>& out, const std::array<float, N>& values) {
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<unsigned char>((bits >> shift) & 0xFF));
        }
    }
}

}  // namespace

GripStore::~GripStore() {
    CloseFile();
}

void GripStore::CloseFile() {
    if (m_file >= 0) {
        close(m_file);  // also drops the flock
        m_file = -1;
    }
}

std::string GripStore::DefaultCachePath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    // Relative values are to be ignored.
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == 0) {
            const passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] == 0) {
            return std::string();
        }
        base = std::string(home) + "/.cache";
    }
    return base + "/Quillmere/Harmonyfox/cache.dat";
}

HRESULT GripStore::LoadCache(const std::string& path, ScanOwner* owner) {
    CloseFile();
    ClearEntries();
    m_position = 0;
    if (path.empty()) {
        return E_FAIL;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        return E_FAIL;
    }
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        close(file);
        return E_FAIL;
    }
    m_file = file;

    std::vector<unsigned char> content;
    if (!ReadWhole(m_file, content)) {
        CloseFile();
        return E_FAIL;
    }
    unsigned char header[kCacheHeaderSize];
    Header(header);
    // An empty, short or foreign file starts again from the header alone.
    if (content.size() < kCacheHeaderSize ||
        std::memcmp(content.data(), header, kCacheHeaderSize) != 0) {
        size_t written = 0;
        if (!WriteAll(m_file, header, kCacheHeaderSize, 0, &written) ||
            ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) != 0) {
            CloseFile();
            return E_FAIL;
        }
        content.assign(header, header + kCacheHeaderSize);
    }

    size_t good = kCacheHeaderSize;
    for (;;) {
        RecordReader in(content.data(), content.size(), good);
        int16_t pathLength = 0;
        std::u16string key;
        Grip grip;
        if (!in.Length(&pathLength) || pathLength < 1 ||
            !in.Units(key, static_cast<size_t>(pathLength)) || !in.Floats(grip.envelope) ||
            !in.Floats(grip.drift) || !in.Floats(grip.spectrum) || !in.Text(grip.nameKey) ||
            !in.Text(grip.title) || !in.Text(grip.artist) || !in.Text(grip.album) || !in.Marker()) {
            break;
        }
        // A second record of the same path stays in the file but not in the store.
        Add(key, grip);
        good = in.offset();
    }
    m_position = good;
    if (owner != nullptr) {
        owner->m_cachedCount.store(static_cast<int32_t>(m_entries.size()));
    }
    return S_OK;
}

HRESULT GripStore::ClearCache() {
    ExclusiveHold hold(m_lock);
    ClearEntries();
    if (m_file >= 0 && ftruncate(m_file, static_cast<off_t>(kCacheHeaderSize)) == 0) {
        m_position = kCacheHeaderSize;
    }
    return S_OK;
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
                             std::vector<unsigned char>& buffer, ScanOwner* owner) {
    // A record whose lengths do not fit would be read back as garbage and
    // hide every later record, so it is not written at all.
    if (m_file >= 0 && SerializeRecord(path, grip, buffer)) {
        size_t written = 0;
        WriteAll(m_file, buffer.data(), buffer.size(), m_position, &written);
        m_position += written;
    }
    if (owner != nullptr) {
        owner->m_cachedCount.fetch_add(1);
    }
}

GripStore::Entry* GripStore::Find(std::u16string_view path) {
    const auto it = m_entries.find(path);
    return it == m_entries.end() ? nullptr : &it->second;
}

GripStore::Entry* GripStore::Insert(const std::u16string& path, const Grip& grip) {
    Entry* entry = Add(path, grip);
    if (entry != nullptr && grip.sequence != kNotInScan) {
        entry->grip.sequence = grip.sequence;
        // Numbers are given out in order, so the entry almost always goes last.
        const auto at = std::upper_bound(
            m_scan.begin(), m_scan.end(), grip.sequence,
            [](uint32_t sequence, const Entry* e) { return sequence < e->grip.sequence; });
        m_scan.insert(at, entry);
    }
    return entry;
}

size_t GripStore::EarlierInScan(const Entry& entry) const {
    const auto end = std::lower_bound(
        m_scan.begin(), m_scan.end(), entry.grip.sequence,
        [](const Entry* e, uint32_t sequence) { return e->grip.sequence < sequence; });
    return static_cast<size_t>(end - m_scan.begin());
}

void GripStore::JoinScan(Entry& entry) {
    if (entry.grip.sequence == kNotInScan) {
        entry.grip.sequence = NextSequence();
        m_scan.push_back(&entry);
    }
}

void GripStore::LeaveScan(Entry& entry) {
    if (entry.grip.sequence != kNotInScan) {
        const size_t at = EarlierInScan(entry);
        if (at < m_scan.size() && m_scan[at] == &entry) {
            m_scan.erase(m_scan.begin() + static_cast<std::ptrdiff_t>(at));
        }
        entry.grip.sequence = kNotInScan;
    }
}

GripStore::Entry* GripStore::Add(const std::u16string& path, const Grip& grip) {
    const auto [it, inserted] = m_entries.try_emplace(path);
    if (!inserted) {
        return nullptr;
    }
    Entry& entry = it->second;
    entry.grip = grip;
    entry.grip.sequence = kNotInScan;
    entry.path = &it->first;
    MakeGripVectors(entry.grip, entry.vectors);
    entry.textIds[0] = TextId(grip.title);
    entry.textIds[1] = TextId(grip.artist);
    entry.textIds[2] = TextId(grip.nameKey);
    entry.textIds[3] = TextId(grip.album);
    return &entry;
}

uint32_t GripStore::TextId(const std::string& text) {
    if (m_texts.empty()) {
        m_texts.emplace_back();
        m_textIds.emplace(std::string(), 0);
    }
    const auto [it, inserted] = m_textIds.try_emplace(text, static_cast<uint32_t>(m_texts.size()));
    if (inserted) {
        m_texts.push_back(text);
    }
    return it->second;
}

void GripStore::ClearEntries() {
    m_entries.clear();
    m_scan.clear();
    m_texts.clear();
    m_textIds.clear();
}

void GripStore::ResetSequences() {
    for (Entry* entry : m_scan) {
        entry->grip.sequence = kNotInScan;
    }
    m_scan.clear();
}

GripStore& GlobalGripStore() {
    static GripStore store;
    return store;
}
