#include "compare_pass.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "compare_settings.h"
#include "content_compare.h"
#include "projection_bound.h"
#include "scan_state.h"
#include "tag_compare.h"
#include "tolerant_compare.h"

namespace {

static_assert(kTitleField == 0 && kArtistField == 1 && kNameField == 2 && kAlbumField == 3,
              "the store numbers its text keys in TagField order");

// The overlaps of one file's four texts with every distinct text of the
// store, filled as pairs ask for them: artists and albums recur across a
// library, so most of a pass's overlaps are found here. Stamped per pass
// instead of cleared. One per worker thread.
class OverlapTable {
  public:
    void Begin(size_t textCount) {
        if (++m_pass == 0) {
            std::fill(m_stamps.begin(), m_stamps.end(), 0u);
            m_pass = 1;
        }
        Grow(textCount);
    }
    // Makes room for texts that joined the store during the pass.
    void Grow(size_t textCount) {
        if (m_stamps.size() < textCount * kTagFieldCount) {
            m_stamps.resize(textCount * kTagFieldCount, 0u);
            m_values.resize(textCount * kTagFieldCount, 0.0f);
        }
    }
    // SubstringOverlap(textA, the store's text number idB).
    float Get(TagField fieldA, const std::string& textA, uint32_t idB, const std::string& textB) {
        const size_t slot = static_cast<size_t>(idB) * kTagFieldCount + fieldA;
        if (m_stamps[slot] != m_pass) {
            m_stamps[slot] = m_pass;
            m_values[slot] = SubstringOverlap(textA, textB);
        }
        return m_values[slot];
    }

  private:
    uint32_t m_pass = 0;
    std::vector<uint32_t> m_stamps;
    std::vector<float> m_values;
};

// A pair this pass lists; the other file by its path, which outlives any
// moment the pass steps out of the store's lock.
struct Listed {
    std::u16string path2;
    float contentPercent;
    float tagPercent;
    bool contentMatch;
    int32_t shift;
    bool narrowBand;
    bool sameFingerprint;
};

bool SameFingerprint(const GripVectors& a, const GripVectors& b) {
    return std::memcmp(a.spectrum, b.spectrum, sizeof(float) * kComparedBins) == 0 &&
           std::memcmp(a.envelope, b.envelope, sizeof(float) * kEnvelopeLength) == 0 &&
           std::memcmp(a.drift, b.drift, sizeof(float) * kDriftLength) == 0;
}

// Gives the pairs of a with others[0..count) their figures from the
// reference scores, as the decisions come from them; listed[0..count) holds
// the rest of each pair already. The spectrum scores of whole bands are
// made eight at a time.
void FillFigures(const GripStore::Entry& a, const GripStore::Entry* const* others, size_t count,
                 Listed* listed, float s, bool strict) {
    const GripVectors* whole[kSpectrumLanes];
    Listed* wholeListed[kSpectrumLanes];
    uint32_t waiting = 0;
    auto flush = [&] {
        float scores[kSpectrumLanes];
        SpectrumScores(a.vectors, whole, waiting, scores);
        for (uint32_t k = 0; k < waiting; ++k) {
            wholeListed[k]->contentPercent = ContentPercent(scores[k], s);
        }
        waiting = 0;
    };
    for (size_t i = 0; i < count; ++i) {
        const GripVectors& b = others[i]->vectors;
        Listed& pair = listed[i];
        if (!strict) {
            pair.shift = BestShift(a.vectors, b);
            pair.narrowBand = std::min(a.vectors.bandEnd, b.bandEnd) < kComparedBins;
            if (pair.narrowBand) {
                pair.contentPercent =
                    ContentPercent(ComputeTolerantScores(a.vectors, b).spectrumScore, s);
                continue;
            }
        }
        whole[waiting] = &b;
        wholeListed[waiting++] = &pair;
        if (waiting == kSpectrumLanes) {
            flush();
        }
    }
    if (waiting > 0) {
        flush();
    }
}

// The pairs a pass listed whose figures are still to be made, in the order
// of its list, and the settings they were judged with: made together, before
// the pass steps out of the store's lock, while the entries are valid.
struct PendingFigures {
    std::vector<const GripStore::Entry*> others;
    float s = 0.0f;
    bool strict = false;
    // The last others.size() pairs of listed are a's with others.
    void Fill(const GripStore::Entry* a, std::vector<Listed>& listed) {
        if (others.empty()) {
            return;
        }
        FillFigures(*a, others.data(), others.size(), listed.data() + listed.size() - others.size(),
                    s, strict);
        others.clear();
    }
};

// A pair this pass lists, its figures but those FillFigures gives.
Listed Unfilled(const GripStore::Entry& a, const GripStore::Entry& b, float tagScore,
                bool contentMatch, float s) {
    return Listed{*b.path,
                  0.0f,
                  TagPercent(tagScore, s),
                  contentMatch,
                  0,
                  false,
                  SameFingerprint(a.vectors, b.vectors)};
}

// Gives pair the figures of listed; the paths and the experimental figure stay.
void SetFigures(const Listed& listed, DuplicatePair& pair) {
    pair.contentPercent = listed.contentPercent;
    pair.tagPercent = listed.tagPercent;
    pair.contentMatch = listed.contentMatch;
    pair.shift = listed.shift;
    pair.narrowBand = listed.narrowBand;
    pair.sameFingerprint = listed.sameFingerprint;
}

// What one stretch of a pass reads: the file's own figures and the scan's
// index, valid while the pass holds the store's lock.
struct PassView {
    const GripStore::Entry* a;
    SpectrumBounds boundsA;
    GripStore::TextSketches sketchA;
    EmptyTexts emptyA;
    const GripStore::Entry* const* scan;
    const SpectrumProjection* projections;
    const OpenLines* open;
    const ContourKey* contourKeys;
    const GripStore::TextSketches* sketches;
    const SketchLine* sketchLines;
};

// The contour score at which the tolerant comparison may accept a pair; one
// that no bound reaches in the strict comparison.
float ContourNeed(float s, bool strict) {
    return strict ? 3.0f : ContourThreshold(s);
}

struct PassTally {
    uint64_t scored = 0;
    uint64_t contentScored = 0;
    uint64_t aligned = 0;
    uint64_t tagsScored = 0;
    uint64_t tagsPastLine = 0;
    uint64_t tagsPastFirstBound = 0;
    uint64_t tagsPastSketchBound = 0;
};

// Pairs a pass judges between looks at the store's lock.
constexpr size_t kStretch = 128;
static_assert(kStretch <= 256, "a stretch numbers its pairs in a byte");

// Judges file a against the scan's entries at positions [from, to), at most
// kStretch of them. Built for the wider vector and bit-count instructions as
// well, and run with them when the processor has them.
HF_CLONES_X86_64_V3 void JudgeStretch(const PassView& view, size_t from, size_t to,
                                      OverlapTable& overlaps, TagReachFilter& reach,
                                      std::vector<Listed>& listed, PendingFigures& pending,
                                      PassTally& tally) {
    const GripStore::Entry* a = view.a;
    const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
    const float s = g_sensitivity.load(std::memory_order_relaxed);
    const bool strict = g_strictCompare.load(std::memory_order_relaxed);
    if (s != reach.sensitivity() && (method & kCompareTags) != 0) {
        reach.Begin(view.sketchA.key, s);
    }
    // The spectrum bounds of the whole stretch come first, so that the finer
    // projections and then the series of the few files that pass are on
    // their way from memory while the others are bounded.
    bool contentDue[kStretch] = {};
    if ((method & kCompareContent) != 0) {
        const float loose = ThresholdsFor(s).loose;
        const SpectrumBounds& boundsA = view.boundsA;
        uint8_t openPairs[kStretch];
        size_t openCount = 0;
        const ContourKey& keyA = a->vectors.contourKey;
        const float contourNeed = ContourNeed(s, strict);
        auto due = [&](size_t k) {
            contentDue[k - from] = true;
            const auto* lines = reinterpret_cast<const char*>(&view.scan[k]->vectors);
            for (size_t at = 0; at < offsetof(GripVectors, envelope); at += 64) {
                __builtin_prefetch(lines + at);
            }
            __builtin_prefetch(lines + offsetof(GripVectors, spectrumForm));
            if (!strict) {
                __builtin_prefetch(lines + offsetof(GripVectors, contourKey));
            }
        };
        // Pairs that the spectrum's bounds leave out may still pass by
        // their contours.
        for (size_t k = from; k < to; ++k) {
            if (SpectrumScoreBound(boundsA.projection, view.projections[k]) >= loose) {
                openPairs[openCount++] = static_cast<uint8_t>(k - from);
                // Both lines: the drift decides most pairs this bound lets through.
                __builtin_prefetch(&view.open[k].finer);
                __builtin_prefetch(view.open[k].drift);
            } else if (!strict && ContourScoreBound(keyA, view.contourKeys[k]) >= contourNeed) {
                due(k);
            }
        }
        // Below the strict threshold a pair needs its drifts to reach the
        // loose one: they are read first, a line instead of the spectrum.
        const float strictThreshold = ThresholdsFor(s).strict;
        uint8_t driftPairs[kStretch];
        size_t driftCount = 0;
        for (size_t i = 0; i < openCount; ++i) {
            const size_t k = from + openPairs[i];
            const float finer = FinerSpectrumScoreBound(boundsA.projection, boundsA.finer,
                                                        view.projections[k], view.open[k].finer);
            if (!strict && ContourScoreBound(keyA, view.contourKeys[k]) >= contourNeed) {
                due(k);
            } else if (finer >= strictThreshold) {
                due(k);
            } else if (finer >= loose) {
                driftPairs[driftCount++] = openPairs[i];
            }
        }
        for (size_t i = 0; i < driftCount; ++i) {
            const size_t k = from + driftPairs[i];
            if (DriftMayPass(a->vectors.drift, view.open[k].drift, s, strict)) {
                due(k);
            }
        }
    }
    // The same for the tags: the folded sketches of the whole stretch first,
    // so that the sketches of the few pairs they leave open are on their way.
    bool tagsOpen[kStretch] = {};
    if ((method & kCompareTags) != 0) {
        for (size_t k = from; k < to; ++k) {
            const bool open = reach.MayReach(view.sketchLines[k]);
            tagsOpen[k - from] = open;
            tally.tagsPastLine += open;
            if (open) {
                const auto* lines = reinterpret_cast<const char*>(&view.sketches[k]);
                for (size_t at = 0; at < sizeof(GripStore::TextSketches); at += 64) {
                    __builtin_prefetch(lines + at);
                }
                __builtin_prefetch(lines + sizeof(GripStore::TextSketches) - 1);
            }
        }
    }
    // The other files of the pairs listed, whose figures are made at the end.
    if (pending.s != s || pending.strict != strict) {
        pending.Fill(a, listed);
        pending.s = s;
        pending.strict = strict;
    }
    for (size_t k = from; k < to; ++k) {
        const GripStore::Entry* b = view.scan[k];
        const GripStore::TextSketches& sketchesB = view.sketches[k];
        auto overlap = [&](TagField fa, TagField fb) {
            return overlaps.Get(fa, TagText(a->grip, fa), b->textIds[fb], TagText(b->grip, fb));
        };
        // Content accepts no pair whose spectrumScore lies below the loose
        // threshold; the tags none whose tagScore lies below s. The bounds
        // decide that for most pairs: the spectrum's from a few projections;
        // the tags' from the texts' sketches alone (first whether any field
        // can reach s, then the weighted mean), then with the exact overlaps
        // with the other file's artist and album (texts that many files
        // share, so the table knows most of them), then with its title.
        bool accepted = false;
        bool tagsScored = false;
        bool anyScored = false;
        TagScores tags;
        if (contentDue[k - from]) {
            anyScored = true;
            ++tally.contentScored;
            bool aligned = false;
            accepted = strict ? JudgeContent(a->vectors, b->vectors, s)
                              : JudgeTolerant(a->vectors, b->vectors, s, &aligned);
            tally.aligned += aligned;
        }
        const bool contentMatch = accepted;
        if (!accepted && (method & kCompareTags) != 0) {
            const auto& sketchB = sketchesB.key;
            if (tagsOpen[k - from] && reach.MayReach(sketchB)) {
                ++tally.tagsPastFirstBound;
                const EmptyTexts emptyB = {
                    sketchB[kTitleField].length == 0, sketchB[kArtistField].length == 0,
                    sketchB[kNameField].length == 0, sketchB[kAlbumField].length == 0};
                auto sketched = [&](TagField fa, TagField fb) {
                    return OverlapBound(view.sketchA.key[fa], sketchB[fb]);
                };
                // The bound with the exact overlaps of the other file's
                // texts in fields up to last (in the order album, artist,
                // title), its sketches for the rest.
                auto exactUpTo = [&](TagField last) {
                    return TagScoreBound(view.emptyA, emptyB, [&](TagField fa, TagField fb) {
                        const bool exact = fb == kAlbumField ||
                                           (fb == kArtistField && last != kAlbumField) ||
                                           (fb == kTitleField && last == kTitleField);
                        return exact ? overlap(fa, fb) : sketched(fa, fb);
                    });
                };
                const bool pastSketches = TagScoreBound(view.emptyA, emptyB, sketched) >= s;
                tally.tagsPastSketchBound += pastSketches;
                if (pastSketches && exactUpTo(kArtistField) >= s && exactUpTo(kTitleField) >= s) {
                    anyScored = true;
                    tagsScored = true;
                    ++tally.tagsScored;
                    tags = ComputeTagScoresWith(a->grip, b->grip, overlap);
                    accepted = TagsAccept(tags.tagScore, s);
                }
            }
        }
        tally.scored += anyScored;
        if (accepted) {
            // Both figures are shown for a listed pair.
            if (!tagsScored) {
                tags = ComputeTagScoresWith(a->grip, b->grip, overlap);
            }
            listed.push_back(Unfilled(*a, *b, tags.tagScore, contentMatch, s));
            pending.others.push_back(b);
        }
    }
}

}  // namespace

bool JudgeAgain(const GripStore& store, const GripStore::Entry& later,
                const GripStore::Entry& earlier, DuplicatePair& pair) {
    const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
    const float s = g_sensitivity.load(std::memory_order_relaxed);
    const bool strict = g_strictCompare.load(std::memory_order_relaxed);
    bool contentMatch = false;
    if ((method & kCompareContent) != 0) {
        // The pass scores content only past the pruning bounds; so must this.
        const float loose = ThresholdsFor(s).loose;
        const SpectrumBounds boundsA = store.ProjectionOf(later);
        const SpectrumBounds boundsB = store.ProjectionOf(earlier);
        if ((SpectrumScoreBound(boundsA.projection, boundsB.projection) >= loose &&
             FinerSpectrumScoreBound(boundsA.projection, boundsA.finer, boundsB.projection,
                                     boundsB.finer) >= loose) ||
            ContourScoreBound(later.vectors.contourKey, earlier.vectors.contourKey) >=
                ContourNeed(s, strict)) {
            contentMatch = strict ? JudgeContent(later.vectors, earlier.vectors, s)
                                  : JudgeTolerant(later.vectors, earlier.vectors, s);
        }
    }
    const bool tagsCount = contentMatch || (method & kCompareTags) != 0;
    const float tagScore = tagsCount ? ComputeTagScores(later.grip, earlier.grip).tagScore : 0.0f;
    if (!contentMatch && !(tagsCount && TagsAccept(tagScore, s))) {
        return false;
    }
    Listed listed = Unfilled(later, earlier, tagScore, contentMatch, s);
    const GripStore::Entry* others[] = {&earlier};
    FillFigures(later, others, 1, &listed, s, strict);
    SetFigures(listed, pair);
    return true;
}

PassCounters& GlobalPassCounters() {
    static PassCounters counters;
    return counters;
}

HRESULT ComparePass(int32_t generation, const std::u16string& path, GripStore& store,
                    ScanOwner& owner, ExperimentalPoster* poster) {
    SharedHold hold(store.lock());
    // Checked once: a pass that has begun runs to its end.
    if (!IsCurrent(generation)) {
        return E_FAIL;
    }
    const GripStore::Entry* a = store.Find(path);
    if (a == nullptr) {
        return E_NOT_IN_STORE;
    }
    const uint32_t sequence = a->grip.sequence;
    thread_local OverlapTable overlaps;
    overlaps.Begin(store.textCount());
    // The pairs this pass lists, gathered in the order of the scan and
    // handed over in path order.
    thread_local std::vector<Listed> listed;
    listed.clear();
    thread_local PendingFigures pending;
    pending.others.clear();
    PassView view;
    view.sketchA = SketchesOf(*a);
    view.emptyA = EmptyTextsOf(a->grip);
    // Begun for this file by the first stretch that compares tags.
    thread_local TagReachFilter reach;
    reach.Clear();
    PassTally tally;
    uint64_t judged = 0;
    // The pass runs in short stretches and steps out of the lock between
    // them when a writer waits, so that files joining the scan wait for a
    // stretch, not for the whole pass. Most steps find the index as they
    // left it, but for new files at its end; otherwise entries are found
    // again by their sequence numbers, as the index may have moved and its
    // directions may have been built afresh.
    size_t from = 0;
    size_t earlier = 0;
    uint64_t layout = 0;
    for (bool moved = true;;) {
        if (moved) {
            layout = store.scanLayout();
            earlier = store.EarlierInScan(*a);
            view.a = a;
            view.boundsA = store.ProjectionOf(*a);
        }
        view.scan = store.scan().data();
        view.projections = store.scanProjections().data();
        view.open = store.scanOpenLines().data();
        view.contourKeys = store.scanContourKeys().data();
        view.sketches = store.scanSketches().data();
        view.sketchLines = store.scanSketchLines().data();
        overlaps.Grow(store.textCount());
        const size_t to = std::min(earlier, from + kStretch);
        JudgeStretch(view, from, to, overlaps, reach, listed, pending, tally);
        judged += to - from;
        if (to >= earlier) {
            pending.Fill(a, listed);
            break;
        }
        if (!store.lock().WriterWaits()) {
            // Nothing can have changed.
            from = to;
            moved = false;
            continue;
        }
        const uint32_t last = view.scan[to - 1]->grip.sequence;
        pending.Fill(a, listed);
        hold.Release();
        hold.Acquire();
        moved = store.scanLayout() != layout;
        if (!moved) {
            from = to;
            continue;
        }
        a = store.Find(path);
        if (a == nullptr || a->grip.sequence != sequence) {
            // Taken out of the store or out of the scan meanwhile.
            break;
        }
        from = store.ScanPositionOf(last + 1);
    }
    GlobalPassCounters().judged.fetch_add(judged, std::memory_order_relaxed);
    GlobalPassCounters().scored.fetch_add(tally.scored, std::memory_order_relaxed);
    GlobalPassCounters().contentScored.fetch_add(tally.contentScored, std::memory_order_relaxed);
    GlobalPassCounters().aligned.fetch_add(tally.aligned, std::memory_order_relaxed);
    GlobalPassCounters().tagsScored.fetch_add(tally.tagsScored, std::memory_order_relaxed);
    GlobalPassCounters().tagsPastLine.fetch_add(tally.tagsPastLine, std::memory_order_relaxed);
    GlobalPassCounters().tagsPastFirstBound.fetch_add(tally.tagsPastFirstBound,
                                                      std::memory_order_relaxed);
    GlobalPassCounters().tagsPastSketchBound.fetch_add(tally.tagsPastSketchBound,
                                                       std::memory_order_relaxed);
    std::sort(listed.begin(), listed.end(),
              [](const Listed& x, const Listed& y) { return x.path2 < y.path2; });
    for (Listed& pairB : listed) {
        // Read once, so a pair never waits for a figure that was not requested.
        const bool experimental = g_accurate.load(std::memory_order_relaxed) && poster != nullptr;
        if (experimental) {
            poster->PostExperimental(generation, path, pairB.path2);
        }
        {
            std::lock_guard<std::mutex> pairs(owner.pairsLock);
            DuplicatePair& pair = owner.PendingPairs.emplace_back();
            pair.path1 = path;
            pair.path2 = std::move(pairB.path2);
            SetFigures(pairB, pair);
            pair.experimentalPercent =
                experimental ? kExperimentalPending : kExperimentalNotRequested;
        }
        owner.Post(WM_PAIRS_READY);
    }
    return S_OK;
}
