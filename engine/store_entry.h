// StoreEntry: what the fingerprint store holds of one file, and the sketches
// of its text keys that a comparison pass reads before it needs the entry.
// Entries live in the store's map and are reached through it; their threads
// are the store's (grip_store.h).
#pragma once

#include <cstdint>
#include <string>

#include "grip.h"
#include "grip_vectors.h"
#include "tag_compare.h"

// Number of text keys; StoreEntry::textIds holds them in the order title,
// artist, nameKey, album.
inline constexpr int kTextKeys = 4;

// What an entry holds of its Grip: the texts, the sequence, and the compared
// series (in vectors). The upper spectrum bins are never compared and stay in
// the cache file only.
struct HeldGrip : GripTexts {
    uint32_t sequence = kNotInScan;
};

struct StoreEntry {
    // Leaves vectors and textIds unset (the store's Prepare and Insert fill
    // them), sparing a clear of some 5 KB per entry.
    StoreEntry() {}
    GripVectors vectors;
    HeldGrip grip;
    // Each text key's number in the store's table of distinct texts; equal
    // texts share a number, the empty text is 0.
    uint32_t textIds[kTextKeys];
    // Its key in the store.
    const std::u16string* path = nullptr;
};

// The sketches of an entry's text keys, in TagField order.
struct TextSketches {
    TextSketch key[kTextKeys];
};

TextSketches SketchesOf(const StoreEntry& entry);

// The Grip that entry holds: its texts, sequence and compared series; the
// spectrum bins above them, which the store does not keep, are 0.
Grip GripOf(const StoreEntry& entry);
