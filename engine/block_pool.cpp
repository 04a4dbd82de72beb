#include "block_pool.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace {

constexpr size_t kChunkSize = size_t{2} << 20;  // one huge page
constexpr size_t kLargestAlignment = 64;

// Under the sanitizers every block is its own allocation, so that they see
// each one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif

// A chunk aligned to its size, so that it can be one huge page; null when
// the system gives no memory.
void* MapChunk() {
    const size_t span = 2 * kChunkSize;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kChunkSize - 1) & ~(uintptr_t{kChunkSize} - 1);
    if (aligned > start) {
        munmap(mapped, aligned - start);
    }
    if (start + span > aligned + kChunkSize) {
        munmap(reinterpret_cast<void*>(aligned + kChunkSize), start + span - aligned - kChunkSize);
    }
    void* chunk = reinterpret_cast<void*>(aligned);
    // Both are hints: without them the chunk is filled a page at a time.
    madvise(chunk, kChunkSize, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    madvise(chunk, kChunkSize, MADV_POPULATE_WRITE);
#endif
    return chunk;
}

}  // namespace

BlockPool::~BlockPool() {
    for (void* chunk : m_chunks) {
        munmap(chunk, kChunkSize);
    }
}

bool BlockPool::Pooled(size_t size, size_t alignment) const {
    return kPooling && size == m_size && alignment <= kLargestAlignment;
}

void* BlockPool::Allocate(size_t size, size_t alignment) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_size == 0 && size <= kChunkSize / 4) {
            m_size = size;
            m_step = (size + kLargestAlignment - 1) & ~(kLargestAlignment - 1);
        }
        if (Pooled(size, alignment)) {
            if (m_free != nullptr) {
                void* block = m_free;
                m_free = *static_cast<void**>(block);
                ++m_live;
                return block;
            }
            if (m_next == nullptr || static_cast<size_t>(m_end - m_next) < m_step) {
                void* chunk = MapChunk();
                if (chunk != nullptr) {
                    m_chunks.insert(std::upper_bound(m_chunks.begin(), m_chunks.end(), chunk,
                                                     std::less<const void*>()),
                                    chunk);
                    m_next = static_cast<char*>(chunk);
                    m_end = m_next + kChunkSize;
                }
            }
            if (m_next != nullptr && static_cast<size_t>(m_end - m_next) >= m_step) {
                void* block = m_next;
                m_next += m_step;
                ++m_live;
                return block;
            }
        }
    }
    return ::operator new(size, std::align_val_t(alignment));
}

void BlockPool::Release(void* block, size_t size, size_t alignment) {
    if (block == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (Pooled(size, alignment)) {
            // A block that operator new served lies in no chunk.
            const auto after = std::upper_bound(m_chunks.begin(), m_chunks.end(), block,
                                                std::less<const void*>());
            if (after != m_chunks.begin() &&
                static_cast<char*>(block) < static_cast<char*>(*(after - 1)) + kChunkSize) {
                *static_cast<void**>(block) = m_free;
                m_free = block;
                --m_live;
                return;
            }
        }
    }
    ::operator delete(block, std::align_val_t(alignment));
}

void BlockPool::Trim() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_live != 0) {
        return;
    }
    for (void* chunk : m_chunks) {
        munmap(chunk, kChunkSize);
    }
    m_chunks.clear();
    m_free = nullptr;
    m_next = nullptr;
    m_end = nullptr;
}
