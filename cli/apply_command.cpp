// harmonyfox-cli apply: acts on the duplicates of a groups file that
// "harmonyfox-cli scan --groups --format json" wrote: each goes to the trash
// or is moved aside, through the action journal that "harmonyfox-cli undo"
// and the desktop program's Undo take back.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "action_journal.h"
#include "command.h"
#include "command_line.h"
#include "file_actions.h"
#include "journal_report.h"
#include "json_text.h"
#include "own_files.h"
#include "playlist_follow.h"
#include "tag_fill.h"

namespace {

const char kDescription[] =
    "Acts on every file of role \"duplicate\" in GROUPS.json, the output of\n"
    "'harmonyfox-cli scan --groups --format json': moves it to the trash, or\n"
    "into a folder, keeping its path below the scanned folder it came from.\n"
    "A group whose keeper no longer exists is refused and left alone. Every\n"
    "action is written to the journal before it happens, so that\n"
    "'harmonyfox-cli undo' (or Edit > Undo in the desktop program) can take\n"
    "it back. --fill-tags first fills each keeper's empty tags from its\n"
    "copies; --fix-playlists afterwards makes the M3U, M3U8 and PLS playlists\n"
    "under the scanned folders that named a duplicate name its keeper. Both\n"
    "are part of the same action, so undo takes them back too.";

const char kFooter[] =
    "Output, one line per file, tab separated, paths escaped as in the scan's\n"
    "tsv (tab, line feed, carriage return and backslash as \\t, \\n, \\r, \\\\):\n"
    "  trashed PATH IN-TRASH      moved PATH TARGET\n"
    "  failed PATH REASON         refused KEEPER REASON (the whole group)\n"
    "  would trash PATH           would move PATH TARGET   (--dry-run)\n"
    "  filled KEEPER FIELD<-COPY  not filled KEEPER REASON  (--fill-tags)\n"
    "  rewrote PLAYLIST LINES     not rewritten PLAYLIST REASON (--fix-playlists)\n"
    "  (\"would fill\" and \"would rewrite\" with --dry-run)\n"
    "A file goes to the trash of its own file system ($XDG_DATA_HOME/Trash,\n"
    "or .Trash-UID at the top of another file system); where there is none\n"
    "the file stays and --move-to can move it instead. A move never replaces\n"
    "a file: a taken name gets \" (2)\" added. The journal is kept in\n"
    "$XDG_DATA_HOME/Quillmere/Harmonyfox/journal; an action a crash\n"
    "interrupted is rolled back first (not with --dry-run, which changes\n"
    "nothing).\n"
    "\n"
    "A duplicate that is another name of its keeper (the same file through\n"
    "a linked folder, or a link between the two) is never taken: \"failed\".\n"
    "\n"
    "Exit status: 0 every duplicate was dealt with; 1 GROUPS.json cannot be\n"
    "read or is not a groups file, a keeper's tags or a playlist stayed as\n"
    "they were, the journal cannot be written or another\n"
    "Harmonyfox is acting on files, a group was refused or a file failed;\n"
    "2 bad arguments.\n";

struct GroupsFile {
    std::vector<std::string> duplicates;  // every duplicate once, in file order
    // The groups that are acted on, keeper first, each file with its role.
    std::vector<std::vector<GroupMember>> members;
    std::vector<std::string> keeperOf;      // of each duplicate
    std::vector<std::string> folders;       // the scanned folders, when the file names them
    std::vector<std::string> refused;       // keepers that no longer exist
    std::vector<std::string> keeperItself;  // duplicates that are the keeper's file
};

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The directory entry path names: its folder with every link resolved, its
// own name kept.
std::string EntryOf(const std::string& path) {
    const std::filesystem::path name(path);
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::canonical(name.parent_path(), error);
    return error ? path : (folder / name.filename()).string();
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Whether taking path away would take the keeper's music with it: the same
// entry by another spelling, or a link between the two. A hard link of the
// keeper may go: the keeper's own name still holds the bytes.
bool TakesTheKeeper(const std::string& path, const std::string& keeper) {
    return EntryOf(path) == EntryOf(keeper) ||
           ((IsLink(path) || IsLink(keeper)) && SameFile(path, keeper));
}

std::optional<FileRole> RoleNamed(const Json& value) {
    for (const FileRole role : {FileRole::kKeeper, FileRole::kDuplicate, FileRole::kReference,
                                FileRole::kLinked, FileRole::kTagsOnly}) {
        if (value.is_string() && value.get<std::string>() == FileRoleName(role)) {
            return role;
        }
    }
    return std::nullopt;
}

// The keepers' empty tags that their copies can fill.
std::vector<KeeperTagPlan> PlanTags(const GroupsFile& groups) {
    std::vector<KeeperTagPlan> plans;
    for (const std::vector<GroupMember>& members : groups.members) {
        KeeperTagPlan plan = PlanKeeperTags(members);
        if (!plan.fills.empty() || !plan.problem.empty()) {
            plans.push_back(std::move(plan));
        }
    }
    return plans;
}

void PrintTagPlans(const std::vector<KeeperTagPlan>& plans, const char* what) {
    for (const KeeperTagPlan& plan : plans) {
        for (const TagFill& fill : plan.fills) {
            PrintOutcome(what, U16ToBytes(plan.keeper),
                         std::string(KeeperFieldName(fill.field)) + "<-" + U16ToBytes(fill.source));
        }
    }
}

// Whether every keeper got its tags; prints what was filled and what not.
bool FillTags(const std::vector<KeeperTagPlan>& plans, const BeforeRewrite& beforeRewrite) {
    std::vector<KeeperTagPlan> writable;
    bool whole = true;
    for (const KeeperTagPlan& plan : plans) {
        if (plan.problem.empty()) {
            writable.push_back(plan);
        } else {
            PrintOutcome("not filled", U16ToBytes(plan.keeper), plan.problem);
            whole = false;
        }
    }
    const TagFillResult result = WriteKeeperTags(writable, beforeRewrite);
    std::set<std::u16string> failed;
    for (const TagFillFailure& failure : result.failures) {
        PrintOutcome("not filled", U16ToBytes(failure.path), failure.reason);
        failed.insert(failure.path);
    }
    std::vector<KeeperTagPlan> filled;
    for (const KeeperTagPlan& plan : writable) {
        if (failed.count(plan.keeper) == 0) {
            filled.push_back(plan);
        }
    }
    PrintTagPlans(filled, "filled");
    return whole && result.failures.empty();
}

// The playlists under roots that name a file of gone (with its keeper).
PlaylistFollowPlan PlanPlaylists(const std::vector<std::string>& roots,
                                 const std::vector<FollowedFile>& gone) {
    return gone.empty() ? PlaylistFollowPlan() : PlanPlaylistFollow(roots, gone);
}

void PrintPlaylistPlan(const PlaylistFollowPlan& plan, const char* what) {
    for (const PlaylistRewrite& rewrite : plan.rewrites) {
        std::string lines;
        for (const PlaylistLineChange& change : rewrite.changes) {
            if (!lines.empty()) {
                lines += ',';
            }
            lines += std::to_string(change.line);
        }
        PrintOutcome(what, rewrite.playlist, lines);
    }
}

// Whether every playlist that named a gone file was rewritten.
bool FixPlaylists(const PlaylistFollowPlan& plan, const BeforeRewrite& beforeRewrite) {
    const PlaylistFollowResult result = WritePlaylistFollow(plan, beforeRewrite);
    std::set<std::string> failed;
    for (const PlaylistProblem& problem : result.failures) {
        PrintOutcome("not rewritten", problem.playlist, problem.reason);
        failed.insert(problem.playlist);
    }
    PlaylistFollowPlan written;
    for (const PlaylistRewrite& rewrite : plan.rewrites) {
        if (failed.count(rewrite.playlist) == 0) {
            written.rewrites.push_back(rewrite);
        }
    }
    PrintPlaylistPlan(written, "rewrote");
    return result.failures.empty();
}

std::string Path(const Json& value) {
    return value.is_string() ? U16ToBytes(FromJsonText(value.get<std::string>())) : std::string();
}

// Reads the groups; false (with a message) when the file is not one.
bool ReadGroups(const std::string& file, GroupsFile* out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "harmonyfox-cli apply: cannot read %s\n", file.c_str());
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const Json document = ParseJson(text);
    if (document.is_discarded() || !document.is_object() || !document.contains("groups") ||
        !document["groups"].is_array()) {
        std::fprintf(stderr,
                     "harmonyfox-cli apply: %s is not the output of 'harmonyfox-cli scan "
                     "--groups --format json'\n",
                     file.c_str());
        return false;
    }
    if (document.contains("folders") && document["folders"].is_array()) {
        for (const Json& folder : document["folders"]) {
            if (const std::string path = Path(folder); !path.empty()) {
                out->folders.push_back(path);
            }
        }
    }
    std::set<std::string> seen;
    for (const Json& group : document["groups"]) {
        const std::string keeper =
            group.is_object() && group.contains("keeper") ? Path(group["keeper"]) : std::string();
        if (keeper.empty() || !group.contains("files") || !group["files"].is_array()) {
            std::fprintf(stderr, "harmonyfox-cli apply: %s holds a group without keeper or files\n",
                         file.c_str());
            return false;
        }
        // Without its keeper a group's duplicates may be the last copies.
        if (!Exists(keeper)) {
            out->refused.push_back(keeper);
            continue;
        }
        std::vector<GroupMember>& members = out->members.emplace_back();
        members.push_back({BytesToU16(keeper), FileRole::kKeeper});
        for (const Json& member : group["files"]) {
            if (!member.is_object() || !member.contains("path") || !member.contains("role")) {
                continue;
            }
            const std::string path = Path(member["path"]);
            const std::optional<FileRole> role = RoleNamed(member["role"]);
            if (path.empty() || path == keeper || !role) {
                continue;
            }
            members.push_back({BytesToU16(path), *role});
            // Anything but a duplicate is left alone.
            if (*role != FileRole::kDuplicate || !seen.insert(path).second) {
                continue;
            }
            if (TakesTheKeeper(path, keeper)) {
                out->keeperItself.push_back(path);
            } else {
                out->duplicates.push_back(path);
                out->keeperOf.push_back(keeper);
            }
        }
    }
    return true;
}

// The innermost folder that holds every path.
std::string CommonFolder(const std::vector<std::string>& paths) {
    std::string common;
    for (const std::string& path : paths) {
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        if (&path == &paths.front()) {
            common = folder;
            continue;
        }
        size_t same = 0;
        while (same < common.size() && same < folder.size() && common[same] == folder[same]) {
            ++same;
        }
        common = common.substr(0, common.rfind('/', same == 0 ? 0 : same - 1) + 1);
    }
    return common.empty() ? std::string("/") : common;
}

std::string Full(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

int RunApply(int argc, char** argv) {
    CLI::App app(kDescription, "harmonyfox-cli apply");
    SetUpCommandLine(app);
    app.footer(kFooter);
    std::string groupsFile;
    bool trash = false;
    std::string moveTo;
    std::vector<std::string> roots;
    bool dryRun = false;
    auto* trashFlag = app.add_flag("--trash", trash, "move the duplicates to the trash");
    auto* moveOption =
        app.add_option("--move-to", moveTo, "move the duplicates into FOLDER instead")
            ->type_name("FOLDER");
    trashFlag->excludes(moveOption);
    app.add_option("--root", roots,
                   "a scanned folder: moved files keep their path below it and playlists are "
                   "looked for in it (repeatable; default: the folders GROUPS.json names, else "
                   "the folder that holds every grouped file)")
        ->type_name("FOLDER");
    bool fillTags = false;
    bool fixPlaylists = false;
    app.add_flag("--fill-tags", fillTags,
                 "first fill each keeper's empty tags (title, artist, album, year, track, genre, "
                 "cover) from its copies");
    app.add_flag("--fix-playlists", fixPlaylists,
                 "make the playlists under the scanned folders that named a duplicate name its "
                 "keeper");
    app.add_flag("--dry-run", dryRun, "print what would be done and change nothing");
    app.add_option("GROUPS.json", groupsFile, "the groups to act on")->required()->type_name("");
    if (const std::optional<int> exit = ParseCommandLine(app, argc, argv)) {
        return *exit;
    }
    if (!trash && moveTo.empty()) {
        std::fprintf(stderr, "harmonyfox-cli apply: say --trash or --move-to FOLDER\n\n%s",
                     app.help().c_str());
        return kExitUsage;
    }

    GroupsFile groups;
    if (!ReadGroups(groupsFile, &groups)) {
        return kExitFailure;
    }
    for (const std::string& keeper : groups.refused) {
        PrintOutcome("refused", keeper, "its keeper no longer exists");
    }
    for (const std::string& path : groups.keeperItself) {
        PrintOutcome("failed", path, "it is the keeper's own file");
    }
    const bool leftAlone = !groups.refused.empty() || !groups.keeperItself.empty();
    const std::string folder = moveTo.empty() ? std::string() : Full(moveTo);
    for (std::string& root : roots) {
        root = Full(root);
    }
    if (roots.empty()) {
        roots = groups.folders;
    }
    if (roots.empty()) {
        std::vector<std::string> grouped;
        for (const std::vector<GroupMember>& members : groups.members) {
            for (const GroupMember& member : members) {
                grouped.push_back(U16ToBytes(member.path));
            }
        }
        roots.push_back(CommonFolder(grouped));
    }

    const std::vector<KeeperTagPlan> tagPlans =
        fillTags ? PlanTags(groups) : std::vector<KeeperTagPlan>();
    if (dryRun) {
        PrintTagPlans(tagPlans, "would fill");
        const std::vector<std::string> targets =
            trash ? std::vector<std::string>() : PlanMoves(groups.duplicates, roots, folder);
        std::vector<FollowedFile> gone;
        for (size_t i = 0; i < groups.duplicates.size(); ++i) {
            PrintOutcome(trash ? "would trash" : "would move", groups.duplicates[i],
                         trash ? std::string() : targets[i]);
            gone.push_back({BytesToU16(groups.duplicates[i]), BytesToU16(groups.keeperOf[i])});
        }
        if (fixPlaylists) {
            PrintPlaylistPlan(PlanPlaylists(roots, gone), "would rewrite");
        }
        return leftAlone ? kExitFailure : kExitOk;
    }

    ActionJournal journal;
    TrashCan trashCan;
    if (!MendAtStart(journal, trashCan, "apply")) {
        return kExitFailure;
    }
    if (const HRESULT begun = journal.Begin(trash ? "trash" : "move to " + folder); Failed(begun)) {
        std::fprintf(stderr, "harmonyfox-cli apply: %s\n", JournalFailure(begun, journal).c_str());
        return kExitFailure;
    }
    // The tags are read from the copies while they are still in place; each
    // file rewritten is saved in the journal first, so undo gives it back.
    const bool tagsWhole = FillTags(tagPlans, journal.RewriteHook());
    ActionReport report;
    const HRESULT acted = trash ? TrashFiles(journal, trashCan, groups.duplicates, &report)
                                : MoveFiles(journal, groups.duplicates, roots, folder, &report);
    bool playlistsWhole = true;
    if (fixPlaylists) {
        std::vector<FollowedFile> gone;
        for (size_t i = 0; i < groups.duplicates.size(); ++i) {
            for (const FileOutcome& file : report.files) {
                if (file.done && file.path == groups.duplicates[i]) {
                    gone.push_back({BytesToU16(file.path), BytesToU16(groups.keeperOf[i])});
                }
            }
        }
        playlistsWhole = FixPlaylists(PlanPlaylists(roots, gone), journal.RewriteHook());
    }
    const HRESULT completed = journal.Complete();
    for (const FileOutcome& file : report.files) {
        if (file.done) {
            PrintOutcome(trash ? "trashed" : "moved", file.path, file.to);
        } else {
            PrintOutcome("failed", file.path, file.reason);
        }
    }
    std::fprintf(stderr, "harmonyfox-cli apply: %zu %s, %zu failed, %zu groups refused\n",
                 report.Done(), trash ? "trashed" : "moved", report.NotDone(),
                 groups.refused.size());
    if (trash && report.NotDone() > 0) {
        std::fprintf(stderr,
                     "harmonyfox-cli apply: where the trash cannot take a file, --move-to FOLDER "
                     "can move it aside\n");
    }
    if (Failed(acted) || Failed(completed)) {
        std::fprintf(stderr, "harmonyfox-cli apply: the journal cannot be written in %s\n",
                     journal.folder().c_str());
        return kExitFailure;
    }
    return report.NotDone() == 0 && !leftAlone && tagsWhole && playlistsWhole ? kExitOk
                                                                              : kExitFailure;
}

const CommandRegistration kApply("apply", "trash or move the duplicates of a groups file",
                                 RunApply);

}  // namespace
