#include "scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "experimental_compare.h"
#include "result_memory.h"
#include "scan_owner.h"
#include "scan_state.h"
#include "skip_memory.h"

bool ScanVisits::Claim(int32_t generation, uint64_t device, uint64_t inode) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (generation < m_generation) {
        return false;
    }
    if (generation > m_generation) {
        m_generation = generation;
        m_seen.clear();
    }
    return m_seen.insert(Key{device, inode}).second;
}

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

void PostFolders(WorkerPool& pool, int32_t generation, const std::vector<std::u16string>& folders,
                 const std::vector<std::u16string>& skipped) {
    for (const std::u16string& folder : folders) {
        auto request = std::make_unique<WorkRequest>();
        request->kind = kScanFolder;
        request->generation = generation;
        request->path = folder;
        request->skipped = skipped;
        pool.PostRequest(std::move(request));
    }
}

CWorker::CWorker(WorkerPool& pool, GripStore& store, const std::string& pluginFolder,
                 std::shared_ptr<ScanVisits> visits)
    : m_pool(pool),
      m_store(store),
      m_analyzer(pluginFolder.empty() ? DecoderSet::ProgramFolder() : pluginFolder),
      m_visits(visits ? std::move(visits) : std::make_shared<ScanVisits>()) {}

void CWorker::Initialize(ScanOwner* owner) {
    m_analyzer.SetOwner(owner);
}

void CWorker::Execute(const WorkRequest& request, ScanOwner* owner) {
    if (owner == nullptr || !IsCurrent(request.generation)) {
        return;
    }
    switch (request.kind) {
        case kScanFolder:
            ScanFolder(request.generation, request.path, request.skipped);
            break;
        case kProcessFile:
            ProcessFile(request.generation, request.path, request.deferred);
            break;
        case kCompareExperimental:
            CompareExperimental(request.generation, request.path, request.secondPath,
                                m_analyzer.decoders(), *owner);
            break;
        default:
            break;
    }
}

HRESULT CWorker::ScanFolder(int32_t generation, const std::u16string& folder,
                            const std::vector<std::u16string>& skipped) {
    if (m_analyzer.owner() == nullptr) {
        return E_FAIL;
    }
    m_skipped.clear();
    for (const std::u16string& s : skipped) {
        // A folder that does not exist cannot be met either.
        const std::string bytes = U16ToBytes(s);
        struct stat st;
        char* real = realpath(bytes.c_str(), nullptr);
        if (real != nullptr && stat(real, &st) == 0 && S_ISDIR(st.st_mode)) {
            m_skipped.push_back({st.st_dev, st.st_ino, std::string(real)});
        }
        std::free(real);
    }
    return Walk(generation, U16ToBytes(folder));
}

bool CWorker::IsSkipped(const std::string& folder, const struct stat& self) const {
    for (const SkippedFolder& s : m_skipped) {
        if (s.device == self.st_dev && s.inode == self.st_ino) {
            return true;
        }
    }
    // A link may lead into a left-out folder below its top; only a link's
    // real path tells (a folder under a walked one is met at the top first).
    struct stat link;
    if (m_skipped.empty() || lstat(folder.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return false;
    }
    char* real = realpath(folder.c_str(), nullptr);
    if (real == nullptr) {
        return false;
    }
    const std::string target(real);
    std::free(real);
    return std::any_of(m_skipped.begin(), m_skipped.end(), [&](const SkippedFolder& s) {
        // Real paths have no trailing '/' but "/" itself.
        const std::string& top = s.realPath;
        return target.compare(0, top.size(), top) == 0 &&
               (target.size() == top.size() || top.back() == '/' || target[top.size()] == '/');
    });
}

HRESULT CWorker::Walk(int32_t generation, const std::string& folder) {
    const std::string listed = folder.empty() ? std::string(".") : folder;
    struct stat self;
    if (stat(listed.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) {
        return E_FAIL;
    }
    // A left-out folder stays out under any path; a folder reached again (a
    // link, a chosen folder inside another, a loop) has been or is being
    // walked already.
    if (IsSkipped(listed, self) || !m_visits->Claim(generation, self.st_dev, self.st_ino)) {
        return S_OK;
    }
    ScanOwner* owner = m_analyzer.owner();
    DIR* dir = opendir(listed.c_str());
    if (dir == nullptr) {
        // No access, a path beyond the system's limit, no descriptor left:
        // the folder's files are not lost without a word.
        owner->m_foundCount.fetch_add(1);
        owner->AddSkipped(BytesToU16(folder), SkipReason::kUnreadable);
        return E_FAIL;
    }
    // The folder is read whole and closed before any folder inside it is
    // walked, so that a deep tree holds one open folder at a time.
    struct Entry {
        std::string name;
        bool reached;  // links are followed; a dangling one leads nowhere
        struct stat target;
    };
    std::vector<Entry> entries;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        Entry& e = entries.emplace_back();
        e.name = name;
        e.reached = fstatat(dirfd(dir), name, &e.target, 0) == 0;
    }
    closedir(dir);
    const std::string prefix =
        folder.empty() ? std::string() : (folder.back() == '/' ? folder : folder + "/");
    for (const Entry& e : entries) {
        const std::string full = prefix + e.name;
        if (e.reached && S_ISDIR(e.target.st_mode)) {
            Walk(generation, full);
            continue;
        }
        // A file reached before by another path has joined the scan already.
        if (!IsCurrent(generation) ||
            (e.reached && !m_visits->Claim(generation, e.target.st_dev, e.target.st_ino))) {
            continue;
        }
        owner->m_foundCount.fetch_add(1);
        if (!e.reached || !S_ISREG(e.target.st_mode)) {
            owner->AddSkipped(BytesToU16(full),
                              e.reached ? SkipReason::kNotRegular : SkipReason::kUnreadable);
        } else {
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
    return S_OK;
}

HRESULT CWorker::ProcessFile(int32_t generation, const std::u16string& path, bool deferred) {
    const HRESULT result = FileJob(generation, path, deferred);
    ScanOwner* owner = m_analyzer.owner();
    if (result == E_FILE_DEFERRED) {
        return result;
    }
    if (owner != nullptr && Succeeded(result) && m_lastStamped) {
        owner->NoteJoined(generation, path, m_lastStamp, m_lastKnown);
    }
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

HRESULT CWorker::FileJob(int32_t generation, const std::u16string& path, bool deferred) {
    ScanOwner* owner = m_analyzer.owner();
    m_lastNew = false;
    m_lastKnown = false;
    if (owner == nullptr) {
        return E_FAIL;
    }
    // Read before decoding, so that a change made meanwhile shows next time.
    FileStamp stamp;
    const bool stamped = ReadFileStamp(U16ToBytes(path), &stamp);
    m_lastStamp = stamp;
    m_lastStamped = stamped;
    // The pairs among the files of the last complete scan are known: such a
    // file only joins, and every other file waits until they all have, so
    // that its pass meets them.
    const ResultMemory* known = deferred ? nullptr : owner->knownPairs;
    if (known != nullptr && !(stamped && known->Knows(path, stamp))) {
        owner->Defer(generation, path);
        return E_FILE_DEFERRED;
    }
    // Most files of a rescan are stored and unchanged: they join the scan
    // beside the passes that run, and take the store for themselves only
    // when the scan's index must grow or be projected afresh. An entry that
    // has joined this scan already keeps its number.
    GripStore::Stored stored = GripStore::Stored::kRetryExclusively;
    {
        SharedHold hold(m_store.lock());
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        stored = m_store.JoinIfUnchanged(path, stamped ? &stamp : nullptr, false);
    }
    if (stored == GripStore::Stored::kRetryExclusively) {
        ExclusiveHold hold(m_store.lock());
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        stored = m_store.JoinIfUnchanged(path, stamped ? &stamp : nullptr, true);
    }
    if (known != nullptr) {
        if (stored != GripStore::Stored::kUnchanged) {
            // Gone from the cache or changed since its stamp was kept.
            owner->Defer(generation, path);
            return E_FILE_DEFERRED;
        }
        m_lastKnown = true;
        return S_OK;
    }
    if (stored != GripStore::Stored::kChanged) {
        const HRESULT compared = ComparePass(generation, path, m_store, *owner, this);
        if (compared != E_NOT_IN_STORE) {
            return compared;
        }
    }

    // A new or changed file: decoding and analysis hold no lock.
    SkipMemory* memory = owner->skipMemory;
    if (memory != nullptr && stamped) {
        if (const std::optional<SkipReason> remembered = memory->Find(path, stamp)) {
            m_lastSkip = *remembered;
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
        // The entry's series are made before the lock is taken, so passes
        // wait only for it to be linked in.
        Grip& grip = m_analyzer.grip();
        GripStore::PreparedEntry prepared = m_store.Prepare(path, grip);
        ExclusiveHold hold(m_store.lock());
        if (!IsCurrent(generation)) {
            return E_FAIL;
        }
        grip.sequence = m_store.NextSequence();
        if (stored == GripStore::Stored::kChanged) {
            m_store.Erase(path);  // the new record supersedes the old one
        }
        if (m_store.Insert(std::move(prepared), grip.sequence) == nullptr) {
            return E_INSERT_FAILED;
        }
        m_store.AppendRecord(path, grip, m_analyzer.recordBuffer(), stamped ? &stamp : nullptr);
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
    auto visits = std::make_shared<ScanVisits>();
    return [&store, pluginFolder, visits](WorkerPool& pool) -> std::unique_ptr<Worker> {
        return std::make_unique<CWorker>(pool, store, pluginFolder, visits);
    };
}
