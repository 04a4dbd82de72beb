#include "file_journal.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QStringList>

#include <algorithm>
#include <climits>

#include "engine_texts.h"
#include "qt_text.h"

namespace {

// A message lists at most this many files by name.
constexpr int kMessageFileLines = 12;

QString Path(const std::string& bytes) {
    return ToQString(BytesToU16(bytes));
}

std::vector<std::string> Bytes(const std::vector<std::u16string>& files) {
    std::vector<std::string> out;
    out.reserve(files.size());
    for (const std::u16string& file : files) {
        out.push_back(U16ToBytes(file));
    }
    return out;
}

// Lines "path: reason", cut after kMessageFileLines.
QString FileLines(const QStringList& lines) {
    QString text = lines.mid(0, kMessageFileLines).join(QLatin1Char('\n'));
    if (lines.size() > kMessageFileLines) {
        text += QLatin1Char('\n') +
                CFileJournal::tr("... and %1 more").arg(lines.size() - kMessageFileLines);
    }
    return text;
}

// The wait cursor while files are being moved, and a progress dialog when
// the work takes longer than a moment. The work cannot stop half way: every
// file it touches is written down first, and Undo takes the whole back.
class CBusy {
  public:
    CBusy(QWidget* parent, const QString& label) : m_dialog(label, QString(), 0, 0, parent) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_dialog.setWindowTitle(QStringLiteral("Harmonyfox"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setCancelButton(nullptr);
        m_dialog.setMinimumDuration(kShowAfterMs);
        m_dialog.setAutoReset(false);
    }
    ~CBusy() { QApplication::restoreOverrideCursor(); }
    CBusy(const CBusy&) = delete;
    CBusy& operator=(const CBusy&) = delete;

    ActionProgress Progress() {
        return [this](size_t done, size_t total) {
            m_dialog.setMaximum(static_cast<int>(std::min<size_t>(total, INT_MAX)));
            m_dialog.setValue(static_cast<int>(std::min<size_t>(done, INT_MAX)));
        };
    }

  private:
    static constexpr int kShowAfterMs = 500;
    QProgressDialog m_dialog;
};

// "2 files came back.", then the files that could not, with their reasons.
QString CameBack(size_t back, const QStringList& stuck) {
    QString text = back == 1 ? CFileJournal::tr("1 file came back.")
                             : CFileJournal::tr("%1 files came back.").arg(back);
    if (!stuck.isEmpty()) {
        text += QLatin1Char('\n') +
                (stuck.size() == 1
                     ? CFileJournal::tr("1 file could not come back and was left as it is:")
                     : CFileJournal::tr("%1 files could not come back and were left as they are:")
                           .arg(stuck.size())) +
                QLatin1Char('\n') + FileLines(stuck);
    }
    return text;
}

}  // namespace

CFileJournal::CFileJournal(const DesktopActions& desktop, QWidget* parent,
                           const std::string& journalFolder, std::shared_ptr<TrashCan> trash,
                           std::function<std::vector<std::u16string>()> roots)
    : m_desktop(desktop),
      m_parent(parent),
      m_journal(journalFolder.empty() ? ActionJournal::DefaultFolder() : journalFolder),
      m_trash(trash ? std::move(trash) : std::make_shared<TrashCan>()),
      m_roots(std::move(roots)) {}

void CFileJournal::Tell(const QString& text, bool error) const {
    if (m_desktop.message) {
        m_desktop.message(m_parent, text, error ? tr("Error") : tr("Undo"),
                          error ? QMessageBox::Critical : QMessageBox::Information);
    }
}

QString CFileJournal::JournalProblem(HRESULT result) const {
    if (result == E_JOURNAL_BUSY) {
        return tr("Another Harmonyfox is moving files; try again when it is done.");
    }
    return tr("The journal that lets Undo take actions back cannot be written in %1; no file "
              "was touched.")
        .arg(Path(m_journal.folder()));
}

bool CFileJournal::Rewrite(
    const std::string& what,
    const std::function<void(const std::function<HRESULT(const std::string&)>&)>& write) {
    if (!Begin(what)) {
        return false;
    }
    write(m_journal.RewriteHook());
    const HRESULT completed = m_journal.Complete();
    RefreshUndo();
    if (Failed(completed)) {
        Tell(JournalProblem(completed), true);
    }
    return true;
}

bool CFileJournal::Begin(const std::string& what) {
    const HRESULT begun = m_journal.Begin(what);
    if (Failed(begun)) {
        Tell(JournalProblem(begun), true);
        return false;
    }
    return true;
}

std::vector<std::u16string> CFileJournal::Finish(const ActionReport& report, HRESULT acted,
                                                 const QString& failure,
                                                 std::vector<std::string>* failed) {
    const HRESULT completed = m_journal.Complete();
    RefreshUndo();
    std::vector<std::u16string> gone;
    QStringList lines;
    for (const FileOutcome& file : report.files) {
        if (file.done) {
            gone.push_back(BytesToU16(file.path));
        } else {
            lines << Path(file.path) + QStringLiteral(": ") + EngineText(file.reason);
            if (failed != nullptr) {
                failed->push_back(file.path);
            }
        }
    }
    if (Failed(acted)) {
        Tell(JournalProblem(acted), true);
    } else if (!lines.isEmpty()) {
        Tell(failure + QLatin1Char('\n') + FileLines(lines), true);
    } else if (Failed(completed)) {
        Tell(tr("The journal could not record that the action is over; the next start will take it "
                "back."),
             true);
    }
    return gone;
}

std::vector<std::u16string> CFileJournal::Trash(const std::vector<std::u16string>& files) {
    if (files.empty() || !Begin("trash")) {
        return {};
    }
    ActionReport report;
    std::vector<std::string> failed;
    HRESULT acted;
    {
        CBusy busy(m_parent, tr("Moving files to the trash..."));
        acted = TrashFiles(m_journal, *m_trash, Bytes(files), &report, busy.Progress());
    }
    std::vector<std::u16string> gone =
        Finish(report, acted, tr("Can't move to the trash:"), &failed);
    // A network share or a disk without a trash: moving aside still works.
    if (!failed.empty() && m_desktop.askFolder && m_desktop.confirm &&
        m_desktop.confirm(
            m_parent, failed.size() == 1
                          ? tr("Move the file the trash could not take to a folder instead?")
                          : tr("Move the %1 files the trash could not take to a folder instead?")
                                .arg(failed.size()))) {
        std::vector<std::u16string> rest;
        for (const std::string& file : failed) {
            rest.push_back(BytesToU16(file));
        }
        for (std::u16string& moved : MoveTo(rest)) {
            gone.push_back(std::move(moved));
        }
    }
    return gone;
}

std::vector<std::u16string> CFileJournal::MoveTo(const std::vector<std::u16string>& files) {
    if (files.empty() || !m_desktop.askFolder) {
        return {};
    }
    const QString chosen = m_desktop.askFolder(m_parent);
    if (chosen.isEmpty()) {
        return {};
    }
    const std::string folder = U16ToBytes(chosen.toStdU16String());
    if (!Begin("move to " + folder)) {
        return {};
    }
    ActionReport report;
    HRESULT acted;
    {
        CBusy busy(m_parent, tr("Moving files to %1...").arg(chosen));
        acted = MoveFiles(m_journal, Bytes(files),
                          Bytes(m_roots ? m_roots() : std::vector<std::u16string>()), folder,
                          &report, busy.Progress());
    }
    return Finish(report, acted, tr("Can't move to %1:").arg(chosen), nullptr);
}

bool CFileJournal::Undo(bool offerScan) {
    ActionReport report;
    HRESULT undone;
    {
        CBusy busy(m_parent, tr("Taking the last action back..."));
        undone = UndoLast(m_journal, *m_trash, &report, busy.Progress());
    }
    RefreshUndo();
    if (undone == E_NOTHING_TO_UNDO) {
        Tell(tr("Nothing to undo."), false);
        return false;
    }
    if (Failed(undone) && report.files.empty()) {
        Tell(JournalProblem(undone), true);
        return false;
    }
    QStringList stuck;
    for (const FileOutcome& file : report.files) {
        if (!file.done) {
            stuck << Path(file.path) + QStringLiteral(": ") + EngineText(file.reason);
        }
    }
    QString text = CameBack(report.Done(), stuck);
    if (offerScan && report.Done() > 0 && m_desktop.confirm) {
        if (!stuck.isEmpty()) {
            Tell(text, true);
            text.clear();
        }
        return m_desktop.confirm(
            m_parent, text + (text.isEmpty() ? QString() : QStringLiteral("\n\n")) +
                          tr("Scan the folders again to list the files that came back?"));
    }
    Tell(text, !stuck.isEmpty());
    return false;
}

void CFileJournal::MendAtStart() {
    ActionReport report;
    const HRESULT mended = MendInterrupted(m_journal, *m_trash, &report);
    RefreshUndo();
    if (Failed(mended) || report.files.empty()) {
        // Busy: the other program mends it; unwritable: Trash and Move say so.
        return;
    }
    QStringList stuck;
    for (const FileOutcome& file : report.files) {
        if (!file.done) {
            stuck << Path(file.path) + QStringLiteral(": ") + EngineText(file.reason);
        }
    }
    const QString text =
        tr("An action was interrupted when Harmonyfox last ended; it was taken back.") +
        QLatin1Char('\n') + CameBack(report.Done(), stuck);
    Tell(text, !stuck.isEmpty());
}

void CFileJournal::RefreshUndo() {
    if (m_undo == nullptr) {
        return;
    }
    const std::string what = m_journal.LastDone();
    QString name;
    if (what == "trash") {
        name = tr("Move to Trash");
    } else if (what.rfind("move to ", 0) == 0) {
        name = tr("Move to %1").arg(Path(what.substr(8)));
    } else if (what == "fill tags") {
        name = tr("Fill Tags");
    } else if (what == "fix playlists") {
        name = tr("Playlist Changes");
    } else {
        name = Path(what);
    }
    m_undo->setEnabled(!what.empty());
    m_undo->setText(what.empty() ? tr("&Undo") : tr("&Undo %1").arg(name));
}

void CFileJournal::AddActions(QMainWindow* window, QAction* deleteMarked,
                              std::function<void()> undo, std::function<void()> moveMarked) {
    QMenuBar* bar = window->menuBar();
    QMenu* edit = nullptr;
    for (QMenu* menu : bar->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (menu->title() == tr("&Edit")) {
            edit = menu;
        }
    }
    if (edit == nullptr) {
        // After File, as desktops place it.
        const QList<QAction*> menus = bar->actions();
        edit = new QMenu(tr("&Edit"), bar);
        bar->insertMenu(menus.size() > 1 ? menus.at(1) : nullptr, edit);
    }
    QAction* undoAction = new QAction(tr("&Undo"), window);
    undoAction->setObjectName(QStringLiteral("undo"));
    undoAction->setShortcut(QKeySequence::Undo);
    undoAction->setIcon(QIcon::fromTheme(QStringLiteral("edit-undo")));
    undoAction->setStatusTip(tr("Take back the last move to the trash or to a folder"));
    QObject::connect(undoAction, &QAction::triggered, window, std::move(undo));
    edit->insertAction(edit->actions().isEmpty() ? nullptr : edit->actions().first(), undoAction);
    m_undo = undoAction;
    QObject::connect(edit, &QMenu::aboutToShow, window, [this] { RefreshUndo(); });
    RefreshUndo();

    QAction* move = new QAction(tr("M&ove marked to..."), window);
    move->setObjectName(QStringLiteral("moveMarked"));
    move->setStatusTip(
        tr("Move every marked file into a folder, keeping its path below the scanned folder"));
    QObject::connect(move, &QAction::triggered, window, std::move(moveMarked));
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        const QList<QAction*> actions = menu->actions();
        const qsizetype at = actions.indexOf(deleteMarked);
        if (at >= 0) {
            menu->insertAction(at + 1 < actions.size() ? actions.at(at + 1) : nullptr, move);
        }
    }
}
