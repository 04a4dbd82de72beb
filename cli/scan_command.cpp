// harmonyfox-cli scan: one scan of the given folders through the scan engine,
// with the desktop program's cache file unless told otherwise; prints the
// listed pairs when the scan is over.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "analyzer.h"
#include "command.h"
#include "command_line.h"
#include "compare_settings.h"
#include "csv_export.h"
#include "decoder_set.h"
#include "duplicate_groups.h"
#include "file_facts.h"
#include "folder_roles.h"
#include "grip_store.h"
#include "json_text.h"
#include "keeper_rules.h"
#include "not_duplicates.h"
#include "own_files.h"
#include "pair_verdict.h"
#include "playlist.h"
#include "scan_controller.h"
#include "scan_state.h"
#include "skip_memory.h"

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr double kPercentDecimals = 10.0;  // figures are printed with one decimal

const char kDescription[] =
    "Scans the folders (and their subfolders) for duplicate music files and\n"
    "prints every pair found, once the scan is over. Fingerprints are kept in\n"
    "the cache file, so a file is decoded only the first time it is seen.";

const char kFooter[] =
    "Output, one pair per listed pair in the order found; path1 is the file\n"
    "that joined the scan later:\n"
    "  tsv   a header line path1, path2, content, tags, experimental (tab\n"
    "        separated), then one line per pair; percentages with one decimal;\n"
    "        experimental is \"n/a\" when not requested and \"failed\" when it\n"
    "        could not be computed (a file shorter than a minute). Tab, line feed, carriage return "
    "and backslash in a path\n"
    "        are written as \\t, \\n, \\r and \\\\.\n"
    "  json  one object: \"pairs\" (path1, path2, content, tags, experimental,\n"
    "        verdict, offset_s) and \"counters\". verdict is \"same file\" (the\n"
    "        same bytes), \"same audio\" (equal decoded samples of the analysed\n"
    "        30 s, or equal FLAC MD5 signatures), \"shifted\" (the music comes\n"
    "        offset_s seconds later in path2's analysed window than in\n"
    "        path1's), \"band-limited\" (alike over the narrower band of the\n"
    "        two), \"same recording\" or \"tags only\" (offset_s null).\n"
    "        \"counters\": cached (entries in the cache file), found (files\n"
    "        found), done, new (fingerprinted now), fromCache, skipped, and\n"
    "        skippedBy (the skipped count of each reason). Bytes of a name that\n"
    "        are not UTF-8 are written as \\udc80..\\udcff.\n"
    "  csv   the pairs as RFC 4180 CSV (fields with a comma, a quotation mark or\n"
    "        a line break quoted, lines ended by CR LF): path1, path2,\n"
    "        content_percent, tags_percent, experimental_percent (empty when\n"
    "        not computed), verdict and offset_s as in json (empty for tags only).\n"
    "  m3u   the playlist the desktop program saves: #EXTM3U, then every\n"
    "        file of the pairs once, in the order first met, lines ended by CR\n"
    "        LF; a path that cannot be written as one line (a line break in it)\n"
    "        is left out and counted.\n"
    "\n"
    "With --skipped, the files that gave no fingerprint, one line each: the\n"
    "path (escaped as in tsv), a tab, the reason: unsupported (no plug-in\n"
    "reads it), damaged, too-short (under 15 s of music), unreadable,\n"
    "not-regular (FIFO, device, socket), silent (no music: silence, a\n"
    "constant or faint noise, up to two minutes in). A skipped file is not decoded again\n"
    "while its size and modification time stay the same.\n"
    "\n"
    "With --groups the pairs that sound alike are joined into groups (A~B\n"
    "and B~C make one group), each led by the copy the --keep rules suggest\n"
    "keeping; a pair alike by its tags alone never joins two groups:\n"
    "  tsv   a header line group, role, path, then one line per file; groups\n"
    "        are numbered from 1, the keeper's line comes first; role is\n"
    "        keeper; duplicate (it sounds like the keeper); reference (under a\n"
    "        --reference folder, never to be deleted); linked (it sounds like\n"
    "        another copy but not like the keeper); or tags-only (alike by its\n"
    "        tags alone). Every duplicate line is a file a user can delete\n"
    "        and still keep a copy of every piece.\n"
    "  json  one object: \"groups\" (keeper, files: path, role, verdict against\n"
    "        the keeper as for pairs, null when not paired with it),\n"
    "        \"folders\" (the scanned folders, in full) and \"counters\".\n"
    "  csv   group, role, path, then the file's content_percent, tags_percent,\n"
    "        experimental_percent and verdict against the keeper (empty for the\n"
    "        keeper and a file not paired with it).\n"
    "  m3u   every file of every group once, keeper first.\n"
    "\n"
    "Pairs remembered as \"not duplicates\" in the desktop program\n"
    "($XDG_DATA_HOME/Quillmere/Harmonyfox/not-duplicates.txt) are left out.\n"
    "\n"
    "Progress goes to standard error while it is a terminal; a summary line\n"
    "ends the run there.\n"
    "\n"
    "Exit status: 0 success; 1 the cache file cannot be opened, is held by\n"
    "another running Harmonyfox or is not a Harmonyfox cache (it is then left\n"
    "alone), a folder does not exist, the output cannot be written, or some\n"
    "fingerprints could not be saved in the cache (disk full, say); 2 bad\n"
    "arguments: an output that names the cache, a file beside it, the list of\n"
    "pairs that are not duplicates or the other output, or a folder both\n"
    "scanned and excluded.\n";

struct ScanOptions {
    int32_t method = kCompareBoth;
    float sensitivity = 0.75f;
    bool experimental = false;
    bool strict = false;
    std::string cache;
    std::string format = "tsv";
    std::string output;
    std::string skipped;
    std::vector<std::string> folders;
    bool groups = false;
    std::vector<KeepRule> keep = DefaultKeepRules();
    std::vector<std::string> reference;
    std::vector<std::string> exclude;
    std::vector<std::string> prefer;
};

// Wakes the main thread when the engine has news.
class CliListener final : public ScanListener {
  public:
    void OnScanNews() override {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_news = true;
        }
        m_arrived.notify_one();
    }

    // Waits up to timeout for news.
    void Wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_arrived.wait_for(hold, timeout, [this] { return m_news; });
        m_news = false;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    bool m_news = false;
};

// Empty when text is a number from 0 to 1, else the complaint.
std::string CheckSensitivity(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != 0 || errno != 0 || !(v >= 0.0 && v <= 1.0)) {
        return "takes a number from 0 to 1";
    }
    return std::string();
}

std::string CheckKeepRules(const std::string& text) {
    return !text.empty() && ParseKeepRules(text) ? std::string()
                                                 : "takes rule names separated by commas";
}

std::string CheckNotEmpty(const std::string& text) {
    return text.empty() ? "needs a file name" : std::string();
}

// Returns nothing when the scan should run, else the exit code.
std::optional<int> ParseArguments(int argc, char** argv, ScanOptions& options) {
    CLI::App app(kDescription, "harmonyfox-cli scan");
    SetUpCommandLine(app);
    app.footer(kFooter);
    const std::map<std::string, int32_t> methods = {
        {"tags", kCompareTags}, {"content", kCompareContent}, {"both", kCompareBoth}};
    app.add_option("--method", options.method, "what makes two files duplicates (default both)")
        ->transform(CLI::CheckedTransformer(methods).description(""))
        ->type_name("tags|content|both");
    std::string sensitivity;
    app.add_option("--sensitivity", sensitivity,
                   "0..1, higher asks for more alike files (default 0.75)")
        ->check(CLI::Validator(CheckSensitivity, ""))
        ->type_name("S");
    app.add_flag("--experimental", options.experimental,
                 "also compute the slow experimental figure of each pair");
    app.add_flag("--strict", options.strict,
                 "compare content as the analysed windows lie, over the whole band (by default "
                 "a copy that starts up to 8 s elsewhere, carries a narrower band, plays a "
                 "little faster or was equalized or compressed still matches)");
    app.add_option("--cache", options.cache,
                   "fingerprint cache file (default: the desktop program's, "
                   "$XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat)")
        ->check(CLI::Validator(CheckNotEmpty, ""))
        ->type_name("FILE");
    app.add_option("--format", options.format, "output format (default tsv)")
        ->check(CLI::IsMember({"tsv", "json", "csv", "m3u"}).description(""))
        ->type_name("tsv|json|csv|m3u");
    app.add_option("--output", options.output,
                   "write the output to FILE instead of standard output")
        ->check(CLI::Validator(CheckNotEmpty, ""))
        ->type_name("FILE");
    app.add_option("--skipped", options.skipped,
                   "write the files that gave no fingerprint to FILE, with the reason")
        ->check(CLI::Validator(CheckNotEmpty, ""))
        ->type_name("FILE");
    app.add_flag("--groups", options.groups, "print groups of copies instead of pairs");
    std::string keep;
    app.add_option("--keep", keep,
                   "the rules that pick the copy to keep, best first (default " +
                       KeepRulesText(DefaultKeepRules()) + ")")
        ->check(CLI::Validator(CheckKeepRules, ""))
        ->type_name("RULE,...");
    app.add_option("--reference", options.reference,
                   "a folder whose files are always kept (scanned too; repeatable)")
        ->type_name("FOLDER");
    app.add_option("--exclude", options.exclude,
                   "a folder that is not scanned, also inside a scanned one (repeatable)")
        ->type_name("FOLDER");
    app.add_option("--prefer", options.prefer, "a folder for the rule \"preferred\" (repeatable)")
        ->type_name("FOLDER");
    app.add_option("FOLDER", options.folders, "the folders to scan")->required()->type_name("");
    const std::optional<int> exit = ParseCommandLine(app, argc, argv);
    if (!exit && !sensitivity.empty()) {
        options.sensitivity = std::strtof(sensitivity.c_str(), nullptr);
    }
    if (!exit && !keep.empty()) {
        options.keep = *ParseKeepRules(keep);
    }
    return exit;
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
    if (value == kExperimentalFailed) {
        return "failed";
    }
    if (value < kExperimentalPending) {
        return "n/a";
    }
    if (value < 0.0f) {
        return "wait";
    }
    return Percent(value);
}

// The figure with one decimal, as the TSV shows it.
double Rounded(float value) {
    return std::round(static_cast<double>(value) * kPercentDecimals) / kPercentDecimals;
}

Json JsonExperimental(float value) {
    if (value < 0.0f) {
        return Experimental(value);
    }
    return Rounded(value);
}

Json Counters(const ScanCounts& counts, const std::vector<SkippedFile>& skipped) {
    Json byReason = Json::object();
    const auto byCount = CountByReason(skipped);
    for (int i = 0; i < kSkipReasonCount; ++i) {
        byReason[std::string(SkipReasonName(static_cast<SkipReason>(i + 1)))] =
            byCount[static_cast<size_t>(i)];
    }
    return {{"cached", counts.cached},
            {"found", counts.found},
            {"done", counts.done},
            {"new", counts.fresh},
            {"fromCache", counts.fromCache},
            {"skipped", counts.skipped},
            {"skippedBy", std::move(byReason)}};
}

using Groups = std::vector<std::vector<GroupMember>>;

// The verdicts of the output. The decoder they need for pairs whose
// fingerprints are equal is made on first use: loading the plug-ins costs
// more than most outputs, and most have no such pair.
class Verdicts {
  public:
    PairVerdict operator()(const DuplicatePair& pair) {
        if (pair.sameFingerprint && pair.contentMatch && !m_decoder) {
            m_decoder = std::make_unique<Analyzer>();
        }
        return JudgeVerdict(pair, m_decoder.get());
    }

  private:
    std::unique_ptr<Analyzer> m_decoder;
};

// The verdict on each grouped file against its keeper, for the files paired
// with the keeper directly; null for the keeper and the others.
Json VerdictAgainstKeeper(const std::vector<DuplicatePair>& pairs, const std::u16string& keeper,
                          const std::u16string& path, Verdicts& verdicts) {
    for (const DuplicatePair& p : pairs) {
        if ((p.path1 == keeper && p.path2 == path) || (p.path1 == path && p.path2 == keeper)) {
            return std::string(VerdictName(verdicts(p).verdict));
        }
    }
    return nullptr;
}

std::string RenderGroups(const ScanOptions& options, const Groups& groups,
                         const std::vector<DuplicatePair>& pairs, const ScanCounts& counts,
                         const std::vector<SkippedFile>& skipped, size_t* leftOut) {
    if (options.format == "m3u") {
        std::vector<std::u16string> files;
        for (const std::vector<GroupMember>& group : groups) {
            for (const GroupMember& m : group) {
                files.push_back(m.path);
            }
        }
        return PlaylistBytes(files, leftOut);
    }
    if (options.format == "csv") {
        Verdicts verdicts;
        return GroupsCsv(groups, pairs, std::ref(verdicts));
    }
    if (options.format == "json") {
        Verdicts verdicts;
        Json list = Json::array();
        for (const std::vector<GroupMember>& group : groups) {
            Json files = Json::array();
            for (const GroupMember& m : group) {
                files.push_back({{"path", JsonText(m.path)},
                                 {"role", FileRoleName(m.role)},
                                 {"verdict", VerdictAgainstKeeper(pairs, group.front().path, m.path,
                                                                  verdicts)}});
            }
            list.push_back({{"keeper", JsonText(group.front().path)}, {"files", std::move(files)}});
        }
        Json document;
        document["groups"] = std::move(list);
        // The scanned folders, below which "apply" keeps moved files' paths
        // and looks for playlists.
        Json folders = Json::array();
        for (const std::string& folder : options.folders) {
            folders.push_back(JsonText(BytesToU16(FullFolder(folder))));
        }
        document["folders"] = std::move(folders);
        document["counters"] = Counters(counts, skipped);
        return DumpJson(document, 2) + "\n";
    }
    std::string out = "group\trole\tpath\n";
    for (size_t g = 0; g < groups.size(); ++g) {
        for (const GroupMember& m : groups[g]) {
            out += std::to_string(g + 1) + "\t" + FileRoleName(m.role) + "\t" + TsvEscape(m.path) +
                   "\n";
        }
    }
    return out;
}

// The groups of pairs, each arranged around the copy the rules keep. Reads
// every grouped file's facts through the plug-ins.
Groups MakeGroups(const std::vector<DuplicatePair>& pairs, const FolderRoles& roles,
                  const std::vector<std::u16string>& preferred,
                  const std::vector<KeepRule>& rules) {
    DecoderSet decoders;
    Groups out;
    for (const PairGroup& group : GroupPairs(pairs)) {
        std::vector<FileFacts> facts(group.files.size());
        std::vector<bool> reference(group.files.size());
        for (size_t i = 0; i < group.files.size(); ++i) {
            const std::u16string& path = group.files[i];
            reference[i] = roles.IsReference(path);
            facts[i].reference = reference[i];
            facts[i].preferred = std::any_of(preferred.begin(), preferred.end(),
                                             [&](const auto& f) { return PathIsInside(path, f); });
            ReadFileFacts(decoders, path, &facts[i]);
        }
        out.push_back(ArrangeGroup(group, pairs, PickGroupKeeper(group, facts, rules), reference));
    }
    return out;
}

std::string Render(const ScanOptions& options, const std::vector<DuplicatePair>& pairs,
                   const ScanCounts& counts, const std::vector<SkippedFile>& skipped,
                   size_t* leftOut) {
    if (options.format == "m3u") {
        return PlaylistBytes(pairs, leftOut);
    }
    if (options.format == "csv") {
        std::vector<const DuplicatePair*> listed;
        for (const DuplicatePair& p : pairs) {
            listed.push_back(&p);
        }
        Verdicts verdicts;
        return PairsCsv(listed, std::ref(verdicts));
    }
    if (options.format == "json") {
        Verdicts verdicts;
        Json list = Json::array();
        for (const DuplicatePair& p : pairs) {
            const PairVerdict verdict = verdicts(p);
            list.push_back({{"path1", JsonText(p.path1)},
                            {"path2", JsonText(p.path2)},
                            {"content", Rounded(p.contentPercent)},
                            {"tags", Rounded(p.tagPercent)},
                            {"experimental", JsonExperimental(p.experimentalPercent)},
                            {"verdict", std::string(VerdictName(verdict.verdict))},
                            {"offset_s", p.contentMatch ? Json(Rounded(verdict.offsetSeconds))
                                                        : Json(nullptr)}});
        }
        Json document;
        document["pairs"] = std::move(list);
        document["counters"] = Counters(counts, skipped);
        return DumpJson(document, 2) + "\n";
    }
    std::string out = "path1\tpath2\tcontent\ttags\texperimental\n";
    for (const DuplicatePair& p : pairs) {
        out += TsvEscape(p.path1) + "\t" + TsvEscape(p.path2) + "\t" + Percent(p.contentPercent) +
               "\t" + Percent(p.tagPercent) + "\t" + Experimental(p.experimentalPercent) + "\n";
    }
    return out;
}

// One line per skipped file: path (escaped as in the pair list), a tab, the reason.
std::string SkippedLines(const std::vector<SkippedFile>& skipped) {
    std::string out;
    for (const SkippedFile& file : skipped) {
        out += TsvEscape(file.path) + "\t" + std::string(SkipReasonName(file.reason)) + "\n";
    }
    return out;
}

// "; 3 new, 9 from the cache, 2 skipped (1 unsupported, 1 too-short)"
std::string OutcomeSummary(const ScanCounts& counts, const std::vector<SkippedFile>& skipped) {
    std::string out = "; " + std::to_string(counts.fresh) + " new, " +
                      std::to_string(counts.fromCache) + " from the cache, " +
                      std::to_string(skipped.size()) + " skipped";
    const auto byCount = CountByReason(skipped);
    std::string reasons;
    for (int i = 0; i < kSkipReasonCount; ++i) {
        if (byCount[static_cast<size_t>(i)] != 0) {
            reasons += (reasons.empty() ? "" : ", ") +
                       std::to_string(byCount[static_cast<size_t>(i)]) + " " +
                       std::string(SkipReasonName(static_cast<SkipReason>(i + 1)));
        }
    }
    return reasons.empty() ? out : out + " (" + reasons + ")";
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
int RunScan(int argc, char** argv) {
    ScanOptions options;
    if (const std::optional<int> exit = ParseArguments(argc, argv, options)) {
        return *exit;
    }

    std::vector<FolderSetting> settings;
    const std::pair<const std::vector<std::string>*, FolderRole> given[] = {
        {&options.folders, FolderRole::kNormal},
        {&options.reference, FolderRole::kReference},
        {&options.exclude, FolderRole::kExcluded}};
    for (const auto& [folders, role] : given) {
        for (const std::string& folder : *folders) {
            const std::string full = FullFolder(folder);
            struct stat info;
            if (role != FolderRole::kExcluded &&
                (stat(full.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
                std::fprintf(stderr, "harmonyfox-cli scan: no such folder: %s\n", folder.c_str());
                return kExitFailure;
            }
            settings.push_back({BytesToU16(full), role});
        }
    }
    // A folder both scanned and left out would be scanned for nothing.
    for (const FolderSetting& out : settings) {
        for (const FolderSetting& in : settings) {
            if (out.role == FolderRole::kExcluded && in.role != FolderRole::kExcluded &&
                SameFile(U16ToBytes(out.path), U16ToBytes(in.path))) {
                std::fprintf(stderr, "harmonyfox-cli scan: %s is both %s and excluded\n",
                             U16ToBytes(in.path).c_str(),
                             in.role == FolderRole::kReference ? "a reference folder" : "scanned");
                return kExitUsage;
            }
        }
    }
    const FolderRoles roles(std::move(settings));
    std::vector<std::u16string> preferred;
    for (const std::string& folder : options.prefer) {
        preferred.push_back(BytesToU16(FullFolder(folder)));
    }

    g_compareMethod = options.method;
    g_sensitivity = options.sensitivity;
    g_accurate = options.experimental;
    g_strictCompare = options.strict;

    // No output replaces a file of ours, nor the other output, whatever
    // name reaches it.
    const std::string cache = options.cache.empty() ? GripStore::DefaultCachePath() : options.cache;
    NotDuplicates notDuplicates;
    const OwnFiles own(cache, notDuplicates.File());
    for (const auto& [option, file] :
         {std::pair<const char*, const std::string&>{"--output", options.output},
          {"--skipped", options.skipped}}) {
        if (const char* what = file.empty() ? nullptr : own.Owns(file)) {
            std::fprintf(stderr, "harmonyfox-cli scan: %s names %s: %s\n", option, what,
                         file.c_str());
            return kExitUsage;
        }
    }
    if (!options.output.empty() && !options.skipped.empty() &&
        SameFile(options.output, options.skipped)) {
        std::fprintf(stderr, "harmonyfox-cli scan: --output and --skipped name the same file: %s\n",
                     options.output.c_str());
        return kExitUsage;
    }

    CliListener listener;
    ScanController scan(&listener);
    if (const HRESULT loaded = scan.Load(cache, std::string()); Failed(loaded)) {
        std::fprintf(stderr, "harmonyfox-cli scan: %s: %s\n", CacheLoadMessage(loaded),
                     cache.c_str());
        return kExitFailure;
    }
    // A lost or damaged stamp index is told once, by the load that finds it.
    if (const std::string note = IndexReportMessage(scan.indexReport()); !note.empty()) {
        std::fprintf(stderr, "harmonyfox-cli scan: %s\n", note.c_str());
    }
    if (scan.skipMemoryResult() == E_FILE_FOREIGN) {
        std::fprintf(stderr,
                     "harmonyfox-cli scan: %s is not a list of skipped files; it is left alone "
                     "and skipped files are not remembered\n",
                     SkipMemory::PathBeside(cache).c_str());
    }
    if (Failed(scan.StartPool(std::string()))) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot start the worker threads\n");
        return kExitFailure;
    }
    scan.Begin(roles);

    const bool progress = isatty(STDERR_FILENO) != 0;
    for (;;) {
        // Every message of a request is posted before the request counts as
        // finished, so once the scan has no work only these remain.
        const bool over = !scan.Running();
        listener.Wait(over ? std::chrono::milliseconds(0) : kProgressInterval);
        scan.TakeNews();
        if (progress) {
            const ScanCounts counts = scan.Counts();
            std::fprintf(stderr, "\rcached %d, files %d done of %d found, pairs %zu   ",
                         counts.cached, counts.done, counts.found, scan.pairs().size());
        }
        if (over) {
            break;
        }
    }
    if (progress) {
        std::fputs("\n", stderr);
    }

    if (Failed(notDuplicates.Load())) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot read %s; no pair is left out\n",
                     notDuplicates.File().c_str());
    } else if (notDuplicates.setAside() > 0) {
        std::fprintf(
            stderr, "harmonyfox-cli scan: %zu damaged lines of %s were set aside in %s.bad\n",
            notDuplicates.setAside(), notDuplicates.File().c_str(), notDuplicates.File().c_str());
    }
    std::vector<DuplicatePair>& pairs = scan.pairs();
    notDuplicates.Filter(pairs);
    const ScanCounts counts = scan.Counts();
    const std::vector<SkippedFile> skipped = scan.Skipped();
    size_t leftOut = 0;
    std::string rendered;
    std::string groupCount;
    if (options.groups) {
        const Groups groups = MakeGroups(pairs, roles, preferred, options.keep);
        rendered = RenderGroups(options, groups, pairs, counts, skipped, &leftOut);
        groupCount = " in " + std::to_string(groups.size()) + " groups";
    } else {
        rendered = Render(options, pairs, counts, skipped, &leftOut);
    }
    const bool written = WriteOutput(options.output, rendered);
    std::fprintf(stderr,
                 "harmonyfox-cli scan: %zu pairs%s; %d files done of %d found; %d cached%s\n",
                 pairs.size(), groupCount.c_str(), counts.done, counts.found, counts.cached,
                 OutcomeSummary(counts, skipped).c_str());
    if (leftOut > 0) {
        std::fprintf(stderr,
                     "harmonyfox-cli scan: %zu paths left out of the playlist: they cannot be "
                     "written as one line\n",
                     leftOut);
    }
    const std::string unsaved = SaveFailuresMessage(scan.saveFailures());
    if (!unsaved.empty()) {
        std::fprintf(stderr, "harmonyfox-cli scan: %s\n", unsaved.c_str());
    }
    if (!written) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot write %s\n",
                     options.output.empty() ? "standard output" : options.output.c_str());
        return kExitFailure;
    }
    if (!options.skipped.empty() && !WriteOutput(options.skipped, SkippedLines(skipped))) {
        std::fprintf(stderr, "harmonyfox-cli scan: cannot write %s\n", options.skipped.c_str());
        return kExitFailure;
    }
    return unsaved.empty() ? kExitOk : kExitFailure;
}

const CommandRegistration kScan("scan", "find duplicate music files in folders", RunScan);

}  // namespace
