#include "main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "about_dlg.h"
#include "artwork.h"
#include "details_pane.h"
#include "engine_texts.h"
#include "file_work.h"
#include "folders_dlg.h"
#include "frame_actions.h"
#include "help_dlg.h"
#include "mark_state.h"
#include "not_duplicates.h"
#include "options_dlg.h"
#include "pair_verdicts.h"
#include "pane_split.h"
#include "program_version.h"
#include "progress_dlg.h"
#include "result_actions.h"
#include "result_groups.h"
#include "results_model.h"
#include "results_pane.h"
#include "results_view.h"
#include "settings_store.h"
#include "skipped_files_dlg.h"
#include "update_check.h"
#include "update_dlg.h"

namespace {

// The event that tells the window the engine has news.
const QEvent::Type kScanNewsEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

const QSize kInitialSize(1150, 700);
// Room left for the list's scroll bar when the columns are fitted.
constexpr int kColumnFitMargin = 20;
// The progress band follows the workers' counters this often.
constexpr int kIdleIntervalMs = 200;
// A passing word stays in the status bar this long.
constexpr int kStatusMessageMs = 8000;

}  // namespace

CMainFrame::CMainFrame(FrameStartup startup, QWidget* parent)
    : QMainWindow(parent),
      m_version(ProgramVersion()),
      m_build(ProgramBuild()),
      m_startup(std::move(startup)),
      m_scan(std::make_unique<ScanController>(this)) {
    setWindowTitle(QStringLiteral("Harmonyfox"));
    setWindowIcon(artwork::ApplicationIcon());
    resize(kInitialSize);

    // The comparison settings first: the engine reads them from its first job on.
    m_settings = m_startup.settingsPath.isEmpty()
                     ? std::make_unique<SettingsStore>()
                     : std::make_unique<SettingsStore>(m_startup.settingsPath);
    m_settings->WarnIfInaccessible(this);
    ApplyCompareSettings(m_settings->ReadCompareSettings());

    CFileWork::Hooks work;
    work.folders = [this] { return m_folders; };
    work.forget = [this](const std::vector<std::u16string>& gone) { ForgetDeletedFiles(gone); };
    work.mayRescan = [this] {
        return !m_folders.empty() && m_session.phase() != ScanPhase::kScanning;
    };
    work.rescan = [this] { StartScan(); };
    work.runDialog = [this](QDialog* dialog) { return RunDialog(dialog); };
    m_work = std::make_unique<CFileWork>(m_startup.desktop, m_startup.journalFolder,
                                         m_startup.trash, std::move(work), this);
    m_commands = std::make_unique<CFrameActions>(this, [this](int id) { Command(id); });
    // The progress band shares the toolbar's row and takes the rest of its width.
    m_progress = new CProgressDlg(m_commands->toolBar());
    m_progress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_commands->toolBar()->addWidget(m_progress);
    CreateList();
    m_resultActions->AddMenus(menuBar(), m_commands->viewMenu(),
                              findChild<QToolBar*>(QStringLiteral("toolbar")),
                              m_commands->deleteMarked());
    RestoreWindowState();
    m_work->Attach(m_resultActions, m_commands->deleteMarked());
    m_statusText = new QLabel(this);
    statusBar()->addWidget(m_statusText, 1);
    statusBar()->addPermanentWidget(m_resultActions->MarkSummary());

    m_idle = new QTimer(this);
    m_idle->setInterval(kIdleIntervalMs);
    connect(m_idle, &QTimer::timeout, this, &CMainFrame::OnIdle);
    m_idle->start();

    // The cache is loaded before any worker exists.
    StartEngine();

    m_checkUpdate = m_settings->ReadCheckUpdate();
    if (m_startup.allowUpdateCheck) {
        StartAutomaticUpdateCheck(this, *m_settings, m_version, m_checkUpdate);
    }
    m_folderSettings = m_settings->ReadFolderSettings();
    for (const FolderSetting& folder : m_folderSettings) {
        m_folders.push_back(folder.path);
    }
    m_resultActions->SetFolderSettings(m_folderSettings);
    ShowScanState();
    // What a crash left half done is put back before anything else is done.
    m_work->MendAtStart();
}

CMainFrame::~CMainFrame() {
    m_idle->stop();
    // Workers drop long work at their next check; queued requests go unrun.
    m_scan.reset();
}

void CMainFrame::OnScanNews() {
    QCoreApplication::postEvent(this, new QEvent(kScanNewsEvent));
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == kScanNewsEvent) {
        OnNews();
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::CreateList() {
    m_splitter = new CPaneSplit(this);
    CResultActions::Hooks hooks;
    m_work->Serve(hooks);
    hooks.showPair = [this](uint32_t record) { ShowRecord(record); };
    hooks.confirm = [this](const QString& question) {
        return m_startup.desktop.confirm(this, question);
    };
    hooks.error = [this](const QString& text) {
        Message(text, tr("Error"), QMessageBox::Critical);
    };
    hooks.runDialog = [this](QDialog* dialog) { return RunDialog(dialog); };
    hooks.status = [this](const QString& text) {
        statusBar()->showMessage(text, kStatusMessageMs);
    };
    auto* listPane =
        new CResultsPane(m_scan->pairs(), *m_settings, m_startup.pluginFolder,
                         m_startup.notDuplicatesPath.empty() ? NotDuplicates::DefaultPath()
                                                             : m_startup.notDuplicatesPath,
                         std::move(hooks), m_splitter);
    m_filterBar = listPane->filterBar();
    m_list = listPane->list();
    m_model = listPane->model();
    m_resultActions = listPane->actions();
    m_verdicts = listPane->verdicts();
    connect(listPane, &CResultsPane::filterChanged, this, &CMainFrame::ShowScanState);
    m_detailsPane = new CDetailsPane(m_startup.pluginFolder, m_splitter);
    m_detailsPane->RunCommands([this](int id) { Command(id); }, ID_PLAY_LEFT, ID_DELETE_LEFT,
                               ID_PLAY_RIGHT, ID_DELETE_RIGHT);
    m_detailsPane->SetVerdicts(m_verdicts);
    m_splitter->SetPanes(listPane, m_detailsPane);
    setCentralWidget(m_splitter);

    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CMainFrame::SortByColumn);
    connect(m_list, &CResultsView::imageClicked, m_model, &CResultsModel::ToggleImage);
    connect(m_list, &CResultsView::emptyAreaClicked, this, &CMainFrame::ShowListOnly);
    connect(m_list, &CResultsView::cellDoubleClicked, this, [this](int, int column) {
        if (column == kColumnFile1 || column == kColumnFile2) {
            Command(column == kColumnFile1 ? ID_PLAY_LEFT : ID_PLAY_RIGHT);
        }
    });
    connect(m_list, &CResultsView::contextMenuWanted, this, &CMainFrame::OnContextMenu);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                if (!selected.isEmpty()) {
                    OnRowSelected(selected.indexes().first().row());
                }
            });
    // Rows leaving the list hide the details.
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &CMainFrame::ShowListOnly);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CMainFrame::ShowListOnly);
    connect(m_model, &QAbstractItemModel::layoutChanged, m_list, &CResultsView::ShowSortArrow);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isMinimized()) {
        return;
    }
    m_list->FitColumns(m_splitter->width() - kColumnFitMargin);
}

void CMainFrame::Command(int id) {
    using Handler = void (CMainFrame::*)();
    static const std::pair<int, Handler> kHandlers[] = {
        {ID_FILE_OPEN, &CMainFrame::OnFileOpen}, {ID_FILE_SAVE, &CMainFrame::OnSavePlaylist},
        {ID_OPTIONS, &CMainFrame::OnOptions},    {ID_CHECK_UPDATE, &CMainFrame::OnCheckUpdate},
        {ID_APP_ABOUT, &CMainFrame::OnAbout},    {ID_SCAN, &CMainFrame::OnScan},
        {ID_STOP, &CMainFrame::OnStop},          {ID_VIEW_SKIPPED, &CMainFrame::OnViewSkipped},
        {ID_EXPORT, &CMainFrame::OnExport},      {ID_HELP, &CMainFrame::OnHelp},
    };
    for (const auto& [command, handler] : kHandlers) {
        if (command == id) {
            (this->*handler)();
            return;
        }
    }
    switch (id) {
        case ID_APP_EXIT:
            close();
            break;
        case ID_DELETE_MARKED:
            m_work->DeleteMarked();
            break;
        case ID_NOT_DUPLICATES:
            m_resultActions->ForgetPairOfRow(m_list->FirstSelectedRow());
            break;
        case ID_SELECT_ALL:
            m_resultActions->SelectAll();
            break;
        case ID_DELETE_SELECTED:
            m_resultActions->DeleteSelected();
            break;
        default:
            m_work->RunFileCommand(id);
            break;
    }
}

void CMainFrame::OnNews() {
    const ScanNews news = m_scan->TakeNews();
    if (news.cleared) {
        OnClearPairs();
    }
    m_verdicts->Judge(m_scan->pairs(), news.firstNew,
                      static_cast<uint32_t>(m_scan->pairs().size()));
    // A pair remembered as "not duplicates" is kept but not listed.
    m_model->AppendRecordsBut(
        news.firstNew, static_cast<uint32_t>(m_scan->pairs().size()),
        [this](const DuplicatePair& pair) { return m_resultActions->IsHidden(pair); });
    for (uint32_t record : news.updated) {
        m_model->ShowExperimental(record);
    }
    ShowScanState();
}

void CMainFrame::OnClearPairs() {
    m_resultActions->marks().Clear();
    m_verdicts->Clear();
    m_resultActions->groups().ForgetChosenKeepers();
    m_model->Clear();
}

bool CMainFrame::CheckRow(int row, const char* code) {
    if (m_model->IsInBounds(row)) {
        return true;
    }
    Message(QString::fromLatin1(code) + tr(" Out of bound"), QString(), QMessageBox::NoIcon);
    return false;
}

void CMainFrame::Message(const QString& text, const QString& caption, QMessageBox::Icon icon) {
    if (m_startup.desktop.message) {
        m_startup.desktop.message(this, text, caption, icon);
    }
}

void CMainFrame::SortByColumn(int column) {
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (!m_model->IsInBounds(row)) {
            Message(tr("#2 Out of bound"), tr("Error"), QMessageBox::NoIcon);
            return;
        }
    }
    m_list->SortBy(column);
}

void CMainFrame::OnContextMenu(int row, int column, const QPoint& globalPos) {
    if (row < 0) {
        return;
    }
    QMenu* menu = m_commands->ContextMenu(column == kColumnFile1, column == kColumnFile2);
    activateWindow();
    menu->popup(globalPos);
}

void CMainFrame::OnRowSelected(int row) {
    if (!CheckRow(row, "#5")) {
        return;
    }
    ShowRecord(m_model->Row(row).record);
}

void CMainFrame::ShowRecord(uint32_t record) {
    if (record >= m_scan->pairs().size()) {
        return;
    }
    m_splitter->ShowBoth();
    m_detailsPane->ShowPair(record, m_scan->pairs()[record], *m_scan);
}

std::string CMainFrame::PlaylistBytes(size_t* leftOut) const {
    return m_work->PlaylistBytes(leftOut);
}

void CMainFrame::OnSavePlaylist() {
    if (m_model->rowCount() == 0) {
        Message(tr("No data to generate playlist"), tr("Error"), QMessageBox::Critical);
        return;
    }
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (!CheckRow(row, "#0.2")) {
            return;
        }
    }
    m_work->SavePlaylist();
}

void CMainFrame::OnExport() {
    if (m_model->rowCount() == 0) {
        Message(tr("Nothing to export: the list is empty"), tr("Error"), QMessageBox::Critical);
        return;
    }
    m_work->Export();
}

void CMainFrame::OnHelp() {
    CHelpDlg dialog(menuBar(), DialogParent());
    RunDialog(&dialog);
}

void CMainFrame::RestoreWindowState() {
    const WindowState state = m_settings->ReadWindowState();
    if (!state.geometry.isEmpty()) {
        restoreGeometry(state.geometry);
    }
    m_splitter->SetDetailsHeight(state.detailsHeight);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    m_settings->WriteWindowState({saveGeometry(), m_splitter->detailsHeight()});
    QMainWindow::closeEvent(event);
}

void CMainFrame::ForgetDeletedFiles(const std::vector<std::u16string>& gone) {
    m_session.CountDeleted(static_cast<int32_t>(gone.size()));
    m_resultActions->RemoveFiles(gone);
    ShowListOnly();
    ShowScanState();
    OnIdle();
}

void CMainFrame::StartEngine() {
    const std::string plugins = m_startup.pluginFolder.value_or(std::string());
    if (m_startup.loadCache) {
        const HRESULT loaded = m_scan->Load(m_startup.cachePath, plugins);
        if (Failed(loaded)) {
            Message(EngineText(CacheLoadMessage(loaded)), tr("Error"), QMessageBox::Critical);
        } else if (const std::string note = IndexReportMessage(m_scan->indexReport());
                   !note.empty()) {
            // A lost or damaged stamp index is told once, at the load that finds it.
            auto* label = new QLabel(QString::fromStdString(note), this);
            label->setMinimumWidth(1);  // a long path must not widen the window
            statusBar()->insertPermanentWidget(0, label);
        }
    }
    m_work->files().SetOwnFiles(OwnFiles(m_scan->cachePath(), m_startup.notDuplicatesPath.empty()
                                                                  ? NotDuplicates::DefaultPath()
                                                                  : m_startup.notDuplicatesPath));
    OnIdle();
    if (m_startup.startPool && Failed(m_scan->StartPool(plugins))) {
        Message(tr("Can't start the worker threads; folders cannot be scanned"), tr("Error"),
                QMessageBox::Critical);
    }
}

void CMainFrame::StartScan() {
    if (!m_scan->Begin(FolderRoles(m_folderSettings))) {
        // Without workers nothing can be scanned; the list still starts afresh.
        OnClearPairs();
        return;
    }
    m_session.Begin();
    ShowScanState();
}

void CMainFrame::OnScan() {
    if (m_folders.empty()) {
        OnFileOpen();
        return;
    }
    StartScan();
}

void CMainFrame::OnStop() {
    if (m_session.phase() != ScanPhase::kScanning) {
        return;
    }
    m_scan->Stop();
    m_session.Stop();
    ShowScanState();
}

void CMainFrame::OnViewSkipped() {
    if (m_skippedWnd == nullptr) {
        m_skippedWnd = new CSkippedFilesDlg(this);
    }
    m_skippedWnd->Present(m_scan->Skipped());
}

void CMainFrame::ShowScanState() {
    const ScanPhase phase = m_session.phase();
    // Fingerprints that could not be saved (a full disk) are said with the counts.
    const std::string unsaved = SaveFailuresMessage(m_scan->saveFailures());
    m_statusText->setText(
        m_session.StatusText(m_scan->Counts().found, m_model->TotalRows(),
                             m_scan->Counts().skipped) +
        (unsaved.empty() ? QString() : QStringLiteral("; ") + QString::fromStdString(unsaved)));
    m_commands->scan()->setEnabled(phase != ScanPhase::kScanning);
    m_commands->stop()->setEnabled(phase == ScanPhase::kScanning);
    m_model->SetPendingFigures(m_session.PendingFigures());
    m_list->SetHint(m_session.ListHint(m_model->TotalRows() > 0, !m_folders.empty()));
}

void CMainFrame::OnIdle() {
    const ScanCounts scanned = m_scan->Counts();
    m_progress->Refresh({scanned.cached, m_session.FilesLeft(scanned.found), scanned.fromCache,
                         scanned.fresh, scanned.skipped});
    if (m_session.phase() == ScanPhase::kScanning) {
        m_session.Poll(ScanRunning());
        ShowScanState();
    }
    if (m_skippedWnd != nullptr && m_skippedWnd->isVisible()) {
        m_skippedWnd->SetFiles(m_scan->Skipped());
    }
}

bool CMainFrame::RunDialog(QDialog* dialog) {
    return m_startup.runDialog ? m_startup.runDialog(dialog) : dialog->exec() == QDialog::Accepted;
}

QWidget* CMainFrame::DialogParent() {
    QWidget* active = QApplication::activeWindow();
    return active ? active : this;
}

void CMainFrame::OnFileOpen() {
    CFoldersDlg dialog(FolderRoles(m_folderSettings), DialogParent());
    if (m_startup.browseFolder) {
        dialog.SetBrowser(m_startup.browseFolder);
    }
    if (!RunDialog(&dialog)) {
        return;
    }
    m_folders = dialog.Folders();
    m_folderSettings = dialog.Settings();
    m_resultActions->SetFolderSettings(m_folderSettings);
    StartScan();
    m_settings->WriteFolderSettings(m_folderSettings);
}

void CMainFrame::OnOptions() {
    const CompareSettings before = CurrentCompareSettings();
    auto clean = [this] {
        CleanReport report;
        const HRESULT cleaned = m_scan->CleanCache(&report);
        return CleanReportText(report.dropped, report.bytesFreed, Succeeded(cleaned));
    };
    if (!EditOptions(
            DialogParent(), *m_settings, &m_checkUpdate, [this] { ResetCache(); }, {}, clean)) {
        return;
    }
    m_resultActions->ApplyKeepSettings();
    // The list is rebuilt from the cache at once: no file is decoded again.
    if (!(CurrentCompareSettings() == before) && !m_folders.empty() &&
        m_session.phase() != ScanPhase::kNone) {
        StartScan();
    }
}

void CMainFrame::OnCheckUpdate() {
    CUpdateDlg::RunManualCheck(this, *m_settings, m_version);
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(m_version, m_build, m_settings->ReadVendorLinks(), DialogParent());
    dialog.exec();
}
