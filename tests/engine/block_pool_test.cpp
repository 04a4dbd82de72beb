#include "block_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr size_t kBlock = 5056;  // an entry node's size: not a multiple of 64
constexpr size_t kAlignment = 64;

// Blocks handed out at once never overlap and stay aligned, also while two
// threads take and give back blocks across several chunks; a block of
// another size comes from operator new and goes back there; a trim while
// blocks are in use keeps them.
TEST(BlockPoolTest, BlocksAreDisjointAlignedAndReused) {
    BlockPool pool;
    constexpr int kThreads = 2;
    constexpr size_t kPerThread = 1500;  // several 2 MB chunks in all
    std::vector<std::vector<unsigned char*>> held(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < kPerThread; ++i) {
                auto* block = static_cast<unsigned char*>(pool.Allocate(kBlock, kAlignment));
                std::memset(block, t * 16 + static_cast<int>(i % 16), kBlock);
                held[t].push_back(block);
                if (i % 3 == 2) {  // give one back now and then
                    pool.Release(held[t][i - 1], kBlock, kAlignment);
                    held[t][i - 1] = nullptr;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (size_t i = 0; i < kPerThread; ++i) {
            const unsigned char* block = held[t][i];
            if (block == nullptr) {
                continue;
            }
            ASSERT_EQ(reinterpret_cast<uintptr_t>(block) % kAlignment, 0u);
            const unsigned char expected = static_cast<unsigned char>(t * 16 + i % 16);
            for (size_t k = 0; k < kBlock; k += 97) {
                ASSERT_EQ(block[k], expected) << "thread " << t << " block " << i;
            }
            ASSERT_EQ(block[kBlock - 1], expected);
        }
    }

    void* other = pool.Allocate(100, 16);
    std::memset(other, 1, 100);
    pool.Release(other, 100, 16);

    pool.Trim();  // blocks are still in use: nothing may go
    const unsigned char* kept = held[0].back();
    EXPECT_EQ(kept[kBlock / 2], (kPerThread - 1) % 16);

    for (auto& blocks : held) {
        for (unsigned char* block : blocks) {
            if (block != nullptr) {
                pool.Release(block, kBlock, kAlignment);
            }
        }
    }
    pool.Trim();
}

}  // namespace
