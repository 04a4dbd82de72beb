// Grips and a recording scan owner for tests and benchmarks of the store, the
// comparison pass and the scan.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>

#include "grip.h"
#include "scan_owner.h"

// A Grip of seeded noise with the given tags.
inline Grip RandomGrip(uint32_t seed, const std::string& title = "", const std::string& artist = "",
                       const std::string& album = "", const std::string& nameKey = "") {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    Grip g;
    for (float& v : g.envelope) {
        v = dist(rng);
    }
    for (float& v : g.drift) {
        v = dist(rng);
    }
    for (float& v : g.spectrum) {
        v = 2.0f + dist(rng);  // magnitudes: positive with a mean well above 0
    }
    g.title = title;
    g.artist = artist;
    g.album = album;
    g.nameKey = nameKey;
    return g;
}

// Counts the messages posted to it.
class RecordingOwner : public ScanOwner {
  public:
    void Post(uint32_t message) override {
        if (message == WM_PAIRS_READY) {
            pairsReady.fetch_add(1);
        } else if (message == WM_CLEAR_PAIRS) {
            clears.fetch_add(1);
        }
    }
    std::atomic<int> pairsReady{0};
    std::atomic<int> clears{0};
};
