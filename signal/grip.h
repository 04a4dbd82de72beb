// Grip: the fingerprint of one audio file, as extracted by the Analyzer,
// kept by the fingerprint store and written byte for byte to the cache file.
// A plain value; whoever holds one owns it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

inline constexpr uint32_t kEnvelopeLength = 100;
inline constexpr uint32_t kDriftLength = 10;
inline constexpr uint32_t kSpectrumLength = 2048;
// Spectrum bins 0..1024 are compared; the upper ones never are.
inline constexpr uint32_t kComparedBins = 1025;
// sequence of an entry that has not joined the current scan.
inline constexpr uint32_t kNotInScan = 0xFFFFFFFFu;

// The four text keys of a Grip: UTF-8 bytes (file names that are not UTF-8
// keep their own bytes), trimmed, ASCII letters lowered.
struct GripTexts {
    std::string nameKey;
    std::string title;
    std::string artist;
    std::string album;
};

struct Grip : GripTexts {
    std::array<float, kEnvelopeLength> envelope{};  // loudness deviation per 0.3 s stretch
    std::array<float, kDriftLength> drift{};  // spectral correlation of neighbouring elevenths
    std::array<float, kSpectrumLength> spectrum{};  // weighted mean magnitude per transform bin
    uint32_t sequence = kNotInScan;                 // order of joining the current scan
};
