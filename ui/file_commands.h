// CFileCommands: what the window does to files through the desktop: plays a
// file, opens its folder, moves files to the trash (through the journal)
// after one question, and writes a playlist where the user chooses. Failures
// are shown in one message each. The desktop's side (DesktopActions) and the
// journal belong to the window, which tests may replace at any time. UI
// thread only.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "desktop_actions.h"
#include "file_journal.h"
#include "own_files.h"

class QWidget;

class CFileCommands {
    Q_DECLARE_TR_FUNCTIONS(CFileCommands)

  public:
    // desktop, journal and parent must outlive this object.
    CFileCommands(const DesktopActions& desktop, CFileJournal& journal, QWidget* parent)
        : m_desktop(desktop), m_journal(journal), m_parent(parent) {}

    const DesktopActions& desktop() const { return m_desktop; }

    void Play(const std::u16string& path) const;
    void OpenFolder(const std::u16string& path) const;

    // Asks once (when ask) whether files should go to the trash, then moves
    // them there as one action that Undo takes back. Returns the files that
    // went (or were moved aside instead); the others are named in one message.
    std::vector<std::u16string> MoveToTrash(const std::vector<std::u16string>& files,
                                            bool ask) const;

    // Writes bytes to path in one go. false when the file cannot be written
    // (an incomplete file is removed).
    static bool WriteFile(const QString& path, const std::string& bytes);
    // Asks where to save the playlist bytes (leftOut paths could not be
    // written as one line) and writes it; says what went wrong. A place that
    // names a file of ours is refused.
    void SavePlaylist(const std::string& bytes, size_t leftOut) const;
    // Asks where to export (askExportPath) and writes there what bytesFor
    // gives: the playlist (playlist true; leftOut receives the paths it
    // could not take) for a name ending in .m3u or .m3u8, else CSV. A place
    // that names a file of ours is refused; failures are said.
    void Export(const std::function<std::string(bool playlist, size_t* leftOut)>& bytesFor) const;
    // The files of ours that no playlist may replace.
    void SetOwnFiles(OwnFiles own) { m_own = std::move(own); }

  private:
    void Error(const QString& text) const;
    // Writes bytes to path unless it names a file of ours; says what went
    // wrong, and how many paths a playlist left out. what: "playlist", ...
    void SaveAs(const QString& path, const std::string& bytes, size_t leftOut) const;

    const DesktopActions& m_desktop;
    CFileJournal& m_journal;
    QWidget* m_parent;
    OwnFiles m_own{std::string(), std::string()};
};
