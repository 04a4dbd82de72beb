#include "playlist_follow.h"

#include "file_io.h"
#include "whole_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// Far beyond any real playlist; a bigger file is no playlist of ours to read whole.
constexpr uintmax_t kLargestPlaylist = 64u << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

enum class PlaylistKind { kNone, kM3u, kPls };

PlaylistKind KindOf(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".m3u" || extension == ".m3u8") {
        return PlaylistKind::kM3u;
    }
    return extension == ".pls" ? PlaylistKind::kPls : PlaylistKind::kNone;
}

struct Span {
    size_t start = 0;
    size_t length = 0;
};

// Each line's text, without its line end (LF or CR LF, kept apart so that a
// rewrite keeps them) and, on the first line, without a byte-order mark.
std::vector<Span> LineSpans(const std::string& bytes) {
    std::vector<Span> lines;
    size_t pos = bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < bytes.size()) {
        const size_t feed = bytes.find('\n', pos);
        const size_t end = feed == std::string::npos ? bytes.size() : feed;
        const size_t textEnd = end > pos && bytes[end - 1] == '\r' ? end - 1 : end;
        lines.push_back({pos, textEnd - pos});
        pos = feed == std::string::npos ? bytes.size() : feed + 1;
    }
    return lines;
}

// Where the file name of an entry line lies within the line; length 0 when
// the line names no file (a comment, #EXTINF, a PLS title, a blank line).
Span EntryOf(std::string_view line, PlaylistKind kind) {
    size_t start = 0;
    if (kind == PlaylistKind::kPls) {
        // FileN=..., the key in any case, as players read it.
        const size_t equals = line.find('=');
        std::string key(line.substr(0, equals == std::string_view::npos ? 0 : equals));
        key.erase(0, std::min(key.size(), key.find_first_not_of(kBlanks)));
        key.erase(key.find_last_not_of(kBlanks) + 1);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (key.size() <= 4 || !key.starts_with("file") ||
            key.find_first_not_of("0123456789", 4) != std::string::npos) {
            return {};
        }
        start = equals + 1;
    }
    const size_t first = line.find_first_not_of(kBlanks, start);
    if (first == std::string_view::npos || (kind == PlaylistKind::kM3u && line[first] == '#')) {
        return {};
    }
    const size_t last = line.find_last_not_of(kBlanks);
    return {first, last + 1 - first};
}

// path with its links resolved as far as it exists (a file that went is
// gone, its folder is not), so that an entry that reaches a file through a
// linked folder or a folder's other spelling still names it.
std::string Resolved(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return (error ? path.lexically_normal() : resolved).string();
}

class Followed {
  public:
    explicit Followed(const std::vector<FollowedFile>& followed) {
        for (const FollowedFile& f : followed) {
            m_keeperOf.emplace(Resolved(fs::path(U16ToBytes(f.gone))), U16ToBytes(f.keeper));
        }
    }

    // The line that names the keeper in place of a gone file; empty when
    // the line names none (or the keeper's name cannot be one line).
    std::string Rewritten(std::string_view line, PlaylistKind kind, const fs::path& folder) const {
        const Span entry = EntryOf(line, kind);
        if (entry.length == 0) {
            return std::string();
        }
        const std::string_view name = line.substr(entry.start, entry.length);
        if (name.find("://") != std::string_view::npos) {
            return std::string();
        }
        const bool relative = !name.starts_with('/');
        const fs::path named = relative ? folder / fs::path(name) : fs::path(name);
        const auto found = m_keeperOf.find(Resolved(named));
        if (found == m_keeperOf.end() || found->second.find_first_of("\r\n") != std::string::npos) {
            return std::string();
        }
        std::string keeper = found->second;
        if (relative) {
            const std::string path = fs::path(keeper).lexically_relative(folder).string();
            if (!path.empty()) {
                keeper = path;
            }
        }
        std::string out(line.substr(0, entry.start));
        out += keeper;
        out += line.substr(entry.start + entry.length);
        return out;
    }

  private:
    std::unordered_map<std::string, std::string> m_keeperOf;
};

// The playlist's bytes; empty with *reason set when they cannot be had.
bool ReadPlaylist(const std::string& path, std::string* bytes, std::string* reason) {
    std::error_code error;
    if (fs::file_size(path, error) > kLargestPlaylist && !error) {
        *reason = "it is too large for a playlist";
        return false;
    }
    if (ReadWholeFile(path, bytes) != WholeRead::kRead) {
        *reason = "it cannot be read";
        return false;
    }
    return true;
}

void PlanOne(const fs::path& playlist, PlaylistKind kind, const Followed& followed,
             PlaylistFollowPlan* plan) {
    std::string bytes;
    std::string reason;
    if (!ReadPlaylist(playlist.string(), &bytes, &reason)) {
        plan->unreadable.push_back({playlist.string(), reason});
        return;
    }
    PlaylistRewrite rewrite{playlist.string(), {}};
    const fs::path folder = playlist.parent_path();
    const std::vector<Span> lines = LineSpans(bytes);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line(bytes.data() + lines[i].start, lines[i].length);
        std::string after = followed.Rewritten(line, kind, folder);
        if (!after.empty()) {
            rewrite.changes.push_back({i + 1, std::string(line), std::move(after)});
        }
    }
    if (!rewrite.changes.empty()) {
        plan->rewrites.push_back(std::move(rewrite));
    }
}

// Writes one playlist; false with *reason when it stays as it was.
bool WriteOne(const PlaylistRewrite& rewrite, const BeforeRewrite& beforeRewrite,
              std::string* reason) {
    const std::string target = ReplacedPath(rewrite.playlist);
    struct stat before {};
    std::string bytes;
    if (stat(target.c_str(), &before) != 0) {
        *reason = "it cannot be read";
        return false;
    }
    if (!ReadPlaylist(target, &bytes, reason)) {
        return false;
    }
    const std::vector<Span> lines = LineSpans(bytes);
    std::string out;
    size_t copied = 0;
    for (const PlaylistLineChange& change : rewrite.changes) {
        const Span* line =
            change.line >= 1 && change.line <= lines.size() ? &lines[change.line - 1] : nullptr;
        if (line == nullptr || line->start < copied ||
            std::string_view(bytes.data() + line->start, line->length) != change.before) {
            *reason = "it changed since it was looked at";
            return false;
        }
        out.append(bytes, copied, line->start - copied);
        out += change.after;
        copied = line->start + line->length;
    }
    out.append(bytes, copied);

    SiblingFile replacement;
    if (!replacement.Create(target, before)) {
        *reason = "no file can be made in its folder";
        return false;
    }
    if (!WriteAll(replacement.file(), reinterpret_cast<const unsigned char*>(out.data()),
                  out.size(), 0)) {
        *reason = "it cannot be written (is the disk full?)";
        return false;
    }
    struct stat now {};
    if (stat(target.c_str(), &now) != 0 || !SameStamp(before, now)) {
        *reason = "it changed while it was rewritten";
        return false;
    }
    if (beforeRewrite && Failed(beforeRewrite(rewrite.playlist))) {
        *reason = "its old bytes cannot be kept for an undo";
        return false;
    }
    if (!replacement.Place(target)) {
        *reason = "the rewritten playlist cannot take its place";
        return false;
    }
    return true;
}

}  // namespace

PlaylistFollowPlan PlanPlaylistFollow(const std::vector<std::string>& folders,
                                      const std::vector<FollowedFile>& followed) {
    PlaylistFollowPlan plan;
    if (followed.empty()) {
        return plan;
    }
    const Followed lookup(followed);
    std::unordered_set<std::string> seen;  // nested scanned folders list a playlist once
    for (const std::string& folder : folders) {
        std::error_code error;
        fs::recursive_directory_iterator it(fs::absolute(folder, error),
                                            fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            const fs::path path = it->path().lexically_normal();
            const PlaylistKind kind = KindOf(path);
            std::error_code typeError;
            if (kind == PlaylistKind::kNone || !it->is_regular_file(typeError) ||
                !seen.insert(path.string()).second) {
                continue;
            }
            PlanOne(path, kind, lookup, &plan);
        }
    }
    return plan;
}

PlaylistFollowResult WritePlaylistFollow(const PlaylistFollowPlan& plan,
                                         const BeforeRewrite& beforeRewrite) {
    PlaylistFollowResult result;
    for (const PlaylistRewrite& rewrite : plan.rewrites) {
        std::string reason;
        if (WriteOne(rewrite, beforeRewrite, &reason)) {
            ++result.playlistsWritten;
            result.linesChanged += rewrite.changes.size();
        } else {
            result.failures.push_back({rewrite.playlist, reason});
        }
    }
    return result;
}
