// The verdict on a listed pair: what kind of copy one file is of the other,
// from the pair's record and, for the two files of equal size or both FLAC,
// their bytes. Reads files; runs on the front end's thread once a scan is
// over, never under the store's lock.
#pragma once

#include <string_view>

#include "scan_owner.h"

enum class Verdict {
    kSameFile,       // the same bytes
    kSameAudio,      // equal fingerprints of the analysed window, or equal FLAC MD5 signatures
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

// The verdict on pair. A file that cannot be read is taken as differing in
// its bytes; the verdict then follows from the record alone.
PairVerdict JudgeVerdict(const DuplicatePair& pair);

// "same file", "same audio", "same recording", "shifted", "band-limited",
// "tags only".
std::string_view VerdictName(Verdict verdict);
