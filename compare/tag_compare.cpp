#include "tag_compare.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr float kTitleWeight = 0.4f;
constexpr float kArtistWeight = 0.3f;
constexpr float kNameWeight = 0.15f;
constexpr float kAlbumWeight = 0.15f;

}  // namespace

namespace {

// The overlap counted with one 64-bit mask per start in a, for a b of at most
// 64 bytes. match[p] holds bit q when a[p..p+L) == b[q..q+L) for the current
// length L. A start p of a contributes one found substring per length while
// its mask is not empty, and a start q of b one per length while some mask
// has bit q. The work is proportional to the matches found, which are few for
// unrelated texts.
uint64_t FoundShortB(const unsigned char* a, size_t la, const unsigned char* b, size_t lb,
                     size_t m) {
    thread_local uint64_t byteMask[256] = {};
    thread_local std::vector<uint64_t> single;  // matches of length 1
    thread_local std::vector<uint64_t> match;   // matches of the current length
    thread_local std::vector<uint32_t> active;  // starts whose match is not empty
    for (size_t q = 0; q < lb; ++q) {
        byteMask[b[q]] |= uint64_t{1} << q;
    }
    single.resize(la);
    match.resize(la);
    active.clear();
    uint64_t any = 0;
    for (size_t p = 0; p < la; ++p) {
        single[p] = match[p] = byteMask[a[p]];
        if (match[p] != 0) {
            active.push_back(static_cast<uint32_t>(p));
            any |= match[p];
        }
    }
    for (size_t q = 0; q < lb; ++q) {
        byteMask[b[q]] = 0;
    }

    // A start can match at length L+1 only if the start after it matched at
    // length L, so only the starts before the active ones are extended. The
    // active list is ascending; extending p from p+1 in that order reads each
    // mask before it is overwritten.
    uint64_t found = 0;
    for (size_t length = 1; length <= m && !active.empty(); ++length) {
        found += active.size() + static_cast<uint64_t>(std::popcount(any));
        size_t kept = 0;
        any = 0;
        for (const uint32_t i : active) {
            if (i == 0) {
                continue;
            }
            const uint64_t extended = single[i - 1] & (match[i] >> 1);
            match[i - 1] = extended;
            if (extended != 0) {
                active[kept++] = i - 1;
                any |= extended;
            }
        }
        active.resize(kept);
    }
    return found;
}

// The general case: a substring of a at p occurs in b exactly when its length
// is at most the longest prefix of a[p..] that occurs in b, and likewise for
// b. Those longest prefixes are the row and column maxima of the table of
// longest common prefixes, built one row at a time from the end of a.
uint64_t FoundLongB(const unsigned char* a, size_t la, const unsigned char* b, size_t lb,
                    size_t m) {
    thread_local std::vector<uint16_t> previous;
    thread_local std::vector<uint16_t> current;
    thread_local std::vector<uint16_t> longestB;
    previous.assign(lb + 1, 0);
    current.assign(lb + 1, 0);
    longestB.assign(lb, 0);
    const uint16_t cap = static_cast<uint16_t>(std::min<size_t>(m, 0xFFFF));
    uint64_t found = 0;
    for (size_t p = la; p-- > 0;) {
        const unsigned char c = a[p];
        uint16_t* __restrict row = current.data();
        const uint16_t* __restrict below = previous.data();
        uint16_t* __restrict colMax = longestB.data();
        uint16_t rowMax = 0;
        for (size_t q = 0; q < lb; ++q) {
            uint16_t v = b[q] == c ? static_cast<uint16_t>(below[q + 1] + 1) : 0;
            v = std::min(v, cap);
            row[q] = v;
            rowMax = std::max(rowMax, v);
            colMax[q] = std::max(colMax[q], v);
        }
        found += rowMax;
        previous.swap(current);
    }
    for (size_t q = 0; q < lb; ++q) {
        found += longestB[q];
    }
    return found;
}

}  // namespace

float SubstringOverlap(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) {
        return 0.0f;
    }
    if (a == b) {
        return 1.0f;
    }
    // The measure is symmetric; let b be the shorter string.
    if (b.size() > a.size()) {
        std::swap(a, b);
    }
    const size_t la = a.size();
    const size_t lb = b.size();
    const size_t m = lb;
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    const uint64_t found =
        lb <= 64 ? FoundShortB(pa, la, pb, lb, m) : FoundLongB(pa, la, pb, lb, m);
    const uint64_t total =
        static_cast<uint64_t>(m) * (la + lb + 2) - static_cast<uint64_t>(m) * (m + 1);
    return static_cast<float>(static_cast<double>(found) / static_cast<double>(total));
}

TagScores ComputeTagScores(const GripTexts& a, const GripTexts& b) {
    return ComputeTagScoresWith(a, b, [&a, &b](TagField fa, TagField fb) {
        return SubstringOverlap(TagText(a, fa), TagText(b, fb));
    });
}

float WeightedMeanBound(const float (&scores)[kTagFieldCount],
                        const bool (&optional)[kTagFieldCount]) {
    // Covers the single-precision rounding of tagScore.
    constexpr double kRounding = 1e-6;
    const double weights[kTagFieldCount] = {kTitleWeight, kArtistWeight, kNameWeight, kAlbumWeight};
    // Fields that always take part, and those that may or may not.
    double fixedSum = 0.0;
    double fixedWeight = 0.0;
    int free[kTagFieldCount];
    int freeCount = 0;
    for (int f = 0; f < kTagFieldCount; ++f) {
        if (!optional[f]) {
            fixedSum += weights[f] * scores[f];
            fixedWeight += weights[f];
        } else if (scores[f] > 0.0f) {
            free[freeCount++] = f;
        }
    }
    double best = 0.0;
    for (unsigned subset = 0; subset < (1u << freeCount); ++subset) {
        double sum = fixedSum;
        double weight = fixedWeight;
        for (int k = 0; k < freeCount; ++k) {
            if ((subset >> k & 1u) != 0) {
                sum += weights[free[k]] * scores[free[k]];
                weight += weights[free[k]];
            }
        }
        if (weight > 0.0) {
            best = std::max(best, sum / weight);
        }
    }
    return static_cast<float>(best + kRounding);
}

void WeighTagScores(TagScores& t, const GripTexts& a, const GripTexts& b) {
    // A field that is missing on a side and scored 0 stays out of the mean;
    // an album missing on one side only still counts.
    float w = 0.0f;
    if (!(t.titleScore == 0.0f && (a.title.empty() || b.title.empty()))) {
        w += kTitleWeight;
    }
    if (!(t.artistScore == 0.0f && (a.artist.empty() || b.artist.empty()))) {
        w += kArtistWeight;
    }
    if (!(t.nameScore == 0.0f && (a.nameKey.empty() || b.nameKey.empty()))) {
        w += kNameWeight;
    }
    if (!(t.albumScore == 0.0f && a.album.empty() && b.album.empty())) {
        w += kAlbumWeight;
    }
    if (w > 0.0f) {
        t.tagScore = (t.titleScore * kTitleWeight + t.artistScore * kArtistWeight +
                      t.nameScore * kNameWeight + t.albumScore * kAlbumWeight) /
                     w;
    }
}

TextSketch SketchText(std::string_view text) {
    TextSketch sketch;
    sketch.length = static_cast<uint32_t>(std::min<size_t>(text.size(), UINT32_MAX));
    uint32_t pairCounts[128] = {};
    uint32_t tripleCounts[128] = {};
    auto mark = [](uint32_t word, uint64_t(&bits)[2], uint32_t(&counts)[128], uint16_t& repeats) {
        const uint32_t cls = (word * 0x9E3779B1u) >> 25;
        bits[cls >> 6] |= uint64_t{1} << (cls & 63);
        const uint32_t most = std::max<uint32_t>(
            repeats, std::min<uint32_t>(++counts[cls], TextSketch::kManyRepeats));
        repeats = static_cast<uint16_t>(most);
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t p = 0; p + 2 <= sketch.length; ++p) {
        const uint32_t pair = bytes[p] | bytes[p + 1] << 8;
        mark(pair, sketch.pairs, pairCounts, sketch.pairRepeats);
        if (p + 3 <= sketch.length) {
            mark(pair | bytes[p + 2] << 16 | 1u << 24, sketch.triples, tripleCounts,
                 sketch.tripleRepeats);
        }
    }
    return sketch;
}

SketchLine FoldSketches(const TextSketch (&sketches)[kTagFieldCount]) {
    SketchLine line;
    for (int field = 0; field < kTagFieldCount; ++field) {
        const TextSketch& x = sketches[field];
        const uint64_t length = std::min<uint64_t>(x.length, 255);
        const uint64_t repeats = std::min<uint64_t>(x.tripleRepeats, 255);
        line.text[field].low = x.triples[0] | (x.triples[1] >> (64 - SketchLine::kFolded));
        line.text[field].high =
            (x.triples[1] & SketchLine::kHighClasses) | (length << 48) | (repeats << 56);
    }
    return line;
}

void TagReachFilter::Begin(const TextSketch (&a)[kTagFieldCount], float s) {
    std::copy(std::begin(a), std::end(a), std::begin(m_a));
    m_sensitivity = s;
    m_low = ReachLow(s);
    for (int field = 0; field < kTagFieldCount; ++field) {
        LearnedFor& learned = m_learnedFor[field];
        const TextSketch& x = m_a[field];
        if (!learned.any || learned.length != x.length ||
            learned.tripleRepeats != x.tripleRepeats || learned.low != m_low) {
            learned = {true, x.length, x.tripleRepeats, m_low};
            std::memset(m_needed[field], kNotLearned, sizeof(m_needed[field]));
        }
    }
}

uint8_t TagReachFilter::Needed(const TextSketch& x, uint32_t length, uint16_t tripleRepeats) const {
    using namespace sketch_detail;
    // More classes than a sketch has: no count reaches it.
    constexpr uint64_t kNever = 129;
    const uint64_t lx = x.length;
    const uint64_t ly = length;
    if (lx == 0 || ly == 0) {
        // An empty text overlaps nothing.
        return kNever;
    }
    if (lx < 3 || ly < 3 || tripleRepeats == 0) {
        return 0;
    }
    const uint64_t m = std::min(lx, ly);
    const double least = m_low * static_cast<double>(AllCounted(lx, ly, m));
    // The bound grows with the shared classes: the fewest with which it may
    // reach least, by bisection.
    uint64_t low = 0;
    uint64_t high = kNever;
    while (low < high) {
        const uint64_t mid = (low + high) / 2;
        const uint64_t found =
            2 * (lx + ly) - 2 + FoundBeyondTwo(mid, x.tripleRepeats, lx, tripleRepeats, ly, m);
        if (static_cast<double>(found) < least) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return static_cast<uint8_t>(low);
}

float TagPercent(float tagScore, float sensitivity) {
    const float range = 1.0f - sensitivity;
    if (range == 0.0f) {
        return tagScore >= 1.0f ? 100.0f : 0.0f;
    }
    const float q = (tagScore - sensitivity) / range;
    return (q > 0.0f ? q : 0.0f) * 100.0f;
}
