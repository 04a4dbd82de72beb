// Filling the keeper's empty tags (title, artist, album, year, track, genre,
// cover picture) from the copies of its group: first a plan the user looks
// over, then its writing through TagLib. Only tags change, never the audio
// data, and a keeper is replaced whole by a tagged copy of itself, so that a
// failure leaves it as it was. Plain functions on files the caller names;
// any thread, but no two calls may write the same file at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "duplicate_groups.h"
#include "sibling_file.h"

enum class KeeperField : uint8_t { kTitle, kArtist, kAlbum, kYear, kTrack, kGenre, kCover };
inline constexpr size_t kKeeperFieldCount = 7;
// "title", "artist", "album", "year", "track", "genre", "cover".
const char* KeeperFieldName(KeeperField field);

struct TagFill {
    KeeperField field = KeeperField::kTitle;
    std::u16string source;  // the copy the value is taken from
    // UTF-8 as written; for the cover its type ("image/png"), the picture
    // itself being read again from source when written.
    std::string value;
    uint64_t pictureBytes = 0;  // the cover's size
};

struct KeeperTagPlan {
    std::u16string keeper;
    std::vector<TagFill> fills;  // at most one per field, in KeeperField order
    // Empty when the keeper's tags were read; else why none can be filled
    // (fills is then empty).
    std::string problem;
};

// The plan for one group; members is ArrangeGroup's list, keeper first. A
// field is planned only when the keeper's is empty. A file tied in by its
// tags alone may be another recording, so it gives nothing; the other
// copies give in the order of members, duplicates first. A cover is planned
// only for a keeper whose format holds pictures (MP3, FLAC, Ogg, M4A, WMA).
KeeperTagPlan PlanKeeperTags(const std::vector<GroupMember>& members);

struct TagFillFailure {
    std::u16string path;
    std::string reason;  // English, one sentence without a final stop
};

struct TagFillResult {
    size_t filesWritten = 0;
    size_t fieldsFilled = 0;
    std::vector<TagFillFailure> failures;  // one per keeper that stayed unchanged
};

// Writes every plan with fills. A field that the keeper has gained since
// the plan was made is left as it is now; a cover whose source no longer
// holds one is skipped. A keeper that cannot be read, copied, saved or
// replaced is a failure with its reason, and its file is unchanged.
// TagLib saves in place, so it saves a copy made beside the keeper (with its
// permission bits and, where allowed, its owner), which is read back,
// synced and renamed over the keeper only when whole and only if the keeper
// did not change meanwhile; a keeper that is a link is replaced at the file
// it leads to. A keeper with other hard links is replaced under its own name
// alone, and extended attributes are not carried over. beforeRewrite may be
// empty.
TagFillResult WriteKeeperTags(const std::vector<KeeperTagPlan>& plans,
                              const BeforeRewrite& beforeRewrite);
