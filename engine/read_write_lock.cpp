#include "read_write_lock.h"

void ReadWriteLock::AcquireShared() {
    std::unique_lock<std::mutex> hold(m_guard);
    if (m_waitingWriters > 0 || m_active < 0) {
        ++m_waitingReaders;
        hold.unlock();
        // Release() has already made this thread one of the active readers
        // when it lets the semaphore go.
        m_readers.acquire();
        return;
    }
    ++m_active;
}

void ReadWriteLock::AcquireExclusive() {
    std::unique_lock<std::mutex> hold(m_guard);
    if (m_active != 0) {
        ++m_waitingWriters;
        hold.unlock();
        m_writers.acquire();
        return;
    }
    m_active = -1;
}

void ReadWriteLock::Release() {
    std::ptrdiff_t wakeReaders = 0;
    bool wakeWriter = false;
    {
        std::lock_guard<std::mutex> hold(m_guard);
        if (m_active >= 1) {
            --m_active;
        } else {
            m_active = 0;
        }
        if (m_active == 0) {
            if (m_waitingWriters > 0) {
                m_active = -1;
                --m_waitingWriters;
                wakeWriter = true;
            } else if (m_waitingReaders > 0) {
                m_active = m_waitingReaders;
                wakeReaders = m_waitingReaders;
                m_waitingReaders = 0;
            }
        }
    }
    if (wakeWriter) {
        m_writers.release();
    } else if (wakeReaders > 0) {
        m_readers.release(wakeReaders);
    }
}

int32_t ReadWriteLock::WaitingReaders() {
    std::lock_guard<std::mutex> hold(m_guard);
    return m_waitingReaders;
}

int32_t ReadWriteLock::WaitingWriters() {
    std::lock_guard<std::mutex> hold(m_guard);
    return m_waitingWriters;
}
