// The "Check for update" dialog: asks the update server (or shows an outcome
// it is given) and tells the user what came back, with a link to the web site
// when a new version exists. Borrows the main window's SettingsStore, which
// must outlive it. UI thread only.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class SettingsStore;

class CUpdateDlg : public QDialog {
    Q_OBJECT

  public:
    // preset 0 starts a check when the dialog is first shown; any other value
    // is shown as that outcome.
    CUpdateDlg(SettingsStore& store, uint32_t version, int preset, QWidget* parent = nullptr);

    // The text for an outcome of a check.
    static QString OutcomeText(int outcome);

    QLabel* Message() const { return m_message; }
    QLabel* Link() const { return m_link; }

    // Opens the dialog for a manual check, parented to the active window (or
    // parent when none is active), and returns when the user closes it.
    static void RunManualCheck(QWidget* parent, SettingsStore& store, uint32_t version);

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void ShowOutcome(int outcome);

    SettingsStore& m_store;
    uint32_t m_version;
    int m_preset;
    bool m_started = false;
    QLabel* m_message;
    QLabel* m_link;
};
