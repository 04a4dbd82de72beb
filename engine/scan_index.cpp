#include "scan_index.h"

#include <algorithm>

void ScanIndex::Reserve(size_t room) {
    if (room > m_entries.size()) {
        m_entries.resize(room);
        m_projections.resize(room);
        m_open.resize(room);
        m_contourKeys.resize(room);
        m_sketches.resize(room);
        m_sketchLines.resize(room);
    }
}

void ScanIndex::Insert(size_t at, StoreEntry* entry) {
    SpectrumBounds bounds;
    ProjectSpectrum(m_basis, entry->vectors, bounds);
    const size_t size = this->size();
    const auto shift = [size, at](auto& slots) {
        std::move_backward(slots.begin() + static_cast<std::ptrdiff_t>(at),
                           slots.begin() + static_cast<std::ptrdiff_t>(size),
                           slots.begin() + static_cast<std::ptrdiff_t>(size + 1));
    };
    shift(m_entries);
    shift(m_projections);
    shift(m_open);
    shift(m_contourKeys);
    shift(m_sketches);
    shift(m_sketchLines);
    m_entries[at] = entry;
    m_projections[at] = bounds.projection;
    m_open[at].finer = bounds.finer;
    std::copy(std::begin(entry->vectors.drift), std::end(entry->vectors.drift), m_open[at].drift);
    m_contourKeys[at] = entry->vectors.contourKey;
    m_sketches[at] = SketchesOf(*entry);
    m_sketchLines[at] = FoldSketches(m_sketches[at].key);
    m_size.store(size + 1, std::memory_order_release);
}

void ScanIndex::Erase(size_t at) {
    const size_t size = this->size();
    const auto shift = [size, at](auto& slots) {
        std::move(slots.begin() + static_cast<std::ptrdiff_t>(at + 1),
                  slots.begin() + static_cast<std::ptrdiff_t>(size),
                  slots.begin() + static_cast<std::ptrdiff_t>(at));
    };
    shift(m_entries);
    shift(m_projections);
    shift(m_open);
    shift(m_contourKeys);
    shift(m_sketches);
    shift(m_sketchLines);
    m_size.store(size - 1, std::memory_order_release);
}

SpectrumBounds ScanIndex::ProjectionOf(const StoreEntry& entry, size_t at) const {
    if (at < size() && m_entries[at] == &entry) {
        return {m_projections[at], m_open[at].finer};
    }
    SpectrumBounds bounds;
    ProjectSpectrum(m_basis, entry.vectors, bounds);
    return bounds;
}

bool ScanIndex::BasisDue(size_t stored) const {
    // Enough spectra for their principal directions to speak for the library.
    constexpr size_t kLeastSample = 64;
    // A first scan builds the directions from its first files; they are
    // built again as the store grows fourfold, until a sample of the whole
    // library speaks for it.
    constexpr size_t kGrowth = 4;
    constexpr size_t kSettled = 4096;
    return stored >= kLeastSample &&
           (m_basis.empty() || (m_basisBuiltAt < kSettled && stored >= kGrowth * m_basisBuiltAt));
}

void ScanIndex::Rebase(const std::vector<const GripVectors*>& sample, size_t stored) {
    m_basisBuiltAt = stored;
    m_basis = BuildSpectrumBasis(sample);
    SpectrumBounds bounds;
    for (size_t at = 0; at < size(); ++at) {
        ProjectSpectrum(m_basis, m_entries[at]->vectors, bounds);
        m_projections[at] = bounds.projection;
        m_open[at].finer = bounds.finer;
    }
}

void ScanIndex::DropBasis() {
    m_basis = SpectrumBasis();
    m_basisBuiltAt = 0;
}
