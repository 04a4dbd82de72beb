#include "compare_pass.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "compare_settings.h"
#include "content_compare.h"
#include "projection_bound.h"
#include "scan_state.h"
#include "tag_compare.h"

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

}  // namespace

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
    thread_local OverlapTable overlaps;
    overlaps.Begin(store.textCount());
    // The pairs this pass lists, gathered in the order of the scan and
    // handed over in path order.
    struct Listed {
        const GripStore::Entry* b;
        float contentPercent;
        float tagPercent;
    };
    thread_local std::vector<Listed> listed;
    listed.clear();
    const std::vector<GripStore::Entry*>& scan = store.scan();
    const SpectrumProjection* projections = store.scanProjections().data();
    const SpectrumProjection projectionA = store.ProjectionOf(*a);
    const size_t earlier = store.EarlierInScan(*a);
    uint64_t scored = 0;
    uint64_t contentScored = 0;
    uint64_t tagsScoredCount = 0;
    for (size_t k = 0; k < earlier; ++k) {
        const GripStore::Entry* b = scan[k];
        const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
        const float s = g_sensitivity.load(std::memory_order_relaxed);
        auto overlap = [&](TagField fa, TagField fb) {
            return overlaps.Get(fa, TagText(a->grip, fa), b->textIds[fb], TagText(b->grip, fb));
        };
        // Content accepts no pair whose spectrumScore lies below the loose
        // threshold; the tags none whose tagScore lies below s. The bounds
        // decide that for most pairs: the spectrum's from a few projections,
        // the tags' from the overlaps with the other file's artist and album
        // (texts that many files share, so the table knows most of them).
        bool accepted = false;
        bool tagsScored = false;
        bool anyScored = false;
        TagScores tags;
        if ((method & kCompareContent) != 0 &&
            SpectrumScoreBound(projectionA, projections[k]) >= ThresholdsFor(s).loose) {
            anyScored = true;
            ++contentScored;
            accepted = JudgeContent(a->vectors, b->vectors, s);
        }
        if (!accepted && (method & kCompareTags) != 0 &&
            TagScoreBound(a->grip, b->grip, [&](TagField fa, TagField fb) {
                return fb == kArtistField || fb == kAlbumField ? overlap(fa, fb) : -1.0f;
            }) >= s) {
            anyScored = true;
            tagsScored = true;
            ++tagsScoredCount;
            tags = ComputeTagScoresWith(a->grip, b->grip, overlap);
            accepted = TagsAccept(tags.tagScore, s);
        }
        scored += anyScored;
        if (accepted) {
            // Both figures are shown for a listed pair.
            if (!tagsScored) {
                tags = ComputeTagScoresWith(a->grip, b->grip, overlap);
            }
            // The figure comes from the reference score, as the decisions do.
            listed.push_back(Listed{b, ContentPercent(SpectrumScore(a->vectors, b->vectors), s),
                                    TagPercent(tags.tagScore, s)});
        }
    }
    GlobalPassCounters().judged.fetch_add(earlier, std::memory_order_relaxed);
    GlobalPassCounters().scored.fetch_add(scored, std::memory_order_relaxed);
    GlobalPassCounters().contentScored.fetch_add(contentScored, std::memory_order_relaxed);
    GlobalPassCounters().tagsScored.fetch_add(tagsScoredCount, std::memory_order_relaxed);
    std::sort(listed.begin(), listed.end(),
              [](const Listed& x, const Listed& y) { return *x.b->path < *y.b->path; });
    for (const Listed& pairB : listed) {
        // Read once, so a pair never waits for a figure that was not requested.
        const bool experimental = g_accurate.load(std::memory_order_relaxed) && poster != nullptr;
        if (experimental) {
            poster->PostExperimental(generation, path, *pairB.b->path);
        }
        {
            std::lock_guard<std::mutex> pairs(owner.pairsLock);
            DuplicatePair& pair = owner.PendingPairs.emplace_back();
            pair.path1 = path;
            pair.path2 = *pairB.b->path;
            pair.contentPercent = pairB.contentPercent;
            pair.tagPercent = pairB.tagPercent;
            pair.experimentalPercent =
                experimental ? kExperimentalPending : kExperimentalNotRequested;
        }
        owner.Post(WM_PAIRS_READY);
    }
    return S_OK;
}
