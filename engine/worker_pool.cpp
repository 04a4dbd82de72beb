#include "worker_pool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <system_error>

namespace {

// The nice value of the lowest normal priority.
constexpr int kLowestPriority = 19;

void LowerThreadPriority() {
    // On Linux a nice value set for a thread id applies to that thread alone.
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, thread, kLowestPriority);
}

}  // namespace

WorkerPool::WorkerPool(ScanOwner* owner, WorkerFactory factory)
    : m_owner(owner), m_factory(std::move(factory)) {}

WorkerPool::~WorkerPool() {
    Shutdown();
}

uint32_t WorkerPool::DefaultThreadCount() {
    const unsigned processors = std::thread::hardware_concurrency();
    return 2 * (processors == 0 ? 1 : processors);
}

HRESULT WorkerPool::Start(uint32_t threadCount) {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_running || m_stopping) {
            return E_FAIL;
        }
        m_running = true;
    }
    if (threadCount == 0) {
        threadCount = DefaultThreadCount();
    }
    for (uint32_t i = 0; i < threadCount; ++i) {
        try {
            m_threads.emplace_back([this] { Run(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    std::unique_lock<std::mutex> hold(m_mutex);
    m_idle.wait(hold, [this] { return m_started == m_threads.size(); });
    if (m_threads.empty()) {
        m_running = false;
        return E_FAIL;
    }
    return S_OK;
}

bool WorkerPool::PostRequest(std::unique_ptr<WorkRequest> request) {
    if (request == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (!m_running) {
            return false;
        }
        ++m_outstanding[request->generation];
        m_queue.push_back(std::move(request));
    }
    m_wake.notify_one();
    return true;
}

size_t WorkerPool::Shutdown() {
    std::deque<std::unique_ptr<WorkRequest>> dropped;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (!m_running) {
            return 0;
        }
        m_running = false;
        m_stopping = true;
        dropped.swap(m_queue);
        for (const auto& request : dropped) {
            auto it = m_outstanding.find(request->generation);
            if (it != m_outstanding.end() && --it->second == 0) {
                m_outstanding.erase(it);
            }
        }
    }
    m_wake.notify_all();
    m_idle.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    m_threads.clear();
    return dropped.size();
}

void WorkerPool::Run() {
    LowerThreadPriority();
    std::unique_ptr<Worker> worker = m_factory(*this);
    if (worker != nullptr) {
        worker->Initialize(m_owner);
    }
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        ++m_started;
    }
    m_idle.notify_all();

    for (;;) {
        std::unique_ptr<WorkRequest> request;
        {
            std::unique_lock<std::mutex> hold(m_mutex);
            m_wake.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                break;
            }
            request = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (worker != nullptr) {
            // A job that runs out of memory fails alone; the pool goes on.
            try {
                worker->Execute(*request, m_owner);
            } catch (const std::exception&) {
            }
        }
        Finished(request->generation);
    }
    if (worker != nullptr) {
        worker->Terminate(m_owner);
    }
}

void WorkerPool::Finished(int32_t generation) {
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        auto it = m_outstanding.find(generation);
        if (it != m_outstanding.end() && --it->second == 0) {
            m_outstanding.erase(it);
        }
    }
    m_idle.notify_all();
}

bool WorkerPool::HasWork(int32_t generation) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_outstanding.count(generation) != 0;
}

bool WorkerPool::WaitUntilIdle(int32_t generation, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> hold(m_mutex);
    m_idle.wait_for(hold, timeout,
                    [&] { return m_stopping || m_outstanding.count(generation) == 0; });
    return m_outstanding.count(generation) == 0;
}
