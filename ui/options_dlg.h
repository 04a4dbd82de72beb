// The Options dialog: compare method, update check, experimental measure,
// sensitivity, and the button that empties the fingerprint cache; on a page
// of its own ("Keep") the rules that choose the copy to keep. The main
// window runs it modally with the current values and applies the values only
// after Accepted (EditOptions does both). UI thread only.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

class CKeepPage;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

class SettingsStore;

class COptionsDlg : public QDialog {
    Q_OBJECT

  public:
    // Empties the fingerprint cache (the main window's ResetCache).
    using ResetCacheFunc = std::function<void()>;
    // Asks a yes/no question; true for Yes.
    using AskFunc = std::function<bool(QWidget* parent, const QString& question)>;
    // Drops the cache entries of files that no longer exist; returns what it
    // did, for the user.
    using CleanCacheFunc = std::function<QString()>;

    // resetCache may be empty: "Clear internal cache" then only closes the
    // dialog. sensitivity is 0..1; larger values show at the slider's end.
    COptionsDlg(ResetCacheFunc resetCache, int32_t method, bool checkUpdate, bool accurate,
                float sensitivity, QWidget* parent = nullptr);

    // The strict comparison box starts as strict says.
    void SetStrict(bool strict);
    // Replaces the question box of "Clear internal cache".
    void SetAsk(AskFunc ask) { m_ask = std::move(ask); }
    // Shows the "Clean cache" button, which runs clean and shows its answer
    // in the dialog; the dialog stays open.
    void SetCleanCache(CleanCacheFunc clean);

    // After Accepted: the values of the controls. Otherwise the values the
    // dialog was given.
    int32_t Method() const { return m_method; }
    bool CheckUpdate() const { return m_checkUpdate; }
    bool Accurate() const { return m_accurate; }
    float Sensitivity() const { return m_sensitivity; }
    bool Strict() const { return m_strict; }

    QRadioButton* MethodButton(int32_t method) const;
    QCheckBox* CheckUpdateBox() const { return m_checkUpdateBox; }
    QCheckBox* AccurateBox() const { return m_accurateBox; }
    QCheckBox* StrictBox() const { return m_strictBox; }
    QSlider* SensitivitySlider() const { return m_slider; }
    QLabel* SensitivityLabel() const { return m_sensitivityLabel; }
    QPushButton* ClearCacheButton() const { return m_clearCache; }
    QPushButton* CleanCacheButton() const { return m_cleanCache; }
    QLabel* CleanCacheLabel() const { return m_cleanCacheLabel; }
    CKeepPage* KeepPage() const { return m_keepPage; }

  public slots:
    // Asks "Clear internal cache ?"; on Yes empties the cache and closes the
    // dialog as Rejected, so no other change made in it is applied.
    void ClearCache();
    void done(int result) override;

  private:
    int32_t m_method;
    bool m_checkUpdate;
    bool m_accurate;
    float m_sensitivity;
    bool m_strict = false;
    ResetCacheFunc m_resetCache;
    AskFunc m_ask;

    QRadioButton* m_onlyTags;
    QRadioButton* m_onlyContent;
    QRadioButton* m_tagsAndContent;
    QCheckBox* m_checkUpdateBox;
    QCheckBox* m_accurateBox;
    QCheckBox* m_strictBox;
    QSlider* m_slider;
    QLabel* m_sensitivityLabel;
    QPushButton* m_clearCache;
    QPushButton* m_cleanCache;
    QLabel* m_cleanCacheLabel;
    CleanCacheFunc m_clean;
    CKeepPage* m_keepPage;
};

// Shows the sensitivity of a slider position: 75 gives "0.75", 5 "0.05".
QString FormatSensitivity(int position);

// Runs the Options dialog on the process-wide comparison settings and
// *checkUpdate, and on the keep rules and preferred folders of store. After
// OK sets them and writes them to store; returns true.
// Otherwise nothing changes (the cache may have been emptied) and it returns
// false. ask replaces the question box when given.
// What cleaning the cache did, as the dialog says it: dropped entries and
// bytes freed; written tells whether the file could be written afresh.
QString CleanReportText(uint64_t dropped, uint64_t bytesFreed, bool written);

bool EditOptions(QWidget* parent, SettingsStore& store, bool* checkUpdate,
                 COptionsDlg::ResetCacheFunc resetCache, COptionsDlg::AskFunc ask = {},
                 COptionsDlg::CleanCacheFunc clean = {});
