#include "skip_memory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "whole_file.h"

namespace {

constexpr char kMagic[8] = {'H', 'F', 'S', 'K', 'I', 'P', '1', '\n'};
// A path longer than this is taken for damage.
constexpr uint32_t kLongestPath = 1 << 16;
constexpr size_t kStampBytes = 8 + 8 + 1;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void PutI64(std::string& out, int64_t value) {
    const uint64_t v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

uint64_t GetLe(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

std::string Record(const std::string& path, const FileStamp& stamp, SkipReason reason) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(path.size()));
    out += path;
    PutI64(out, stamp.size);
    PutI64(out, stamp.mtimeNs);
    out += static_cast<char>(reason);
    return out;
}

std::string Header(const std::string& signature) {
    std::string out(kMagic, sizeof(kMagic));
    PutU32(out, static_cast<uint32_t>(signature.size()));
    return out + signature;
}

// Whether bytes begin as a skip memory does; a file cut inside the magic
// counts as one too.
bool BeginsAsOurs(const std::string& bytes) {
    return bytes.compare(0, sizeof(kMagic), kMagic, std::min(bytes.size(), sizeof(kMagic))) == 0;
}

}  // namespace

std::string PluginSignature(const std::string& folder) {
    std::vector<std::string> lines;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return {};
    }
    while (const dirent* entry = readdir(dir)) {
        // The plug-ins and the versioned libraries they load beside them
        // (the media runtime): either decides what a file counts as.
        const std::string name = entry->d_name;
        const bool library = (name.size() >= 3 && name.compare(name.size() - 3, 3, ".so") == 0) ||
                             name.find(".so.") != std::string::npos;
        if (!library) {
            continue;
        }
        FileStamp stamp;
        if (ReadFileStamp((folder.empty() ? std::string(".") : folder) + "/" + name, &stamp)) {
            lines.push_back(name + ' ' + std::to_string(stamp.size) + ' ' +
                            std::to_string(stamp.mtimeNs) + '\n');
        }
    }
    closedir(dir);
    std::sort(lines.begin(), lines.end());
    std::string signature;
    for (const std::string& line : lines) {
        signature += line;
    }
    return signature;
}

SkipMemory::~SkipMemory() {
    Close();
}

void SkipMemory::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

std::string SkipMemory::PathBeside(const std::string& cachePath) {
    return SidePath(cachePath, ".skip");
}

bool SkipMemory::IsSkipMemory(const std::string& path) {
    std::string bytes;
    return ReadWholeFile(path, &bytes) == WholeRead::kRead && bytes.size() >= sizeof(kMagic) &&
           BeginsAsOurs(bytes);
}

std::string SkipMemory::LegacyPathBeside(const std::string& cachePath) {
    const size_t slash = cachePath.rfind('/');
    return slash == std::string::npos ? std::string("skipped.dat")
                                      : cachePath.substr(0, slash + 1) + "skipped.dat";
}

HRESULT SkipMemory::Load(const std::string& path, const std::string& signature,
                         const std::string& legacyPath) {
    std::lock_guard<std::mutex> hold(m_lock);
    Close();
    m_entries.clear();
    m_path.clear();
    m_signature = signature;

    std::string bytes;
    const WholeRead read = ReadWholeFile(path, &bytes);
    if (read == WholeRead::kNotRegular || (read == WholeRead::kRead && !BeginsAsOurs(bytes))) {
        return E_FILE_FOREIGN;
    }
    if (read == WholeRead::kUnreadable) {
        return E_FAIL;
    }
    m_path = path;
    bool upgrade = false;
    if (read == WholeRead::kMissing && !legacyPath.empty() &&
        ReadWholeFile(legacyPath, &bytes) == WholeRead::kRead) {
        upgrade = bytes.size() >= sizeof(kMagic) && BeginsAsOurs(bytes);
        if (!upgrade) {
            bytes.clear();
        }
    }
    const bool existed = read == WholeRead::kRead || upgrade;
    const std::string header = Header(signature);
    bool clean = existed && bytes.compare(0, header.size(), header) == 0;
    size_t records = 0;
    if (clean) {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        size_t at = header.size();
        while (at < bytes.size()) {
            if (bytes.size() - at < 4) {
                clean = false;
                break;
            }
            const uint32_t length = static_cast<uint32_t>(GetLe(data + at, 4));
            SkipReason reason;
            if (length == 0 || length > kLongestPath ||
                bytes.size() - at - 4 < length + kStampBytes ||
                !SkipReasonFromByte(data[at + 4 + length + 16], &reason)) {
                clean = false;
                break;
            }
            Entry entry;
            entry.stamp.size = static_cast<int64_t>(GetLe(data + at + 4 + length, 8));
            entry.stamp.mtimeNs = static_cast<int64_t>(GetLe(data + at + 4 + length + 8, 8));
            entry.reason = reason;
            m_entries[bytes.substr(at + 4, length)] = entry;
            ++records;
            at += 4 + length + kStampBytes;
        }
    }
    if (clean && !upgrade && records <= 2 * m_entries.size()) {
        m_file = std::fopen(path.c_str(), "ab");
        if (m_file != nullptr) {
            return S_OK;
        }
    }
    if (!Rewrite()) {
        return E_FAIL;
    }
    if (upgrade) {
        std::remove(legacyPath.c_str());
    }
    return S_OK;
}

bool SkipMemory::Rewrite() {
    Close();
    if (m_path.empty()) {
        return false;
    }
    std::string bytes = Header(m_signature);
    for (const auto& [path, entry] : m_entries) {
        bytes += Record(path, entry.stamp, entry.reason);
    }
    if (!ReplaceFileWith(m_path, bytes)) {
        return false;
    }
    m_file = std::fopen(m_path.c_str(), "ab");
    return m_file != nullptr;
}

std::optional<SkipReason> SkipMemory::Find(const std::u16string& path,
                                           const FileStamp& stamp) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_entries.find(U16ToBytes(path));
    if (it == m_entries.end() || !(it->second.stamp == stamp)) {
        return std::nullopt;
    }
    return it->second.reason;
}

void SkipMemory::Remember(const std::u16string& path, const FileStamp& stamp, SkipReason reason) {
    const std::string key = U16ToBytes(path);
    std::lock_guard<std::mutex> hold(m_lock);
    m_entries[key] = Entry{stamp, reason};
    if (m_file != nullptr) {
        const std::string record = Record(key, stamp, reason);
        std::fwrite(record.data(), 1, record.size(), m_file);
        std::fflush(m_file);
    }
}

void SkipMemory::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_entries.clear();
    if (!m_path.empty()) {
        Rewrite();
    }
}

size_t SkipMemory::size() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_entries.size();
}
