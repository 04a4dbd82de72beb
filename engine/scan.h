// The scan driver: starting a scan (BeginScan, ResetScan) on the front end's
// thread, and the pool's worker (CWorker) that walks folders, fingerprints
// files, runs their comparison passes and, when asked, the experimental
// comparison. A scan has no end event: it is over when the pool holds no
// request of its generation (WorkerPool::HasWork).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "analyzer.h"
#include "compare_pass.h"
#include "decoder_contract.h"
#include "grip_store.h"
#include "worker_pool.h"

class ScanOwner;

// Starts a new scan: increments ScanGeneration (so every queued request of
// earlier scans is stale from now on), then ResetScan. Returns the new
// generation, under which the caller posts one kScanFolder request per folder.
int32_t BeginScan(ScanOwner* owner, GripStore& store);

// Under the store's lock and then pairsLock: posts WM_CLEAR_PAIRS, zeroes
// the pending and done counts and takes every entry out of the scan. E_FAIL
// without an owner.
HRESULT ResetScan(ScanOwner* owner, GripStore& store);

// Abandons the current scan: its queued requests become stale, the pairs and
// counts it reached stay as they are. Returns the generation that is current
// afterwards (no request carries it).
int32_t StopScan();

// FileJob's result for a file that gives no Grip; the worker's lastSkip() says why.
inline constexpr HRESULT E_FILE_SKIPPED = static_cast<HRESULT>(0x80040003u);
// FileJob's result for a file whose job waits until the files known from the
// last complete scan have joined (ScanOwner::Defer); it counts nothing yet.
inline constexpr HRESULT E_FILE_DEFERRED = static_cast<HRESULT>(0x80040004u);

// Posts one kScanFolder request per folder under generation; no walk enters
// a folder of skipped (full paths).
void PostFolders(WorkerPool& pool, int32_t generation, const std::vector<std::u16string>& folders,
                 const std::vector<std::u16string>& skipped = {});

// The files and folders that the walks of the current scan have reached,
// known by device and inode and shared by the workers of one pool: a file
// reached by several paths (links, hard links, a chosen folder inside
// another) joins the scan once, under the first path found, and a folder is
// walked once. Any thread.
class ScanVisits {
  public:
    // true when the object is new to generation's scan; a newer generation
    // forgets what earlier scans reached, an older one is refused.
    bool Claim(int32_t generation, uint64_t device, uint64_t inode);

  private:
    struct Key {
        uint64_t device;
        uint64_t inode;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const {
            return std::hash<uint64_t>()(key.inode * 0x9E3779B97F4A7C15ull ^ key.device);
        }
    };
    std::mutex m_lock;
    int32_t m_generation = 0;
    std::unordered_set<Key, KeyHash> m_seen;
};

// One pool thread's worker: its own Analyzer and DecoderSet.
class CWorker final : public Worker, public ExperimentalPoster {
  public:
    // Loads the plug-ins of pluginFolder (the program's own folder when empty).
    // Workers of one pool share visits; without it the worker keeps its own.
    CWorker(WorkerPool& pool, GripStore& store, const std::string& pluginFolder,
            std::shared_ptr<ScanVisits> visits = nullptr);

    void Initialize(ScanOwner* owner) override;
    void Execute(const WorkRequest& request, ScanOwner* owner) override;

    // Walks folder depth first and posts one kProcessFile request per regular
    // file (or link to one) while generation is current, counting each in
    // m_pendingCount and m_foundCount. Follows links, but takes each file and
    // walks each folder once per scan (ScanVisits); FIFOs, devices and
    // sockets are counted as skipped (not regular), dangling links as
    // skipped (unreadable). Never enters a folder of skipped, whatever the
    // path it is met under (links, other spellings). E_FAIL when the
    // folder cannot be listed or the worker has no owner.
    HRESULT ScanFolder(int32_t generation, const std::u16string& folder,
                       const std::vector<std::u16string>& skipped = {});
    // FileJob, then the counts: a failure leaves m_pendingCount, a success
    // joins m_doneCount; the file counts as from the cache, new or skipped
    // (with its reason); a stale job counts nothing.
    // deferred: the job waited for the known files (WorkRequest::deferred).
    HRESULT ProcessFile(int32_t generation, const std::u16string& path, bool deferred = false);
    // Finds or makes the file's Grip, gives it its place in the scan and runs
    // its comparison pass. A stored Grip whose file changed in size or
    // modification time since is made again and supersedes the old one.
    // S_OK, E_FAIL (stale), E_FILE_SKIPPED (no Grip: lastSkip() says why),
    // or E_INSERT_FAILED when another job stored the same path meanwhile. A
    // file that the owner's skip memory knows as skipped, unchanged in size
    // and time, is skipped without decoding. While the owner knows the pairs
    // of the last complete scan (and the job is not deferred), a file known
    // from it joins without a pass and any other file is deferred:
    // E_FILE_DEFERRED.
    HRESULT FileJob(int32_t generation, const std::u16string& path, bool deferred = false);
    // Why the last FileJob skipped its file.
    SkipReason lastSkip() const { return m_lastSkip; }

    void PostExperimental(int32_t generation, const std::u16string& path1,
                          const std::u16string& path2) override;

    Analyzer& analyzer() { return m_analyzer; }

  private:
    // A folder the walk leaves out, known by identity and by real path.
    struct SkippedFolder {
        uint64_t device;
        uint64_t inode;
        std::string realPath;
    };
    HRESULT Walk(int32_t generation, const std::string& folder);
    // Whether folder (whose stat is self) is one of m_skipped, or lies under
    // one and is reached through a link.
    bool IsSkipped(const std::string& folder, const struct stat& self) const;

    WorkerPool& m_pool;
    GripStore& m_store;
    Analyzer m_analyzer;
    SkipReason m_lastSkip = SkipReason::kUnsupported;
    bool m_lastNew = false;  // the last FileJob fingerprinted its file
    bool m_lastKnown = false;  // the last FileJob joined a file of the last complete scan
    FileStamp m_lastStamp;     // the stamp the last FileJob judged its file by
    bool m_lastStamped = false;
    std::shared_ptr<ScanVisits> m_visits;
    std::vector<SkippedFolder> m_skipped;  // folders the walk under way leaves out
};

// The factory that gives each pool thread a CWorker over store.
WorkerPool::WorkerFactory ScanWorkerFactory(GripStore& store, const std::string& pluginFolder);
