#include "tag_fill_dlg.h"

#include "qt_text.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kFileColumnWidth = 360;
constexpr int kValueColumnWidth = 200;
constexpr double kKilobyte = 1024.0;

QString FileName(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    return ToQString(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

}  // namespace

QString CTagFillDlg::FieldName(KeeperField field) {
    switch (field) {
        case KeeperField::kTitle:
            return tr("Title");
        case KeeperField::kArtist:
            return tr("Artist");
        case KeeperField::kAlbum:
            return tr("Album");
        case KeeperField::kYear:
            return tr("Year");
        case KeeperField::kTrack:
            return tr("Track");
        case KeeperField::kGenre:
            return tr("Genre");
        case KeeperField::kCover:
            return tr("Cover picture");
    }
    return QString();
}

CTagFillDlg::CTagFillDlg(std::vector<KeeperTagPlan> plans, QWidget* parent)
    : QDialog(parent), m_plans(std::move(plans)) {
    setWindowTitle(tr("Fill the keeper's tags"));
    auto* intro = new QLabel(
        tr("The empty tags of each keeper can be filled from a copy of the same piece. Only the "
           "tags change; the sound is not touched. Untick a group to leave its keeper as it is."),
        this);
    intro->setWordWrap(true);

    m_tree = new QTreeWidget(this);
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels({tr("Keeper and tag"), tr("Value"), tr("From")});
    m_tree->setColumnWidth(0, kFileColumnWidth);
    m_tree->setColumnWidth(1, kValueColumnWidth);
    m_tree->setMinimumSize(2 * kFileColumnWidth, 300);
    for (const KeeperTagPlan& plan : m_plans) {
        auto* group = new QTreeWidgetItem(m_tree, {ToQString(plan.keeper)});
        group->setToolTip(0, ToQString(plan.keeper));
        group->setFirstColumnSpanned(true);  // the whole path, not cut at the first column
        group->setExpanded(true);
        if (!plan.problem.empty()) {
            // The engine's reason, in its own words: it names what the file lacks.
            auto* reason = new QTreeWidgetItem(
                group, {tr("Cannot be filled: %1").arg(QString::fromStdString(plan.problem))});
            reason->setFirstColumnSpanned(true);
            group->setFlags(group->flags() & ~Qt::ItemIsEnabled);
            continue;
        }
        group->setFlags(group->flags() | Qt::ItemIsUserCheckable);
        group->setCheckState(0, Qt::Checked);
        for (const TagFill& fill : plan.fills) {
            const QString value =
                fill.field == KeeperField::kCover
                    ? tr("%1, %2 KB")
                          .arg(QString::fromStdString(fill.value))
                          .arg(static_cast<double>(fill.pictureBytes) / kKilobyte, 0, 'f', 1)
                    : QString::fromStdString(fill.value);
            auto* item =
                new QTreeWidgetItem(group, {FieldName(fill.field), value, FileName(fill.source)});
            item->setToolTip(2, ToQString(fill.source));
        }
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_fill = buttons->addButton(tr("Fill tags"), QDialogButtonBox::AcceptRole);
    auto enable = [this] { m_fill->setEnabled(!ChosenPlans().empty()); };
    enable();
    connect(m_tree, &QTreeWidget::itemChanged, this, enable);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_tree, 1);
    layout->addWidget(buttons);
}

std::vector<KeeperTagPlan> CTagFillDlg::ChosenPlans() const {
    std::vector<KeeperTagPlan> chosen;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* group = m_tree->topLevelItem(i);
        if ((group->flags() & Qt::ItemIsUserCheckable) && group->checkState(0) == Qt::Checked) {
            chosen.push_back(m_plans[static_cast<size_t>(i)]);
        }
    }
    return chosen;
}
