#include "worker_pool.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "test_grips.h"

namespace {

using namespace std::chrono_literals;

constexpr int kRequests = 3000;

struct Tally {
    std::vector<std::atomic<int>> runs = std::vector<std::atomic<int>>(kRequests);
    std::atomic<int> total{0};
    std::atomic<int> niceness{-100};
    std::atomic<bool> gateOpen{true};
    std::atomic<int> entered{0};
};

// Counts each request by the number in its path; a request whose path starts
// with 'f' posts one follow-up of the same generation.
class CountingWorker : public Worker {
  public:
    CountingWorker(WorkerPool& pool, Tally& tally) : m_pool(pool), m_tally(tally) {}
    void Initialize(ScanOwner*) override {
        errno = 0;
        m_tally.niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    }
    void Execute(const WorkRequest& request, ScanOwner*) override {
        m_tally.entered.fetch_add(1);
        while (!m_tally.gateOpen.load()) {
            std::this_thread::yield();
        }
        if (!request.path.empty() && request.path[0] == u'f') {
            auto next = std::make_unique<WorkRequest>(request);
            next->path = request.path.substr(1);
            m_pool.PostRequest(std::move(next));
            return;
        }
        const int index = std::stoi(std::string(request.path.begin(), request.path.end()));
        m_tally.runs[index].fetch_add(1);
        m_tally.total.fetch_add(1);
    }

  private:
    WorkerPool& m_pool;
    Tally& m_tally;
};

std::unique_ptr<WorkRequest> Request(int32_t generation, const std::string& path) {
    auto r = std::make_unique<WorkRequest>();
    r->kind = kProcessFile;
    r->generation = generation;
    r->path = std::u16string(path.begin(), path.end());
    return r;
}

WorkerPool::WorkerFactory Counting(Tally& tally) {
    return [&tally](WorkerPool& pool) { return std::make_unique<CountingWorker>(pool, tally); };
}

void WaitIdle(const WorkerPool& pool, int32_t generation) {
    while (!pool.WaitUntilIdle(generation, 1s)) {
    }
}

TEST(WorkerPoolTest, EveryRequestRunsOnceAndFollowUpsKeepTheGenerationBusy) {
    Tally tally;
    RecordingOwner owner;
    WorkerPool pool(&owner, Counting(tally));
    ASSERT_EQ(pool.Start(4), S_OK);
    EXPECT_EQ(pool.ThreadCount(), 4u);
    for (int i = 0; i < kRequests; ++i) {
        // Every third request runs through a follow-up.
        std::string path = std::to_string(i);
        if (i % 3 == 0) {
            path.insert(path.begin(), 'f');
        }
        ASSERT_TRUE(pool.PostRequest(Request(7, path)));
    }
    WaitIdle(pool, 7);
    EXPECT_FALSE(pool.HasWork(7));
    EXPECT_EQ(tally.total.load(), kRequests);
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_EQ(tally.runs[i].load(), 1) << i;
    }
    EXPECT_EQ(tally.niceness.load(), 19);
    EXPECT_EQ(pool.Shutdown(), 0u);
    EXPECT_FALSE(pool.PostRequest(Request(7, "1")));
}

TEST(WorkerPoolTest, ShutdownDropsAFullQueueUnrun) {
    Tally tally;
    tally.gateOpen = false;
    RecordingOwner owner;
    WorkerPool pool(&owner, Counting(tally));
    ASSERT_EQ(pool.Start(1), S_OK);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(pool.PostRequest(Request(3, std::to_string(i))));
    }
    while (tally.entered.load() == 0) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(pool.HasWork(3));
    size_t dropped = 0;
    std::thread stopper([&] { dropped = pool.Shutdown(); });
    // Once the pool refuses requests, its queue has been taken.
    while (pool.PostRequest(Request(3, "0"))) {
    }
    tally.gateOpen = true;
    stopper.join();
    EXPECT_EQ(tally.total.load(), 1);  // only the request that was running
    EXPECT_GE(dropped, 99u);
    EXPECT_FALSE(pool.HasWork(3));
}

TEST(WorkerPoolTest, DefaultSizeIsTwoPerProcessorAndIdleGenerationsHaveNoWork) {
    Tally tally;
    RecordingOwner owner;
    WorkerPool pool(&owner, Counting(tally));
    EXPECT_FALSE(pool.PostRequest(Request(1, "1")));  // not started
    ASSERT_EQ(pool.Start(), S_OK);
    EXPECT_EQ(pool.ThreadCount(), 2 * std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(pool.Start(), E_FAIL);
    EXPECT_FALSE(pool.HasWork(1));
    EXPECT_TRUE(pool.WaitUntilIdle(1, 0ms));
}

}  // namespace
