#include "grip_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "user_folders.h"

std::string GripStore::DefaultCachePath() {
    const std::string folder = ProgramUserFolder("XDG_CACHE_HOME", ".cache");
    return folder.empty() ? folder : folder + "/cache.dat";
}

HRESULT GripStore::LoadCache(const std::string& path) {
    ClearEntries();
    const HRESULT result = m_cache.Load(path);
    if (Failed(result)) {
        ClearEntries();
    }
    return result;
}

HRESULT GripStore::ClearCache() {
    ExclusiveHold hold(m_lock);
    ClearEntries();
    m_cache.Clear();
    return S_OK;
}

HRESULT GripStore::CleanCache(CleanReport* report) {
    ExclusiveHold hold(m_lock);
    std::vector<std::u16string> gone;
    for (const auto& [path, entry] : m_entries) {
        struct stat info;
        if (stat(U16ToBytes(path).c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            gone.push_back(path);
        }
    }
    for (const std::u16string& path : gone) {
        EraseEntry(path);
    }
    uint64_t freed = 0;
    const HRESULT result = m_cache.Drop(gone, &freed);
    if (report != nullptr) {
        report->dropped = static_cast<uint32_t>(gone.size());
        report->bytesFreed = freed;
        report->kept = static_cast<uint32_t>(m_entries.size());
    }
    return result;
}

bool GripStore::Erase(std::u16string_view path) {
    if (m_entries.find(path) == m_entries.end()) {
        return false;
    }
    EraseEntry(path);
    return true;
}

void GripStore::EraseEntry(std::u16string_view path) {
    const auto it = m_entries.find(path);
    if (it != m_entries.end()) {
        LeaveScan(it->second);
        m_entries.erase(it);
        m_storedCount.store(m_entries.size(), std::memory_order_relaxed);
    }
}

GripStore::Entry* GripStore::Find(std::u16string_view path) {
    const auto it = m_entries.find(path);
    return it == m_entries.end() ? nullptr : &it->second;
}

const GripStore::Entry* GripStore::Find(std::u16string_view path) const {
    const auto it = m_entries.find(path);
    return it == m_entries.end() ? nullptr : &it->second;
}

GripStore::Entry* GripStore::Insert(const std::u16string& path, const Grip& grip) {
    return Insert(Prepare(path, grip), grip.sequence);
}

GripStore::PreparedEntry GripStore::Prepare(const std::u16string& path, const Grip& grip) {
    Map single{PoolAllocator<Map::value_type>(&m_pool)};
    Entry& entry = single.try_emplace(path).first->second;
    static_cast<GripTexts&>(entry.grip) = grip;
    MakeGripVectors(grip, entry.vectors);
    return single.extract(single.begin());
}

GripStore::Entry* GripStore::Insert(PreparedEntry&& prepared, uint32_t sequence) {
    Entry* entry = Add(std::move(prepared));
    if (entry != nullptr && sequence != kNotInScan) {
        entry->grip.sequence = sequence;
        // Numbers are given out in order, so the entry almost always goes last.
        const std::span<Entry* const> scan = this->scan();
        const auto at = std::upper_bound(
            scan.begin(), scan.end(), sequence,
            [](uint32_t value, const Entry* e) { return value < e->grip.sequence; });
        EnterScan(*entry, static_cast<size_t>(at - scan.begin()));
    }
    return entry;
}

size_t GripStore::ScanPositionOf(uint32_t sequence) const {
    const std::span<Entry* const> scan = this->scan();
    const auto end =
        std::lower_bound(scan.begin(), scan.end(), sequence,
                         [](const Entry* e, uint32_t value) { return e->grip.sequence < value; });
    return static_cast<size_t>(end - scan.begin());
}

void GripStore::JoinScan(Entry& entry) {
    if (entry.grip.sequence == kNotInScan) {
        std::atomic_ref<uint32_t>(entry.grip.sequence)
            .store(NextSequence(), std::memory_order_relaxed);
        EnterScan(entry, m_scan.size());
    }
}

GripStore::Stored GripStore::JoinIfUnchanged(const std::u16string& path, const FileStamp* stamp,
                                             bool exclusive) {
    Entry* entry = Find(path);
    if (entry == nullptr) {
        return Stored::kMissing;
    }
    std::lock_guard<std::mutex> join(m_joinMutex);
    if (stamp != nullptr && !IsUnchanged(path, *stamp)) {
        return Stored::kChanged;
    }
    if (entry->grip.sequence == kNotInScan) {
        // Passes may read the scan meanwhile: it must neither move nor be
        // projected afresh.
        if (!exclusive && (!m_scan.HasRoom() || m_scan.BasisDue(m_entries.size()))) {
            return Stored::kRetryExclusively;
        }
        JoinScan(*entry);
    }
    return Stored::kUnchanged;
}

void GripStore::EnterScan(Entry& entry, size_t at) {
    EnsureBasis();
    if (at != m_scan.size()) {
        ++m_scanLayout;
    }
    if (!m_scan.HasRoom()) {
        // A rescan finds room for every stored file at its first file.
        m_scan.Reserve(std::max(m_entries.size(), m_scan.size() + m_scan.size() / 4 + 64));
    }
    m_scan.Insert(at, &entry);
}

void GripStore::EnsureBasis() {
    constexpr size_t kMostSample = 512;
    if (!m_scan.BasisDue(m_entries.size())) {
        return;
    }
    ++m_scanLayout;
    std::vector<const GripVectors*> sample;
    const size_t stride = (m_entries.size() + kMostSample - 1) / kMostSample;
    size_t k = 0;
    for (const auto& [path, entry] : m_entries) {
        if (k++ % stride == 0) {
            sample.push_back(&entry.vectors);
        }
    }
    m_scan.Rebase(sample, m_entries.size());
}

SpectrumBounds GripStore::ProjectionOf(const Entry& entry) const {
    return m_scan.ProjectionOf(entry, EarlierInScan(entry));
}

void GripStore::LeaveScan(Entry& entry) {
    if (entry.grip.sequence != kNotInScan) {
        const size_t at = EarlierInScan(entry);
        if (at < m_scan.size() && m_scan.entries()[at] == &entry) {
            m_scan.Erase(at);
            ++m_scanLayout;
        }
        entry.grip.sequence = kNotInScan;
    }
}

GripStore::Entry* GripStore::Add(PreparedEntry&& prepared, bool numbered) {
    const auto inserted = m_entries.insert(std::move(prepared));
    if (!inserted.inserted) {
        return nullptr;
    }
    m_storedCount.store(m_entries.size(), std::memory_order_relaxed);
    Entry& entry = inserted.position->second;
    entry.grip.sequence = kNotInScan;
    entry.path = &inserted.position->first;
    if (!numbered) {
        NumberTexts(entry);
    }
    return &entry;
}

void GripStore::NumberTexts(Entry& entry) {
    entry.textIds[0] = TextId(entry.grip.title);
    entry.textIds[1] = TextId(entry.grip.artist);
    entry.textIds[2] = TextId(entry.grip.nameKey);
    entry.textIds[3] = TextId(entry.grip.album);
}

uint32_t GripStore::TextId(const std::string& text) {
    if (m_textIds.empty()) {
        m_textIds.emplace(std::string(), 0);
    }
    // Numbers are given out in order, so the next one is the count so far.
    return m_textIds.try_emplace(text, static_cast<uint32_t>(m_textIds.size())).first->second;
}

void GripStore::ClearEntries() {
    m_entries.clear();
    m_storedCount.store(0, std::memory_order_relaxed);
    m_pool.Trim();
    m_scan.Clear();
    ++m_scanLayout;
    m_scan.DropBasis();
    m_textIds.clear();
}

void GripStore::ResetSequences() {
    for (Entry* entry : scan()) {
        entry->grip.sequence = kNotInScan;
    }
    m_scan.Clear();
    ++m_scanLayout;
}

GripStore& GlobalGripStore() {
    static GripStore store;
    return store;
}
