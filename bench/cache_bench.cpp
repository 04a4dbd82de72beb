// Loading the fingerprint cache: writes a cache of N records of noise Grips
// (default 100,000; about 870 MB) into a temporary folder, then times
// LoadCache and reports the resident memory it peaked at above what the
// loaded store keeps. Prints figures; no Google Benchmark, since one load is
// the whole measurement.
//
// Run: build/bin/cache_bench [N] [FOLDER]   (FOLDER: where the file goes,
// default the system's temporary folder; the file is removed afterwards)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "grip_store.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kDefaultRecords = 100000;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKib(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Starts the peak (VmHWM) again from the present resident size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace

int main(int argc, char** argv) {
    const size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultRecords;
    const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const fs::path cache = folder / ("cache_bench_" + std::to_string(getpid()) + ".dat");

    {
        std::ofstream out(cache, std::ios::binary);
        char header[kCacheHeaderSize] = {};
        std::copy(std::begin(kCacheHeaderText), std::end(kCacheHeaderText) - 1, header);
        out.write(header, sizeof(header));
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> value(0.0f, 4.0f);
        Grip grip;
        std::vector<unsigned char> bytes;
        for (size_t i = 0; i < records; ++i) {
            for (float& v : grip.envelope)
                v = value(rng);
            for (float& v : grip.drift)
                v = value(rng) - 2.0f;
            for (float& v : grip.spectrum)
                v = value(rng);
            grip.title = "Track " + std::to_string(i % 20);
            grip.artist = "Artist " + std::to_string(i % 997);
            grip.album = "Album " + std::to_string(i % 5003);
            grip.nameKey = "track " + std::to_string(i);
            const std::string path = "/home/user/Music/Artist " + std::to_string(i % 997) +
                                     "/Album " + std::to_string(i % 5003) + "/" +
                                     std::to_string(i) + " Track.mp3";
            SerializeRecord(std::u16string(path.begin(), path.end()), grip, bytes);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
    }
    const double megabytes = static_cast<double>(fs::file_size(cache)) / 1e6;

    GripStore store;
    ResetPeak();
    const long before = StatusKib("VmRSS");
    HRESULT loaded = S_OK;
    // The first load reads from the disk, the second from the page cache.
    for (const char* which : {"first", "second"}) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        loaded = store.LoadCache(cache.string());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("LoadCache, %s: %.2f s wall, %.2f s processor (%.0f MB/s wall)\n", which,
                    seconds, CpuSeconds() - cpuStart, megabytes / seconds);
    }
    const long steady = StatusKib("VmRSS");
    const long peak = StatusKib("VmHWM");
    std::printf("records %zu, file %.0f MB, loaded %zu (result 0x%08x)\n", records, megabytes,
                store.size(), static_cast<unsigned>(loaded));
    std::printf(
        "resident: before %.1f MB, after %.1f MB (%.0f bytes per entry), peak %.1f MB, "
        "peak above after %.1f MB\n",
        before / 1024.0, steady / 1024.0,
        1024.0 * static_cast<double>(steady - before) / static_cast<double>(records), peak / 1024.0,
        (peak - steady) / 1024.0);
    store.LoadCache(std::string());
    fs::remove(cache);
    fs::remove(GripStore::IndexPath(cache.string()));
    return Failed(loaded) ? 1 : 0;
}
