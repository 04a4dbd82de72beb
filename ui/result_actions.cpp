#include "result_actions.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QToolBar>

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>
#include <unordered_set>

#include "csv_export.h"
#include "group_model.h"
#include "mark_state.h"
#include "not_duplicates_dlg.h"
#include "pair_verdicts.h"
#include "qt_text.h"
#include "result_groups.h"
#include "results_model.h"
#include "results_view.h"
#include "settings_store.h"

namespace {

// Rows come and go in bursts while a scan runs; the groups follow after a pause.
constexpr int kRegroupDelayMs = 200;
constexpr int kInitialGroupFileWidth = 600;
// A question about emptied groups names at most this many groups or files.
constexpr size_t kQuestionGroupLines = 12;

bool FileExists(const std::u16string& path) {
    return QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(U16ToBytes(path))));
}

}  // namespace

CResultActions::CResultActions(const std::vector<DuplicatePair>& results, CResultsModel* pairs,
                               CResultsView* pairView, SettingsStore& settings,
                               std::optional<std::string> pluginFolder,
                               const std::string& notDuplicatesFile, Hooks hooks, QWidget* parent)
    : QObject(parent),
      m_results(results),
      m_pairs(pairs),
      m_pairView(pairView),
      m_settings(settings),
      m_hooks(std::move(hooks)),
      m_notDuplicates(notDuplicatesFile),
      m_marks(new CMarkState(this)),
      m_groups(new CResultGroups(results, std::move(pluginFolder), this)) {
    if (Failed(m_notDuplicates.Load()) && m_hooks.error) {
        m_hooks.error(tr("Can't read the list of pairs that are not duplicates\n") +
                      QString::fromStdString(m_notDuplicates.File()));
    }
    m_pairs->SetMarks(m_marks);
    CreateGroupView(parent);

    m_summary = new QLabel(m_marks->Summary(), parent);
    connect(m_marks, &CMarkState::Changed, this,
            [this] { m_summary->setText(m_marks->Summary()); });

    m_regroup.setSingleShot(true);
    m_regroup.setInterval(kRegroupDelayMs);
    connect(&m_regroup, &QTimer::timeout, this, &CResultActions::RegroupNow);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(m_pairs, signal, this, [this] { m_regroup.start(); });
    }
    connect(m_pairs, &QAbstractItemModel::modelReset, this, [this] { m_regroup.start(); });
    connect(m_pairView, &CResultsView::markKeyPressed, this, [this] { MarkSelected(true); });
    connect(m_pairView, &CResultsView::deleteKeyPressed, this, &CResultActions::DeleteSelected);
    connect(m_pairView, &CResultsView::imageClicked, this, [this](int row, int column) {
        if (m_pairs->IsInBounds(row)) {
            const DuplicatePair& pair = m_pairs->Record(row);
            SayWhyUnmarkable({column == kColumnFile2 ? pair.path2 : pair.path1});
        }
    });
    ApplyKeepSettings();
}

CResultActions::~CResultActions() = default;

void CResultActions::CreateGroupView(QWidget* parent) {
    m_stack = new QStackedWidget(parent);
    m_stack->addWidget(m_pairView);
    m_groupView = new CResultsView(m_stack);
    m_groupView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_groupModel = new CGroupModel(m_results, *m_groups, *m_marks, this);
    m_groupView->setModel(m_groupModel);
    m_groupView->setColumnWidth(kGroupColumnFile, kInitialGroupFileWidth);
    for (int column = kGroupColumnContent; column < kGroupColumnCount; ++column) {
        m_groupView->setColumnWidth(
            column, CResultsView::InitialColumnWidth(
                        column == kGroupColumnVerdict ? kColumnVerdict : kColumnContent));
    }
    m_stack->addWidget(m_groupView);

    connect(m_groupView, &CResultsView::imageClicked, this, [this](int row, int) {
        m_marks->Toggle(m_groupModel->Member(row).path);
        SayWhyUnmarkable({m_groupModel->Member(row).path});
    });
    connect(m_groupView, &CResultsView::markKeyPressed, this, [this] { MarkSelected(true); });
    connect(m_groupView, &CResultsView::deleteKeyPressed, this, &CResultActions::DeleteSelected);
    connect(m_groupView, &CResultsView::contextMenuWanted, this,
            [this](int row, int, const QPoint& at) { OnGroupContextMenu(row, at); });
    connect(m_groupView, &CResultsView::cellDoubleClicked, this, [this](int row, int) {
        if (m_hooks.play) {
            m_hooks.play(m_groupModel->Member(row).path);
        }
    });
    connect(m_groupView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    OnGroupSelected(current.row());
                }
            });
    connect(m_groupView->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) {
        // The first click puts the largest figures (or the names from A) first.
        m_groupSortDescending = c == m_groupSort ? !m_groupSortDescending : c != kGroupColumnFile;
        m_groupSort = c;
        m_groupModel->SortGroups(c, m_groupSortDescending);
    });
}

QWidget* CResultActions::View() const {
    return m_stack;
}

void CResultActions::AddMenus(QMenuBar* menuBar, QMenu* view, QToolBar* toolBar,
                              QAction* deleteMarked) {
    // The views lead the View menu; the rest of it stays below them.
    QAction* first = view->actions().isEmpty() ? nullptr : view->actions().first();
    m_showPairs = new QAction(tr("&Pairs"), view);
    m_showGroups = new QAction(tr("&Groups"), view);
    m_showPairs->setStatusTip(tr("List every pair of duplicates"));
    m_showGroups->setStatusTip(tr("List the copies of each piece as one group"));
    m_showGroups->setIcon(QIcon::fromTheme(QStringLiteral("view-group")));
    m_showPairs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    m_showGroups->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    // Either entry shows its view; Groups again (the toolbar button) goes back to the pairs.
    for (QAction* a : {m_showPairs, m_showGroups}) {
        a->setCheckable(true);
        view->insertAction(first, a);
    }
    connect(m_showPairs, &QAction::triggered, this, [this] { ShowGroups(false); });
    connect(m_showGroups, &QAction::triggered, this, [this](bool on) { ShowGroups(on); });
    view->insertSeparator(first);
    QAction* remembered = view->addAction(tr("&Not duplicates..."));
    remembered->setStatusTip(tr("Show the pairs you said are not duplicates"));
    connect(remembered, &QAction::triggered, this, &CResultActions::ShowNotDuplicatesDialog);

    QMenu* mark = new QMenu(tr("&Mark"), menuBar);
    mark->setObjectName(QStringLiteral("markMenu"));
    struct Item {
        const char* text;
        const char* tip;
        QKeySequence key;
        std::function<void()> run;
    };
    const Item items[] = {
        {QT_TR_NOOP("Mark &all but the keeper"),
         QT_TR_NOOP("Mark every copy that sounds like the one to keep"),
         QKeySequence(Qt::CTRL | Qt::Key_M), [this] { MarkAllButKeepers(false); }},
        {QT_TR_NOOP("Mark all but the keeper, &loosely tied copies too"),
         QT_TR_NOOP("Also mark the files tied in only through another copy or by their tags alone"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), [this] { MarkAllButKeepers(true); }},
        {QT_TR_NOOP("&Unmark all"), nullptr, QKeySequence(Qt::CTRL | Qt::Key_U),
         [this] { UnmarkAll(); }},
        {QT_TR_NOOP("&Invert marks"), nullptr, QKeySequence(Qt::CTRL | Qt::Key_I),
         [this] { InvertMarks(); }},
        {QT_TR_NOOP("Mark &selected"), QT_TR_NOOP("Space flips the marks of the selected rows"),
         QKeySequence(Qt::Key_Insert), [this] { MarkSelected(false); }},
        {nullptr, nullptr, {}, {}},
        {QT_TR_NOOP("&Keep this one"),
         QT_TR_NOOP("The selected file leads its group until the next scan; its copies are "
                    "the ones to delete"),
         QKeySequence(Qt::CTRL | Qt::Key_K), [this] { KeepThisOne(CurrentFile()); }},
        {QT_TR_NOOP("Mark all in this &folder"),
         QT_TR_NOOP("Mark every listed file in the selected file's folder, never a group's "
                    "last copy"),
         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M), [this] { MarkFolder(CurrentFile(), true); }},
        {QT_TR_NOOP("U&nmark all in this folder"),
         QT_TR_NOOP("Unmark every listed file in the selected file's folder"),
         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_U),
         [this] { MarkFolder(CurrentFile(), false); }},
    };
    for (const Item& item : items) {
        if (item.text == nullptr) {
            mark->addSeparator();
            continue;
        }
        QAction* action = mark->addAction(tr(item.text));
        action->setShortcut(item.key);
        if (item.tip != nullptr) {
            action->setStatusTip(tr(item.tip));
        }
        connect(action, &QAction::triggered, this, item.run);
        // The keys work while the menu bar is hidden or the menu closed.
        menuBar->window()->addAction(action);
    }
    if (deleteMarked != nullptr) {
        mark->addSeparator();
        mark->addAction(deleteMarked);
    }
    // Before the last menu (Help).
    QAction* before = menuBar->actions().isEmpty() ? nullptr : menuBar->actions().last();
    menuBar->insertMenu(before, mark);
    if (toolBar != nullptr) {
        toolBar->addAction(m_showGroups);
    }
    ShowGroups(m_settings.ReadGroupView());
}

bool CResultActions::GroupViewShown() const {
    return m_stack->currentWidget() == m_groupView;
}

void CResultActions::ShowGroups(bool groups) {
    if (groups) {
        RegroupNow();
    }
    m_stack->setCurrentWidget(groups ? static_cast<QWidget*>(m_groupView) : m_pairView);
    if (m_showGroups != nullptr) {
        m_showGroups->setChecked(groups);
        m_showPairs->setChecked(!groups);
    }
    if (m_settings.ReadGroupView() != groups) {
        m_settings.WriteGroupView(groups);
    }
}

void CResultActions::SetFolderSettings(const std::vector<FolderSetting>& settings) {
    FolderRoles roles(settings);
    m_marks->SetReferenceTest(
        [roles](const std::u16string& path) { return roles.IsReference(path); });
    m_groups->SetRoles(std::move(roles));
}

void CResultActions::ApplyKeepSettings() {
    m_groups->SetRules(m_settings.ReadKeepRules(), m_settings.ReadPreferredFolders());
}

std::vector<uint32_t> CResultActions::ListedRecords() const {
    std::vector<uint32_t> records;
    records.reserve(static_cast<size_t>(m_pairs->rowCount()));
    for (int row = 0; row < m_pairs->rowCount(); ++row) {
        if (m_pairs->IsInBounds(row)) {
            records.push_back(m_pairs->Row(row).record);
        }
    }
    return records;
}

void CResultActions::RegroupNow() {
    m_regroup.stop();
    m_groups->SetListed(ListedRecords());
}

std::vector<std::u16string> CResultActions::ShownFiles() {
    std::vector<std::u16string> files;
    if (GroupViewShown()) {
        RegroupNow();
        for (int row = 0; row < m_groupModel->rowCount(); ++row) {
            files.push_back(m_groupModel->Member(row).path);
        }
        return files;
    }
    for (int row = 0; row < m_pairs->rowCount(); ++row) {
        if (m_pairs->IsInBounds(row)) {
            files.push_back(m_pairs->Record(row).path1);
            files.push_back(m_pairs->Record(row).path2);
        }
    }
    return files;
}

void CResultActions::MarkAllButKeepers(bool loosely) {
    RegroupNow();
    std::vector<std::u16string> copies;
    for (const std::vector<GroupMember>& group : m_groups->Groups()) {
        for (const GroupMember& member : group) {
            if (member.role == FileRole::kDuplicate ||
                (loosely &&
                 (member.role == FileRole::kLinked || member.role == FileRole::kTagsOnly))) {
                copies.push_back(member.path);
            }
        }
    }
    m_marks->SetMarks(copies, true);
}

void CResultActions::UnmarkAll() {
    m_marks->Clear();
}

void CResultActions::InvertMarks() {
    RegroupNow();
    m_marks->Invert(m_groups->Files());
}

std::vector<std::u16string> CResultActions::SelectedFiles() const {
    std::vector<std::u16string> files;
    if (GroupViewShown()) {
        for (const QModelIndex& index : m_groupView->selectionModel()->selectedRows()) {
            if (index.row() < m_groupModel->rowCount()) {
                files.push_back(m_groupModel->Member(index.row()).path);
            }
        }
    } else {
        const bool right = m_pairView->currentIndex().column() == kColumnFile2;
        for (const QModelIndex& index : m_pairView->selectionModel()->selectedRows()) {
            if (m_pairs->IsInBounds(index.row())) {
                const DuplicatePair& pair = m_pairs->Record(index.row());
                files.push_back(right ? pair.path2 : pair.path1);
            }
        }
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

uint32_t CResultActions::RecordOfGroupRow(int row) const {
    if (row < 0 || row >= m_groupModel->rowCount()) {
        return kNoRecord;
    }
    const std::vector<GroupMember>& group = m_groups->Groups()[m_groupModel->GroupOf(row)];
    // The keeper's row stands for its pair with the next file.
    const GroupMember& member = m_groupModel->Member(row).record == kNoRecord && group.size() > 1
                                    ? group[1]
                                    : m_groupModel->Member(row);
    // Until the groups follow a new scan, their records may name pairs of the last one.
    if (member.record >= m_results.size() || (m_results[member.record].path1 != member.path &&
                                              m_results[member.record].path2 != member.path)) {
        return kNoRecord;
    }
    return member.record;
}

uint32_t CResultActions::SelectedRecord() const {
    if (GroupViewShown()) {
        const QModelIndex current = m_groupView->currentIndex();
        return current.isValid() && m_groupView->selectionModel()->isRowSelected(current.row())
                   ? RecordOfGroupRow(current.row())
                   : kNoRecord;
    }
    int first = -1;
    for (const QModelIndex& index : m_pairView->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first) {
            first = index.row();
        }
    }
    return m_pairs->IsInBounds(first) ? m_pairs->Row(first).record : kNoRecord;
}

void CResultActions::DeleteSelected() {
    std::vector<std::u16string> files = SelectedFiles();
    if (files.size() == 1) {
        if (m_hooks.deleteFile) {
            m_hooks.deleteFile(files.front());
        }
        return;
    }
    QString kept;
    for (const std::u16string& file : files) {
        if (m_groups->roles().IsReference(file)) {
            kept += ToQString(file) + QLatin1Char('\n');
        }
    }
    if (!kept.isEmpty() && m_hooks.error) {
        m_hooks.error(tr("Files in a reference folder are never deleted:\n") + kept);
    }
    files = KeepLastCopies(std::move(files), tr("selected"));
    if (!files.empty() && m_hooks.deleteFiles) {
        m_hooks.deleteFiles(files);
    }
}

void CResultActions::RemoveFiles(const std::vector<std::u16string>& gone) {
    const std::unordered_set<std::u16string_view> paths(gone.begin(), gone.end());
    // Rows the filter hides go too: they would come back naming a file that is gone.
    m_pairs->RemoveWhere([&paths](const DuplicatePair& pair) {
        return paths.count(pair.path1) != 0 || paths.count(pair.path2) != 0;
    });
    m_marks->SetMarks(gone, false);
    // Now rather than after the pause for a burst of rows: no group may offer a file that is gone.
    RegroupNow();
}

void CResultActions::MarkSelected(bool toggle) {
    const std::vector<std::u16string> files = SelectedFiles();
    if (toggle) {
        m_marks->Invert(files);
    } else {
        m_marks->SetMarks(files, true);
    }
    SayWhyUnmarkable(files);
}

void CResultActions::SelectAll() {
    (GroupViewShown() ? m_groupView : m_pairView)->selectAll();
}

std::u16string CResultActions::CurrentFile() const {
    if (GroupViewShown()) {
        const QModelIndex current = m_groupView->currentIndex();
        return current.isValid() && current.row() < m_groupModel->rowCount()
                   ? m_groupModel->Member(current.row()).path
                   : std::u16string();
    }
    const QModelIndex current = m_pairView->currentIndex();
    if (!current.isValid() || !m_pairs->IsInBounds(current.row())) {
        return {};
    }
    const DuplicatePair& pair = m_pairs->Record(current.row());
    return current.column() == kColumnFile2 ? pair.path2 : pair.path1;
}

std::string CResultActions::ExportCsv() {
    // The verdicts the views show; one not judged yet is judged here without
    // decoding, as equal samples are rare and only the verdict thread decodes.
    const VerdictOf verdictOf = [this](const DuplicatePair& pair) {
        const CPairVerdicts* verdicts = m_pairs->verdicts();
        const auto record = static_cast<size_t>(&pair - m_results.data());
        if (const PairVerdict* known = verdicts != nullptr && record < m_results.size()
                                           ? verdicts->Find(static_cast<uint32_t>(record))
                                           : nullptr) {
            return *known;
        }
        return JudgeVerdict(pair, nullptr);
    };
    if (GroupViewShown()) {
        RegroupNow();
        ArrangedGroups shown;
        for (int row = 0; row < m_groupModel->rowCount(); ++row) {
            if (row == 0 || m_groupModel->GroupOf(row) != m_groupModel->GroupOf(row - 1)) {
                shown.push_back(m_groups->Groups()[m_groupModel->GroupOf(row)]);
            }
        }
        return GroupsCsv(shown, m_results, verdictOf);
    }
    std::vector<const DuplicatePair*> shown;
    for (int row = 0; row < m_pairs->rowCount(); ++row) {
        if (m_pairs->IsInBounds(row)) {
            shown.push_back(&m_pairs->Record(row));
        }
    }
    return PairsCsv(shown, verdictOf);
}

void CResultActions::SaveNotDuplicates() {
    if (Failed(m_notDuplicates.Save()) && m_hooks.error) {
        m_hooks.error(tr("Can't save the list of pairs that are not duplicates\n") +
                      QString::fromStdString(m_notDuplicates.File()));
    }
}

void CResultActions::Forget(const std::vector<uint32_t>& records) {
    bool added = false;
    for (uint32_t record : records) {
        if (record < m_results.size()) {
            added = m_notDuplicates.Add(m_results[record].path1, m_results[record].path2) || added;
        }
    }
    if (!added) {
        return;
    }
    // Rows the filter hides go too.
    m_pairs->RemoveWhere([this](const DuplicatePair& pair) { return IsHidden(pair); });
    SaveNotDuplicates();
    RegroupNow();
}

void CResultActions::ForgetPairOfRow(int row) {
    if (m_pairs->IsInBounds(row)) {
        Forget({m_pairs->Row(row).record});
    }
}

void CResultActions::ForgetGroupRow(int row) {
    if (row < 0 || row >= m_groupModel->rowCount()) {
        return;
    }
    const GroupMember member = m_groupModel->Member(row);
    std::unordered_set<std::u16string> inGroup;
    for (const GroupMember& m : m_groups->Groups()[m_groupModel->GroupOf(row)]) {
        inGroup.insert(m.path);
    }
    const bool whole = member.role == FileRole::kKeeper;
    std::vector<uint32_t> records;
    for (uint32_t record : ListedRecords()) {
        const DuplicatePair& pair = m_results[record];
        const bool both = inGroup.count(pair.path1) != 0 && inGroup.count(pair.path2) != 0;
        if (both && (whole || pair.path1 == member.path || pair.path2 == member.path)) {
            records.push_back(record);
        }
    }
    Forget(records);
}

void CResultActions::ShowNotDuplicatesDialog() {
    CNotDuplicatesDlg dialog(m_notDuplicates, m_stack->window());
    connect(&dialog, &CNotDuplicatesDlg::TakenBack, this,
            [this](const std::vector<NotDuplicates::Pair>& taken) {
                if (taken.empty()) {
                    return;
                }
                SaveNotDuplicates();
                std::unordered_set<uint32_t> listed;
                for (uint32_t record : ListedRecords()) {
                    listed.insert(record);
                }
                // A pair comes back once, unless one of its files is gone.
                std::set<NotDuplicates::Pair> back(taken.begin(), taken.end());
                for (uint32_t r = 0; r < m_results.size(); ++r) {
                    const DuplicatePair& pair = m_results[r];
                    const NotDuplicates::Pair key =
                        pair.path1 < pair.path2 ? NotDuplicates::Pair(pair.path1, pair.path2)
                                                : NotDuplicates::Pair(pair.path2, pair.path1);
                    if (back.count(key) != 0 && listed.count(r) == 0 && FileExists(pair.path1) &&
                        FileExists(pair.path2)) {
                        back.erase(key);
                        m_pairs->AppendRecords(r, 1);
                    }
                }
                RegroupNow();
            });
    if (m_hooks.runDialog) {
        m_hooks.runDialog(&dialog);
    } else {
        dialog.exec();
    }
}

std::vector<std::u16string> CResultActions::FilesToDelete() {
    if (m_marks->Count() == 0) {
        return {};
    }
    return KeepLastCopies(m_marks->Marked(), tr("marked"));
}

std::vector<std::u16string> CResultActions::KeepLastCopies(std::vector<std::u16string> files,
                                                           const QString& which) {
    // A folder may have become a reference folder after its files were marked.
    const FolderRoles& roles = m_groups->roles();
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&roles](const std::u16string& f) { return roles.IsReference(f); }),
                files.end());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        return {};
    }
    RegroupNow();
    std::vector<std::u16string> keepers;
    for (const std::vector<GroupMember>& group : m_groups->Groups()) {
        const bool emptied =
            std::all_of(group.begin(), group.end(), [&files](const GroupMember& m) {
                return std::binary_search(files.begin(), files.end(), m.path);
            });
        if (emptied && !group.empty()) {
            keepers.push_back(group.front().path);
        }
    }
    if (!keepers.empty()) {
        QString question = tr("Deleting the %1 files would leave no copy in %n group(s):\n\n",
                              nullptr, static_cast<int>(keepers.size()))
                               .arg(which);
        for (size_t i = 0; i < keepers.size() && i < kQuestionGroupLines; ++i) {
            question += ToQString(keepers[i]) + QLatin1Char('\n');
        }
        if (keepers.size() > kQuestionGroupLines) {
            question += tr("... and %n more\n", nullptr,
                           static_cast<int>(keepers.size() - kQuestionGroupLines));
        }
        question += tr("\nKeep the copy to keep of each of these groups and delete the "
                       "other %1 files?")
                        .arg(which);
        if (!m_hooks.confirm || !m_hooks.confirm(question)) {
            return {};
        }
        m_marks->SetMarks(keepers, false);
        std::sort(keepers.begin(), keepers.end());
        std::vector<std::u16string> rest;
        std::set_difference(files.begin(), files.end(), keepers.begin(), keepers.end(),
                            std::back_inserter(rest));
        files.swap(rest);
    }
    return files;
}

bool CResultActions::ConfirmDeleteOne(const std::u16string& path) {
    const QString shown = ToQString(path);
    if (m_groups->roles().IsReference(path)) {
        if (m_hooks.error) {
            m_hooks.error(tr("Files in a reference folder are never deleted:\n") + shown);
        }
        return false;
    }
    RegroupNow();
    QString question = tr("Move this file to the trash?\n\n") + shown;
    for (const std::vector<GroupMember>& group : m_groups->Groups()) {
        if (std::none_of(group.begin(), group.end(),
                         [&](const GroupMember& m) { return m.path == path; })) {
            continue;
        }
        // Marked copies are as good as gone: Delete marked takes them next.
        QString others;
        size_t listed = 0;
        for (const GroupMember& m : group) {
            if (m.path == path) {
                continue;
            }
            if (!m_marks->IsMarked(m.path) && FileExists(m.path)) {
                return m_hooks.confirm && m_hooks.confirm(question);
            }
            if (++listed <= kQuestionGroupLines) {
                others += ToQString(m.path) +
                          (m_marks->IsMarked(m.path) ? tr(" (marked)\n") : tr(" (gone)\n"));
            }
        }
        if (listed > kQuestionGroupLines) {
            others +=
                tr("... and %n more\n", nullptr, static_cast<int>(listed - kQuestionGroupLines));
        }
        question = tr("This file is the last copy left of the group of\n%1\n\n")
                       .arg(ToQString(group.front().path)) +
                   tr("The other copies are marked or gone:\n") + others +
                   tr("\nMove it to the trash all the same? No keeps it.\n\n") + shown;
        break;
    }
    return m_hooks.confirm && m_hooks.confirm(question);
}

void CResultActions::OnGroupContextMenu(int row, const QPoint& globalPos) {
    if (row < 0 || row >= m_groupModel->rowCount()) {
        return;
    }
    const std::u16string path = m_groupModel->Member(row).path;
    if (m_groupMenu == nullptr) {
        m_groupMenu = new QMenu(m_groupView);
    }
    m_groupMenu->clear();
    // An empty text stands for a separator.
    const std::pair<const char*, std::function<void()>> items[] = {
        {QT_TR_NOOP("Play"),
         [this, path] {
             if (m_hooks.play)
                 m_hooks.play(path);
         }},
        {QT_TR_NOOP("Open folder"),
         [this, path] {
             if (m_hooks.openFolder)
                 m_hooks.openFolder(path);
         }},
        {"", {}},
        {QT_TR_NOOP("Keep this one"), [this, path] { KeepThisOne(path); }},
        {QT_TR_NOOP("Mark all in this folder"), [this, path] { MarkFolder(path, true); }},
        {QT_TR_NOOP("Unmark all in this folder"), [this, path] { MarkFolder(path, false); }},
        {"", {}},
        {QT_TR_NOOP("Delete"),
         [this, path] {
             if (m_hooks.deleteFile)
                 m_hooks.deleteFile(path);
         }},
        {"", {}},
        {QT_TR_NOOP("Not duplicates"), [this, row] { ForgetGroupRow(row); }},
    };
    for (const auto& [text, run] : items) {
        if (*text == 0) {
            m_groupMenu->addSeparator();
        } else {
            connect(m_groupMenu->addAction(tr(text)), &QAction::triggered, this, run);
        }
    }
    m_groupMenu->popup(globalPos);
}

void CResultActions::OnGroupSelected(int row) {
    const uint32_t record = RecordOfGroupRow(row);
    if (record != kNoRecord && m_hooks.showPair) {
        m_hooks.showPair(record);
    }
}

std::u16string CResultActions::ShownFile(bool left) const {
    const uint32_t record = SelectedRecord();
    if (record >= m_results.size()) {
        return {};
    }
    return left ? m_results[record].path1 : m_results[record].path2;
}
