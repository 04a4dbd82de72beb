#include "pair_verdicts.h"

#include <chrono>
#include <cmath>
#include <memory>

#include "analyzer.h"

namespace {

// A batch goes to the main thread once it holds this many verdicts or has
// waited this long, so that a long list fills in steadily without a signal
// per row.
constexpr size_t kBatchSize = 512;
constexpr auto kBatchTime = std::chrono::milliseconds(150);
// Offsets under a twentieth of a second read as none.
constexpr float kNoOffset = 0.05f;

}  // namespace

QString VerdictText(const PairVerdict& verdict, float laterBy) {
    switch (verdict.verdict) {
        case Verdict::kSameFile:
            return CPairVerdicts::tr("same file");
        case Verdict::kSameAudio:
            return CPairVerdicts::tr("same audio");
        case Verdict::kSameRecording:
            return CPairVerdicts::tr("same recording");
        case Verdict::kShifted:
            if (std::fabs(laterBy) < kNoOffset) {
                return CPairVerdicts::tr("shifted");
            }
            return laterBy > 0.0f ? CPairVerdicts::tr("shifted: starts %1 s later")
                                        .arg(static_cast<double>(laterBy), 0, 'f', 1)
                                  : CPairVerdicts::tr("shifted: starts %1 s earlier")
                                        .arg(static_cast<double>(-laterBy), 0, 'f', 1);
        case Verdict::kBandLimited:
            return CPairVerdicts::tr("band-limited");
        case Verdict::kTagsOnly:
            break;
    }
    return CPairVerdicts::tr("tags only");
}

float LaterBy(const PairVerdict& verdict, bool second) {
    return second ? verdict.offsetSeconds : -verdict.offsetSeconds;
}

CPairVerdicts::CPairVerdicts(std::optional<std::string> pluginFolder, QObject* parent)
    : QObject(parent), m_pluginFolder(std::move(pluginFolder)), m_worker([this] { Run(); }) {}

CPairVerdicts::~CPairVerdicts() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_worker.join();
}

void CPairVerdicts::Judge(const std::vector<DuplicatePair>& pairs, uint32_t first, uint32_t end) {
    end = std::min<uint32_t>(end, static_cast<uint32_t>(pairs.size()));
    if (first >= end) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (uint32_t r = first; r < end; ++r) {
            DuplicatePair copy;
            copy.path1 = pairs[r].path1;
            copy.path2 = pairs[r].path2;
            copy.contentMatch = pairs[r].contentMatch;
            copy.shift = pairs[r].shift;
            copy.narrowBand = pairs[r].narrowBand;
            copy.sameFingerprint = pairs[r].sameFingerprint;
            m_queue.push_back(Job{r, std::move(copy)});
        }
    }
    m_wake.notify_one();
}

void CPairVerdicts::Clear() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_queue.clear();
        ++m_generation;
    }
    m_verdicts.clear();
    m_judged.clear();
}

const PairVerdict* CPairVerdicts::Find(uint32_t record) const {
    return record < m_judged.size() && m_judged[record] ? &m_verdicts[record] : nullptr;
}

void CPairVerdicts::Store(uint64_t generation, uint32_t first,
                          const std::vector<PairVerdict>& verdicts) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (generation != m_generation) {
            return;  // judged before the records were cleared
        }
    }
    const size_t end = first + verdicts.size();
    if (m_verdicts.size() < end) {
        m_verdicts.resize(end);
        m_judged.resize(end, false);
    }
    for (size_t i = 0; i < verdicts.size(); ++i) {
        m_verdicts[first + i] = verdicts[i];
        m_judged[first + i] = true;
    }
    emit Judged(first, static_cast<uint32_t>(end));
}

void CPairVerdicts::Run() {
    // Made on first need, on this thread: most lists hold no pair of equal
    // fingerprints, and loading the plug-ins costs time.
    std::unique_ptr<Analyzer> decoder;
    std::vector<PairVerdict> batch;
    uint32_t batchFirst = 0;
    uint64_t batchGeneration = 0;
    auto batchStart = std::chrono::steady_clock::now();
    auto send = [&] {
        if (!batch.empty()) {
            QMetaObject::invokeMethod(
                this,
                [this, generation = batchGeneration, first = batchFirst, verdicts = batch] {
                    Store(generation, first, verdicts);
                },
                Qt::QueuedConnection);
            batch.clear();
        }
    };
    for (;;) {
        Job job;
        uint64_t generation = 0;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            if (m_queue.empty()) {
                hold.unlock();
                send();
                hold.lock();
            }
            m_wake.wait(hold, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) {
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            generation = m_generation;
        }
        const bool follows = !batch.empty() && generation == batchGeneration &&
                             job.record == batchFirst + batch.size();
        if (!follows) {
            send();
            batchFirst = job.record;
            batchGeneration = generation;
            batchStart = std::chrono::steady_clock::now();
        }
        if (job.pair.sameFingerprint && !decoder) {
            decoder = m_pluginFolder ? std::make_unique<Analyzer>(*m_pluginFolder)
                                     : std::make_unique<Analyzer>();
        }
        batch.push_back(JudgeVerdict(job.pair, decoder.get()));
        if (batch.size() >= kBatchSize ||
            std::chrono::steady_clock::now() - batchStart > kBatchTime) {
            send();
        }
    }
}
