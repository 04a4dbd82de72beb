#include "result_memory.h"

#include <zlib.h>

#include <cstring>
#include <unordered_map>

#include "compare_settings.h"
#include "skip_memory.h"
#include "whole_file.h"

namespace {

constexpr char kMagic[8] = {'H', 'F', 'P', 'A', 'I', 'R', 'S', '4'};
// The magic's last byte is its version: a file of another version is ours,
// and only costs the speed of the next scan. It moves whenever the
// comparison's rules change, so that no pair judged under the old rules is
// kept (3: a close spectrum passes as laid without the envelopes' share).
constexpr size_t kMagicName = 7;
// A kept pair's flags.
constexpr uint32_t kContentMatch = 1;
constexpr uint32_t kNarrowBand = 2;
constexpr uint32_t kSameFingerprint = 4;
// A path longer than this is taken for damage.
constexpr uint32_t kLongestPath = 1 << 16;

void Put(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void PutFloat(std::string& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    Put(out, bits, 4);
}

// Reads little-endian values from a byte string; any read past its end
// fails every later read.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    uint64_t Get(int bytes) {
        if (!m_good || m_bytes.size() - m_at < static_cast<size_t>(bytes)) {
            m_good = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            v = (v << 8) | static_cast<unsigned char>(m_bytes[m_at + static_cast<size_t>(i)]);
        }
        m_at += static_cast<size_t>(bytes);
        return v;
    }
    float GetFloat() {
        const auto bits = static_cast<uint32_t>(Get(4));
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
    std::string_view Take(size_t count) {
        if (!m_good || m_bytes.size() - m_at < count) {
            m_good = false;
            return {};
        }
        const std::string_view taken = m_bytes.substr(m_at, count);
        m_at += count;
        return taken;
    }
    bool good() const { return m_good; }
    bool done() const { return m_at == m_bytes.size(); }

  private:
    std::string_view m_bytes;
    size_t m_at = 0;
    bool m_good = true;
};

uint32_t Check(std::string_view bytes) {
    return static_cast<uint32_t>(
        crc32_z(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

}  // namespace

ResultKey CurrentResultKey() {
    return ResultKey{g_compareMethod.load(), g_sensitivity.load(), g_strictCompare.load()};
}

std::string ResultMemory::PathBeside(const std::string& cachePath) {
    return SidePath(cachePath, ".pairs");
}

HRESULT ResultMemory::Load(const std::string& path) {
    m_path = path;
    m_foreign = false;
    m_loaded = false;
    m_files.clear();
    m_stamps.clear();
    m_pairs.clear();
    std::string bytes;
    const WholeRead read = ReadWholeFile(path, &bytes);
    if (read == WholeRead::kMissing) {
        return S_OK;
    }
    const bool ours = read == WholeRead::kRead &&
                      bytes.compare(0, kMagicName, kMagic, std::min(bytes.size(), kMagicName)) == 0;
    if (!ours) {
        m_foreign = true;
        return E_FILE_FOREIGN;
    }
    // Damage of any kind, or another version, costs only the speed of the
    // next scan.
    if (bytes.size() < sizeof(kMagic) + 4 || bytes[kMagicName] != kMagic[kMagicName] ||
        Check(std::string_view(bytes).substr(0, bytes.size() - 4)) !=
            Reader(std::string_view(bytes).substr(bytes.size() - 4)).Get(4)) {
        return S_OK;
    }
    Reader in(std::string_view(bytes).substr(sizeof(kMagic), bytes.size() - sizeof(kMagic) - 4));
    ResultKey key;
    key.method = static_cast<int32_t>(in.Get(4));
    key.sensitivity = in.GetFloat();
    key.strict = in.Get(1) != 0;
    const auto files = static_cast<uint32_t>(in.Get(4));
    for (uint32_t i = 0; i < files && in.good(); ++i) {
        const auto length = static_cast<uint32_t>(in.Get(4));
        if (length == 0 || length > kLongestPath) {
            return S_OK;
        }
        std::u16string path16 = BytesToU16(in.Take(length));
        FileStamp stamp;
        stamp.size = static_cast<int64_t>(in.Get(8));
        stamp.mtimeNs = static_cast<int64_t>(in.Get(8));
        m_stamps[path16] = stamp;
        m_files.push_back(std::move(path16));
    }
    const auto pairs = static_cast<uint32_t>(in.Get(4));
    for (uint32_t i = 0; i < pairs && in.good(); ++i) {
        Kept kept;
        kept.file1 = static_cast<uint32_t>(in.Get(4));
        kept.file2 = static_cast<uint32_t>(in.Get(4));
        kept.contentPercent = in.GetFloat();
        kept.tagPercent = in.GetFloat();
        const auto flags = static_cast<uint32_t>(in.Get(1));
        kept.contentMatch = (flags & kContentMatch) != 0;
        kept.narrowBand = (flags & kNarrowBand) != 0;
        kept.sameFingerprint = (flags & kSameFingerprint) != 0;
        kept.shift = static_cast<int8_t>(in.Get(1));
        if (kept.file1 >= m_files.size() || kept.file2 >= m_files.size()) {
            in.Take(SIZE_MAX);
        }
        m_pairs.push_back(kept);
    }
    if (!in.good() || !in.done()) {
        m_files.clear();
        m_stamps.clear();
        m_pairs.clear();
        return S_OK;
    }
    m_key = key;
    m_loaded = true;
    return S_OK;
}

bool ResultMemory::Save(const ResultKey& key,
                        const std::vector<std::pair<std::u16string, FileStamp>>& files,
                        const std::vector<DuplicatePair>& pairs) {
    if (m_path.empty() || m_foreign) {
        return false;
    }
    std::string out(kMagic, sizeof(kMagic));
    Put(out, static_cast<uint32_t>(key.method), 4);
    PutFloat(out, key.sensitivity);
    Put(out, key.strict ? 1 : 0, 1);
    Put(out, files.size(), 4);
    std::unordered_map<std::u16string_view, uint32_t> index;
    for (const auto& [path, stamp] : files) {
        const std::string bytes = U16ToBytes(path);
        Put(out, bytes.size(), 4);
        out += bytes;
        Put(out, static_cast<uint64_t>(stamp.size), 8);
        Put(out, static_cast<uint64_t>(stamp.mtimeNs), 8);
        index.emplace(path, static_cast<uint32_t>(index.size()));
    }
    std::string records;
    uint32_t count = 0;
    for (const DuplicatePair& pair : pairs) {
        const auto a = index.find(pair.path1);
        const auto b = index.find(pair.path2);
        if (pair.isUpdate || a == index.end() || b == index.end()) {
            continue;
        }
        Put(records, a->second, 4);
        Put(records, b->second, 4);
        PutFloat(records, pair.contentPercent);
        PutFloat(records, pair.tagPercent);
        Put(records,
            (pair.contentMatch ? kContentMatch : 0) | (pair.narrowBand ? kNarrowBand : 0) |
                (pair.sameFingerprint ? kSameFingerprint : 0),
            1);
        Put(records, static_cast<uint8_t>(static_cast<int8_t>(pair.shift)), 1);
        ++count;
    }
    Put(out, count, 4);
    out += records;
    Put(out, Check(out), 4);
    return ReplaceFileWith(m_path, out);
}

bool ResultMemory::Knows(const std::u16string& path, const FileStamp& stamp) const {
    const auto found = m_stamps.find(path);
    return found != m_stamps.end() && found->second == stamp;
}

std::vector<DuplicatePair> ResultMemory::PairsAmong(
    const std::unordered_set<std::u16string>& joined) const {
    std::vector<DuplicatePair> out;
    for (const Kept& kept : m_pairs) {
        const std::u16string& a = m_files[kept.file1];
        const std::u16string& b = m_files[kept.file2];
        if (joined.count(a) == 0 || joined.count(b) == 0) {
            continue;
        }
        DuplicatePair& pair = out.emplace_back();
        pair.path1 = a;
        pair.path2 = b;
        pair.contentPercent = kept.contentPercent;
        pair.tagPercent = kept.tagPercent;
        pair.contentMatch = kept.contentMatch;
        pair.shift = kept.shift;
        pair.narrowBand = kept.narrowBand;
        pair.sameFingerprint = kept.sameFingerprint;
    }
    return out;
}
