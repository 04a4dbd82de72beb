#include "scan_controller.h"

#include <algorithm>
#include <unordered_set>

#include "compare_pass.h"
#include "compare_settings.h"
#include "decoder_set.h"
#include "scan.h"
#include "scan_state.h"
#include "worker_pool.h"

ScanController::ScanController(ScanListener* listener) : m_listener(listener) {}

ScanController::~ScanController() {
    if (m_pool) {
        // Workers drop long work at their next check; queued requests go unrun.
        stopRequested.exchange(1);
        m_pool->Shutdown();
        m_pool.reset();
    }
}

HRESULT ScanController::Load(const std::string& cachePath, const std::string& pluginFolder) {
    m_cachePath = cachePath.empty() ? GripStore::DefaultCachePath() : cachePath;
    const HRESULT loaded = GlobalGripStore().LoadCache(m_cachePath);
    if (Failed(loaded)) {
        return loaded;
    }
    // Files skipped before and unchanged since are not decoded again. Without
    // its file the memory still serves this run.
    m_skipMemory = std::make_unique<SkipMemory>();
    m_skipMemoryResult = m_skipMemory->LoadBeside(
        m_cachePath,
        PluginSignature(pluginFolder.empty() ? DecoderSet::ProgramFolder() : pluginFolder));
    skipMemory = m_skipMemory.get();
    // Without it every scan compares every pair, as the first does.
    m_memory.Load(ResultMemory::PathBeside(m_cachePath));
    return loaded;
}

HRESULT ScanController::StartPool(const std::string& pluginFolder) {
    m_pool = std::make_unique<WorkerPool>(this, ScanWorkerFactory(GlobalGripStore(), pluginFolder));
    if (Failed(m_pool->Start())) {
        m_pool.reset();
        return E_FAIL;
    }
    return S_OK;
}

bool ScanController::Begin(const FolderRoles& roles) {
    if (!m_pool) {
        m_pairs.clear();
        return false;
    }
    m_key = CurrentResultKey();
    // The experimental figures are not kept: such a scan compares every pair.
    const bool known = !g_accurate.load() && m_memory.Covers(m_key);
    knownPairs = known ? &m_memory : nullptr;
    m_phase = known ? Phase::kKnownJoin : Phase::kCompare;
    {
        std::lock_guard<std::mutex> hold(joinedLock);
        Deferred.clear();
        Joined.clear();
    }
    m_generation = BeginScan(this, GlobalGripStore());
    PostFolders(*m_pool, m_generation, roles.WalkRoots(), roles.Excluded());
    return true;
}

void ScanController::Stop() {
    m_phase = Phase::kIdle;
    knownPairs = nullptr;
    StopScan();
}

bool ScanController::Running() {
    if (!m_pool || m_phase == Phase::kIdle || !IsCurrent(m_generation)) {
        return false;
    }
    if (m_pool->HasWork(m_generation)) {
        return true;
    }
    if (m_phase == Phase::kKnownJoin) {
        // Every file has joined or waits: the known pairs of the files that
        // joined unchanged come first, then the waiting files' jobs run as in
        // a scan without kept pairs, each meeting every file before it.
        knownPairs = nullptr;
        m_phase = Phase::kCompare;
        std::unordered_set<std::u16string> joined;
        std::vector<std::u16string> waiting;
        {
            std::lock_guard<std::mutex> hold(joinedLock);
            for (const ScanFile& file : Joined) {
                if (file.generation == m_generation && file.known) {
                    joined.insert(file.path);
                }
            }
            for (ScanFile& file : Deferred) {
                if (file.generation == m_generation) {
                    waiting.push_back(std::move(file.path));
                }
            }
            Deferred.clear();
        }
        std::vector<DuplicatePair> kept = m_memory.PairsAmong(joined);
        if (!m_memory.Holds(m_key)) {
            JudgeKeptAgain(kept);
        }
        if (!kept.empty()) {
            {
                std::lock_guard<std::mutex> hold(pairsLock);
                for (DuplicatePair& pair : kept) {
                    PendingPairs.push_back(std::move(pair));
                }
            }
            Post(WM_PAIRS_READY);
        }
        for (std::u16string& path : waiting) {
            auto request = std::make_unique<WorkRequest>();
            request->kind = kProcessFile;
            request->generation = m_generation;
            request->path = std::move(path);
            request->deferred = true;
            m_pool->PostRequest(std::move(request));
        }
        return true;
    }
    m_phase = Phase::kIdle;
    if (!g_accurate.load() && CurrentResultKey() == m_key) {
        // Every pair of the scan has been handed over by now.
        MergeMessages();
        KeepResults();
    }
    return false;
}

void ScanController::JudgeKeptAgain(std::vector<DuplicatePair>& kept) const {
    const GripStore& store = GlobalGripStore();
    SharedHold hold(GlobalGripStore().lock());
    std::erase_if(kept, [&store](DuplicatePair& pair) {
        const GripStore::Entry* later = store.Find(pair.path1);
        const GripStore::Entry* earlier = store.Find(pair.path2);
        return later == nullptr || earlier == nullptr || !JudgeAgain(store, *later, *earlier, pair);
    });
}

void ScanController::KeepResults() {
    std::vector<std::pair<std::u16string, FileStamp>> files;
    {
        std::lock_guard<std::mutex> hold(joinedLock);
        for (const ScanFile& file : Joined) {
            if (file.generation == m_generation) {
                files.emplace_back(file.path, file.stamp);
            }
        }
    }
    if (m_memory.Save(m_key, files, m_pairs)) {
        m_memory.Load(ResultMemory::PathBeside(m_cachePath));
    }
}

void ScanController::Post(uint32_t message) {
    bool tell = false;
    {
        std::lock_guard<std::mutex> hold(m_messageLock);
        m_messages.push_back(message);
        tell = !m_told;
        m_told = true;
    }
    if (tell && m_listener != nullptr) {
        m_listener->OnScanNews();
    }
}

void ScanController::MergeMessages() {
    std::vector<uint32_t> messages;
    {
        std::lock_guard<std::mutex> hold(m_messageLock);
        messages.swap(m_messages);
    }
    for (uint32_t message : messages) {
        if (message == WM_CLEAR_PAIRS) {
            m_pairs.clear();
            m_news = ScanNews{};
            m_news.cleared = true;
            continue;
        }
        if (message != WM_PAIRS_READY) {
            continue;
        }
        for (DuplicatePair& record : TakePendingPairs()) {
            if (!record.isUpdate) {
                record.details1 = 0;
                record.details2 = 0;
                m_pairs.push_back(std::move(record));
                continue;
            }
            const auto found =
                std::find_if(m_pairs.begin(), m_pairs.end(), [&](const DuplicatePair& r) {
                    return r.path1 == record.path1 && r.path2 == record.path2;
                });
            if (found == m_pairs.end()) {
                continue;
            }
            found->experimentalPercent = record.experimentalPercent;
            const auto index = static_cast<uint32_t>(found - m_pairs.begin());
            if (index < m_news.firstNew) {
                m_news.updated.push_back(index);
            }
        }
    }
}

ScanNews ScanController::TakeNews() {
    {
        std::lock_guard<std::mutex> hold(m_messageLock);
        m_told = false;
    }
    MergeMessages();
    ScanNews news = std::move(m_news);
    m_news = ScanNews{};
    m_news.firstNew = static_cast<uint32_t>(m_pairs.size());
    return news;
}

ScanCounts ScanController::Counts() const {
    ScanCounts counts;
    counts.cached = static_cast<int32_t>(GlobalGripStore().storedCount());
    counts.found = m_foundCount.load();
    counts.done = m_doneCount.load();
    counts.fresh = m_newCount.load();
    counts.fromCache = m_fromCacheCount.load();
    counts.skipped = m_skippedCount.load();
    return counts;
}

bool ScanController::FingerprintsOf(const DuplicatePair& pair, Grip* later, Grip* earlier) const {
    GripStore& store = GlobalGripStore();
    SharedHold hold(store.lock());
    const GripStore::Entry* a = store.Find(pair.path1);
    const GripStore::Entry* b = store.Find(pair.path2);
    if (a == nullptr || b == nullptr) {
        return false;
    }
    *later = GripOf(*a);
    *earlier = GripOf(*b);
    return true;
}

void ScanController::ClearCache() {
    GlobalGripStore().ClearCache();
    if (m_skipMemory) {
        m_skipMemory->Clear();
    }
}

HRESULT ScanController::CleanCache(CleanReport* report) {
    return GlobalGripStore().CleanCache(report);
}
