// Helpers shared by the scan benchmarks: processor time of the process,
// words for the titles, artists and albums of a made-up library, and a rescan
// of stored files through the worker pool.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "scan.h"
#include "scan_owner.h"
#include "worker_pool.h"

// User and system time of the whole process so far, in seconds.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

inline const char* const kWords[] = {
    "love",  "night", "heart", "blue",   "road",   "fire",  "dream", "rain",  "summer", "city",
    "light", "down",  "home",  "river",  "dance",  "girl",  "time",  "gold",  "stone",  "wild",
    "sky",   "song",  "moon",  "my",     "the",    "of",    "in",    "you",   "baby",   "again",
    "lost",  "hold",  "run",   "window", "little", "shine", "sweet", "world", "ocean",  "forever"};

// least to most words, separated by blanks.
inline std::string Words(std::mt19937& rng, int least, int most) {
    std::uniform_int_distribution<int> count(least, most);
    std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
    std::string out;
    for (int i = count(rng); i > 0; --i) {
        out += out.empty() ? "" : " ";
        out += kWords[word(rng)];
    }
    return out;
}

// Runs the file jobs of paths under generation on pool and waits for them.
inline void RunFileJobs(WorkerPool& pool, ScanOwner& owner, int32_t generation,
                        const std::vector<std::u16string>& paths) {
    for (const std::u16string& path : paths) {
        auto request = std::make_unique<WorkRequest>();
        request->kind = kProcessFile;
        request->generation = generation;
        request->path = path;
        owner.m_pendingCount.fetch_add(1);
        pool.PostRequest(std::move(request));
    }
    while (!pool.WaitUntilIdle(generation, std::chrono::seconds(1))) {
    }
}
