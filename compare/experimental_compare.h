// The experimental comparison: a slow second opinion on a listed pair. It
// decodes the first minute of both files again and looks for the best
// alignment of 15-second excerpts of one file within the other, by a
// loudness-change curve (25 values a second) and 25 logarithmic frequency
// bands (one value a second). Runs on a worker thread with that worker's own
// DecoderSet; touches no shared state but the owner's PendingPairs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder_set.h"
#include "scan_owner.h"

inline constexpr uint32_t kOpeningLength = 1323000;  // 60 s
inline constexpr uint32_t kLoudnessWindow = 11025;   // 0.5 s each side
inline constexpr uint32_t kFrameLength = 882;        // 40 ms
inline constexpr uint32_t kBandCount = 25;

// Runs ExperimentalScore(path1, path2); when it succeeds and generation is
// still current, appends an update record (isUpdate, experimentalPercent =
// score x 100) for the pair to owner.PendingPairs. Posts WM_PAIRS_READY
// whenever the score was computed. Returns the score's failure code, else S_OK.
HRESULT CompareExperimental(int32_t generation, const std::u16string& path1,
                            const std::u16string& path2, DecoderSet& decoders, ScanOwner& owner);

// The pair's figure in 0..1. E_FAIL when a file cannot be opened or is
// shorter than one minute.
HRESULT ExperimentalScore(const std::u16string& path1, const std::u16string& path2,
                          DecoderSet& decoders, float* score);

// The first n samples of the file, mean removed; rms receives their RMS.
HRESULT ReadOpening(const std::u16string& path, uint32_t n, DecoderSet& decoders,
                    std::vector<float>& opening, float* rms);

// Loudness change per frame of d samples, each in -1..1. E_FAIL when x holds
// fewer than 2w samples or d is 0.
HRESULT OnsetCurve(const std::vector<float>& x, uint32_t w, uint32_t d, float rms,
                   std::vector<float>& curve);

// Mean transform magnitude of each of the 25 bands in each 1 s block, band by
// band (value of band k in block b at k x blocks + b).
void BandProfile(const std::vector<float>& x, std::vector<float>& profile);

// How well excerpts of B are found in A, 0..1.
float AlignScore(const std::vector<float>& onsetA, const std::vector<float>& onsetB,
                 const std::vector<float>& bandsA, const std::vector<float>& bandsB, uint32_t l,
                 uint32_t m);
