// CResultActions: what the user does with the results besides the pair list
// itself. It owns the marks that both views share, the group view (a second
// view of the same results), the "Mark" and "View" menus, the remembered
// "Not duplicates" and the safety check of Delete marked. The main window
// creates it over its results, pair model and pair view, puts View() where
// the pair view was and wires its own commands to it. Main thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "folder_roles.h"
#include "not_duplicates.h"
#include "scan_owner.h"

class CGroupModel;
class CMarkState;
class CResultGroups;
class CResultsModel;
class CResultsView;
class QAction;
class QDialog;
class QLabel;
class QMenu;
class QMenuBar;
class QStackedWidget;
class QToolBar;
class QWidget;
class SettingsStore;

class CResultActions : public QObject {
    Q_OBJECT

  public:
    // What the main window does for the group view and the questions.
    struct Hooks {
        std::function<void(const std::u16string& path)> play;
        std::function<void(const std::u16string& path)> openFolder;
        std::function<void(const std::u16string& path)> deleteFile;
        // Several files that passed the guard: one question, then the trash.
        std::function<void(const std::vector<std::u16string>& paths)> deleteFiles;
        std::function<void(uint32_t record)> showPair;  // a group row was selected
        std::function<bool(const QString& question)> confirm;
        std::function<void(const QString& text)> error;
        // Runs a modal dialog; true for Accepted. Unset: exec().
        std::function<bool(QDialog* dialog)> runDialog;
        // A passing word for the status bar (why a file was not marked, say).
        std::function<void(const QString& text)> status;
    };

    // results, pairs and pairView belong to the main window and must outlive
    // this object. notDuplicatesFile: where the remembered pairs live.
    CResultActions(const std::vector<DuplicatePair>& results, CResultsModel* pairs,
                   CResultsView* pairView, SettingsStore& settings,
                   std::optional<std::string> pluginFolder, const std::string& notDuplicatesFile,
                   Hooks hooks, QWidget* parent);
    ~CResultActions() override;

    // The pair view and the group view, one of them shown.
    QWidget* View() const;
    // Puts Pairs and Groups at the top of the window's View menu and Not
    // duplicates at its end, adds the Mark menu before the last menu of
    // menuBar (Help), and the Groups button to toolBar (may be null).
    void AddMenus(QMenuBar* menuBar, QMenu* view, QToolBar* toolBar, QAction* deleteMarked);
    // The status bar's "N files marked, X MB".
    QLabel* MarkSummary() const { return m_summary; }

    CMarkState& marks() const { return *m_marks; }
    CResultGroups& groups() const { return *m_groups; }
    CGroupModel* groupModel() const { return m_groupModel; }
    CResultsView* groupView() const { return m_groupView; }
    NotDuplicates& notDuplicates() { return m_notDuplicates; }

    bool GroupViewShown() const;
    // Shows the groups (true) or the pairs, and remembers the choice.
    void ShowGroups(bool groups);

    // Whether pair is remembered as not one of duplicates (it is not listed).
    bool IsHidden(const DuplicatePair& pair) const { return m_notDuplicates.Contains(pair); }

    // The folders' roles: reference files become unmarkable and are kept.
    void SetFolderSettings(const std::vector<FolderSetting>& settings);
    // Reads the keep rules and preferred folders from the settings again.
    void ApplyKeepSettings();
    // Groups the pair list's rows as they are now.
    void RegroupNow();

    // The files of the view shown, row by row (a file of several pairs
    // repeats); the groups are made of the pair list as it is now.
    std::vector<std::u16string> ShownFiles();

    // Marks every duplicate of a keeper; loosely, also the files tied into
    // a group only through another copy or by their tags.
    void MarkAllButKeepers(bool loosely = false);
    void UnmarkAll();
    void InvertMarks();
    // Marks (or, with toggle, flips) the files of the selected rows of the
    // view shown: in the pair view the file of the current column (the
    // right file in "File #2", else the left one).
    void MarkSelected(bool toggle);
    // Selects every row of the view shown.
    void SelectAll();
    // The file of the view's current row: in the pair view the one of the
    // current column (the right file in "File #2", else the left one). Empty
    // when no row is current.
    std::u16string CurrentFile() const;
    // path leads its group from now until the next scan: the group is
    // arranged around it, the copies that match it become its duplicates,
    // and when some file of the group was marked its duplicates are now the
    // marked ones. path itself is unmarked. A reference file may lead; a
    // file tied in by its tags alone cannot (the status bar says so).
    void KeepThisOne(const std::u16string& path);
    // Marks (or unmarks) every grouped file in path's folder (not its
    // subfolders). Marking leaves one copy of every group unmarked, the
    // keeper when it is in that folder.
    void MarkFolder(const std::u16string& path, bool mark);
    // The view shown as CSV: its pairs in the shown order, or its groups.
    std::string ExportCsv();

    // The Delete key: the files of the selected rows (as MarkSelected takes
    // them) go to the trash after the same guard as Delete on one file, or,
    // for several, as Delete marked.
    void DeleteSelected();
    // The pair the details pane shows for the view shown: the selected row's
    // in the pair view, the current row's in the group view (for the
    // keeper's row its pair with the next copy). kNoRecord when no row is.
    uint32_t SelectedRecord() const;
    // The left or right file of the pair SelectedRecord names; empty when none.
    std::u16string ShownFile(bool left) const;
    // Files that went to the trash leave at once: every pair row naming one
    // (shown or hidden by the filter), their marks, and the groups.
    void RemoveFiles(const std::vector<std::u16string>& gone);

    // "Not duplicates" on a row of the pair view: the pair leaves the list
    // now and in every later scan.
    void ForgetPairOfRow(int row);
    // On a group row: the keeper's row takes the whole group away, another
    // row the file's pairs with the rest of its group.
    void ForgetGroupRow(int row);
    void ShowNotDuplicatesDialog();

    // Asks before Delete on one file; true when it may go to the trash. A
    // file under a reference folder never may (the user is told). When every
    // other copy of its group is gone or marked, the question names the
    // group and offers to keep the file; otherwise it is the plain question.
    bool ConfirmDeleteOne(const std::u16string& path);

    // The marked files that Delete marked may send to the trash (none of a
    // reference folder), sorted.
    // When they would leave some group without any copy, asks whether to
    // keep those groups' keepers (which are then unmarked) and gives nothing
    // if the user declines.
    std::vector<std::u16string> FilesToDelete();

  private:
    void CreateGroupView(QWidget* parent);
    // Says in the status bar why the files of a reference folder among
    // files stay unmarked; nothing when there are none.
    void SayWhyUnmarkable(const std::vector<std::u16string>& files);
    void OnGroupContextMenu(int row, const QPoint& globalPos);
    void OnGroupSelected(int row);
    std::vector<uint32_t> ListedRecords() const;
    // The files of the selected rows of the view shown, each once.
    std::vector<std::u16string> SelectedFiles() const;
    // The pair a group row stands for; kNoRecord for a row out of range.
    uint32_t RecordOfGroupRow(int row) const;
    // files less those of reference folders, sorted; the guard of
    // FilesToDelete, whose question calls them `which` ("marked").
    std::vector<std::u16string> KeepLastCopies(std::vector<std::u16string> files,
                                               const QString& which);
    // Takes the rows of these records out of the pair list and remembers
    // their pairs.
    void Forget(const std::vector<uint32_t>& records);
    void SaveNotDuplicates();

    const std::vector<DuplicatePair>& m_results;
    CResultsModel* m_pairs;
    CResultsView* m_pairView;
    SettingsStore& m_settings;
    Hooks m_hooks;
    NotDuplicates m_notDuplicates;
    CMarkState* m_marks;
    CResultGroups* m_groups;
    CGroupModel* m_groupModel = nullptr;
    CResultsView* m_groupView = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_summary = nullptr;
    QAction* m_showPairs = nullptr;
    QAction* m_showGroups = nullptr;
    QMenu* m_groupMenu = nullptr;
    QTimer m_regroup;
    int m_groupSort = -1;
    bool m_groupSortDescending = false;
};
