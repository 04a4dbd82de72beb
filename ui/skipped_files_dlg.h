// CSkippedFilesDlg: the "Skipped files" window (View menu): every file of the
// scan that gave no fingerprint, with the reason, and the count per reason.
// The rows can be selected and copied as text, path and reason separated by
// a tab. The main window owns it (modeless) and hands it the list whenever it
// grew. UI thread only.
#pragma once

#include <QDialog>

#include <vector>

#include "skipped_files.h"

class QLabel;
class QTableWidget;

// One line per file: path, a tab, the reason as the window shows it.
QString SkippedFilesText(const std::vector<SkippedFile>& files);
// "3 files skipped: 2 shorter than 15 s of music, 1 damaged"; "No file skipped".
QString SkippedSummary(const std::vector<SkippedFile>& files);

class CSkippedFilesDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CSkippedFilesDlg(QWidget* parent = nullptr);

    // Shows files; nothing is redrawn while their number is the one shown.
    void SetFiles(const std::vector<SkippedFile>& files);
    // SetFiles, then shows the window in front.
    void Present(const std::vector<SkippedFile>& files);

    QTableWidget* Table() const { return m_table; }
    QLabel* Summary() const { return m_summary; }

  public slots:
    // Puts the selected rows, or every row when none is selected, on the clipboard.
    void Copy();

  private:
    std::vector<SkippedFile> m_files;
    QLabel* m_summary;
    QTableWidget* m_table;
};
