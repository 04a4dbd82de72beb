// CFileWork: what the window does to the listed files as a whole. It deletes
// them (to the trash, through the action journal), moves them aside, takes
// the last action back, fills the keepers' tags, offers to rewrite the
// playlists that named files that went, saves the playlist and exports the
// view. It owns the journal, the desktop's file commands and the keeper
// files; the window only forgets the files it is told went. UI thread only.
#pragma once

#include <QCoreApplication>
#include <QMessageBox>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop_actions.h"
#include "file_commands.h"
#include "file_journal.h"
#include "result_actions.h"

class CKeeperFiles;
class QAction;
class QDialog;
class QMainWindow;
class QMenu;
class TrashCan;

class CFileWork {
    Q_DECLARE_TR_FUNCTIONS(CFileWork)

  public:
    struct Hooks {
        // The scanned folders.
        std::function<std::vector<std::u16string>()> folders;
        // The views, the details pane and the status bar forget files that went.
        std::function<void(const std::vector<std::u16string>& gone)> forget;
        // Whether a scan may start now, and starting it (after an undo).
        std::function<bool()> mayRescan;
        std::function<void()> rescan;
        std::function<bool(QDialog* dialog)> runDialog;  // true for Accepted
    };

    // desktop and window must outlive this object. journalFolder empty: the
    // user's; trash null: the user's.
    CFileWork(const DesktopActions& desktop, const std::string& journalFolder,
              std::shared_ptr<TrashCan> trash, Hooks hooks, QMainWindow* window);
    ~CFileWork();

    // Hands over the result actions, once the list exists, and adds Undo,
    // "Move marked to..." beside deleteMarked and "Fill the keeper's tags..."
    // to the Mark menu.
    void Attach(CResultActions* results, QAction* deleteMarked);
    // Rolls back what a crash left half done.
    void MendAtStart() { m_journal.MendAtStart(); }

    CFileCommands& files() { return m_files; }
    // Lets the result actions play, open the folder of and delete files
    // through this object.
    void Serve(CResultActions::Hooks& hooks);
    CKeeperFiles* keeperFiles() const { return m_keeperFiles; }

    // Moves path to the trash after the question of the result actions.
    void DeleteOne(const std::u16string& path);
    // Moves files to the trash after one question.
    void DeleteFiles(const std::vector<std::u16string>& files);
    // Every marked file once; never every copy of a group.
    void DeleteMarked();
    void MoveMarked();
    // Edit > Undo: the last action is taken back; a scan lists what came back.
    void Undo();
    // Runs a command (frame_actions.h) on a file of the pair the details
    // pane shows, in either view: play it, open its folder, delete it, keep
    // it, mark or unmark its folder. false when id is none of these.
    bool RunFileCommand(int id);

    // The playlist of the view shown, in its current order: "#EXTM3U", then
    // every listed file once, each line ended by CR LF. leftOut (may be
    // null) receives how many paths could not be written as one line.
    std::string PlaylistBytes(size_t* leftOut = nullptr) const;
    // Asks where and saves the playlist of the view shown.
    void SavePlaylist() const;
    // File > Export: the view shown as CSV, or the playlist, where the user says.
    void Export() const;

  private:
    void Forget(const std::vector<std::u16string>& gone);

    Hooks m_hooks;
    QMainWindow* m_window;
    CFileJournal m_journal;
    CFileCommands m_files;
    CResultActions* m_results = nullptr;
    CKeeperFiles* m_keeperFiles = nullptr;
};
