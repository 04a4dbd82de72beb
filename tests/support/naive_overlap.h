// The substring overlap counted the slow, obvious way: every substring of
// every length searched for in the other string. A reference for tests and
// benchmarks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

inline float NaiveSubstringOverlap(std::string_view a, std::string_view b) {
    const size_t m = std::min(a.size(), b.size());
    uint32_t total = 0;
    uint32_t found = 0;
    for (size_t len = 1; len <= m; ++len) {
        for (size_t p = 0; p + len <= a.size(); ++p) {
            ++total;
            found += b.find(a.substr(p, len)) != std::string_view::npos;
        }
        for (size_t q = 0; q + len <= b.size(); ++q) {
            ++total;
            found += a.find(b.substr(q, len)) != std::string_view::npos;
        }
    }
    if (total == 0) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<double>(found) / static_cast<double>(total));
}
