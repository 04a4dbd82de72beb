#include "not_duplicates_dlg.h"

#include "qt_text.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace {

constexpr int kFirstColumnWidth = 380;

}  // namespace

CNotDuplicatesDlg::CNotDuplicatesDlg(NotDuplicates& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(tr("Not duplicates"));
    m_table = new QTableWidget(0, 2, this);
    m_table->setHorizontalHeaderLabels({tr("File #1"), tr("File #2")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, kFirstColumnWidth);
    m_table->setMinimumSize(2 * kFirstColumnWidth, 240);

    m_takeBack = new QPushButton(tr("Take back"), this);
    m_takeBack->setToolTip(tr("List the selected pairs again as duplicates"));
    m_takeBack->setEnabled(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_takeBack, QDialogButtonBox::ActionRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);

    connect(m_takeBack, &QPushButton::clicked, this, &CNotDuplicatesDlg::TakeBack);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_takeBack->setEnabled(!m_table->selectedItems().isEmpty()); });
    Fill();
}

void CNotDuplicatesDlg::Fill() {
    m_table->setRowCount(0);
    for (const NotDuplicates::Pair& pair : m_store.Pairs()) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem(ToQString(pair.first)));
        m_table->setItem(row, 1, new QTableWidgetItem(ToQString(pair.second)));
    }
}

void CNotDuplicatesDlg::TakeBack() {
    std::set<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    std::vector<NotDuplicates::Pair> taken;
    int row = 0;
    for (const NotDuplicates::Pair& pair : m_store.Pairs()) {
        if (rows.count(row++) != 0) {
            taken.push_back(pair);
        }
    }
    for (const NotDuplicates::Pair& pair : taken) {
        m_store.Remove(pair.first, pair.second);
    }
    Fill();
    emit TakenBack(taken);
}
