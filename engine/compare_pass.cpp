#include "compare_pass.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "compare_settings.h"
#include "content_compare.h"
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
    const size_t earlier = store.EarlierInScan(*a);
    for (size_t k = 0; k < earlier; ++k) {
        const GripStore::Entry* b = scan[k];
        const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
        const float s = g_sensitivity.load(std::memory_order_relaxed);
        // Both figures are shown for a listed pair; a pair that the
        // method's one set of scores rejects needs the other set for nothing.
        TagScores tags;
        bool accepted = (method & kCompareContent) != 0 && JudgeContent(a->vectors, b->vectors, s);
        if (accepted || (method & kCompareTags) != 0) {
            tags = ComputeTagScoresWith(a->grip, b->grip, [&](TagField fa, TagField fb) {
                return overlaps.Get(fa, TagText(a->grip, fa), b->textIds[fb], TagText(b->grip, fb));
            });
            accepted = accepted || TagsAccept(tags.tagScore, s);
        }
        if (accepted) {
            // The figure comes from the reference score, as the decisions do.
            listed.push_back(Listed{b, ContentPercent(SpectrumScore(a->vectors, b->vectors), s),
                                    TagPercent(tags.tagScore, s)});
        }
    }
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
