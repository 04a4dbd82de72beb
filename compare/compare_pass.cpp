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
    const uint32_t sequence = a->grip.sequence;
    for (const auto& [pathB, b] : store.ordered()) {
        // Skips A itself, entries outside the scan and files that joined later.
        if (!(b->grip.sequence < sequence)) {
            continue;
        }
        const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
        const float s = g_sensitivity.load(std::memory_order_relaxed);
        // Both sets of scores are shown for a listed pair; a pair that the
        // method's one set rejects needs the other set for nothing.
        ContentScores content;
        TagScores tags;
        bool accepted = false;
        if ((method & kCompareContent) != 0) {
            content = ComputeContentScores(a->grip, a->vectors, b->grip, b->vectors);
            accepted = ContentAccepts(content, s);
        }
        if (accepted || (method & kCompareTags) != 0) {
            tags = ComputeTagScoresWith(a->grip, b->grip, [&](TagField fa, TagField fb) {
                return overlaps.Get(fa, TagText(a->grip, fa), b->textIds[fb], TagText(b->grip, fb));
            });
            accepted = accepted || TagsAccept(tags.tagScore, s);
        }
        if (!accepted) {
            continue;
        }
        if ((method & kCompareContent) == 0) {
            content = ComputeContentScores(a->grip, a->vectors, b->grip, b->vectors);
        }
        // Read once, so a pair never waits for a figure that was not requested.
        const bool experimental = g_accurate.load(std::memory_order_relaxed) && poster != nullptr;
        if (experimental) {
            poster->PostExperimental(generation, path, *pathB);
        }
        {
            std::lock_guard<std::mutex> pairs(owner.pairsLock);
            DuplicatePair& pair = owner.PendingPairs.emplace_back();
            pair.path1 = path;
            pair.path2 = *pathB;
            pair.contentPercent = ContentPercent(content.spectrumScore, s);
            pair.tagPercent = TagPercent(tags.tagScore, s);
            pair.experimentalPercent =
                experimental ? kExperimentalPending : kExperimentalNotRequested;
        }
        owner.Post(WM_PAIRS_READY);
    }
    return S_OK;
}
