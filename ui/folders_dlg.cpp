#include "folders_dlg.h"

#include <QComboBox>

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "artwork.h"
#include "decoder_contract.h"
#include "qt_text.h"

namespace {

// The path of a row, as the engine spells it (raw file-name bytes kept).
constexpr int kPathRole = Qt::UserRole;
constexpr int kFolderRoleRole = Qt::UserRole + 1;

const char* const kRoleNames[] = {QT_TRANSLATE_NOOP("CFoldersDlg", "Normal"),
                                  QT_TRANSLATE_NOOP("CFoldersDlg", "Reference"),
                                  QT_TRANSLATE_NOOP("CFoldersDlg", "Excluded")};  // by FolderRole

constexpr int kIconPixels = 16;

QString Display(const std::u16string& folder) {
    return ToQString(folder);
}

QString Display(const std::u16string& folder, FolderRole role) {
    return role == FolderRole::kNormal
               ? Display(folder)
               : Display(folder) + QStringLiteral("  (") +
                     CFoldersDlg::tr(kRoleNames[static_cast<size_t>(role)]) + u')';
}

std::vector<FolderSetting> AllNormal(const std::vector<std::u16string>& folders) {
    std::vector<FolderSetting> settings;
    for (const std::u16string& folder : folders) {
        settings.push_back({folder, FolderRole::kNormal});
    }
    return settings;
}

// QFileDialog hands out decoded names; go back to the bytes of the file
// system so that a name that is not valid UTF-8 still reaches the scan.
std::u16string FromDialog(const QString& path) {
    return BytesToU16(QFile::encodeName(path).toStdString());
}

QString DefaultBrowse(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

}  // namespace

const QString CFoldersDlg::kBrowseTitle =
    CFoldersDlg::tr("Select folder with music files (MP3,WMA,ASF,WAV,APE,FLA,WV,...)");

CFoldersDlg::CFoldersDlg(std::vector<std::u16string> folders, QWidget* parent)
    : CFoldersDlg(FolderRoles(AllNormal(folders)), parent) {}

CFoldersDlg::CFoldersDlg(const FolderRoles& roles, QWidget* parent)
    : QDialog(parent), m_settings(roles.settings()), m_browse(DefaultBrowse) {
    for (const FolderSetting& s : m_settings) {
        m_folders.push_back(s.path);
    }
    setWindowTitle(tr("Folders"));

    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(kIconPixels, kIconPixels));
    m_list->setUniformItemSizes(true);
    m_list->setMinimumSize(460, 240);

    auto makeButton = [this](const QIcon& icon, const QString& tip) {
        auto* button = new QPushButton(icon, QString(), this);
        button->setIconSize(QSize(kIconPixels, kIconPixels));
        button->setToolTip(tip);
        button->setAutoDefault(false);
        return button;
    };
    m_add = makeButton(artwork::GreenPlusIcon(), tr("Add folder"));
    m_remove = makeButton(artwork::RedCrossIcon(), tr("Remove folder"));
    m_clear = makeButton(artwork::EraserIcon(), tr("Remove all folders"));
    m_remove->setEnabled(false);
    m_role = new QComboBox(this);
    for (const char* name : kRoleNames) {
        m_role->addItem(tr(name));
    }
    m_role->setToolTip(
        tr("Reference: the files are always kept, never marked or deleted.\n"
           "Excluded: the folder is not scanned."));
    m_role->setEnabled(false);

    auto* side = new QVBoxLayout;
    side->addWidget(m_add);
    side->addWidget(m_remove);
    side->addWidget(m_clear);
    side->addWidget(m_role);
    side->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    connect(m_add, &QPushButton::clicked, this, &CFoldersDlg::AddFolder);
    connect(m_remove, &QPushButton::clicked, this, &CFoldersDlg::RemoveFolder);
    connect(m_clear, &QPushButton::clicked, this, &CFoldersDlg::ClearFolders);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_list->selectedItems();
        m_remove->setEnabled(!selected.isEmpty());
        m_role->setEnabled(!selected.isEmpty());
        if (!selected.isEmpty()) {
            const QSignalBlocker quiet(m_role);
            m_role->setCurrentIndex(selected.first()->data(kFolderRoleRole).toInt());
        }
    });
    connect(m_role, &QComboBox::activated, this,
            [this](int index) { SetSelectedRole(static_cast<FolderRole>(index)); });

    for (const FolderSetting& s : m_settings) {
        AppendRow(s.path, s.role);
    }
}

void CFoldersDlg::SetSelectedRole(FolderRole role) {
    for (QListWidgetItem* item : m_list->selectedItems()) {
        const std::u16string path = item->data(kPathRole).toString().toStdU16String();
        item->setData(kFolderRoleRole, static_cast<int>(role));
        item->setText(Display(path, role));
    }
}

void CFoldersDlg::AppendRow(const std::u16string& folder, FolderRole role) {
    auto* item = new QListWidgetItem(artwork::FolderIcon(), Display(folder, role));
    item->setData(kPathRole, ToQString(folder));
    item->setData(kFolderRoleRole, static_cast<int>(role));
    item->setToolTip(Display(folder));
    m_list->addItem(item);
}

void CFoldersDlg::AddFolder() {
    // Start where the user was last: the selected folder, else the last one.
    QString start = QDir::homePath();
    if (QListWidgetItem* current = m_list->currentItem()) {
        start = current->data(kPathRole).toString();
    } else if (m_list->count() > 0) {
        start = m_list->item(m_list->count() - 1)->data(kPathRole).toString();
    }
    const QString chosen = m_browse(this, kBrowseTitle, start);
    if (chosen.isEmpty()) {
        return;
    }
    // The same folder may be listed twice; the scan of the second finds
    // every file already in the cache.
    AppendRow(FromDialog(chosen), FolderRole::kNormal);
}

void CFoldersDlg::RemoveFolder() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    for (QListWidgetItem* item : selected) {
        delete m_list->takeItem(m_list->row(item));
    }
}

void CFoldersDlg::ClearFolders() {
    m_list->clear();
}

void CFoldersDlg::done(int result) {
    if (result == QDialog::Accepted) {
        m_folders.clear();
        m_settings.clear();
        for (int row = 0; row < m_list->count(); ++row) {
            const QListWidgetItem* item = m_list->item(row);
            m_folders.push_back(item->data(kPathRole).toString().toStdU16String());
            m_settings.push_back(
                {m_folders.back(), static_cast<FolderRole>(item->data(kFolderRoleRole).toInt())});
        }
    }
    QDialog::done(result);
}
