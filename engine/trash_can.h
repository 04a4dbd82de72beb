// TrashCan: the freedesktop.org trash as both front ends use it, without Qt.
// A file goes in two steps so that the action journal can name its place
// before it moves: Reserve writes the .trashinfo (created exclusively, so
// the name is ours), Put renames the file beside it. A file on another file
// system than the home trash goes to its top folder's trash
// ($topdir/.Trash/$uid when the administrator made one, else
// $topdir/.Trash-$uid); where neither can be used the reason says so. The
// methods are virtual so that tests can refuse or watch single steps. Not
// thread-safe: one owner at a time.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "decoder_contract.h"

// Where a file lies in the trash: the file itself and its .trashinfo.
struct TrashPlace {
    std::string file;
    std::string info;
};

class TrashCan {
  public:
    // $XDG_DATA_HOME/Trash (default ~/.local/share/Trash); empty when there
    // is no home folder.
    static std::string DefaultHomeTrash();

    explicit TrashCan(std::string homeTrash = DefaultHomeTrash()) : m_home(std::move(homeTrash)) {}
    virtual ~TrashCan() = default;

    // Chooses the trash for path (a file that exists), a free name in it, and
    // writes the .trashinfo there (not yet synced: SyncFileSystems before the
    // file moves). E_FAIL with *reason (e.g. "the file system
    // has no usable trash") when none can be made.
    virtual HRESULT Reserve(const std::string& path, TrashPlace* place, std::string* reason);
    // Moves path to place.file (never over a file). On failure the file
    // stays where it was and the caller releases the place.
    virtual HRESULT Put(const std::string& path, const TrashPlace& place, std::string* reason);
    // Removes the .trashinfo of a place whose file never went in.
    virtual void Release(const TrashPlace& place);
    // Moves place.file back to path (never over a file; a missing folder on
    // the way is made again) and removes the .trashinfo. E_FAIL with *reason
    // when the file is no longer in the trash or path is taken.
    virtual HRESULT Restore(const TrashPlace& place, const std::string& path, std::string* reason);

    const std::string& home() const { return m_home; }

  private:
    std::string m_home;
    // Trash folders made and checked once per TrashCan: the home trash's
    // device (0 until then), and each top folder's trash (empty: none).
    dev_t m_homeDevice = 0;
    std::map<std::string, std::string> m_topTrash;
};

// Renames from to to unless to exists (one atomic step where the file system
// can; a link and an unlink elsewhere). Sets errno and returns false on
// failure: EEXIST when to is taken, EXDEV across file systems.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Flushes the file systems that hold the given paths to disk, each once: one
// flush for a whole batch of renames is far cheaper than a sync per file.
void SyncFileSystems(const std::vector<std::string>& paths);

// Makes the folder and those above it that are missing (0700 when private).
bool MakeFolders(const std::string& folder, bool privateMode = false);
