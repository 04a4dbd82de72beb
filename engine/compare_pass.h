// ComparePass: judges one file of a scan against every file that joined the
// scan before it, by content and by tags under the process-wide compare
// method and sensitivity, and hands each accepted pair to the owner. Runs on
// a worker thread; any number of passes run at once. Takes the store's lock
// shared for its whole run and the owner's pairsLock (after it) per record.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "decoder_contract.h"
#include "grip_store.h"
#include "scan_owner.h"

// Queues the experimental comparison of (path1, path2) under generation.
// Called before pairsLock is taken; must not block on the store's lock.
class ExperimentalPoster {
  public:
    virtual ~ExperimentalPoster() = default;
    virtual void PostExperimental(int32_t generation, const std::u16string& path1,
                                  const std::u16string& path2) = 0;
};

// Running totals over every pass of the process, for benchmarks: pairs
// judged, pairs that some score was computed for in full (the others were
// pruned by the bounds alone), and of those the ones whose content and whose
// tags were; and the pairs whose tags passed the first look at the folded
// sketches, the first bound on the sketches themselves, and
// the bound from the texts' sketches; and the pairs whose envelopes were
// tried at every alignment.
struct PassCounters {
    std::atomic<uint64_t> judged{0};
    std::atomic<uint64_t> scored{0};
    std::atomic<uint64_t> contentScored{0};
    std::atomic<uint64_t> aligned{0};
    std::atomic<uint64_t> tagsScored{0};
    std::atomic<uint64_t> tagsPastLine{0};
    std::atomic<uint64_t> tagsPastFirstBound{0};
    std::atomic<uint64_t> tagsPastSketchBound{0};
};
PassCounters& GlobalPassCounters();

// S_OK when the pass ran to its end, listed or not; E_FAIL when generation
// is no longer current as the pass begins; E_NOT_IN_STORE when path is not
// in the store. The caller holds none of the store's locks. poster may be
// null, in which case no experimental figure is requested. Only pairs that
// the bounds cannot reject are scored in full; the pairs listed are exactly
// those that the scores' formulas accept.
HRESULT ComparePass(int32_t generation, const std::u16string& path, GripStore& store,
                    ScanOwner& owner, ExperimentalPoster* poster);

// Judges a listed pair of an earlier scan again under the process-wide
// settings now, as a pass would judge it: later joined the scan after
// earlier. false when the pair is no longer listed; otherwise its figures in
// pair are made afresh (its paths and the experimental figure stay). The
// caller holds the store's lock, shared or exclusive.
bool JudgeAgain(const GripStore& store, const GripStore::Entry& later,
                const GripStore::Entry& earlier, DuplicatePair& pair);
