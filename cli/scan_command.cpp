// harmonyfox-cli scan: one scan of the given folders through the scan engine,
// with the desktop program's cache file unless told otherwise; prints the
// listed pairs when the scan is over.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "command.h"
#include "compare_settings.h"
#include "grip_store.h"
#include "playlist.h"
#include "scan.h"
#include "scan_owner.h"
#include "scan_state.h"
#include "worker_pool.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

const char kUsage[] =
    "usage: harmonyfox-cli scan [options] FOLDER...\n"
    "\n"
    "Scans the folders (and their subfolders) for duplicate music files and\n"
    "prints every pair found, once the scan is over. Fingerprints are kept in\n"
    "the cache file, so a file is decoded only the first time it is seen.\n"
    "\n"
    "Options:\n"
    "  --method tags|content|both  what makes two files duplicates (default both)\n"
    "  --sensitivity S     0..1, higher asks for more alike files (default 0.75)\n"
    "  --experimental      also compute the slow experimental figure of each pair\n"
    "  --cache FILE        fingerprint cache file (default: the desktop program's,\n"
    "                      $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat)\n"
    "  --format tsv|json|m3u  output format (default tsv)\n"
    "  --output FILE       write the output to FILE instead of standard output\n"
    "  --help              show this text\n"
    "\n"
    "Output, one pair per listed pair in the order found; path1 is the file\n"
    "that joined the scan later:\n"
    "  tsv   a header line path1, path2, content, tags, experimental (tab\n"
    "        separated), then one line per pair; percentages with one decimal;\n"
    "        experimental is \"n/a\" when not requested and \"wait\" when it never\n"
    "        arrived. Tab, line feed, carriage return and backslash in a path\n"
    "        are written as \\t, \\n, \\r and \\\\.\n"
    "  json  one object: \"pairs\" (path1, path2, content, tags, experimental)\n"
    "        and \"counters\" (cached, found, done).\n"
    "  m3u   the playlist the desktop program saves: #EXTM3U, then both files\n"
    "        of every pair, lines ended by CR LF.\n"
    "\n"
    "Progress goes to standard error while it is a terminal; a summary line\n"
    "ends the run there.\n"
    "\n"
    "Exit status: 0 success; 1 the cache file cannot be opened (another copy\n"
    "running?), a folder does not exist, or the output cannot be written;\n"
    "2 bad arguments.\n";

struct ScanOptions {
    int32_t method = kCompareBoth;
    float sensitivity = 0.75f;
    bool experimental = false;
    std::string cache;
    std::string format = "tsv";
    std::string output;
    std::vector<std::string> folders;
};

// Receives the engine's messages on a queue that the main thread works off.
class CliOwner final : public ScanOwner {
  public:
    void Post(uint32_t message) override {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_messages.push_back(message);
        }
        m_arrived.notify_one();
    }

    // Waits up to timeout for messages and returns them in posting order.
    std::deque<uint32_t> Wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_arrived.wait_for(hold, timeout, [this] { return !m_messages.empty(); });
        std::deque<uint32_t> taken;
        taken.swap(m_messages);
        return taken;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<uint32_t> m_messages;
};

int Usage(const char* problem) {
    std::fprintf(stderr, "harmonyfox-cli scan: %s\n\n%s", problem, kUsage);
    return kExitUsage;
}

bool ParseSensitivity(const char* text, float* value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (end == text || *end != 0 || errno != 0 || !(v >= 0.0 && v <= 1.0)) {
        return false;
    }
    *value = static_cast<float>(v);
    return true;
}

// 0 when parsed, else the exit code.
int ParseArguments(int argc, char** argv, ScanOptions& options, bool* help) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return 0;
        }
        if (arg == "--experimental") {
            options.experimental = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else if (arg == "--method" || arg == "--sensitivity" || arg == "--cache" ||
                   arg == "--format" || arg == "--output") {
            if (i + 1 >= argc) {
                return Usage((arg + " needs a value").c_str());
            }
            value = argv[++i];
        }
        if (name == "--method") {
            if (value == "tags") {
                options.method = kCompareTags;
            } else if (value == "content") {
                options.method = kCompareContent;
            } else if (value == "both") {
                options.method = kCompareBoth;
            } else {
                return Usage("--method takes tags, content or both");
            }
        } else if (name == "--sensitivity") {
            if (!ParseSensitivity(value.c_str(), &options.sensitivity)) {
                return Usage("--sensitivity takes a number from 0 to 1");
            }
        } else if (name == "--cache") {
            if (value.empty()) {
                return Usage("--cache needs a file name");
            }
            options.cache = value;
        } else if (name == "--format") {
            if (value != "tsv" && value != "json" && value != "m3u") {
                return Usage("--format takes tsv, json or m3u");
            }
            options.format = value;
        } else if (name == "--output") {
            if (value.empty()) {
                return Usage("--output needs a file name");
            }
            options.output = value;
        } else {
            return Usage(("unknown option " + arg).c_str());
        }
    }
    if (options.folders.empty()) {
        return Usage("no folder given");
    }
    return 0;
}

// The folder as a full path without a trailing '/', the form the cache keys take.
std::string FullFolder(const std::string& folder) {
    std::error_code ignored;
    std::string full = std::filesystem::absolute(folder, ignored).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/') {
        full.pop_back();
    }
    return full;
}

std::string Percent(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", static_cast<double>(value));
    return text;
}

std::string Experimental(float value) {
    if (value < kExperimentalPending) {
        return "n/a";
    }
    if (value < 0.0f) {
        return "wait";
    }
    return Percent(value);
}

std::string TsvPath(const std::u16string& path) {
    std::string out;
    for (char c : U16ToBytes(path)) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A JSON string of path: UTF-8 for what is text, \u escapes for control
// characters and for the units that stand for bytes that are not UTF-8.
std::string JsonString(const std::u16string& text) {
    std::string out = "\"";
    auto escape = [&out](uint32_t unit) {
        char buffer[8];
        std::snprintf(buffer, sizeof(buffer), "\\u%04x", unit);
        out += buffer;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            escape(c);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            escape(c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out += '"';
    return out;
}

std::string JsonExperimental(float value) {
    const std::string text = Experimental(value);
    return value < 0.0f ? "\"" + text + "\"" : text;
}

std::string Render(const ScanOptions& options, const std::vector<DuplicatePair>& pairs,
                   const ScanOwner& owner) {
    if (options.format == "m3u") {
        return PlaylistBytes(pairs);
    }
    std::string out;
    if (options.format == "json") {
        out = "{\n  \"pairs\": [";
        for (size_t i = 0; i < pairs.size(); ++i) {
            const DuplicatePair& p = pairs[i];
            out += i == 0 ? "\n" : ",\n";
            out += "    {\"path1\": " + JsonString(p.path1) +
                   ", \"path2\": " + JsonString(p.path2) +
                   ", \"content\": " + Percent(p.contentPercent) +
                   ", \"tags\": " + Percent(p.tagPercent) +
                   ", \"experimental\": " + JsonExperimental(p.experimentalPercent) + "}";
        }
        out += pairs.empty() ? "],\n" : "\n  ],\n";
        out += "  \"counters\": {\"cached\": " + std::to_string(owner.m_cachedCount.load()) +
               ", \"found\": " + std::to_string(owner.m_pendingCount.load()) +
               ", \"done\": " + std::to_string(owner.m_doneCount.load()) + "}\n}\n";
        return out;
    }
    out = "path1\tpath2\tcontent\ttags\texperimental\n";
    for (const DuplicatePair& p : pairs) {
        out += TsvPath(p.path1) + "\t" + TsvPath(p.path2) + "\t" + Percent(p.contentPercent) +
               "\t" + Percent(p.tagPercent) + "\t" + Experimental(p.experimentalPercent) + "\n";
    }
    return out;
}

bool WriteOutput(const std::string& file, const std::string& bytes) {
    FILE* out = file.empty() ? stdout : std::fopen(file.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    ok = std::fflush(out) == 0 && ok;
    if (out != stdout) {
        ok = std::fclose(out) == 0 && ok;
    }
    return ok;
}

// Takes the engine's messages into the list: new pairs are appended, a late
// experimental figure goes to the first listed record of its pair.
void HandleMessages(CliOwner& owner, const std::deque<uint32_t>& messages,
                    std::vector<DuplicatePair>& pairs) {
    for (uint32_t message : messages) {
        if (message == WM_CLEAR_PAIRS) {
            pairs.clear();
        } else if (message == WM_PAIRS_READY) {
            for (DuplicatePair& record : owner.TakePendingPairs()) {
                if (!record.isUpdate) {
                    pairs.push_back(std::move(record));
                    continue;
                }
                for (DuplicatePair& listed : pairs) {
                    if (listed.path1 == record.path1 && listed.path2 == record.path2) {
                        listed.experimentalPercent = record.experimentalPercent;
                        break;
                    }
                }
            }
        }
    }
}

int RunScan(int argc, char** argv) {
    ScanOptions options;
    bool help = false;
    if (const int failed = ParseArguments(argc, argv, options, &help); failed != 0) {
        return failed;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }

    std::vector<std::u16string> folders;
    for (const std::string& folder : options.folders) {
        const std::string full = FullFolder(folder);
        struct stat info;
        if (stat(full.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            std::fprintf(stderr, "harmonyfox-cli scan: no such folder: %s\n", folder.c_str());
            return kExitFailure;
        }
        folders.push_back(BytesToU16(full));
    }

    g_compareMethod = options.method;
    g_sensitivity = options.sensitivity;
    g_accurate = options.experimental;

    CliOwner owner;
    GripStore& store = GlobalGripStore();
    const std::string cache = options.cache.empty() ? GripStore::DefaultCachePath() : options.cache;
    if (Failed(store.LoadCache(cache, &owner))) {
        std::fprintf(stderr, "harmonyfox-cli scan: Can't open cache file %s\n", cache.c_str());
        return kExitFailure;
    }

    WorkerPool pool(&owner, ScanWorkerFactory(store, std::string()));
    if (Failed(pool.Start())) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot start the worker threads\n");
        return kExitFailure;
    }
    const int32_t generation = BeginScan(&owner, store);
    PostFolders(pool, generation, folders);

    const bool progress = isatty(STDERR_FILENO) != 0;
    std::vector<DuplicatePair> pairs;
    for (;;) {
        // Every message of a request is posted before the request counts as
        // finished, so once the generation has no work only these remain.
        const bool over = !pool.HasWork(generation);
        HandleMessages(owner, owner.Wait(over ? std::chrono::milliseconds(0) : kProgressInterval),
                       pairs);
        if (progress) {
            std::fprintf(stderr, "\rcached %d, files %d done of %d found, pairs %zu   ",
                         owner.m_cachedCount.load(), owner.m_doneCount.load(),
                         owner.m_pendingCount.load(), pairs.size());
        }
        if (over) {
            break;
        }
    }
    stopRequested = 1;
    pool.Shutdown();
    if (progress) {
        std::fputs("\n", stderr);
    }

    const bool written = WriteOutput(options.output, Render(options, pairs, owner));
    std::fprintf(stderr, "harmonyfox-cli scan: %zu pairs; %d files done of %d found; %d cached\n",
                 pairs.size(), owner.m_doneCount.load(), owner.m_pendingCount.load(),
                 owner.m_cachedCount.load());
    if (!written) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot write %s\n",
                     options.output.empty() ? "standard output" : options.output.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

const CommandRegistration kScan("scan", "find duplicate music files in folders", RunScan);

}  // namespace
