// A rescan of a library whose every file has its fingerprint in the cache
// and whose pairs the last complete scan kept: the seconds the scan
// controller takes to list them again, then the seconds that 100 new files
// (fingerprinted already, so that only their passes count) add. The library
// is N small files on disk with Grips of seeded noise, 2 % of them near
// copies of another file; the kept pairs are those copies. Last, the seconds
// of a rescan at a stricter sensitivity, which judges the kept pairs again.
//
// Run: build/bin/rescan_bench [N...]   (default 20000 100000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "compare_settings.h"
#include "file_stamp.h"
#include "grip_store.h"
#include "result_memory.h"
#include "scan_controller.h"
#include "scan_state.h"
#include "test_grips.h"

namespace fs = std::filesystem;

namespace {

constexpr int kNewFiles = 100;
constexpr int kFilesPerFolder = 1000;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One scan of music to its end; returns the pairs listed.
size_t ScanToEnd(ScanController& scan, const std::string& music) {
    scan.Begin(FolderRoles({{BytesToU16(music), FolderRole::kNormal}}));
    while (scan.Running()) {
        scan.TakeNews();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    scan.TakeNews();
    return scan.pairs().size();
}

void Run(int n) {
    const fs::path work = fs::temp_directory_path() / ("hf-rescan-" + std::to_string(getpid()));
    const std::string music = (work / "music").string();
    const std::string parked = (work / "parked").string();
    const std::string cache = (work / "cache.dat").string();
    fs::create_directories(parked);
    // The files, their fingerprints and stamps, and the pairs a scan lists.
    std::vector<std::pair<std::u16string, FileStamp>> files;
    std::vector<DuplicatePair> pairs;
    {
        GripStore store;
        if (Failed(store.LoadCache(cache))) {
            std::fprintf(stderr, "cannot make %s\n", cache.c_str());
            std::exit(1);
        }
        std::mt19937 rng(7);
        std::vector<unsigned char> buffer;
        for (int i = 0; i < n + kNewFiles; ++i) {
            const bool fresh = i >= n;
            const fs::path folder =
                fs::path(fresh ? parked : music) / ("d" + std::to_string(i / kFilesPerFolder));
            fs::create_directories(folder);
            const std::string path = (folder / ("f" + std::to_string(i) + ".raw")).string();
            std::ofstream(path) << i;
            FileStamp stamp;
            ReadFileStamp(path, &stamp);
            // A near copy of the file before it, now and then.
            const bool copy = i > 0 && rng() % 50 == 0;
            Grip grip = RandomGrip(copy ? static_cast<uint32_t>(i - 1) : static_cast<uint32_t>(i),
                                   Words(rng, 1, 3), Words(rng, 1, 2));
            const std::u16string key = BytesToU16(path);
            ExclusiveHold hold(store.lock());
            store.Insert(key, grip);
            store.AppendRecord(key, grip, buffer, &stamp);
            if (!fresh) {
                files.emplace_back(key, stamp);
                if (copy) {
                    DuplicatePair& pair = pairs.emplace_back();
                    pair.path1 = key;
                    pair.path2 = files[files.size() - 2].first;
                    pair.contentPercent = 100.0f;
                    pair.contentMatch = true;
                }
            }
        }
    }
    ResultMemory memory;
    memory.Load(ResultMemory::PathBeside(cache));
    memory.Save(CurrentResultKey(), files, pairs);

    stopRequested.store(0);
    ScanController scan(nullptr);
    auto start = std::chrono::steady_clock::now();
    if (Failed(scan.Load(cache, std::string())) || Failed(scan.StartPool(std::string()))) {
        std::fprintf(stderr, "cannot load %s\n", cache.c_str());
        std::exit(1);
    }
    const double load = Seconds(start);
    double cpu = ProcessCpuSeconds();
    start = std::chrono::steady_clock::now();
    const size_t listed = ScanToEnd(scan, music);
    const double unchanged = Seconds(start);
    const double unchangedCpu = ProcessCpuSeconds() - cpu;
    fs::rename(parked, (fs::path(music) / "new").string());
    cpu = ProcessCpuSeconds();
    start = std::chrono::steady_clock::now();
    const size_t withNew = ScanToEnd(scan, music);
    const double added = Seconds(start);
    const double addedCpu = ProcessCpuSeconds() - cpu;
    const float sensitivity = g_sensitivity.load();
    g_sensitivity = sensitivity + 0.05f;
    cpu = ProcessCpuSeconds();
    start = std::chrono::steady_clock::now();
    const size_t stricter = ScanToEnd(scan, music);
    const double strictWall = Seconds(start);
    const double strictCpu = ProcessCpuSeconds() - cpu;
    g_sensitivity = sensitivity;
    std::printf(
        "%7d files: load %.2f s; unchanged rescan %.2f s wall, %.2f s CPU (%zu pairs, "
        "%zu kept); with %d new files %.2f s wall, %.2f s CPU (%zu pairs); "
        "sensitivity +0.05 %.2f s wall, %.2f s CPU (%zu pairs)\n",
        n, load, unchanged, unchangedCpu, listed, pairs.size(), kNewFiles, added, addedCpu, withNew,
        strictWall, strictCpu, stricter);
    std::fflush(stdout);
    fs::remove_all(work);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {20000, 100000};
    }
    for (int n : sizes) {
        Run(n);
    }
    return 0;
}
