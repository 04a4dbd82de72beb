#include "file_work.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "frame_actions.h"
#include "keeper_files.h"
#include "playlist.h"
#include "result_actions.h"

CFileWork::CFileWork(const DesktopActions& desktop, const std::string& journalFolder,
                     std::shared_ptr<TrashCan> trash, Hooks hooks, QMainWindow* window)
    : m_hooks(std::move(hooks)),
      m_window(window),
      m_journal(desktop, window, journalFolder, std::move(trash), m_hooks.folders),
      m_files(desktop, m_journal, window) {}

CFileWork::~CFileWork() = default;

void CFileWork::Attach(CResultActions* results, QAction* deleteMarked) {
    m_results = results;
    const DesktopActions* desktop = &m_files.desktop();
    m_keeperFiles = new CKeeperFiles(
        *m_results,
        {[this, desktop](const QString& question) { return desktop->confirm(m_window, question); },
         [this, desktop](const QString& text, bool warning) {
             if (desktop->message) {
                 desktop->message(m_window, text, QStringLiteral("Harmonyfox"),
                                  warning ? QMessageBox::Warning : QMessageBox::Information);
             }
         },
         m_hooks.runDialog},
        m_window);
    m_keeperFiles->AddTo(m_window->menuBar()->findChild<QMenu*>(QStringLiteral("markMenu")));
    m_keeperFiles->SetRewriter([this](const std::string& what, const auto& write) {
        return m_journal.Rewrite(what, write);
    });
    m_journal.AddActions(
        m_window, deleteMarked, [this] { Undo(); }, [this] { MoveMarked(); });
}

void CFileWork::Serve(CResultActions::Hooks& hooks) {
    hooks.play = [this](const std::u16string& path) { m_files.Play(path); };
    hooks.openFolder = [this](const std::u16string& path) { m_files.OpenFolder(path); };
    hooks.deleteFile = [this](const std::u16string& path) { DeleteOne(path); };
    hooks.deleteFiles = [this](const std::vector<std::u16string>& paths) { DeleteFiles(paths); };
}

void CFileWork::Forget(const std::vector<std::u16string>& gone) {
    if (gone.empty()) {
        return;
    }
    // Asked of the groups before they forget the files.
    const std::vector<FollowedFile> followed = m_keeperFiles->KeepersOf(gone);
    m_hooks.forget(gone);
    m_keeperFiles->OfferPlaylistFollow(followed, m_hooks.folders());
}

void CFileWork::DeleteOne(const std::u16string& path) {
    if (m_results->ConfirmDeleteOne(path)) {
        Forget(m_files.MoveToTrash({path}, false));
    }
}

void CFileWork::DeleteFiles(const std::vector<std::u16string>& files) {
    Forget(m_files.MoveToTrash(files, true));
}

void CFileWork::DeleteMarked() {
    // Every row of a file that went leaves the list, wherever it was marked.
    DeleteFiles(m_results->FilesToDelete());
}

void CFileWork::MoveMarked() {
    Forget(m_journal.MoveTo(m_results->FilesToDelete()));
}

void CFileWork::Undo() {
    if (m_journal.Undo(m_hooks.mayRescan())) {
        m_hooks.rescan();
    }
}

std::string CFileWork::PlaylistBytes(size_t* leftOut) const {
    return ::PlaylistBytes(m_results->ShownFiles(), leftOut);
}

void CFileWork::SavePlaylist() const {
    size_t leftOut = 0;
    const std::string bytes = PlaylistBytes(&leftOut);  // before leftOut is read
    m_files.SavePlaylist(bytes, leftOut);
}

void CFileWork::Export() const {
    m_files.Export([this](bool playlist, size_t* leftOut) {
        // The verdicts compare the bytes of equally long files: a while for a large list.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::string bytes = playlist ? PlaylistBytes(leftOut) : m_results->ExportCsv();
        QApplication::restoreOverrideCursor();
        return bytes;
    });
}

bool CFileWork::RunFileCommand(int id) {
    switch (id) {
        case ID_KEEP_LEFT:
        case ID_KEEP_RIGHT:
            m_results->KeepThisOne(m_results->ShownFile(id == ID_KEEP_LEFT));
            return true;
        case ID_MARK_FOLDER_LEFT:
        case ID_MARK_FOLDER_RIGHT:
        case ID_UNMARK_FOLDER_LEFT:
        case ID_UNMARK_FOLDER_RIGHT:
            m_results->MarkFolder(
                m_results->ShownFile(id == ID_MARK_FOLDER_LEFT || id == ID_UNMARK_FOLDER_LEFT),
                id == ID_MARK_FOLDER_LEFT || id == ID_MARK_FOLDER_RIGHT);
            return true;
        case ID_PLAY_LEFT:
        case ID_PLAY_RIGHT:
        case ID_EXPLORE_LEFT:
        case ID_EXPLORE_RIGHT:
        case ID_DELETE_LEFT:
        case ID_DELETE_RIGHT: {
            // A file of the pair the details pane shows, in either view; a
            // copy, as news may grow or clear the pairs while a question is open.
            const bool left = id == ID_PLAY_LEFT || id == ID_EXPLORE_LEFT || id == ID_DELETE_LEFT;
            const std::u16string path = m_results->ShownFile(left);
            if (path.empty()) {
                return true;
            }
            if (id == ID_PLAY_LEFT || id == ID_PLAY_RIGHT) {
                m_files.Play(path);
            } else if (id == ID_EXPLORE_LEFT || id == ID_EXPLORE_RIGHT) {
                m_files.OpenFolder(path);
            } else {
                DeleteOne(path);
            }
            return true;
        }
        default:
            return false;
    }
}
