// The Folders dialog: the list of folders to scan, edited with add, remove
// and clear buttons, each folder normal, reference (its files are always
// kept) or excluded (not walked); a folder inside another one takes its own
// role. The main window runs it modally on a copy of its own list and takes
// Settings() back after Accepted. UI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "folder_roles.h"

class QComboBox;
class QListWidget;
class QPushButton;

class CFoldersDlg : public QDialog {
    Q_OBJECT

  public:
    // Asks the user for a folder; returns its path, or an empty string when
    // the user chose none. start is the folder to begin in.
    using BrowseFunc =
        std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

    // The title of the folder browser.
    static const QString kBrowseTitle;

    // Every folder a normal one.
    explicit CFoldersDlg(std::vector<std::u16string> folders, QWidget* parent = nullptr);
    explicit CFoldersDlg(const FolderRoles& roles, QWidget* parent = nullptr);

    // After Accepted: the list from top to bottom. After Rejected: the list
    // the dialog was given.
    const std::vector<std::u16string>& Folders() const { return m_folders; }
    const std::vector<FolderSetting>& Settings() const { return m_settings; }
    // Gives the selected folder a role ("Normal", "Reference", "Excluded").
    void SetSelectedRole(FolderRole role);

    // Replaces the folder browser (QFileDialog::getExistingDirectory).
    void SetBrowser(BrowseFunc browse) { m_browse = std::move(browse); }

    QListWidget* List() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* ClearButton() const { return m_clear; }
    QComboBox* RoleBox() const { return m_role; }

  public slots:
    void AddFolder();
    void RemoveFolder();
    void ClearFolders();
    void done(int result) override;

  private:
    void AppendRow(const std::u16string& folder, FolderRole role);

    std::vector<std::u16string> m_folders;
    std::vector<FolderSetting> m_settings;
    BrowseFunc m_browse;
    QListWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_clear;
    QComboBox* m_role;
};
