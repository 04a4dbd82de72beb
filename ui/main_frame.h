// CMainFrame: the program's one top-level window. It holds the scan
// controller (which owns the listed pairs, the counters and the workers) and
// wires the user's commands to it and to the widgets: the list, the details
// pane, the progress band and the dialogs; the engine's news become rows.
//
// Threads: everything runs on the main thread except OnScanNews, which
// workers call from theirs; it only queues an event for the window.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop_actions.h"
#include "details_pane.h"
#include "details_wnd.h"
#include "file_work.h"
#include "folder_roles.h"
#include "frame_actions.h"
#include "pane_split.h"
#include "results_view.h"
#include "scan_controller.h"
#include "scan_session.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class CDetailsWnd;
class CKeeperFiles;
class CProgressDlg;
class CResultActions;
class CPairFigures;
class CPairVerdicts;
class CResultsFilterBar;
class CResultsModel;
class CSkippedFilesDlg;
class SettingsStore;

// How the window starts. The defaults are the program's; tests point the
// cache at a folder of their own and keep the engine and the network still.
struct FrameStartup {
    QString settingsPath;                     // empty: the user's settings; else an INI file
    std::string cachePath;                    // empty: the user's cache folder
    std::string notDuplicatesPath;            // empty: the user's data folder
    std::optional<std::string> pluginFolder;  // unset: the program's own folder
    bool loadCache = true;                    // load the fingerprint cache at creation
    bool startPool = true;                    // start the worker pool at creation
    bool allowUpdateCheck = true;             // run the automatic update check when due
    DesktopActions desktop = DesktopActions::System();
    std::string journalFolder;        // empty: the user's data folder
    std::shared_ptr<TrashCan> trash;  // null: the user's trash
    // Replace the Folders dialog's folder browser and its modal run (true
    // for OK); unset, the user answers.
    std::function<QString(QWidget*, const QString&, const QString&)> browseFolder;
    std::function<bool(QDialog* dialog)> runDialog;
};

class CMainFrame : public QMainWindow, public ScanListener {
    Q_OBJECT

  public:
    explicit CMainFrame(FrameStartup startup = {}, QWidget* parent = nullptr);
    // Stops the engine and waits for every worker to finish its current request.
    ~CMainFrame() override;

    // Queues an event that takes the engine's news on the main thread. Any
    // thread; never blocks.
    void OnScanNews() override;

    // Runs a command as the menus, toolbar, context menus and details pane do.
    void Command(int id);

    // Sorts the rows by column as a click on its header does: the same column
    // again reverses the direction.
    void SortByColumn(int column);
    // Empties the fingerprint cache (the Options dialog's "Clear internal cache").
    void ResetCache() { m_scan->ClearCache(); }

    // The playlist of the view shown, in its current order: "#EXTM3U", then
    // every listed file once, each line ended by CR LF. leftOut (may be null)
    // receives how many paths could not be written as one line.
    std::string PlaylistBytes(size_t* leftOut = nullptr) const;

    // The program's version (major << 16 | minor figure) and build number.
    uint32_t m_version;
    uint32_t m_build;

    // Replaces the Folders dialog's folder browser and modal run (tests).
    void SetFolderDialogForTests(
        std::function<QString(QWidget*, const QString&, const QString&)> browse,
        std::function<bool(QDialog*)> run) {
        m_startup.browseFolder = std::move(browse);
        m_startup.runDialog = std::move(run);
    }

    // Replaces what the window asks of the desktop (tests).
    void SetDesktopForTests(DesktopActions desktop) { m_startup.desktop = std::move(desktop); }

    // For the tests and the measuring tool.
    CResultsView* list() const { return m_list; }
    CDetailsWnd* details() const { return m_detailsPane->details(); }
    CProgressDlg* progress() const { return m_progress; }
    CResultsFilterBar* filterBar() const { return m_filterBar; }
    CPairFigures* figures() const { return m_detailsPane->figures(); }
    // The "Skipped files" window; null until first opened.
    CSkippedFilesDlg* skippedWindow() const { return m_skippedWnd; }
    const CScanSession& session() const { return m_session; }
    SettingsStore& settings() const { return *m_settings; }
    CResultsModel* model() const { return m_model; }
    const std::vector<DuplicatePair>& results() const { return m_scan->pairs(); }
    // The engine's side of the window; tests hand pairs over through it.
    ScanController& scan() { return *m_scan; }
    int sortState() const { return m_list->sortState(); }
    QString statusText() const { return m_statusText->text(); }
    bool detailsShown() const { return m_splitter->detailsShown(); }
    // Whether the pool still holds requests of the current scan.
    bool ScanRunning() { return m_scan->Running(); }
    const std::vector<std::u16string>& folders() const { return m_folders; }
    // The marks, the group view and the remembered "not duplicates".
    CResultActions* resultActions() const { return m_resultActions; }
    // Filling the keeper's tags and the playlists that follow it.
    CKeeperFiles* keeperFiles() const { return m_work->keeperFiles(); }

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Remembers the window's place and size and the details pane's height.
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateList();

    // Loads the fingerprint cache, then starts the worker pool.
    void StartEngine();
    // A new scan of m_folders: the list empties, one walk per folder starts.
    void StartScan();
    // Scan: the remembered folders, or the Folders dialog when there are none.
    void OnScan();
    // Stop: the scan is abandoned; what it listed stays.
    void OnStop();
    void OnViewSkipped();
    // The status bar, the list's hint, the Scan and Stop actions and the
    // figures that can no longer arrive follow the scan's state.
    void ShowScanState();
    // The window modal dialogs belong to: the active one, else this.
    QWidget* DialogParent();
    // Runs dialog modally (or as the tests do); true for Accepted.
    bool RunDialog(QDialog* dialog);

    void OnNews();
    void OnClearPairs();
    void OnIdle();

    void OnFileOpen();
    void OnSavePlaylist();
    void OnOptions();
    void OnCheckUpdate();
    void OnAbout();
    // File > Export: the view shown as CSV, or the playlist, where the user says.
    void OnExport();
    void OnHelp();
    void RestoreWindowState();

    void OnContextMenu(int row, int column, const QPoint& globalPos);
    void OnRowSelected(int row);
    // Shows the details of both files of m_results[record].
    void ShowRecord(uint32_t record);
    void ShowListOnly() { m_splitter->ShowListOnly(); }

    // True when row points into m_results; otherwise shows "#<code> Out of bound".
    bool CheckRow(int row, const char* code);
    void Message(const QString& text, const QString& caption, QMessageBox::Icon icon);
    // The views, the details pane, the status bar and the progress band
    // forget files that went (to the trash or moved aside).
    void ForgetDeletedFiles(const std::vector<std::u16string>& gone);

    FrameStartup m_startup;
    std::unique_ptr<ScanController> m_scan;
    std::unique_ptr<CFileWork> m_work;
    CPaneSplit* m_splitter = nullptr;
    CResultsView* m_list = nullptr;
    CResultsModel* m_model = nullptr;
    CProgressDlg* m_progress = nullptr;
    std::unique_ptr<SettingsStore> m_settings;
    std::vector<std::u16string> m_folders;
    std::vector<FolderSetting> m_folderSettings;  // m_folders with their roles
    CResultActions* m_resultActions = nullptr;
    CPairVerdicts* m_verdicts = nullptr;
    bool m_checkUpdate = true;
    QLabel* m_statusText = nullptr;
    QTimer* m_idle = nullptr;
    std::unique_ptr<CFrameActions> m_commands;
    CScanSession m_session;
    CResultsFilterBar* m_filterBar = nullptr;
    CDetailsPane* m_detailsPane = nullptr;
    CSkippedFilesDlg* m_skippedWnd = nullptr;
};
