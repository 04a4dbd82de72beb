// The cancellation token of the scan engine: the generation of the current
// scan and the stop flag. Every engine step checks IsCurrent before it starts
// and between its steps. Process-wide; any thread may read, only the front
// end's thread changes them.
#pragma once

#include <atomic>
#include <cstdint>

// 1 at start; incremented when a scan starts, so the first scan is 2. Never reset.
inline std::atomic<int32_t> ScanGeneration{1};
// Set once when the front end shuts the engine down; never cleared.
inline std::atomic<int32_t> stopRequested{0};

inline bool IsCurrent(int32_t generation) {
    return stopRequested.load() == 0 && generation == ScanGeneration.load();
}
