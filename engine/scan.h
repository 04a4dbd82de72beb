// The scan driver: starting a scan (BeginScan, ResetScan) on the front end's
// thread, and the pool's worker (CWorker) that walks folders, fingerprints
// files, runs their comparison passes and, when asked, the experimental
// comparison. A scan has no end event: it is over when the pool holds no
// request of its generation (WorkerPool::HasWork).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

// Posts one kScanFolder request per folder under generation.
void PostFolders(WorkerPool& pool, int32_t generation, const std::vector<std::u16string>& folders);

// One pool thread's worker: its own Analyzer and DecoderSet.
class CWorker final : public Worker, public ExperimentalPoster {
  public:
    // Loads the plug-ins of pluginFolder (the program's own folder when empty).
    CWorker(WorkerPool& pool, GripStore& store, const std::string& pluginFolder);

    void Initialize(ScanOwner* owner) override;
    void Execute(const WorkRequest& request, ScanOwner* owner) override;

    // Walks folder depth first and posts one kProcessFile request per regular
    // file (or link to one) while generation is current, counting each in
    // m_pendingCount. Follows links to folders but never into a folder that
    // is already on the current path; skips FIFOs, devices and sockets.
    // E_FAIL when the folder cannot be listed or the worker has no owner.
    HRESULT ScanFolder(int32_t generation, const std::u16string& folder);
    // FileJob, then the counts: a failure leaves m_pendingCount, a success
    // joins m_doneCount, a stale job counts nothing.
    HRESULT ProcessFile(int32_t generation, const std::u16string& path);
    // Finds or makes the file's Grip, gives it its place in the scan and runs
    // its comparison pass. S_OK, E_FAIL (stale, not audio, too short), or
    // E_INSERT_FAILED when another job stored the same path meanwhile.
    HRESULT FileJob(int32_t generation, const std::u16string& path);

    void PostExperimental(int32_t generation, const std::u16string& path1,
                          const std::u16string& path2) override;

    Analyzer& analyzer() { return m_analyzer; }

  private:
    struct FolderId;
    HRESULT Walk(int32_t generation, const std::string& folder, std::vector<FolderId>& path);

    WorkerPool& m_pool;
    GripStore& m_store;
    Analyzer m_analyzer;
};

// The factory that gives each pool thread a CWorker over store.
WorkerPool::WorkerFactory ScanWorkerFactory(GripStore& store, const std::string& pluginFolder);
