// The process-wide comparison settings: compare method, experimental switch,
// sensitivity and the strict comparison. The front end's thread writes them (when the settings are
// read at start and when the user changes them); workers read them without a
// lock while they judge pairs, so a change applies to the pairs judged after it.
#pragma once

#include <atomic>
#include <cstdint>

inline constexpr int32_t kCompareTags = 1;     // bit of g_compareMethod: compare tags
inline constexpr int32_t kCompareContent = 2;  // bit of g_compareMethod: compare content
inline constexpr int32_t kCompareBoth = kCompareTags | kCompareContent;
inline constexpr uint32_t kDefaultSensitivityHundredths = 75;

inline std::atomic<int32_t> g_compareMethod{kCompareBoth};
inline std::atomic<bool> g_accurate{false};
inline std::atomic<float> g_sensitivity{0.75f};
// Content is compared as the windows lie, over the whole band, when set;
// otherwise at the best alignment and over the band both files carry.
inline std::atomic<bool> g_strictCompare{false};

// The compare method of a stored "CompareMethod" value: 1..3 as it stands,
// anything else 3.
inline int32_t CompareMethodFromStored(uint32_t stored) {
    return stored >= 1 && stored <= 3 ? static_cast<int32_t>(stored) : kCompareBoth;
}

// The sensitivity of a stored "Sensitivity" value in whole hundredths.
inline float SensitivityFromStored(uint32_t hundredths) {
    return static_cast<float>(static_cast<double>(hundredths) * 0.01);
}

// The whole hundredths stored for a sensitivity in 0..1.
inline uint32_t SensitivityToStored(float sensitivity) {
    return static_cast<uint32_t>(sensitivity * 100.0f + 0.5f);
}
