// CFileJournal: the window's side of the action journal. Files go to the
// trash or are moved aside through the engine, which writes each step down
// first; Edit > Undo takes the last action back; at start an action a crash
// interrupted is rolled back. This class only asks and tells: which folder,
// what failed, what came back. It owns the journal and the trash; the
// desktop and the parent must outlive it. UI thread only.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "action_journal.h"
#include "desktop_actions.h"
#include "file_actions.h"
#include "trash_can.h"

class QAction;
class QMainWindow;
class QWidget;

class CFileJournal {
    Q_DECLARE_TR_FUNCTIONS(CFileJournal)

  public:
    // journalFolder empty: the user's; trash null: the user's trash. roots
    // gives the scanned folders, below which moved files keep their paths.
    CFileJournal(const DesktopActions& desktop, QWidget* parent, const std::string& journalFolder,
                 std::shared_ptr<TrashCan> trash,
                 std::function<std::vector<std::u16string>()> roots);

    // Moves files to the trash through the journal and returns those that
    // went. The others are named in one message; where the desktop can ask
    // for a folder, moving them there instead is offered (the moved ones are
    // returned too).
    std::vector<std::u16string> Trash(const std::vector<std::u16string>& files);
    // Asks for a folder and moves files into it; returns those that moved.
    std::vector<std::u16string> MoveTo(const std::vector<std::u16string>& files);
    // Takes back the last action and says what came back and what could not.
    // With offerScan, asks whether to scan again to list the files that came
    // back; true when the user wants that.
    bool Undo(bool offerScan);
    // Runs write as one action named what, handing it the hook that keeps a
    // file's old bytes before it is rewritten, so that Undo can give them
    // back. false (told) when the journal cannot be used; write does not
    // run then.
    bool Rewrite(
        const std::string& what,
        const std::function<void(const std::function<HRESULT(const std::string&)>&)>& write);
    // Rolls back an action a crash interrupted; tells the user only when a
    // file was touched.
    void MendAtStart();

    // Adds Edit > Undo (the desktop's undo key) and "Move marked to..."
    // beside every placement of deleteMarked; both run the given commands.
    // Undo names the action it would take back and is off when there is none.
    void AddActions(QMainWindow* window, QAction* deleteMarked, std::function<void()> undo,
                    std::function<void()> moveMarked);
    // Names the action Undo would take back now (another program may have
    // acted meanwhile).
    void RefreshUndo();

  private:
    // Opens an action; false (told) when the journal cannot be used.
    bool Begin(const std::string& what);
    // Closes the action; the files that went; names the failures.
    std::vector<std::u16string> Finish(const ActionReport& report, HRESULT acted,
                                       const QString& failure, std::vector<std::string>* failed);
    void Tell(const QString& text, bool error) const;
    QString JournalProblem(HRESULT result) const;

    const DesktopActions& m_desktop;
    QWidget* m_parent;
    ActionJournal m_journal;
    std::shared_ptr<TrashCan> m_trash;
    std::function<std::vector<std::u16string>()> m_roots;
    QAction* m_undo = nullptr;  // owned by the window
};
