// WorkerPool: the threads that run every decoding, fingerprinting and
// comparing job, fed from one FIFO queue of WorkRequests. Each thread has a
// Worker of its own for its whole life, made on that thread by the factory,
// and runs at the lowest normal priority. The pool owns every request from
// the moment it is posted until a worker has run it or shutdown dropped it.
// PostRequest, HasWork and WaitUntilIdle may be called from any thread,
// workers included; Start and Shutdown from the front end's thread only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoder_contract.h"

class ScanOwner;

inline constexpr uint32_t kScanFolder = 0;
inline constexpr uint32_t kProcessFile = 1;
inline constexpr uint32_t kCompareExperimental = 4;

struct WorkRequest {
    uint32_t kind = kScanFolder;
    int32_t generation = 0;     // the ScanGeneration it was posted under
    std::u16string path;        // folder, file, or the later file of a pair
    std::u16string secondPath;  // the earlier file of a pair (kind 4 only)
    std::vector<std::u16string> skipped;  // folders the walk does not enter (kind 0 only)
    // Kind 1: the job of a file that waited until the files known from the
    // last complete scan joined; it runs as in a scan without them.
    bool deferred = false;
};

// One thread's executor of requests.
class Worker {
  public:
    virtual ~Worker() = default;
    // On the worker's thread before its first request.
    virtual void Initialize(ScanOwner* owner) {}
    // Runs one request; checks the request's generation itself.
    virtual void Execute(const WorkRequest& request, ScanOwner* owner) = 0;
    // On the worker's thread after its last request.
    virtual void Terminate(ScanOwner* owner) {}
};

class WorkerPool {
  public:
    using WorkerFactory = std::function<std::unique_ptr<Worker>(WorkerPool& pool)>;

    WorkerPool(ScanOwner* owner, WorkerFactory factory);
    // Shuts down when still running.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts threadCount threads, 0 meaning two per processor, and returns
    // once each has built its Worker. E_FAIL when started before or when no
    // thread could be created.
    HRESULT Start(uint32_t threadCount = 0);
    // Queues request at the end. false, dropping it, when the pool is not
    // running (before Start or after Shutdown).
    bool PostRequest(std::unique_ptr<WorkRequest> request);
    // Takes and drops every queued request unrun, lets each worker finish the
    // request it runs, and joins the threads. Returns the number dropped.
    size_t Shutdown();

    // Whether a request of generation is queued or running. A running
    // request's follow-ups are queued before it counts as finished, so false
    // means the work of that generation is over.
    bool HasWork(int32_t generation) const;
    // Waits until HasWork(generation) is false, a message-free timeout
    // passes, or the pool shuts down; returns !HasWork(generation).
    bool WaitUntilIdle(int32_t generation, std::chrono::milliseconds timeout) const;

    size_t ThreadCount() const { return m_threads.size(); }
    // Two per processor as the system reports them (at least one processor).
    static uint32_t DefaultThreadCount();

  private:
    void Run();
    void Finished(int32_t generation);

    ScanOwner* m_owner;
    WorkerFactory m_factory;
    std::vector<std::thread> m_threads;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_wake;            // a request was queued, or shutdown
    mutable std::condition_variable m_idle;            // a generation's count fell, or shutdown
    std::deque<std::unique_ptr<WorkRequest>> m_queue;  // guarded by m_mutex
    std::map<int32_t, uint32_t> m_outstanding;         // queued + running per generation
    uint32_t m_started = 0;                            // threads that built their Worker
    bool m_running = false;
    bool m_stopping = false;
};
