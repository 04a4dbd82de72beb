// "harmonyfox-cli clean-cache": drops the cache entries of files that no
// longer exist and says how many went and how many bytes that freed.
#include <cstdio>
#include <optional>
#include <string>

#include "command.h"
#include "command_line.h"
#include "grip_store.h"

namespace {

const char kDescription[] =
    "Drops from the fingerprint cache every entry whose file no longer exists\n"
    "and writes the cache afresh; prints how many entries were dropped and how\n"
    "many bytes were freed.";

const char kFooter[] =
    "Exit status: 0 success; 1 the cache cannot be opened or written; 2 bad\n"
    "arguments.";

int RunCleanCache(int argc, char** argv) {
    CLI::App app(kDescription, "harmonyfox-cli clean-cache");
    SetUpCommandLine(app);
    app.footer(kFooter);
    std::string cache;
    app.add_option("--cache", cache,
                   "fingerprint cache file (default: the desktop program's, "
                   "$XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat)")
        ->type_name("FILE");
    if (const std::optional<int> exit = ParseCommandLine(app, argc, argv)) {
        return *exit;
    }
    if (cache.empty()) {
        cache = GripStore::DefaultCachePath();
    }
    GripStore store;
    if (const HRESULT loaded = store.LoadCache(cache, nullptr); Failed(loaded)) {
        std::fprintf(stderr, "harmonyfox-cli clean-cache: %s: %s\n", CacheLoadMessage(loaded),
                     cache.c_str());
        return kExitFailure;
    }
    if (const std::string note = IndexReportMessage(store.indexReport()); !note.empty()) {
        std::fprintf(stderr, "harmonyfox-cli clean-cache: %s\n", note.c_str());
    }
    CleanReport report;
    const HRESULT cleaned = store.CleanCache(nullptr, &report);
    std::printf("%u entries dropped, %llu bytes freed, %zu entries kept\n", report.dropped,
                static_cast<unsigned long long>(report.bytesFreed), store.size());
    if (Failed(cleaned)) {
        std::fprintf(stderr, "harmonyfox-cli clean-cache: cannot write the cache afresh: %s\n",
                     cache.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

const CommandRegistration kCleanCache("clean-cache",
                                      "drop cache entries of files that no longer exist",
                                      RunCleanCache);

}  // namespace
