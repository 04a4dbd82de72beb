// Playlists that follow the keeper: the M3U, M3U8 and PLS playlists in the
// scanned folders that name a file that went (deleted or moved) are
// rewritten to name its group's keeper instead. First a plan (which
// playlist, which lines), then its writing, each playlist replaced whole.
// Plain functions; any thread, but no two calls may write one playlist.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sibling_file.h"

struct FollowedFile {
    std::u16string gone;    // the file that was deleted or moved away
    std::u16string keeper;  // the file that playlists name instead
};

struct PlaylistLineChange {
    size_t line = 0;     // from 1
    std::string before;  // the line's text without its line end, as the file's bytes
    std::string after;
};

struct PlaylistRewrite {
    std::string playlist;  // its path, as the file system's bytes
    std::vector<PlaylistLineChange> changes;
};

struct PlaylistProblem {
    std::string playlist;
    std::string reason;  // English, one sentence without a final stop
};

struct PlaylistFollowPlan {
    std::vector<PlaylistRewrite> rewrites;  // playlists with at least one change
    std::vector<PlaylistProblem> unreadable;
};

// Looks through folders and everything below them (links to folders not
// followed, folders that cannot be read skipped) for playlists by their
// extension (.m3u, .m3u8, .pls, in any case) that name a file of followed.
// An entry names a file by an absolute path or one relative to the
// playlist's folder; it is rewritten in the same form (absolute when no
// relative path leads to the keeper). Comments, #EXTINF lines, titles and
// entries of other files stay as they are; URLs are never touched.
PlaylistFollowPlan PlanPlaylistFollow(const std::vector<std::string>& folders,
                                      const std::vector<FollowedFile>& followed);

struct PlaylistFollowResult {
    size_t playlistsWritten = 0;
    size_t linesChanged = 0;
    std::vector<PlaylistProblem> failures;  // playlists left as they were
};

// Writes the plan: each playlist is read again and written whole through a
// new file beside it that takes its place, line ends and every byte not
// planned kept. A playlist whose planned lines changed since the plan, or
// that cannot be read or replaced, is a failure and stays as it is.
// beforeRewrite may be empty.
PlaylistFollowResult WritePlaylistFollow(const PlaylistFollowPlan& plan,
                                         const BeforeRewrite& beforeRewrite);
