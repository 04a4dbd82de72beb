#include "file_commands.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include "decoder_contract.h"
#include "qt_text.h"

namespace {

// The confirmation question lists at most this many files by name.
constexpr size_t kQuestionFileLines = 12;

// The name under which the file system knows path.
QString FileSystemName(const std::u16string& path) {
    return QFile::decodeName(QByteArray::fromStdString(U16ToBytes(path)));
}

}  // namespace

void CFileCommands::Play(const std::u16string& path) const {
    m_desktop.openUrl(QUrl::fromLocalFile(FileSystemName(path)));
}

void CFileCommands::OpenFolder(const std::u16string& path) const {
    const size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos) {
        return;
    }
    // A file right under the root lies in "/".
    const std::u16string folder = slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
    m_desktop.openUrl(QUrl::fromLocalFile(FileSystemName(folder)));
}

std::vector<std::u16string> CFileCommands::MoveToTrash(const std::vector<std::u16string>& files,
                                                       bool ask) const {
    if (files.empty()) {
        return {};
    }
    const size_t count = files.size();
    if (ask) {
        QString question = count == 1 ? tr("Move this file to the trash?\n\n")
                                      : tr("Move these %n file(s) to the trash?\n\n", nullptr,
                                           static_cast<int>(count));
        for (size_t i = 0; i < count && i < kQuestionFileLines; ++i) {
            question += ToQString(files[i]) + QLatin1Char('\n');
        }
        if (count > kQuestionFileLines) {
            question +=
                tr("... and %n more\n", nullptr, static_cast<int>(count - kQuestionFileLines));
        }
        if (!m_desktop.confirm(m_parent, question)) {
            return {};
        }
    }
    return m_journal.Trash(files);
}

bool CFileCommands::WriteFile(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void CFileCommands::SavePlaylist(const std::string& bytes, size_t leftOut) const {
    const QString path = m_desktop.askPlaylistPath(m_parent);
    if (!path.isEmpty()) {
        SaveAs(path, bytes, leftOut);
    }
}

void CFileCommands::Export(
    const std::function<std::string(bool playlist, size_t* leftOut)>& bytesFor) const {
    const QString path = m_desktop.askExportPath ? m_desktop.askExportPath(m_parent) : QString();
    if (path.isEmpty()) {
        return;
    }
    const bool playlist = path.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive) ||
                          path.endsWith(QStringLiteral(".m3u8"), Qt::CaseInsensitive);
    size_t leftOut = 0;
    const std::string bytes = bytesFor(playlist, &leftOut);  // before leftOut is read
    SaveAs(path, bytes, leftOut);
}

void CFileCommands::SaveAs(const QString& path, const std::string& bytes, size_t leftOut) const {
    if (const char* what = m_own.Owns(QFile::encodeName(path).toStdString())) {
        Error(tr("The file would replace %1:\n%2").arg(QString::fromUtf8(what), path));
        return;
    }
    if (!WriteFile(path, bytes)) {
        Error(tr("Can't write the file\n") + path);
    } else if (leftOut > 0 && m_desktop.message) {
        m_desktop.message(m_parent,
                          tr("%n path(s) left out of the playlist: a name with a "
                             "line break, or too long, cannot be written as one line",
                             nullptr, static_cast<int>(leftOut)),
                          tr("Warning"), QMessageBox::Warning);
    }
}

void CFileCommands::Error(const QString& text) const {
    if (m_desktop.message) {
        m_desktop.message(m_parent, text, tr("Error"), QMessageBox::Critical);
    }
}
