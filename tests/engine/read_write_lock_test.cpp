#include "read_write_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Waits (without a deadline that decides the outcome) until pred holds.
template <typename Pred>
void SpinUntil(Pred pred) {
    while (!pred()) {
        std::this_thread::yield();
    }
}

TEST(ReadWriteLockTest, WritersExcludeEveryoneReadersShare) {
    ReadWriteLock lock;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> maxReaders{0};
    std::atomic<bool> broken{false};
    int64_t counter = 0;  // written only under the exclusive hold
    constexpr int kThreads = 6;
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if ((i + t) % 4 == 0) {
                    ExclusiveHold hold(lock);
                    if (writers.fetch_add(1) != 0 || readers.load() != 0) {
                        broken = true;
                    }
                    ++counter;
                    writers.fetch_sub(1);
                } else {
                    SharedHold hold(lock);
                    const int now = readers.fetch_add(1) + 1;
                    int seen = maxReaders.load();
                    while (now > seen && !maxReaders.compare_exchange_weak(seen, now)) {
                    }
                    if (writers.load() != 0) {
                        broken = true;
                    }
                    const volatile int64_t read = counter;
                    (void)read;
                    readers.fetch_sub(1);
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_FALSE(broken.load());
    EXPECT_EQ(counter, kThreads * kRounds / 4);
}

TEST(ReadWriteLockTest, WaitingWriterOvertakesNewReaders) {
    ReadWriteLock lock;
    SharedHold first(lock);  // a reader holds the lock

    std::atomic<int> order{0};
    std::atomic<int> writerTurn{0};
    std::atomic<int> readerTurn{0};
    std::thread writer([&] {
        ExclusiveHold hold(lock);
        writerTurn = ++order;
    });
    SpinUntil([&] { return lock.WaitingWriters() == 1; });
    std::thread reader([&] {
        SharedHold hold(lock);
        readerTurn = ++order;
    });
    // The reader queues behind the waiting writer instead of joining the
    // reader that holds the lock.
    SpinUntil([&] { return lock.WaitingReaders() == 1; });
    EXPECT_EQ(order.load(), 0);  // neither may pass while the first reader holds it
    first.Release();
    writer.join();
    reader.join();
    EXPECT_EQ(writerTurn.load(), 1);
    EXPECT_EQ(readerTurn.load(), 2);
}

TEST(ReadWriteLockTest, ReleasedWriterWakesEveryWaitingReader) {
    ReadWriteLock lock;
    ExclusiveHold writer(lock);
    std::atomic<int> inside{0};
    std::atomic<bool> release{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            SharedHold hold(lock);
            inside.fetch_add(1);
            SpinUntil([&] { return release.load(); });
        });
    }
    writer.Release();
    SpinUntil([&] { return inside.load() == 4; });  // all four at once
    release = true;
    for (auto& t : readers) {
        t.join();
    }
    // Released fully: a writer gets it at once.
    ExclusiveHold again(lock);
    SUCCEED();
}

}  // namespace
