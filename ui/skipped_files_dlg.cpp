#include "skipped_files_dlg.h"

#include "engine_texts.h"
#include "qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace {

QString ReasonText(SkipReason reason) {
    return EngineText(SkipReasonText(reason));
}

QString PathText(const SkippedFile& file) {
    return ToQString(file.path);
}

const QSize kInitialSize(760, 420);

}  // namespace

QString SkippedFilesText(const std::vector<SkippedFile>& files) {
    QString text;
    for (const SkippedFile& file : files) {
        text += PathText(file) + QLatin1Char('\t') + ReasonText(file.reason) + QLatin1Char('\n');
    }
    return text;
}

QString SkippedSummary(const std::vector<SkippedFile>& files) {
    if (files.empty()) {
        return CSkippedFilesDlg::tr("No file skipped");
    }
    const auto counts = CountByReason(files);
    QStringList parts;
    for (int i = 0; i < kSkipReasonCount; ++i) {
        if (counts[static_cast<size_t>(i)] != 0) {
            parts << QString::number(counts[static_cast<size_t>(i)]) + QLatin1Char(' ') +
                         ReasonText(static_cast<SkipReason>(i + 1));
        }
    }
    return CSkippedFilesDlg::tr("%n file(s) skipped: %1", nullptr, static_cast<int>(files.size()))
        .arg(parts.join(QStringLiteral(", ")));
}

CSkippedFilesDlg::CSkippedFilesDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Skipped files"));
    resize(kInitialSize);
    m_summary = new QLabel(SkippedSummary({}), this);
    m_table = new QTableWidget(0, 2, this);
    m_table->setHorizontalHeaderLabels({tr("File"), tr("Reason")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_table->setWordWrap(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    copy->setToolTip(tr("Copy the selected rows (all rows when none is selected)"));
    connect(copy, &QPushButton::clicked, this, &CSkippedFilesDlg::Copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* copyKey = new QShortcut(QKeySequence::Copy, m_table);
    connect(copyKey, &QShortcut::activated, this, &CSkippedFilesDlg::Copy);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
}

void CSkippedFilesDlg::SetFiles(const std::vector<SkippedFile>& files) {
    if (files.size() == m_files.size() && m_table->rowCount() == static_cast<int>(files.size())) {
        return;
    }
    m_files = files;
    m_summary->setText(SkippedSummary(m_files));
    m_table->setRowCount(static_cast<int>(m_files.size()));
    for (size_t i = 0; i < m_files.size(); ++i) {
        const int row = static_cast<int>(i);
        m_table->setItem(row, 0, new QTableWidgetItem(PathText(m_files[i])));
        m_table->setItem(row, 1, new QTableWidgetItem(ReasonText(m_files[i].reason)));
    }
}

void CSkippedFilesDlg::Copy() {
    std::set<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    std::vector<SkippedFile> chosen;
    for (size_t i = 0; i < m_files.size(); ++i) {
        if (rows.empty() || rows.count(static_cast<int>(i)) != 0) {
            chosen.push_back(m_files[i]);
        }
    }
    QApplication::clipboard()->setText(SkippedFilesText(chosen));
}

void CSkippedFilesDlg::Present(const std::vector<SkippedFile>& files) {
    SetFiles(files);
    show();
    raise();
    activateWindow();
}
