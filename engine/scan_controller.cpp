#include "scan_controller.h"

#include <algorithm>

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
        m_cachePath, PluginSignature(pluginFolder.empty() ? DecoderSet::ProgramFolder()
                                                          : pluginFolder));
    skipMemory = m_skipMemory.get();
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
    const int32_t generation = BeginScan(this, GlobalGripStore());
    PostFolders(*m_pool, generation, roles.WalkRoots(), roles.Excluded());
    return true;
}

void ScanController::Stop() {
    StopScan();
}

bool ScanController::Running() const {
    return m_pool && m_pool->HasWork(ScanGeneration.load());
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

ScanNews ScanController::TakeNews() {
    std::vector<uint32_t> messages;
    {
        std::lock_guard<std::mutex> hold(m_messageLock);
        messages.swap(m_messages);
        m_told = false;
    }
    ScanNews news;
    news.firstNew = static_cast<uint32_t>(m_pairs.size());
    for (uint32_t message : messages) {
        if (message == WM_CLEAR_PAIRS) {
            m_pairs.clear();
            news = ScanNews{};
            news.cleared = true;
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
            if (index < news.firstNew) {
                news.updated.push_back(index);
            }
        }
    }
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

bool ScanController::FingerprintsOf(const DuplicatePair& pair, Grip* later,
                                    Grip* earlier) const {
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
