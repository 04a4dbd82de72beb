// CPairVerdicts: the verdict on every pair of the main window's results,
// judged on a thread of its own, because a verdict reads both files (and
// decodes them when their fingerprints are equal) and a list of 100,000
// pairs must stay responsive. Records are judged in the order they are
// queued; verdicts arrive on the main thread in batches. The object and its
// verdicts belong to the main thread; the worker sees only copies.
#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pair_verdict.h"
#include "scan_owner.h"

// The verdict in the user's words, said of one file of the pair. laterBy:
// the seconds by which that file's music comes later than the other's
// (told only of a shifted pair).
QString VerdictText(const PairVerdict& verdict, float laterBy);
// The laterBy of path2 (second) or of path1 in the verdict's pair.
float LaterBy(const PairVerdict& verdict, bool second);

class CPairVerdicts : public QObject {
    Q_OBJECT

  public:
    // pluginFolder: where the plug-ins that decode the files lie (unset: the
    // program's own folder).
    explicit CPairVerdicts(std::optional<std::string> pluginFolder, QObject* parent = nullptr);
    // Stops the worker after the verdict at hand; later ones are dropped.
    ~CPairVerdicts() override;

    // Queues pairs[first, end) for judging; copies what the verdicts need.
    void Judge(const std::vector<DuplicatePair>& pairs, uint32_t first, uint32_t end);
    // Forgets every verdict and drops the queue: the records are gone.
    void Clear();
    // The verdict on record, or null while it is not judged yet.
    const PairVerdict* Find(uint32_t record) const;

  signals:
    // Verdicts for records [first, end) arrived.
    void Judged(uint32_t first, uint32_t end);

  private:
    struct Job {
        uint32_t record;
        DuplicatePair pair;
    };
    void Run();
    // Main thread: stores a batch judged for generation.
    void Store(uint64_t generation, uint32_t first, const std::vector<PairVerdict>& verdicts);

    const std::optional<std::string> m_pluginFolder;
    std::vector<PairVerdict> m_verdicts;  // main thread; by record
    std::vector<bool> m_judged;           // main thread; by record

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;    // guarded by m_lock
    uint64_t m_generation = 0;  // guarded by m_lock; grows with each Clear
    bool m_stop = false;        // guarded by m_lock
    std::thread m_worker;
};
