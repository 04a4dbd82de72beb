// ScanIndex: the store's entries of the current scan in the order they joined
// it, with what a comparison pass reads of each beside it (the spectrum
// projections on the pruning basis with the drifts, the contour keys, the
// sketches of the text keys and those folded into a line), and the pruning
// basis itself. Owned by the fingerprint store.
//
// Threads: a writer that holds the store exclusively may change it freely;
// one that holds it shared (and the store's join mutex) may append within
// the room there is while passes read, as they read nothing at or past the
// size they find.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "projection_bound.h"
#include "store_entry.h"

// What a pass reads of an earlier file when the first bound leaves the pair
// open: the finer projection, and on the next cache line the file's drift,
// which decides most such pairs below the strict threshold.
struct alignas(64) OpenLines {
    FinerProjection finer;
    float drift[GripVectors::kDriftPadded];
};

class ScanIndex {
  public:
    size_t size() const { return m_size.load(std::memory_order_acquire); }
    bool HasRoom() const { return size() < m_entries.size(); }
    StoreEntry* const* entries() const { return m_entries.data(); }
    const SpectrumProjection* projections() const { return m_projections.data(); }
    const OpenLines* openLines() const { return m_open.data(); }
    const ContourKey* contourKeys() const { return m_contourKeys.data(); }
    const TextSketches* sketches() const { return m_sketches.data(); }
    const SketchLine* sketchLines() const { return m_sketchLines.data(); }
    // Makes room for room entries in all. Only under the exclusive hold.
    void Reserve(size_t room);
    // Puts entry at position at, projected on the basis. Needs room. Under
    // the shared hold only to append (at is the size); anything else under
    // the exclusive hold.
    void Insert(size_t at, StoreEntry* entry);
    void Erase(size_t at);
    void Clear() { m_size.store(0, std::memory_order_release); }

    // entry's projections on the basis, whether it is in the index or not;
    // at is where it would be.
    SpectrumBounds ProjectionOf(const StoreEntry& entry, size_t at) const;

    // Whether the pruning basis should be built again for a store of
    // stored entries.
    bool BasisDue(size_t stored) const;
    // Builds the basis from sample (spectra that speak for a store of stored
    // entries) and projects every entry afresh on it. Only under the
    // exclusive hold.
    void Rebase(const std::vector<const GripVectors*>& sample, size_t stored);
    // Forgets the basis (the store was emptied).
    void DropBasis();

  private:
    std::vector<StoreEntry*> m_entries;  // the room: all slots past the size are spare
    std::vector<SpectrumProjection> m_projections;
    std::vector<OpenLines> m_open;
    std::vector<ContourKey> m_contourKeys;  // copies of the entries' own, read in a row
    std::vector<TextSketches> m_sketches;
    std::vector<SketchLine> m_sketchLines;  // the sketches folded, for a first look
    std::atomic<size_t> m_size{0};
    SpectrumBasis m_basis;
    size_t m_basisBuiltAt = 0;  // entries in the store when m_basis was built
};
