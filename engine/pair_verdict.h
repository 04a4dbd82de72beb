// The verdict on a listed pair: what kind of copy one file is of the other,
// from the pair's record and, for the two files of equal size or both FLAC,
// their bytes; two files of equal fingerprints are decoded to compare their
// samples. Reads files; runs on any thread but never under the store's lock.
#pragma once

#include <string_view>

#include "scan_owner.h"

class Analyzer;

enum class Verdict {
    kSameFile,       // the same bytes
    kSameAudio,      // equal decoded samples of the analysed window, or equal FLAC MD5 signatures
    kSameRecording,  // alike by content
    kShifted,        // alike by content at an alignment of at least one stretch
    kBandLimited,    // alike by content over a narrow band
    kTagsOnly,       // listed by its tags alone
};

struct PairVerdict {
    Verdict verdict = Verdict::kTagsOnly;
    // Of a content match: how many seconds later the music comes in path2's
    // analysed window than in path1's.
    float offsetSeconds = 0.0f;
};

// The verdict on pair. A file that cannot be read or decoded is taken as
// differing in its bytes and samples; the verdict then follows from the
// record alone. decoder extracts the analysed windows of a pair whose
// fingerprints are equal (rare: a copy in another container or codec
// without loss), so that "same audio" means equal samples; its last grip
// and samples are overwritten. Null: no pair is decoded and equal
// fingerprints alone never make "same audio".
PairVerdict JudgeVerdict(const DuplicatePair& pair, Analyzer* decoder);

// "same file", "same audio", "same recording", "shifted", "band-limited",
// "tags only".
std::string_view VerdictName(Verdict verdict);
