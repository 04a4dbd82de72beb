// ScanOwner: what the scan engine reports to. The front end (the desktop
// window or the command line) derives from it. Workers change the counters
// with atomic operations, append to PendingPairs under pairsLock, and call
// Post, which must queue the message for the owner's own thread and return at
// once: a worker never waits for the owner.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "file_stamp.h"
#include "skipped_files.h"

class ResultMemory;
class SkipMemory;

// Messages posted to the owner.
inline constexpr uint32_t WM_USER = 0x400;
inline constexpr uint32_t WM_PAIRS_READY = WM_USER + 1;  // records were appended to PendingPairs
inline constexpr uint32_t WM_CLEAR_PAIRS = WM_USER + 2;  // a new scan starts: clear the list

// experimentalPercent of a pair whose figure was requested and has not arrived.
inline constexpr float kExperimentalPending = -1.0f;
// experimentalPercent of a pair whose figure was not requested.
inline constexpr float kExperimentalNotRequested = -100.0f;
// experimentalPercent of a pair whose figure could not be computed (a file
// shorter than a minute, unreadable by now, ...).
inline constexpr float kExperimentalFailed = -2.0f;

// One accepted pair, or (isUpdate) the late experimental figure of one.
struct DuplicatePair {
    std::u16string path1;  // the file that joined the scan later
    std::u16string path2;  // the earlier file
    float contentPercent = 0.0f;
    float tagPercent = 0.0f;
    float experimentalPercent = kExperimentalNotRequested;
    bool isUpdate = false;
    // The content comparison accepted the pair. A pair listed by its tags
    // alone never makes one file a copy of another in a group.
    bool contentMatch = false;
    // Of a content match: the best alignment in envelope stretches (the music
    // comes shift * 0.3 s later in path2's analysed window than in path1's;
    // 0 in the strict comparison), whether the spectra were compared over a
    // narrow band, and whether the two fingerprints are equal value for value.
    int32_t shift = 0;
    bool narrowBand = false;
    bool sameFingerprint = false;
    uint32_t details1 = 0;  // filled by the front end
    uint32_t details2 = 0;
};

class ScanOwner {
  public:
    virtual ~ScanOwner() = default;

    // Queues message for the owner's thread. Called from any thread; never blocks.
    virtual void Post(uint32_t message) = 0;

    // Swaps every waiting record out under pairsLock.
    std::vector<DuplicatePair> TakePendingPairs() {
        std::vector<DuplicatePair> taken;
        std::lock_guard<std::mutex> hold(pairsLock);
        taken.swap(PendingPairs);
        return taken;
    }

    std::atomic<int32_t> m_pendingCount{0};  // files found by this scan's walks, less failed jobs
    std::atomic<int32_t> m_doneCount{0};     // files whose job succeeded in this scan
    // This scan's files by outcome. Once the scan is over, found equals
    // fromCache + new + skipped.
    std::atomic<int32_t> m_foundCount{0};      // entries the walks found, non-regular ones included
    std::atomic<int32_t> m_fromCacheCount{0};  // files whose Grip was in the store already
    std::atomic<int32_t> m_newCount{0};        // files fingerprinted by this scan
    std::atomic<int32_t> m_skippedCount{0};    // files that gave no Grip (SkippedFiles)

    // Records a skipped file of the current scan. Any thread.
    void AddSkipped(std::u16string path, SkipReason reason) {
        std::lock_guard<std::mutex> hold(skippedLock);
        SkippedFiles.push_back(SkippedFile{std::move(path), reason});
        m_skippedCount.fetch_add(1);
    }
    // A copy of this scan's skipped files, in the order they were found. Any thread.
    std::vector<SkippedFile> CopySkipped() {
        std::lock_guard<std::mutex> hold(skippedLock);
        return SkippedFiles;
    }

    std::mutex pairsLock;
    std::vector<DuplicatePair> PendingPairs;  // guarded by pairsLock

    std::mutex skippedLock;
    std::vector<SkippedFile> SkippedFiles;  // guarded by skippedLock; emptied by ResetScan

    // Files skipped by earlier scans; null: every file not in the store is
    // decoded. Set by the front end before the pool starts.
    SkipMemory* skipMemory = nullptr;

    // The pairs of the last complete scan; null: every file is compared.
    // While it is set, a file that joined that scan and is unchanged joins
    // this one without a pass, and every other file waits (Defer) until the
    // known ones have joined. Set by the front end before a scan begins.
    const ResultMemory* knownPairs = nullptr;

    // A file of generation's scan whose job waits until the known files have
    // joined. Any thread.
    void Defer(int32_t generation, std::u16string path) {
        std::lock_guard<std::mutex> hold(joinedLock);
        Deferred.push_back({generation, std::move(path), {}, false});
    }
    // A file that joined generation's scan with a Grip, with the stamp it was
    // judged by; known: it joined as a file of the last complete scan. Any thread.
    void NoteJoined(int32_t generation, const std::u16string& path, const FileStamp& stamp,
                    bool known) {
        std::lock_guard<std::mutex> hold(joinedLock);
        Joined.push_back({generation, path, stamp, known});
    }
    struct ScanFile {
        int32_t generation;
        std::u16string path;
        FileStamp stamp;
        bool known;
    };
    std::mutex joinedLock;
    std::vector<ScanFile> Deferred;  // guarded by joinedLock
    std::vector<ScanFile> Joined;    // guarded by joinedLock
};
