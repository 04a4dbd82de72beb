// Tag comparison of two Grips: substring overlap of title, artist, file name
// and album, the weighted tagScore, the tag rule and the "% tags" figure.
// Pure functions; SubstringOverlap keeps per-thread scratch, so every function
// is safe on any thread. A TagReachFilter belongs to the thread that uses it.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "grip.h"

struct TagScores {
    float titleScore = 0.0f;
    float artistScore = 0.0f;
    float nameScore = 0.0f;
    float albumScore = 0.0f;
    float tagScore = 0.0f;
};

// Share of all substrings of a and of b (up to the shorter length, counted by
// position) that also occur in the other string; 0 when either is empty.
// O(|a| * |b|) time.
float SubstringOverlap(std::string_view a, std::string_view b);

// a is the file that joined the scan later.
TagScores ComputeTagScores(const GripTexts& a, const GripTexts& b);

// The four text keys of a Grip.
enum TagField { kTitleField = 0, kArtistField = 1, kNameField = 2, kAlbumField = 3 };
inline constexpr int kTagFieldCount = 4;

inline const std::string& TagText(const GripTexts& g, TagField field) {
    switch (field) {
        case kTitleField:
            return g.title;
        case kArtistField:
            return g.artist;
        case kNameField:
            return g.nameKey;
        default:
            return g.album;
    }
}

// The largest weighted mean of field scores at most scores[f] (in TagField
// order) over the fields that take part, where an optional field takes part
// or not, and one whose bound is 0 does not; with a margin for rounding.
float WeightedMeanBound(const float (&scores)[kTagFieldCount],
                        const bool (&optional)[kTagFieldCount]);

// Fills tagScore from the four field scores of t.
void WeighTagScores(TagScores& t, const GripTexts& a, const GripTexts& b);

// ComputeTagScores with the overlaps supplied by overlap(fieldOfA,
// fieldOfB), which must return SubstringOverlap of those two texts (for
// instance from a table of earlier results).
template <typename Overlap>
TagScores ComputeTagScoresWith(const GripTexts& a, const GripTexts& b, Overlap&& overlap) {
    TagScores t;
    t.titleScore = overlap(kTitleField, kTitleField);
    t.artistScore = overlap(kArtistField, kArtistField);
    const float crossTitle = overlap(kTitleField, kArtistField);
    const float crossArtist = overlap(kArtistField, kTitleField);
    if (t.titleScore <= crossTitle && t.artistScore <= crossArtist) {
        t.titleScore = crossTitle;
        t.artistScore = crossArtist;
    }
    if (a.title.empty()) {
        t.titleScore = std::max(t.titleScore, overlap(kNameField, kTitleField));
    }
    if (b.title.empty()) {
        t.titleScore = std::max(t.titleScore, overlap(kTitleField, kNameField));
    }
    if (a.artist.empty()) {
        t.artistScore = std::max(t.artistScore, overlap(kNameField, kArtistField));
    }
    if (b.artist.empty()) {
        t.artistScore = std::max(t.artistScore, overlap(kArtistField, kNameField));
    }
    t.nameScore = overlap(kNameField, kNameField);
    t.albumScore = overlap(kAlbumField, kAlbumField);
    WeighTagScores(t, a, b);
    return t;
}

// Which of a Grip's four texts are empty, in TagField order.
using EmptyTexts = std::array<bool, kTagFieldCount>;

inline EmptyTexts EmptyTextsOf(const GripTexts& g) {
    return {g.title.empty(), g.artist.empty(), g.nameKey.empty(), g.album.empty()};
}

// At least the tagScore of two Grips (a the later file) whose empty texts
// are a and b, from the bounds that known(fieldOfA, fieldOfB) gives: at
// least the SubstringOverlap of those two texts, or any negative number
// when it cannot tell (the overlap is then taken as 1).
template <typename Known>
__attribute__((always_inline)) inline float TagScoreBound(const EmptyTexts& a, const EmptyTexts& b,
                                                          Known&& known) {
    auto bound = [&](TagField fa, TagField fb) -> float {
        if (a[fa] || b[fb]) {
            return 0.0f;
        }
        const float v = known(fa, fb);
        return v < 0.0f ? 1.0f : v;
    };
    // A field missing on a side counts only with a score above 0 (the album
    // only when missing on both): such a field may be in the mean or out.
    const bool optional[kTagFieldCount] = {
        a[kTitleField] || b[kTitleField], a[kArtistField] || b[kArtistField],
        a[kNameField] || b[kNameField], a[kAlbumField] && b[kAlbumField]};
    const float name = bound(kNameField, kNameField);
    const float album = bound(kAlbumField, kAlbumField);
    // Title and artist are compared either straight or crossed, as the swap
    // rule picks; then a missing one may take the file name's overlap.
    float best = 0.0f;
    for (const bool crossed : {false, true}) {
        float title = crossed ? bound(kTitleField, kArtistField) : bound(kTitleField, kTitleField);
        float artist =
            crossed ? bound(kArtistField, kTitleField) : bound(kArtistField, kArtistField);
        if (a[kTitleField]) {
            title = std::max(title, bound(kNameField, kTitleField));
        }
        if (b[kTitleField]) {
            title = std::max(title, bound(kTitleField, kNameField));
        }
        if (a[kArtistField]) {
            artist = std::max(artist, bound(kNameField, kArtistField));
        }
        if (b[kArtistField]) {
            artist = std::max(artist, bound(kArtistField, kNameField));
        }
        const float scores[kTagFieldCount] = {title, artist, name, album};
        best = std::max(best, WeightedMeanBound(scores, optional));
    }
    return best;
}

template <typename Known>
float TagScoreBound(const GripTexts& a, const GripTexts& b, Known&& known) {
    return TagScoreBound(EmptyTextsOf(a), EmptyTextsOf(b), std::forward<Known>(known));
}

// A few numbers per text that bound its SubstringOverlap with any other
// text: its length, which of 128 classes its two- and its three-byte
// substrings fall in, and the most starts that share one class.
struct TextSketch {
    // A count of repeats that stands for this many or more.
    static constexpr uint16_t kManyRepeats = 0xFFFF;
    uint64_t pairs[2] = {0, 0};
    uint64_t triples[2] = {0, 0};
    uint32_t length = 0;
    uint16_t pairRepeats = 0;
    uint16_t tripleRepeats = 0;
};

TextSketch SketchText(std::string_view text);

// SubstringOverlap's counts for two sketched texts: at least the common
// substrings it finds, and exactly all it counts (0 when a text is empty). A
// start whose first two bytes occur nowhere in the other text begins no
// common substring longer than 1, one whose first three bytes occur nowhere
// none longer than 2. A common substring of length L > 2 needs the three
// bytes at each of its first L - 2 starts in both texts, so of t starts
// whose three bytes may be in both, those in a row give the most: 3, 4,
// ..., t + 2 bytes, though none longer than the shorter text.
struct OverlapCounts {
    uint64_t found;
    uint64_t total;
};

namespace sketch_detail {

// Classes set in both sketches.
inline uint64_t Shared(const uint64_t (&u)[2], const uint64_t (&v)[2]) {
    return static_cast<uint64_t>(std::popcount(u[0] & v[0]) + std::popcount(u[1] & v[1]));
}

// Starts of a text of the given length whose two or three bytes may occur
// in the other text (at most starts of them), when the texts share that
// many classes.
inline uint64_t StartsIn(uint64_t shared, uint16_t repeats, uint64_t length, uint64_t starts) {
    const uint64_t most = repeats == TextSketch::kManyRepeats ? length : uint64_t{repeats};
    return std::min(starts, shared * most);
}

// 1 + 2 + ... + t beyond the first two bytes, each at most m - 2.
inline uint64_t BeyondTwo(uint64_t t, uint64_t m) {
    const uint64_t rising = std::min(t, m - 2);
    return rising * (rising + 1) / 2 + (t - rising) * (m - 2);
}

// The common substrings longer than 2 of texts of lengths lx, ly, with
// m = min(lx, ly) >= 3, that share this many classes of three bytes.
inline uint64_t FoundBeyondTwo(uint64_t triples, uint16_t repeatsX, uint64_t lx, uint16_t repeatsY,
                               uint64_t ly, uint64_t m) {
    return BeyondTwo(StartsIn(triples, repeatsX, lx, lx - 2), m) +
           BeyondTwo(StartsIn(triples, repeatsY, ly, ly - 2), m);
}

// Every substring SubstringOverlap counts, for m = min(lx, ly).
inline uint64_t AllCounted(uint64_t lx, uint64_t ly, uint64_t m) {
    return m * (lx + ly + 2) - m * (m + 1);
}

}  // namespace sketch_detail

__attribute__((always_inline)) inline OverlapCounts OverlapCountsBound(const TextSketch& x,
                                                                       const TextSketch& y) {
    using namespace sketch_detail;
    const uint64_t lx = x.length;
    const uint64_t ly = y.length;
    const uint64_t m = std::min(lx, ly);
    if (m < 3) {
        return {m, m};
    }
    const uint64_t pairs = Shared(x.pairs, y.pairs);
    const uint64_t triples = Shared(x.triples, y.triples);
    return {lx + ly + StartsIn(pairs, x.pairRepeats, lx, lx - 1) +
                StartsIn(pairs, y.pairRepeats, ly, ly - 1) +
                FoundBeyondTwo(triples, x.tripleRepeats, lx, y.tripleRepeats, ly, m),
            AllCounted(lx, ly, m)};
}

// At least SubstringOverlap of the two sketched texts.
inline float OverlapBound(const TextSketch& x, const TextSketch& y) {
    const OverlapCounts c = OverlapCountsBound(x, y);
    if (c.total == 0) {
        return 0.0f;
    }
    if (c.found >= c.total) {
        return 1.0f;
    }
    // The same rounding as SubstringOverlap's, which is monotonic.
    return static_cast<float>(static_cast<double>(c.found) / static_cast<double>(c.total));
}

// Whether the sketched texts' SubstringOverlap may reach low: false means
// it lies below.
__attribute__((always_inline)) inline bool OverlapMayReach(const TextSketch& x, const TextSketch& y,
                                                           double low) {
    const OverlapCounts c = OverlapCountsBound(x, y);
    return c.total != 0 && static_cast<double>(c.found) >= low * static_cast<double>(c.total);
}

// Whether some field of two Grips may score at least s, where mayReach(fa,
// fb) tells whether the overlap of a's text fa with b's text fb may, and
// bLacksName tells whether b lacks a title or an artist. A weighted mean
// reaches s only if one of its fields does, and a field scores the overlap
// of one pair of their texts: title or artist with title or artist, the
// file name with any of these three when one is missing, album with album.
template <typename MayReach>
__attribute__((always_inline)) inline bool AnyFieldMayReach(const TextSketch (&a)[kTagFieldCount],
                                                            bool bLacksName, MayReach&& mayReach) {
    const bool nameStandsIn =
        a[kTitleField].length == 0 || a[kArtistField].length == 0 || bLacksName;
    return mayReach(kTitleField, kTitleField) || mayReach(kArtistField, kArtistField) ||
           mayReach(kTitleField, kArtistField) || mayReach(kArtistField, kTitleField) ||
           mayReach(kNameField, kNameField) || mayReach(kAlbumField, kAlbumField) ||
           (nameStandsIn &&
            (mayReach(kNameField, kTitleField) || mayReach(kNameField, kArtistField) ||
             mayReach(kTitleField, kNameField) || mayReach(kArtistField, kNameField)));
}

// The overlap a field must reach for a tagScore of s: below s by more than
// the rounding of an overlap to single precision.
inline double ReachLow(float s) {
    return static_cast<double>(s) - 1e-6;
}

// Whether some field of two Grips, sketched in TagField order, may score at
// least s; false means their tagScore lies below s.
inline bool SomeFieldMayReach(const TextSketch (&a)[kTagFieldCount],
                              const TextSketch (&b)[kTagFieldCount], float s) {
    if (!(s > 0.0f)) {
        return true;
    }
    const double low = ReachLow(s);
    const bool bLacksName = b[kTitleField].length == 0 || b[kArtistField].length == 0;
    return AnyFieldMayReach(
        a, bLacksName, [&](TagField fa, TagField fb) __attribute__((always_inline)) {
            return OverlapMayReach(a[fa], b[fb], low);
        });
}

// The sketches of a Grip's texts folded into one cache line, for a first look
// that reads a quarter of them: each text's classes of three bytes with the
// top 16 folded onto the lowest (class c and c + 112 share a bit, so the
// classes two texts may share are never undercounted), its length and its
// most repeats, capped at 255.
struct alignas(64) SketchLine {
    static constexpr int kFolded = 16;
    static constexpr uint64_t kHighClasses = (uint64_t{1} << (64 - kFolded)) - 1;
    struct Text {
        uint64_t low = 0;   // classes 0..63, and 112..127 on 0..15
        uint64_t high = 0;  // classes 64..111; length and repeats in the top bytes
        uint32_t length() const { return static_cast<uint32_t>(high >> 48) & 0xFF; }
        uint32_t tripleRepeats() const { return static_cast<uint32_t>(high >> 56); }
    };
    Text text[kTagFieldCount];
};
static_assert(sizeof(SketchLine) == 64);

SketchLine FoldSketches(const TextSketch (&sketches)[kTagFieldCount]);

// SomeFieldMayReach for one Grip against many, at a fraction of the cost.
// For each of its texts it learns how many classes of three bytes a text of
// the other Grip, of a given length and repeats, must share with it before
// the sketch bound can reach s, even with every start taken to share its
// first two bytes. Most pairs of texts share fewer and are told apart by two
// bit counts. One per thread; a pass begins it for its Grip.
class TagReachFilter {
  public:
    // Texts below this length, with fewer starts in one class of three
    // bytes, are looked up; the others are bounded in full.
    static constexpr uint32_t kLookedUpLength = 128;
    static constexpr uint32_t kLookedUpRepeats = 4;
    static_assert(kLookedUpLength < 255 && kLookedUpRepeats < 255,
                  "a sketch line's capped texts are never looked up");

    // Until the next Begin, the filter stands for no Grip.
    void Clear() { m_sensitivity = std::numeric_limits<float>::quiet_NaN(); }
    // Stands for the Grip sketched in a, at sensitivity s.
    void Begin(const TextSketch (&a)[kTagFieldCount], float s);
    float sensitivity() const { return m_sensitivity; }

    // Exactly SomeFieldMayReach(a, b, s).
    __attribute__((always_inline)) bool MayReach(const TextSketch (&b)[kTagFieldCount]) {
        if (!(m_sensitivity > 0.0f)) {
            return true;
        }
        const bool bLacksName = b[kTitleField].length == 0 || b[kArtistField].length == 0;
        return AnyFieldMayReach(
            m_a, bLacksName, [&](TagField fa, TagField fb) __attribute__((always_inline)) {
                const TextSketch& y = b[fb];
                if (!SharesEnough(fa, sketch_detail::Shared(m_a[fa].triples, y.triples), y.length,
                                  y.tripleRepeats)) {
                    return false;
                }
                return OverlapMayReach(m_a[fa], y, m_low);
            });
    }

    // False only where MayReach is false for the Grip whose sketches were
    // folded into line: a first look, read from one cache line.
    __attribute__((always_inline)) bool MayReach(const SketchLine& line) {
        if (!(m_sensitivity > 0.0f)) {
            return true;
        }
        const bool bLacksName =
            line.text[kTitleField].length() == 0 || line.text[kArtistField].length() == 0;
        return AnyFieldMayReach(
            m_a, bLacksName, [&](TagField fa, TagField fb) __attribute__((always_inline)) {
                const SketchLine::Text& y = line.text[fb];
                const uint64_t(&x)[2] = m_a[fa].triples;
                // Each class of y's is in the line, the top ones on the lowest bits.
                const uint64_t shared = static_cast<uint64_t>(
                    std::popcount(x[0] & y.low) +
                    std::popcount(x[1] & y.high & SketchLine::kHighClasses) +
                    std::popcount((x[1] >> (64 - SketchLine::kFolded)) & y.low));
                return SharesEnough(fa, shared, y.length(), y.tripleRepeats());
            });
    }

  private:
    static constexpr uint8_t kNotLearned = 0xFF;
    // False when a's text fa and a text of the given length and repeats that
    // share no more than shared classes of three bytes cannot overlap
    // enough; texts too long or too repetitive to look up pass.
    __attribute__((always_inline)) bool SharesEnough(TagField fa, uint64_t shared, uint32_t length,
                                                     uint32_t tripleRepeats) {
        if (length >= kLookedUpLength || tripleRepeats >= kLookedUpRepeats) {
            return true;
        }
        uint8_t& needed = m_needed[fa][length][tripleRepeats];
        if (needed == kNotLearned) {
            needed = Needed(m_a[fa], length, static_cast<uint16_t>(tripleRepeats));
        }
        return shared >= needed;
    }
    // The fewest shared classes with which the texts' bound may reach low.
    uint8_t Needed(const TextSketch& x, uint32_t length, uint16_t tripleRepeats) const;

    TextSketch m_a[kTagFieldCount];
    float m_sensitivity = std::numeric_limits<float>::quiet_NaN();
    double m_low = 0.0;
    // By text of a, then length and repeats of the other text. What is
    // learned for a text holds for any text of its length and repeats at
    // the same sensitivity: the next Grip keeps it.
    uint8_t m_needed[kTagFieldCount][kLookedUpLength][kLookedUpRepeats];
    struct LearnedFor {
        bool any = false;
        uint32_t length = 0;
        uint16_t tripleRepeats = 0;
        double low = 0.0;
    };
    LearnedFor m_learnedFor[kTagFieldCount];
};

inline bool TagsAccept(float tagScore, float sensitivity) {
    return tagScore >= sensitivity;
}

// 0..100: how far tagScore lies between the sensitivity and 1. At sensitivity
// 1 only a tagScore of exactly 1 passes; it shows 100.
float TagPercent(float tagScore, float sensitivity);
