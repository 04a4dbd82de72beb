// CKeeperFiles: the window's side of the files around a keeper. "Fill the
// keeper's tags..." (on the Mark menu) plans for every group, shows the plan
// in CTagFillDlg and writes only what the user accepts; after files are
// deleted or moved, it offers to rewrite the playlists in the scanned folders
// that named them so that they name the keeper instead. The engine does the
// work (tag_fill.h, playlist_follow.h); this class asks and shows. Belongs to
// the main window; the result actions must outlive it. UI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "playlist_follow.h"
#include "tag_fill.h"

class CResultActions;
class QAction;
class QDialog;
class QMenu;
class QWidget;

class CKeeperFiles : public QObject {
    Q_OBJECT

  public:
    struct Hooks {
        std::function<bool(const QString& question)> confirm;  // Yes/No; true for Yes
        std::function<void(const QString& text, bool warning)> message;
        std::function<bool(QDialog* dialog)> runDialog;  // true for Accepted
    };

    CKeeperFiles(CResultActions& results, Hooks hooks, QWidget* window);

    // Adds "Fill the keeper's tags..." at the end of menu (null: nowhere).
    void AddTo(QMenu* menu);
    QAction* fillTagsAction() const { return m_fillTags; }

    // Runs write as one undoable action named what, handing it the hook to
    // call before each keeper or playlist is rewritten (it keeps the old
    // bytes; a negative result leaves that file as it is). false when no
    // action can be opened: write does not run then.
    using Rewriter = std::function<bool(const std::string& what,
                                        const std::function<void(const BeforeRewrite&)>& write)>;
    // Unset, files are rewritten without a journal.
    void SetRewriter(Rewriter rewriter) { m_rewriter = std::move(rewriter); }

    // Plans every group, shows the plan and writes what the user accepts,
    // then tells what was filled and which keepers stayed as they were.
    void FillKeeperTags();

    // Which keeper each of the gone files was a copy of; call before the
    // groups forget them. A gone keeper is followed by nothing.
    std::vector<FollowedFile> KeepersOf(const std::vector<std::u16string>& gone);
    // Looks for playlists under folders that name a followed file and, when
    // there are, asks whether to rewrite them; tells what failed.
    void OfferPlaylistFollow(const std::vector<FollowedFile>& followed,
                             const std::vector<std::u16string>& folders);

  private:
    void WritePlans(const std::vector<KeeperTagPlan>& plans);
    bool Rewrite(const std::string& what, const std::function<void(const BeforeRewrite&)>& write);

    CResultActions& m_results;
    Hooks m_hooks;
    QWidget* m_window;
    QAction* m_fillTags;
    Rewriter m_rewriter;
};
