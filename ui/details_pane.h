// CDetailsPane: the pane under the results list: the details of a pair's two
// files (CDetailsWnd) and, under them, the figures of their comparison
// (CPairFigures). It builds each file's details once, the first time one of
// its pairs is shown, and draws the figures from copies of the fingerprints
// that the scan controller hands out. UI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "details_wnd.h"
#include "scan_controller.h"

class CPairFigures;
class CPairVerdicts;

class CDetailsPane : public QWidget {
    Q_OBJECT

  public:
    // pluginFolder: where the plug-ins that read the files' details lie
    // (unset: the program's own folder).
    CDetailsPane(std::optional<std::string> pluginFolder, QWidget* parent = nullptr);

    // The details' Play and Delete buttons run command with these ids.
    void RunCommands(const std::function<void(int id)>& command, int playLeft, int deleteLeft,
                     int playRight, int deleteRight);

    // The verdicts the pane tells of; they must outlive the pane. A verdict
    // that arrives for the pair on show is shown at once.
    void SetVerdicts(const CPairVerdicts* verdicts);
    // Shows both files of pair (the scan's record number record), filling
    // its details slots as they are built.
    void ShowPair(uint32_t record, DuplicatePair& pair, const ScanController& scan);

    CDetailsWnd* details() const { return m_details; }
    CPairFigures* figures() const { return m_figures; }
    // The height the pane takes until the user gives it another.
    QSize sizeHint() const override;

  private:
    void ShowVerdict();

    CDetailsWnd* m_details;
    CPairFigures* m_figures;
    FileDetailsStore m_store;
    const CPairVerdicts* m_verdicts = nullptr;
    uint32_t m_record = 0;  // the pair on show, when the figures show one
};
