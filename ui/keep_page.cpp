#include "keep_page.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "decoder_contract.h"
#include "engine_texts.h"
#include "qt_text.h"

namespace {

constexpr int kRuleRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;

QString DefaultBrowse(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

}  // namespace

CKeepPage::CKeepPage(QWidget* parent) : QWidget(parent), m_browse(DefaultBrowse) {
    auto* rulesGroup =
        new QGroupBox(tr("Which copy to keep (the first rule that tells wins)"), this);
    m_rules = new QListWidget(rulesGroup);
    m_rules->setSelectionMode(QAbstractItemView::SingleSelection);
    m_up = new QPushButton(tr("Up"), rulesGroup);
    m_down = new QPushButton(tr("Down"), rulesGroup);
    for (QPushButton* b : {m_up, m_down}) {
        b->setAutoDefault(false);
    }
    auto* moves = new QVBoxLayout;
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addStretch();
    auto* rulesLayout = new QHBoxLayout(rulesGroup);
    rulesLayout->addWidget(m_rules, 1);
    rulesLayout->addLayout(moves);

    auto* preferredGroup = new QGroupBox(tr("Preferred folders"), this);
    m_preferred = new QListWidget(preferredGroup);
    m_addPreferred = new QPushButton(tr("Add..."), preferredGroup);
    m_removePreferred = new QPushButton(tr("Remove"), preferredGroup);
    for (QPushButton* b : {m_addPreferred, m_removePreferred}) {
        b->setAutoDefault(false);
    }
    auto* edits = new QVBoxLayout;
    edits->addWidget(m_addPreferred);
    edits->addWidget(m_removePreferred);
    edits->addStretch();
    auto* preferredLayout = new QHBoxLayout(preferredGroup);
    preferredLayout->addWidget(m_preferred, 1);
    preferredLayout->addLayout(edits);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rulesGroup, 2);
    layout->addWidget(preferredGroup, 1);
    layout->addWidget(new QLabel(tr("Files in a reference folder are always kept."), this));

    connect(m_up, &QPushButton::clicked, this, [this] { MoveRule(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { MoveRule(1); });
    connect(m_addPreferred, &QPushButton::clicked, this, &CKeepPage::AddPreferred);
    connect(m_removePreferred, &QPushButton::clicked, this, &CKeepPage::RemovePreferred);
    SetRules(DefaultKeepRules());
}

void CKeepPage::SetRules(const std::vector<KeepRule>& rules) {
    m_rules->clear();
    auto add = [this](KeepRule rule, bool on) {
        auto* item = new QListWidgetItem(EngineText(KeepRuleTitle(rule)), m_rules);
        item->setData(kRuleRole, static_cast<int>(rule));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    for (KeepRule rule : rules) {
        add(rule, true);
    }
    for (KeepRule rule : DefaultKeepRules()) {
        if (std::find(rules.begin(), rules.end(), rule) == rules.end()) {
            add(rule, false);
        }
    }
}

std::vector<KeepRule> CKeepPage::Rules() const {
    std::vector<KeepRule> rules;
    for (int row = 0; row < m_rules->count(); ++row) {
        const QListWidgetItem* item = m_rules->item(row);
        if (item->checkState() == Qt::Checked) {
            rules.push_back(static_cast<KeepRule>(item->data(kRuleRole).toInt()));
        }
    }
    return rules;
}

void CKeepPage::MoveRule(int step) {
    const int row = m_rules->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= m_rules->count()) {
        return;
    }
    QListWidgetItem* item = m_rules->takeItem(row);
    m_rules->insertItem(to, item);
    m_rules->setCurrentRow(to);
}

void CKeepPage::SetPreferred(const std::vector<std::u16string>& folders) {
    m_preferred->clear();
    for (const std::u16string& folder : folders) {
        auto* item = new QListWidgetItem(ToQString(folder), m_preferred);
        item->setData(kPathRole, ToQString(folder));
    }
}

std::vector<std::u16string> CKeepPage::Preferred() const {
    std::vector<std::u16string> folders;
    for (int row = 0; row < m_preferred->count(); ++row) {
        folders.push_back(m_preferred->item(row)->data(kPathRole).toString().toStdU16String());
    }
    return folders;
}

void CKeepPage::AddPreferred() {
    const QString chosen = m_browse(this, tr("Select a preferred folder"), QDir::homePath());
    if (chosen.isEmpty()) {
        return;
    }
    std::vector<std::u16string> folders = Preferred();
    folders.push_back(BytesToU16(QFile::encodeName(chosen).toStdString()));
    SetPreferred(folders);
}

void CKeepPage::RemovePreferred() {
    delete m_preferred->takeItem(m_preferred->currentRow());
}
