#include "compare_pass.h"

#include <mutex>

#include "compare_settings.h"
#include "content_compare.h"
#include "scan_state.h"
#include "tag_compare.h"

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
    for (const auto& [pathB, b] : store.entries()) {
        // Skips A itself, entries outside the scan and files that joined later.
        if (!(b.grip.sequence < sequence)) {
            continue;
        }
        const ContentScores content = ComputeContentScores(a->grip, a->vectors, b.grip, b.vectors);
        const TagScores tags = ComputeTagScores(a->grip, b.grip);

        const int32_t method = g_compareMethod.load(std::memory_order_relaxed);
        const float s = g_sensitivity.load(std::memory_order_relaxed);
        const bool accepted = ((method & kCompareContent) != 0 && ContentAccepts(content, s)) ||
                              ((method & kCompareTags) != 0 && TagsAccept(tags.tagScore, s));
        if (!accepted) {
            continue;
        }
        // Read once, so a pair never waits for a figure that was not requested.
        const bool experimental = g_accurate.load(std::memory_order_relaxed) && poster != nullptr;
        if (experimental) {
            poster->PostExperimental(generation, path, pathB);
        }
        {
            std::lock_guard<std::mutex> pairs(owner.pairsLock);
            DuplicatePair& pair = owner.PendingPairs.emplace_back();
            pair.path1 = path;
            pair.path2 = pathB;
            pair.contentPercent = ContentPercent(content.spectrumScore, s);
            pair.tagPercent = TagPercent(tags.tagScore, s);
            pair.experimentalPercent =
                experimental ? kExperimentalPending : kExperimentalNotRequested;
        }
        owner.Post(WM_PAIRS_READY);
    }
    return S_OK;
}
