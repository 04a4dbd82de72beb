// ScanController: a front end's one hold on the scan engine. It loads the
// process's fingerprint store and owns the skip memory, the worker pool, the
// scan's counters and skipped files and the merged list of pairs. Workers
// report to it (it is their ScanOwner); it tells its listener that news
// waits, and the front end takes the news on its own thread. The window and
// the command line each hold one and only show or print what it reports.
//
// Threads: Post (inherited, called by workers) and the counters may be used
// from any thread; everything else from the front end's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "folder_roles.h"
#include "grip_store.h"
#include "result_memory.h"
#include "scan_owner.h"
#include "skip_memory.h"

class WorkerPool;

// What a front end hears from its controller.
class ScanListener {
  public:
    virtual ~ScanListener() = default;
    // News waits for TakeNews. Called on any thread, once until TakeNews
    // has run; must return at once and never call back into the controller.
    virtual void OnScanNews() = 0;
};

// What arrived since the last TakeNews.
struct ScanNews {
    bool cleared = false;           // a new scan began: the pair list was emptied first
    uint32_t firstNew = 0;          // pairs()[firstNew, end) are new
    std::vector<uint32_t> updated;  // earlier records whose experimental figure arrived
};

// A snapshot of the scan's counters.
struct ScanCounts {
    int32_t cached = 0;     // entries in the fingerprint store
    int32_t found = 0;      // files the walks found
    int32_t done = 0;       // files whose job succeeded
    int32_t fresh = 0;      // fingerprinted by this scan
    int32_t fromCache = 0;  // whose fingerprint was stored already
    int32_t skipped = 0;    // that gave no fingerprint
};

class ScanController : public ScanOwner {
  public:
    // listener may be null (nothing is told; TakeNews still works).
    explicit ScanController(ScanListener* listener);
    // Stops the scan and waits for every worker to finish its current request.
    ~ScanController() override;
    ScanController(const ScanController&) = delete;
    ScanController& operator=(const ScanController&) = delete;

    // Loads the fingerprint cache at cachePath (empty: the user's) into the
    // process's store, then the skip memory beside it, for the plug-ins of
    // pluginFolder (empty: the program's own folder). The cache's result:
    // on failure nothing is cached and no skip memory is kept.
    HRESULT Load(const std::string& cachePath, const std::string& pluginFolder);
    // The skip memory's load result (E_FILE_FOREIGN: a file not ours is in
    // its place); S_OK before Load.
    HRESULT skipMemoryResult() const { return m_skipMemoryResult; }
    // What the cache's load found of its stamp index.
    const IndexReport& indexReport() const { return GlobalGripStore().indexReport(); }
    // The fingerprints that could not be written to the cache. Any thread.
    SaveFailures saveFailures() const { return GlobalGripStore().saveFailures(); }
    const std::string& cachePath() const { return m_cachePath; }

    // Starts the workers, each with the plug-ins of pluginFolder (empty: the
    // program's own folder). E_FAIL when the threads cannot start.
    HRESULT StartPool(const std::string& pluginFolder);
    bool HasPool() const { return m_pool != nullptr; }

    // Begins a scan of the folders of roles; the pair list starts afresh.
    // false without a pool: nothing is scanned, the list is still cleared.
    // When the last complete scan was judged under the same settings, the
    // pairs of its unchanged files are taken from it, and only the other
    // files are compared with the rest.
    bool Begin(const FolderRoles& roles);
    // Abandons the current scan: its queued requests become stale; what it
    // reached stays, and the pairs of the last complete scan stay kept.
    void Stop();
    // Whether the current scan has work left. Moves the scan on: once the
    // known files have joined, their kept pairs are handed over and the
    // other files' jobs start; once every job is done the scan is complete
    // and its files and pairs are kept for the next one.
    bool Running();

    // Merges what the workers handed over into pairs() and says what changed.
    ScanNews TakeNews();
    // The listed pairs of the current scan, in the order they arrived. The
    // front end may fill in the records' details slots.
    std::vector<DuplicatePair>& pairs() { return m_pairs; }
    const std::vector<DuplicatePair>& pairs() const { return m_pairs; }

    ScanCounts Counts() const;
    // Copies of the fingerprints of pair's two files (path1's in *later);
    // false when either is not in the store.
    bool FingerprintsOf(const DuplicatePair& pair, Grip* later, Grip* earlier) const;
    std::vector<SkippedFile> Skipped() { return CopySkipped(); }

    // Empties the fingerprint cache and the skip memory.
    void ClearCache();
    // Drops the cache entries of files that no longer exist.
    HRESULT CleanCache(CleanReport* report);

    // Queues message from a worker (or a test). Any thread; never blocks.
    void Post(uint32_t message) override;

  private:
    enum class Phase { kIdle, kKnownJoin, kCompare };
    // Merges the workers' messages into m_pairs and m_news.
    void MergeMessages();
    // Judges kept pairs of a scan at a lower sensitivity again under the
    // settings now, dropping those no longer listed.
    void JudgeKeptAgain(std::vector<DuplicatePair>& kept) const;
    // Writes the complete scan's files and pairs to the result memory.
    void KeepResults();

    ScanListener* m_listener;
    ResultMemory m_memory;
    Phase m_phase = Phase::kIdle;
    int32_t m_generation = 0;
    ResultKey m_key;
    std::string m_cachePath;
    std::unique_ptr<SkipMemory> m_skipMemory;
    HRESULT m_skipMemoryResult = S_OK;
    std::unique_ptr<WorkerPool> m_pool;
    std::vector<DuplicatePair> m_pairs;
    ScanNews m_news;  // merged but not yet taken

    std::mutex m_messageLock;
    std::vector<uint32_t> m_messages;  // guarded by m_messageLock
    bool m_told = false;               // guarded by m_messageLock
};
