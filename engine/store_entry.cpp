#include "store_entry.h"

#include <atomic>
#include <cstring>

TextSketches SketchesOf(const StoreEntry& entry) {
    TextSketches sketches;
    for (int key = 0; key < kTextKeys; ++key) {
        sketches.key[key] = SketchText(TagText(entry.grip, static_cast<TagField>(key)));
    }
    return sketches;
}

Grip GripOf(const StoreEntry& entry) {
    Grip g;
    static_cast<GripTexts&>(g) = entry.grip;
    // A file joins the scan under the shared lock.
    g.sequence = std::atomic_ref<uint32_t>(const_cast<uint32_t&>(entry.grip.sequence))
                     .load(std::memory_order_relaxed);
    std::memcpy(g.spectrum.data(), entry.vectors.spectrum, sizeof(float) * kComparedBins);
    std::memcpy(g.envelope.data(), entry.vectors.envelope, sizeof(float) * kEnvelopeLength);
    std::memcpy(g.drift.data(), entry.vectors.drift, sizeof(float) * kDriftLength);
    return g;
}
