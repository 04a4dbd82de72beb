// A library of N files, modelled on real recordings: insert time, resident
// memory per entry, load time of the cache file, and a rescan at the given
// settings (pairs per second, wall time, share of pairs pruned); at one size
// also a brute-force check that the scan listed exactly the pairs the
// formulas give. Prints the histogram of pair spectrumScores of the model
// beside that of the real recordings.
//
// The model: the mean of the real recordings' series plus a random
// combination of their deviations from it (so the model has their mean and
// covariance, hence their principal directions), per series; a share of
// near-copies (an earlier Grip plus small noise) and exact copies; tags of a
// library (artists with albums of about twelve tracks, untagged files,
// "Track NN" names, texts that share common words).
//
// Run through bench/library_bench.sh, which makes the cache of real
// recordings; or: library_bench REAL_CACHE [N...] [--check N] [--method M]
// [--sensitivity S] [--strict]
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "analyzer.h"
#include "bench_support.h"
#include "compare_pass.h"
#include "compare_settings.h"
#include "content_compare.h"
#include "grip_store.h"
#include "scan.h"
#include "scan_owner.h"
#include "scan_state.h"
#include "signal_math.h"
#include "tag_compare.h"
#include "tolerant_compare.h"
#include "worker_pool.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class CollectingOwner final : public ScanOwner {
  public:
    void Post(uint32_t) override {}
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Resident bytes of the process now.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    double size = 0;
    double resident = 0;
    statm >> size >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// The three compared series of the real recordings.
struct Series {
    std::vector<float> spectrum;  // kComparedBins
    std::vector<float> envelope;
    std::vector<float> drift;
};

std::vector<Series> LoadReal(const std::string& path) {
    GripStore store;
    std::vector<Series> real;
    if (store.LoadCache(path) < 0) {
        return real;
    }
    for (const auto& [key, entry] : store.entries()) {
        const GripVectors& v = entry.vectors;
        real.push_back(Series{std::vector<float>(v.spectrum, v.spectrum + kComparedBins),
                              std::vector<float>(v.envelope, v.envelope + kEnvelopeLength),
                              std::vector<float>(v.drift, v.drift + kDriftLength)});
    }
    return real;
}

// least to most words of a library's texts: a third of them the common words
// that titles share ("love", "the", "night"), the others from a vocabulary of
// some 60,000 words made of syllables, as real titles, artists and albums
// mostly differ in their rarer words.
std::string LibraryWords(std::mt19937& rng, int least, int most) {
    static const char* const kSyllables[] = {
        "ka",  "lo", "mi",  "ter", "san", "ber", "ri", "do",  "vel", "mar",
        "ta",  "ne", "son", "fa",  "gre", "lin", "ow", "ca",  "rus", "den",
        "pe",  "ho", "wen", "ly",  "sto", "bri", "nu", "zan", "el",  "tor",
        "qui", "ma", "ven", "jo",  "ar",  "ist", "ro", "be",  "dan", "ish"};
    std::uniform_int_distribution<int> count(least, most);
    std::uniform_int_distribution<size_t> common(0, std::size(kWords) - 1);
    std::uniform_int_distribution<size_t> syllable(0, std::size(kSyllables) - 1);
    std::string out;
    for (int i = count(rng); i > 0; --i) {
        out += out.empty() ? "" : " ";
        if (rng() % 3 == 0) {
            out += kWords[common(rng)];
        } else {
            for (int k = 2 + static_cast<int>(rng() % 2); k > 0; --k) {
                out += kSyllables[syllable(rng)];
            }
        }
    }
    return out;
}

// Draws Grips from the real recordings' mean and covariance.
class LibraryModel {
  public:
    explicit LibraryModel(std::vector<Series> real) : m_real(std::move(real)) {
        m_mean.spectrum.assign(kComparedBins, 0.0f);
        m_mean.envelope.assign(kEnvelopeLength, 0.0f);
        m_mean.drift.assign(kDriftLength, 0.0f);
        for (const Series& s : m_real) {
            Add(m_mean.spectrum, s.spectrum, 1.0f / m_real.size());
            Add(m_mean.envelope, s.envelope, 1.0f / m_real.size());
            Add(m_mean.drift, s.drift, 1.0f / m_real.size());
        }
        for (Series& s : m_real) {
            Add(s.spectrum, m_mean.spectrum, -1.0f);
            Add(s.envelope, m_mean.envelope, -1.0f);
            Add(s.drift, m_mean.drift, -1.0f);
        }
    }

    // File i of the library, the same every time it is asked for.
    Grip Make(size_t i, std::string* folder) const {
        std::mt19937 rng(static_cast<uint32_t>(i * 7919 + 17));
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double kind = unit(rng);
        Grip g;
        if (i > 50 && kind < 0.05) {
            // A copy of an earlier file: exact (a fifth) or with small noise,
            // under its own name, half the time with the same tags.
            const size_t source = rng() % i;
            g = Make(source, folder);
            if (kind >= 0.01) {
                Perturb(g, rng);
            }
            if (unit(rng) < 0.5) {
                g.title = g.artist = g.album = "";
            }
            g.nameKey = LibraryWords(rng, 1, 3) + " (copy)";
            *folder = "/music/copies/" + std::to_string(i % 97);
            return g;
        }
        Draw(g.spectrum.data(), m_mean.spectrum, &Series::spectrum, rng);
        Draw(g.envelope.data(), m_mean.envelope, &Series::envelope, rng);
        Draw(g.drift.data(), m_mean.drift, &Series::drift, rng);
        // Artists with three albums of about twelve tracks each.
        std::mt19937 artistRng(static_cast<uint32_t>(i / 36 + 1));
        std::mt19937 albumRng(static_cast<uint32_t>(i / 12 + 100003));
        const std::string artist = LibraryWords(artistRng, 1, 3);
        const std::string album = LibraryWords(albumRng, 1, 4);
        const std::string title = LibraryWords(rng, 1, 5);
        char number[16];
        std::snprintf(number, sizeof(number), "%02zu", i % 12 + 1);
        if (unit(rng) < 0.05) {
            g.nameKey = std::string("track ") + number;
        } else {
            g.nameKey = std::string(number) + " - " + title;
        }
        if (unit(rng) >= 0.15) {
            g.title = title;
            g.artist = artist;
            g.album = album;
        }
        *folder = "/music/" + artist + "/" + album;
        return g;
    }

    size_t realCount() const { return m_real.size(); }
    const Series& real(size_t k) const { return m_real[k]; }
    const Series& mean() const { return m_mean; }

  private:
    static void Add(std::vector<float>& to, const std::vector<float>& x, float w) {
        for (size_t k = 0; k < to.size(); ++k) {
            to[k] += w * x[k];
        }
    }

    // mean + sum of c_k * (deviation of a random recording), c_k ~ N(0, 1/m):
    // the covariance of the recordings.
    void Draw(float* out, const std::vector<float>& mean, std::vector<float> Series::*field,
              std::mt19937& rng) const {
        constexpr int kTerms = 8;
        std::normal_distribution<float> weight(0.0f, 1.0f / std::sqrt(static_cast<float>(kTerms)));
        std::copy(mean.begin(), mean.end(), out);
        for (int t = 0; t < kTerms; ++t) {
            const std::vector<float>& d = m_real[rng() % m_real.size()].*field;
            const float c = weight(rng);
            for (size_t k = 0; k < d.size(); ++k) {
                out[k] += c * d[k];
            }
        }
    }

    // Noise of 3 % of each series' spread.
    static void Perturb(Grip& g, std::mt19937& rng) {
        auto jitter = [&rng](float* x, size_t n) {
            double mean = 0;
            double square = 0;
            for (size_t k = 0; k < n; ++k) {
                mean += x[k];
                square += static_cast<double>(x[k]) * x[k];
            }
            mean /= n;
            const double spread = std::sqrt(std::max(0.0, square / n - mean * mean));
            std::normal_distribution<double> noise(0.0, 0.03 * spread);
            for (size_t k = 0; k < n; ++k) {
                x[k] = static_cast<float>(x[k] + noise(rng));
            }
        };
        jitter(g.spectrum.data(), kComparedBins);
        jitter(g.envelope.data(), kEnvelopeLength);
        jitter(g.drift.data(), kDriftLength);
    }

    std::vector<Series> m_real;
    Series m_mean;
};

void PrintHistograms(const LibraryModel& model, size_t n) {
    constexpr int kBins = 20;
    std::vector<double> real(kBins, 0.0);
    std::vector<double> made(kBins, 0.0);
    auto bin = [](float score) { return std::min(kBins - 1, static_cast<int>(score * kBins)); };
    size_t realPairs = 0;
    std::vector<Series> realSeries;
    for (size_t i = 0; i < model.realCount(); ++i) {
        Series s = model.real(i);
        for (size_t k = 0; k < kComparedBins; ++k) {
            s.spectrum[k] += model.mean().spectrum[k];
        }
        realSeries.push_back(s);
    }
    for (size_t i = 0; i < realSeries.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            real[bin(std::fabs(CorrelationCoefficient(
                realSeries[i].spectrum.data(), realSeries[j].spectrum.data(), kComparedBins)))] +=
                1;
            ++realPairs;
        }
    }
    std::mt19937 rng(5);
    std::string folder;
    const size_t samples = std::max<size_t>(realPairs, 20000);
    for (size_t k = 0; k < samples; ++k) {
        const Grip a = model.Make(rng() % n, &folder);
        const Grip b = model.Make(rng() % n, &folder);
        made[bin(std::fabs(
            CorrelationCoefficient(a.spectrum.data(), b.spectrum.data(), kComparedBins)))] += 1;
    }
    std::printf(
        "spectrumScore histogram (share of pairs): real recordings (%zu files, %zu pairs)"
        " | model (%zu random pairs)\n",
        realSeries.size(), realPairs, samples);
    for (int k = 0; k < kBins; ++k) {
        std::printf("  %.2f-%.2f  %7.4f | %7.4f\n", k / double(kBins), (k + 1) / double(kBins),
                    real[k] / realPairs, made[k] / samples);
    }
}

struct Pair {
    std::u16string path1;
    std::u16string path2;
    float content;
    float tags;
    bool operator<(const Pair& o) const {
        return std::tie(path1, path2) < std::tie(o.path1, o.path2);
    }
    bool operator==(const Pair& o) const {
        return path1 == o.path1 && path2 == o.path2 && content == o.content && tags == o.tags;
    }
};

// Every pair of the scan, from the formulas, on two threads.
std::vector<Pair> BruteForce(const GripStore& store, const std::vector<Grip>& grips,
                             const std::vector<std::u16string>& paths, int32_t method, float s,
                             bool strictCompare) {
    const size_t n = paths.size();
    std::vector<uint32_t> sequence(n);
    for (size_t i = 0; i < n; ++i) {
        sequence[i] = const_cast<GripStore&>(store).Find(paths[i])->grip.sequence;
    }
    const float strict = s * 0.4f + 0.6f;
    const float loose = s * 0.8f + 0.2f;
    const float pairT = s * 1.2f - 0.2f;
    auto percent = [](float score, float t) {
        if (t == 1.0f) {
            return score >= 1.0f ? 100.0f : 0.0f;
        }
        const float q = (score - t) / (1.0f - t);
        return (q > 0.0f ? q : 0.0f) * 100.0f;
    };
    std::vector<uint32_t> bandEnds(n);
    std::vector<std::array<float, kContourBands>> contours(n);
    for (size_t i = 0; i < n; ++i) {
        bandEnds[i] = CarriedBandEnd(grips[i].spectrum.data());
        ComputeContour(grips[i].spectrum.data(), contours[i].data());
    }
    std::vector<std::vector<Pair>> found(2);
    auto work = [&](int part) {
        for (size_t i = part; i < n; i += 2) {
            for (size_t j = 0; j < n; ++j) {
                if (!(sequence[j] < sequence[i])) {
                    continue;
                }
                const Grip& a = grips[i];
                const Grip& b = grips[j];
                const float sp = std::fabs(
                    CorrelationCoefficient(a.spectrum.data(), b.spectrum.data(), kComparedBins));
                const float en = std::fabs(
                    CorrelationCoefficient(a.envelope.data(), b.envelope.data(), kEnvelopeLength));
                const float dr =
                    std::fabs(CorrelationCoefficient(a.drift.data(), b.drift.data(), kDriftLength));
                bool content = (sp >= strict && en + dr >= pairT) ||
                               (sp >= loose && en >= loose && dr >= loose);
                float figure = sp;
                // Whole bands below the loose threshold pass by their
                // contours alone; the others are aligned.
                const SeriesOf seriesA{a.spectrum.data(), a.envelope.data(), a.drift.data(),
                                       contours[i].data(), bandEnds[i]};
                const SeriesOf seriesB{b.spectrum.data(), b.envelope.data(), b.drift.data(),
                                       contours[j].data(), bandEnds[j]};
                if (!strictCompare &&
                    (std::min(bandEnds[i], bandEnds[j]) < kComparedBins || sp >= loose)) {
                    const TolerantScores t = ComputeTolerantScores(seriesA, seriesB);
                    content = TolerantAccepts(ContentScores{sp, en, dr}, t, s);
                    figure = t.spectrumScore;
                } else if (!strictCompare) {
                    content = sp >= kContourShapeFloor &&
                              ContourScore(seriesA.contour, seriesA.bandEnd, seriesB.contour,
                                           seriesB.bandEnd) >= ContourThreshold(s);
                }
                bool listed = (method & kCompareContent) != 0 && content;
                float tag = 0.0f;
                if (listed || (method & kCompareTags) != 0) {
                    tag = ComputeTagScores(a, b).tagScore;
                    listed = listed || ((method & kCompareTags) != 0 && tag >= s);
                }
                if (listed) {
                    found[part].push_back(
                        Pair{paths[i], paths[j], percent(figure, strict), percent(tag, s)});
                }
            }
        }
    };
    std::thread other(work, 1);
    work(0);
    other.join();
    found[0].insert(found[0].end(), found[1].begin(), found[1].end());
    std::sort(found[0].begin(), found[0].end());
    return found[0];
}

void RunSize(const LibraryModel& model, size_t n, bool check, int32_t method, float s,
             bool strictCompare, const fs::path& folder) {
    std::printf("\n== N = %zu\n", n);
    std::vector<std::u16string> paths;
    std::vector<Grip> grips;
    std::string where;
    std::vector<unsigned char> buffer;
    const fs::path cacheFile = folder / ("library-" + std::to_string(n) + ".dat");
    fs::remove(cacheFile);
    fs::remove(fs::path(cacheFile).replace_extension(".idx"));
    {
        // The cache file of the library, written record by record.
        GripStore writer;
        writer.LoadCache(cacheFile.string());
        for (size_t i = 0; i < n; ++i) {
            Grip g = model.Make(i, &where);
            const std::string path = where + "/" + g.nameKey + " [" + std::to_string(i) + "].ogg";
            paths.push_back(BytesToU16(path));
            writer.AppendRecord(paths.back(), g, buffer);
            if (check) {
                grips.push_back(std::move(g));
            }
        }
    }

    // Inserts into an empty store, as a first scan makes them.
    {
        // Timed as a worker does it: each entry is prepared outside the
        // store's lock, then linked in under it. The Grips are made in
        // batches beforehand, so that the CPU clock is read once per batch
        // (reading a thread's CPU clock costs microseconds on some machines).
        constexpr size_t kBatch = 64;
        GripStore store;
        double insertSeconds = 0;
        double insertCpu = 0;
        double lockedSeconds = 0;
        std::vector<Grip> batch(kBatch);
        std::vector<GripStore::PreparedEntry> prepared(kBatch);
        for (size_t first = 0; first < n; first += kBatch) {
            const size_t count = std::min(kBatch, n - first);
            for (size_t k = 0; k < count; ++k) {
                batch[k] = model.Make(first + k, &where);
            }
            const auto start = Clock::now();
            const double cpuStart = ThreadCpuSeconds();
            for (size_t k = 0; k < count; ++k) {
                prepared[k] = store.Prepare(paths[first + k], batch[k]);
                const auto locked = Clock::now();
                {
                    ExclusiveHold hold(store.lock());
                    store.Insert(std::move(prepared[k]), kNotInScan);
                }
                lockedSeconds += Seconds(locked);
            }
            insertCpu += ThreadCpuSeconds() - cpuStart;
            insertSeconds += Seconds(start);
        }
        std::printf(
            "insert: %zu inserts into an empty store %.3f s in all, %.3f s of CPU "
            "(%.2f us each); the store's lock is held %.3f s of it\n",
            n, insertSeconds, insertCpu, insertCpu / n * 1e6, lockedSeconds);
    }

    malloc_trim(0);
    const double residentBefore = ResidentBytes();
    GripStore store;
    const auto loadStart = Clock::now();
    const double loadCpuStart = ProcessCpuSeconds();
    store.LoadCache(cacheFile.string());
    const double loadSeconds = Seconds(loadStart);
    const double loadCpu = ProcessCpuSeconds() - loadCpuStart;
    const double residentLoaded = ResidentBytes();
    {
        // The pruning index of a scan of every entry.
        ExclusiveHold hold(store.lock());
        for (const std::u16string& path : paths) {
            store.JoinScan(*store.Find(path));
        }
        store.ResetSequences();
    }
    malloc_trim(0);
    std::printf(
        "cache: %zu entries load in %.3f s, %.3f s of CPU; per entry %.0f bytes "
        "resident after loading, %.0f with the scan's index\n",
        store.size(), loadSeconds, loadCpu, (residentLoaded - residentBefore) / n,
        (ResidentBytes() - residentBefore) / n);

    g_compareMethod = method;
    g_sensitivity = s;
    g_accurate = false;
    g_strictCompare = strictCompare;
    CollectingOwner owner;
    WorkerPool pool(&owner, ScanWorkerFactory(store, "/nonexistent"));
    pool.Start();
    PassCounters& counters = GlobalPassCounters();
    const uint64_t judgedBefore = counters.judged.load();
    const uint64_t scoredBefore = counters.scored.load();
    const uint64_t contentBefore = counters.contentScored.load();
    const uint64_t alignedBefore = counters.aligned.load();
    const uint64_t tagsBefore = counters.tagsScored.load();
    const uint64_t lineBefore = counters.tagsPastLine.load();
    const uint64_t firstBoundBefore = counters.tagsPastFirstBound.load();
    const uint64_t sketchBoundBefore = counters.tagsPastSketchBound.load();
    const double cpuBefore = ProcessCpuSeconds();
    const auto scanStart = Clock::now();
    const int32_t generation = BeginScan(&owner, store);
    std::vector<std::u16string> order(paths);
    std::sort(order.begin(), order.end());  // a folder walk meets them in path order
    RunFileJobs(pool, owner, generation, order);
    const double wall = Seconds(scanStart);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double pairs = static_cast<double>(n) * (n - 1) / 2;
    const double judged = static_cast<double>(counters.judged.load() - judgedBefore);
    const double scored = static_cast<double>(counters.scored.load() - scoredBefore);
    std::vector<DuplicatePair> listed = owner.TakePendingPairs();
    std::printf(
        "rescan (%s, s = %.2f, %s, %zu threads): %.2f s wall, %.1f s CPU, %.3g pairs/s "
        "(%.3g per CPU second), %zu pairs listed\n",
        method == kCompareBoth   ? "both"
        : method == kCompareTags ? "tags"
                                 : "content",
        s, strictCompare ? "strict" : "tolerant", pool.ThreadCount(), wall, cpu, pairs / wall,
        pairs / cpu, listed.size());
    std::printf(
        "pruned: %.4f of %.0f judged pairs never scored in full (content scored for "
        "%.4f, tags for %.4f; tags past the folded sketches %.4f, the first bound %.4f, the "
        "sketches' %.4f)\n",
        judged > 0 ? 1.0 - scored / judged : 0.0, judged,
        static_cast<double>(counters.contentScored.load() - contentBefore) / judged,
        static_cast<double>(counters.tagsScored.load() - tagsBefore) / judged,
        static_cast<double>(counters.tagsPastLine.load() - lineBefore) / judged,
        static_cast<double>(counters.tagsPastFirstBound.load() - firstBoundBefore) / judged,
        static_cast<double>(counters.tagsPastSketchBound.load() - sketchBoundBefore) / judged);
    std::printf("aligned: %.5f of the judged pairs had their envelopes tried at every shift\n",
                static_cast<double>(counters.aligned.load() - alignedBefore) / judged);

    if (check) {
        std::vector<Pair> got;
        for (const DuplicatePair& p : listed) {
            got.push_back(Pair{p.path1, p.path2, p.contentPercent, p.tagPercent});
        }
        std::sort(got.begin(), got.end());
        const auto start = Clock::now();
        const std::vector<Pair> expected =
            BruteForce(store, grips, paths, method, s, strictCompare);
        std::printf("brute force: %zu pairs from the formulas in %.1f s; the scan's list is %s\n",
                    expected.size(), Seconds(start), got == expected ? "IDENTICAL" : "DIFFERENT");
        if (got != expected) {
            size_t missing = 0;
            for (const Pair& p : expected) {
                missing += !std::binary_search(got.begin(), got.end(), p);
            }
            std::printf("  %zu expected pairs missing or with other figures, %zu listed\n", missing,
                        got.size());
        }
    }
    fs::remove(cacheFile);
    fs::remove(fs::path(cacheFile).replace_extension(".idx"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: library_bench REAL_CACHE [N...] [--check N] [--method "
                     "tags|content|both] [--sensitivity S] [--strict]\n");
        return 2;
    }
    // Figures appear as they are measured, also when written to a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<size_t> sizes;
    size_t checkAt = 10000;
    int32_t method = kCompareBoth;
    float s = 0.75f;
    bool strictCompare = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--strict") {
            strictCompare = true;
        } else if (arg == "--check" && i + 1 < argc) {
            checkAt = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--method" && i + 1 < argc) {
            const std::string m = argv[++i];
            method = m == "tags" ? kCompareTags : m == "content" ? kCompareContent : kCompareBoth;
        } else if (arg == "--sensitivity" && i + 1 < argc) {
            s = std::strtof(argv[++i], nullptr);
        } else {
            sizes.push_back(std::strtoul(arg.c_str(), nullptr, 10));
        }
    }
    if (sizes.empty()) {
        sizes = {10000, 50000, 100000};
    }
    std::vector<Series> real = LoadReal(argv[1]);
    if (real.size() < 2) {
        std::fprintf(stderr, "library_bench: no recordings in %s\n", argv[1]);
        return 1;
    }
    LibraryModel model(std::move(real));
    PrintHistograms(model, 20000);
    const fs::path folder =
        fs::temp_directory_path() / ("library_bench." + std::to_string(getpid()));
    fs::create_directories(folder);
    for (size_t n : sizes) {
        RunSize(model, n, n == checkAt, method, s, strictCompare, folder);
    }
    fs::remove_all(folder);
    return 0;
}
