// ActionJournal: the record of what the program does to the user's files,
// kept so that an action can be taken back and an interrupted one mended.
// One text file per action in $XDG_DATA_HOME/Quillmere/Harmonyfox/journal,
// each written whole to a temporary file, synced and renamed before the
// files are touched, and written again once the action is over; the bytes a
// rewrite replaces are copied beside it first. The newest actions are kept
// (kKeptActions), older ones are dropped. A lock file keeps two running
// programs from acting at once. Not thread-safe: one owner (the window or
// the command line) uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoder_contract.h"

// Another running Harmonyfox is acting on files.
inline constexpr HRESULT E_JOURNAL_BUSY = static_cast<HRESULT>(0x80040020u);
// The journal holds no action that can be taken back.
inline constexpr HRESULT E_NOTHING_TO_UNDO = static_cast<HRESULT>(0x80040021u);

enum class StepKind { kTrash, kMove, kRewrite };
enum class StepState { kPlanned, kDone, kFailed, kBack, kStuck };

// One file of an action.
struct JournalStep {
    StepKind kind = StepKind::kTrash;
    StepState state = StepState::kPlanned;
    std::string path;    // where the file was before the action
    std::string place;   // trash: the file in the trash; move: the target; rewrite: the saved bytes
    std::string info;    // trash: its .trashinfo; rewrite: "size mtime_ns" after the rewrite
    std::string reason;  // why it failed, or why it cannot come back
};

enum class ActionState { kOpen, kDone, kUndone };

struct JournalAction {
    uint64_t number = 0;  // grows with every action
    ActionState state = ActionState::kOpen;
    std::string what;  // "trash" or "move to FOLDER"
    std::vector<JournalStep> steps;
};

class ActionJournal {
  public:
    static constexpr size_t kKeptActions = 20;

    // $XDG_DATA_HOME/Quillmere/Harmonyfox/journal (default ~/.local/share/...);
    // empty when there is no home folder.
    static std::string DefaultFolder();

    explicit ActionJournal(std::string folder = DefaultFolder(), size_t kept = kKeptActions);
    // Releases the lock. An action still open stays so on disk, to be mended
    // at the next start.
    ~ActionJournal();
    ActionJournal(const ActionJournal&) = delete;
    ActionJournal& operator=(const ActionJournal&) = delete;

    const std::string& folder() const { return m_folder; }

    // Takes the lock and opens a new action (not yet written). E_JOURNAL_BUSY
    // when another program holds the lock, E_FAIL when the folder cannot be
    // made or read.
    HRESULT Begin(const std::string& what);
    // The action Begin opened; null when none is open.
    JournalAction* current() { return m_open.what.empty() ? nullptr : &m_open; }

    // Writes the open action whole and synced. E_FAIL when it cannot be
    // written: nothing may then be done to the files.
    HRESULT Write();

    // Copies path's bytes into the journal and records the step, written,
    // before the caller replaces them. E_FAIL (nothing recorded) when the
    // file cannot be read or the copy not written; the file must then stay
    // as it is.
    HRESULT SaveBeforeRewrite(const std::string& path);
    // SaveBeforeRewrite on this journal, for code that rewrites files; valid
    // while the action is open.
    std::function<HRESULT(const std::string&)> RewriteHook() {
        return [this](const std::string& path) { return SaveBeforeRewrite(path); };
    }

    // Closes the open action as done: rewritten files get their new stamp,
    // the action is written, old actions are dropped and the lock released.
    HRESULT Complete();

    // Takes and releases the lock for work on stored actions (undo, mending).
    HRESULT Lock();
    void Unlock();
    // The stored actions, oldest first. *damaged (may be null) counts files
    // that are not whole actions; they are left alone.
    std::vector<JournalAction> Load(size_t* damaged = nullptr) const;
    // What the newest action that Undo would take back did ("trash", "move
    // to FOLDER", ...); empty when there is none.
    std::string LastDone() const;
    // Writes action whole and synced.
    HRESULT Store(const JournalAction& action) const;
    // Forgets action: its file and its saved bytes.
    void Remove(const JournalAction& action) const;
    // Drops undone actions and the done ones beyond the newest kept.
    void Prune() const;

    // The file of action number; the folder of its saved bytes.
    std::string ActionFile(uint64_t number) const;
    std::string SavedFolder(uint64_t number) const;

  private:
    std::string m_folder;
    size_t m_kept;
    int m_lock = -1;
    JournalAction m_open;
};

// The stamp ("size mtime_ns") of path as a rewrite step keeps it; empty when
// the file cannot be read.
std::string RewriteStamp(const std::string& path);
