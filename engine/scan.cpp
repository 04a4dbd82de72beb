#include "scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "experimental_compare.h"
#include "scan_owner.h"
#include "scan_state.h"
#include "skip_memory.h"

struct CWorker::FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

int32_t BeginScan(ScanOwner* owner, GripStore& store) {
    const int32_t generation = ScanGeneration.fetch_add(1) + 1;
    ResetScan(owner, store);
    return generation;
}

HRESULT ResetScan(ScanOwner* owner, GripStore& store) {
    if (owner == nullptr) {
        return E_FAIL;
    }
    ExclusiveHold hold(store.lock());
    std::lock_guard<std::mutex> pairs(owner->pairsLock);
    owner->Post(WM_CLEAR_PAIRS);
    owner->m_pendingCount.store(0);
    owner->m_doneCount.store(0);
    owner->m_foundCount.store(0);
    owner->m_fromCacheCount.store(0);
    owner->m_newCount.store(0);
    {
        std::lock_guard<std::mutex> skipped(owner->skippedLock);
        owner->SkippedFiles.clear();
        owner->m_skippedCount.store(0);
    }
    store.ResetSequences();
    return S_OK;
}

int32_t StopScan() {
    return ScanGeneration.fetch_add(1) + 1;
}

void PostFolders(WorkerPool& pool, int32_t generation, const std::vector<std::u16string>& folders) {
    for (const std::u16string& folder : folders) {
        auto request = std::make_unique<WorkRequest>();
        request->kind = kScanFolder;
        request->generation = generation;
        request->path = folder;
        pool.PostRequest(std::move(request));
    }
}

CWorker::CWorker(WorkerPool& pool, GripStore& store, const std::string& pluginFolder)
    : m_pool(pool),
      m_store(store),
      m_analyzer(pluginFolder.empty() ? DecoderSet::ProgramFolder() : pluginFolder) {}

void CWorker::Initialize(ScanOwner* owner) {
    m_analyzer.SetOwner(owner);
}

void CWorker::Execute(const WorkRequest& request, ScanOwner* owner) {
    if (owner == nullptr || !IsCurrent(request.generation)) {
        return;
    }
    switch (request.kind) {
        case kScanFolder:
            ScanFolder(request.generation, request.path);
            break;
        case kProcessFile:
            ProcessFile(request.generation, request.path);
            break;
        case kCompareExperimental:
            CompareExperimental(request.generation, request.path, request.secondPath,
                                m_analyzer.decoders(), *owner);
            break;
        default:
            break;
    }
}

HRESULT CWorker::ScanFolder(int32_t generation, const std::u16string& folder) {
    if (m_analyzer.owner() == nullptr) {
        return E_FAIL;
    }
    std::vector<FolderId> onPath;
    return Walk(generation, U16ToBytes(folder), onPath);
}

HRESULT CWorker::Walk(int32_t generation, const std::string& folder,
                      std::vector<FolderId>& onPath) {
    const std::string listed = folder.empty() ? std::string(".") : folder;
    struct stat self;
    if (stat(listed.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) {
        return E_FAIL;
    }
    const FolderId id{self.st_dev, self.st_ino};
    // A link back to a folder of the current path would walk for ever.
    if (std::find(onPath.begin(), onPath.end(), id) != onPath.end()) {
        return S_OK;
    }
    DIR* dir = opendir(listed.c_str());
    if (dir == nullptr) {
        return E_FAIL;
    }
    onPath.push_back(id);
    ScanOwner* owner = m_analyzer.owner();
    const std::string prefix =
        folder.empty() ? std::string() : (folder.back() == '/' ? folder : folder + "/");
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        const std::string full = prefix + name;
        bool isFolder = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // Follows the link; a dangling one is neither.
            struct stat target;
            if (stat(full.c_str(), &target) == 0) {
                isFolder = S_ISDIR(target.st_mode);
                isFile = S_ISREG(target.st_mode);
            }
        }
        if (isFolder) {
            Walk(generation, full, onPath);
        } else if (!isFile && IsCurrent(generation)) {
            owner->m_foundCount.fetch_add(1);
            const bool dangling = entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
            struct stat target;
            const bool gone = dangling && stat(full.c_str(), &target) != 0;
            owner->AddSkipped(BytesToU16(full),
                              gone ? SkipReason::kUnreadable : SkipReason::kNotRegular);
        } else if (isFile && IsCurrent(generation)) {
            owner->m_foundCount.fetch_add(1);
            owner->m_pendingCount.fetch_add(1);
            auto request = std::make_unique<WorkRequest>();
            request->kind = kProcessFile;
            request->generation = generation;
            request->path = BytesToU16(full);
            if (!m_pool.PostRequest(std::move(request))) {
                owner->m_pendingCount.fetch_sub(1);
                owner->m_foundCount.fetch_sub(1);
            }
        }
    }
    closedir(dir);
    onPath.pop_back();
    return S_OK;
}

HRESULT CWorker::ProcessFile(int32_t generation, const std::u16string& path) {
    const HRESULT result = FileJob(generation, path);
    ScanOwner* owner = m_analyzer.owner();
    if (owner != nullptr && IsCurrent(generation)) {
        if (Failed(result)) {
            owner->m_pendingCount.fetch_sub(1);
        } else {
            owner->m_doneCount.fetch_add(1);
        }
        if (result == E_FILE_SKIPPED) {
            owner->AddSkipped(path, m_lastSkip);
        } else if (Succeeded(result) && m_lastNew) {
            owner->m_newCount.fetch_add(1);
        } else if (Succeeded(result) || result == E_INSERT_FAILED) {
            // The loser of an insert race finds its file stored by the winner.
            owner->m_fromCacheCount.fetch_add(1);
        }
    }
    return result;
}

HRESULT CWorker::FileJob(int32_t generation, const std::u16string& path) {
    ScanOwner* owner = m_analyzer.owner();
    m_lastNew = false;
    if (owner == nullptr) {
        return E_FAIL;
    }
    {
        ExclusiveHold hold(m_store.lock());
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        GripStore::Entry* entry = m_store.Find(path);
        // An entry that has joined this scan already keeps its number.
        if (entry != nullptr && entry->grip.sequence == kNotInScan) {
            m_store.JoinScan(*entry);
        }
    }
    const HRESULT compared = ComparePass(generation, path, m_store, *owner, this);
    if (compared != E_NOT_IN_STORE) {
        return compared;
    }

    // A new file: decoding and analysis hold no lock.
    SkipMemory* memory = owner->skipMemory;
    FileStamp stamp;
    const bool stamped = ReadFileStamp(U16ToBytes(path), &stamp);
    if (memory != nullptr && stamped) {
        if (const std::optional<SkipReason> known = memory->Find(path, stamp)) {
            m_lastSkip = *known;
            return E_FILE_SKIPPED;
        }
    }
    if (Failed(m_analyzer.Extract(path.c_str()))) {
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        m_lastSkip = m_analyzer.failure();
        // An unreadable file is found out without decoding; it may become
        // readable without changing its size or time.
        if (memory != nullptr && stamped && m_lastSkip != SkipReason::kUnreadable) {
            memory->Remember(path, stamp, m_lastSkip);
        }
        return E_FILE_SKIPPED;
    }
    {
        ExclusiveHold hold(m_store.lock());
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        Grip& grip = m_analyzer.grip();
        grip.sequence = m_store.NextSequence();
        if (m_store.Insert(path, grip) == nullptr) {
            return E_INSERT_FAILED;
        }
        m_store.AppendRecord(path, grip, m_analyzer.recordBuffer(), owner);
    }
    m_lastNew = true;
    return ComparePass(generation, path, m_store, *owner, this);
}

void CWorker::PostExperimental(int32_t generation, const std::u16string& path1,
                               const std::u16string& path2) {
    auto request = std::make_unique<WorkRequest>();
    request->kind = kCompareExperimental;
    request->generation = generation;
    request->path = path1;
    request->secondPath = path2;
    m_pool.PostRequest(std::move(request));
}

WorkerPool::WorkerFactory ScanWorkerFactory(GripStore& store, const std::string& pluginFolder) {
    return [&store, pluginFolder](WorkerPool& pool) -> std::unique_ptr<Worker> {
        return std::make_unique<CWorker>(pool, store, pluginFolder);
    };
}
