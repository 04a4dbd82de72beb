// BlockPool: equal blocks for the fingerprint store's entries (about 5 KB
// each), carved from 2 MB chunks that the kernel is asked to back with huge
// pages and to fill at once. A store of 100,000 entries then takes a few
// hundred page faults instead of a hundred thousand, which on a virtual
// machine cost more than building the entries; passes also miss the TLB less.
// PoolAllocator hands a container's single nodes to a pool.
// Threads: any thread may allocate and release at once (one mutex).
#pragma once

#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

class BlockPool {
  public:
    BlockPool() = default;
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // A block of size bytes aligned to alignment (at most 64). The first call
    // fixes the pool's block size; a later call for another size, or a pool
    // that cannot map memory, is served by operator new. Throws
    // std::bad_alloc as operator new does.
    void* Allocate(size_t size, size_t alignment);
    // Gives back a block that Allocate(size, alignment) returned.
    void Release(void* block, size_t size, size_t alignment);
    // Gives the chunks back to the system when no block is in use.
    void Trim();

  private:
    bool Pooled(size_t size, size_t alignment) const;

    std::mutex m_mutex;
    size_t m_size = 0;   // of a block as the caller asked; 0 until the first call
    size_t m_step = 0;   // of a block in a chunk
    void* m_free = nullptr;  // released blocks, linked through their first bytes
    char* m_next = nullptr;  // the unused rest of the newest chunk
    char* m_end = nullptr;
    size_t m_live = 0;
    std::vector<void*> m_chunks;  // by address
};

// An allocator for a node-based container whose nodes come from pool (or from
// operator new when pool is null).
template <class T>
class PoolAllocator {
  public:
    using value_type = T;

    explicit PoolAllocator(BlockPool* pool = nullptr) : m_pool(pool) {}
    template <class U>
    PoolAllocator(const PoolAllocator<U>& other) : m_pool(other.pool()) {}

    T* allocate(size_t n) {
        if (m_pool == nullptr || n != 1) {
            return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(alignof(T))));
        }
        return static_cast<T*>(m_pool->Allocate(sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (m_pool == nullptr || n != 1) {
            ::operator delete(p, std::align_val_t(alignof(T)));
            return;
        }
        m_pool->Release(p, sizeof(T), alignof(T));
    }

    BlockPool* pool() const { return m_pool; }
    template <class U>
    bool operator==(const PoolAllocator<U>& other) const {
        return m_pool == other.pool();
    }

  private:
    BlockPool* m_pool;
};
