// The experimental comparison: a slow second opinion on a listed pair. It
// decodes the first minute of both files again and looks for the best
// alignment of 15-second excerpts of one file within the other, by a
// loudness-change curve (25 values a second) and 25 logarithmic frequency
// bands (one value a second). Runs on a worker thread with that worker's own
// DecoderSet and arrays of its own; touches no shared state but the owner's
// PendingPairs (under pairsLock) and the scan's cancellation token.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder_set.h"
#include "scan_owner.h"

inline constexpr uint32_t kOpeningLength = 1323000;  // 60 s
inline constexpr uint32_t kLoudnessWindow = 11025;   // 0.5 s each side
inline constexpr uint32_t kFrameLength = 882;        // 40 ms
inline constexpr uint32_t kBandCount = 25;
inline constexpr uint32_t kBandBlockLength = 22050;    // 1 s
inline constexpr uint32_t kBandTransformSize = 65536;  // each block is zero-padded to this
inline constexpr uint32_t kOnsetExcerpt = 375;         // curve values, 15 s
inline constexpr uint32_t kBandExcerpt = 15;           // blocks, 15 s

// Runs ExperimentalScore(path1, path2); while generation is still current,
// appends an update record for the pair to owner.PendingPairs: isUpdate,
// experimentalPercent = score x 100, or kExperimentalFailed when the score
// failed. Posts WM_PAIRS_READY, also when the record was dropped as stale.
// Returns the score's result code.
HRESULT CompareExperimental(int32_t generation, const std::u16string& path1,
                            const std::u16string& path2, DecoderSet& decoders, ScanOwner& owner);

// The pair's figure in 0..1 (0 for silent openings). E_FAIL when a file cannot
// be opened or yields fewer than kOpeningLength samples; *score is then 0.
HRESULT ExperimentalScore(const std::u16string& path1, const std::u16string& path2,
                          DecoderSet& decoders, float* score);

// The first n samples of the file (fewer when it ends sooner), mean removed;
// rms receives their RMS (0 for an empty opening). E_FAIL when no plug-in
// opens the file. A decoder that keeps returning empty chunks is taken to have
// ended.
HRESULT ReadOpening(const std::u16string& path, uint32_t n, DecoderSet& decoders,
                    std::vector<float>& opening, float* rms);

// Loudness change per frame of d samples, each in -1..1: positive where the
// signal gets louder, negative where it gets quieter, 0 where it stays
// (silence included). Holds floor(size / d) values. E_FAIL when x holds fewer
// than 2w samples, or w or d is 0.
HRESULT OnsetCurve(const std::vector<float>& x, uint32_t w, uint32_t d, float rms,
                   std::vector<float>& curve);

// Transform bins of the band edges: band k covers bins e[k] <= j < e[k+1] of
// a kBandTransformSize-point transform at 22050 Hz.
const std::array<uint32_t, kBandCount + 1>& BandEdges();

// Mean transform magnitude of each of the 25 bands in each 1 s block (the last
// block may be partial), band by band: the value of band k in block b is at
// k x blocks + b. An empty x gives an empty profile.
void BandProfile(const std::vector<float>& x, std::vector<float>& profile);

// How well excerpts of B (curve onsetB, profile bandsB) are found in A, 0..1.
// l is the curve excerpt in values, m the band excerpt in blocks. 0 for curves
// shorter than l, profiles shorter than 25 x m or of unequal size; an excerpt
// that does not fit into B's series is left out.
float AlignScore(const std::vector<float>& onsetA, const std::vector<float>& onsetB,
                 const std::vector<float>& bandsA, const std::vector<float>& bandsB, uint32_t l,
                 uint32_t m);
