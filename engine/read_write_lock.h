// ReadWriteLock: the fingerprint store's writer-preferring lock. Many readers
// (comparison passes) or one writer (lookups with their sequence update,
// inserts, the scan reset, the cache clear) hold it at a time; a waiting
// writer overtakes readers that arrive after it. Not re-entrant. Any thread
// may use it; it is used through the scoped holders below.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>

class ReadWriteLock {
  public:
    ReadWriteLock() = default;
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    // Waits while a writer holds the lock or waits for it.
    void AcquireShared();
    // Waits until no reader and no writer holds the lock.
    void AcquireExclusive();
    // Releases one shared or the exclusive hold; hands the lock to one waiting
    // writer if there is one, else to every waiting reader.
    void Release();

    // Threads waiting for a shared or exclusive hold at this moment.
    int32_t WaitingReaders();
    int32_t WaitingWriters();
    // Whether a writer waits, without taking the guard: for a reader that
    // steps out only to let a writer in.
    bool WriterWaits() const { return m_writerWaits.load(std::memory_order_relaxed); }

  private:
    static constexpr std::ptrdiff_t kMaxWaiters = 0x7FFFFFFF;

    std::mutex m_guard;
    int32_t m_waitingReaders = 0;            // guarded by m_guard
    int32_t m_waitingWriters = 0;            // guarded by m_guard
    std::atomic<bool> m_writerWaits{false};  // m_waitingWriters > 0
    int32_t m_active = 0;                    // -1: a writer holds it; n > 0: n readers hold it
    std::counting_semaphore<kMaxWaiters> m_readers{0};
    std::counting_semaphore<kMaxWaiters> m_writers{0};
};

// Holds a ReadWriteLock from construction to destruction; Release and
// Acquire let the owner step out of it for a while.
template <bool Exclusive>
class LockHolder {
  public:
    explicit LockHolder(ReadWriteLock& lock) : m_lock(lock) { Acquire(); }
    ~LockHolder() {
        if (m_held) {
            m_lock.Release();
        }
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    void Acquire() {
        if (!m_held) {
            if constexpr (Exclusive) {
                m_lock.AcquireExclusive();
            } else {
                m_lock.AcquireShared();
            }
            m_held = true;
        }
    }
    void Release() {
        if (m_held) {
            m_held = false;
            m_lock.Release();
        }
    }

  private:
    ReadWriteLock& m_lock;
    bool m_held = false;
};

using SharedHold = LockHolder<false>;
using ExclusiveHold = LockHolder<true>;
