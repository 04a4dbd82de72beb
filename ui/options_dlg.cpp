#include "options_dlg.h"

#include <QLocale>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "keep_page.h"
#include "settings_store.h"

namespace {

constexpr int kSliderMax = 100;

bool DefaultAsk(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, COptionsDlg::tr("Question"), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// The slider position of a sensitivity: percent, rounded, within the slider.
int SliderPosition(float sensitivity) {
    const double position = std::floor(static_cast<double>(sensitivity) * 100.0 + 0.5);
    if (!(position > 0.0)) {  // also NaN
        return 0;
    }
    return position > kSliderMax ? kSliderMax : static_cast<int>(position);
}

}  // namespace

QString FormatSensitivity(int position) {
    return QString::number(position * 0.01, 'f', 2);
}

COptionsDlg::COptionsDlg(ResetCacheFunc resetCache, int32_t method, bool checkUpdate, bool accurate,
                         float sensitivity, QWidget* parent)
    : QDialog(parent),
      m_method(method),
      m_checkUpdate(checkUpdate),
      m_accurate(accurate),
      m_sensitivity(sensitivity),
      m_resetCache(std::move(resetCache)),
      m_ask(DefaultAsk) {
    setWindowTitle(tr("Options"));
    // No close box: the dialog ends through its buttons or Escape.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* methodGroup = new QGroupBox(tr("Compare method"), this);
    m_onlyTags = new QRadioButton(tr("Only tags"), methodGroup);
    m_onlyContent = new QRadioButton(tr("Only content"), methodGroup);
    m_tagsAndContent = new QRadioButton(tr("Tags and content"), methodGroup);
    auto* methodLayout = new QVBoxLayout(methodGroup);
    methodLayout->addWidget(m_onlyTags);
    methodLayout->addWidget(m_onlyContent);
    methodLayout->addWidget(m_tagsAndContent);

    auto* otherGroup = new QGroupBox(tr("Other"), this);
    m_checkUpdateBox = new QCheckBox(tr("Check for updates"), otherGroup);
    m_accurateBox = new QCheckBox(tr("Enable experimental algorithm (very slow)"), otherGroup);
    m_strictBox = new QCheckBox(tr("Compare content strictly (no shifted starts, the whole band)"),
                                otherGroup);
    m_strictBox->setToolTip(
        tr("Unchecked, a copy still matches when it starts up to 8 s elsewhere, carries a "
           "narrower band, plays a little faster or was equalized or compressed. Checked, the "
           "analysed parts are compared as they lie, over the whole band."));
    auto* otherLayout = new QVBoxLayout(otherGroup);
    otherLayout->addWidget(m_checkUpdateBox);
    otherLayout->addWidget(m_accurateBox);
    otherLayout->addWidget(m_strictBox);
    otherLayout->addStretch();

    auto* groups = new QHBoxLayout;
    groups->addWidget(methodGroup);
    groups->addWidget(otherGroup, 1);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, kSliderMax);
    m_slider->setMinimumWidth(240);
    m_sensitivityLabel = new QLabel(QStringLiteral("0.75"), this);
    // Room for "1.00" so the slider does not jump as the text changes.
    m_sensitivityLabel->setMinimumWidth(
        m_sensitivityLabel->fontMetrics().horizontalAdvance(QStringLiteral("0.00")) + 4);
    m_slider->setToolTip(
        tr("Left: more results, less alike files. Right: fewer "
           "results, only files that are very alike."));
    auto* sensitivityRow = new QGridLayout;
    sensitivityRow->addWidget(new QLabel(tr("Sensitivity:"), this), 0, 0);
    sensitivityRow->addWidget(m_slider, 0, 1, 1, 2);
    sensitivityRow->addWidget(m_sensitivityLabel, 0, 3);
    // Which way gives more results.
    sensitivityRow->addWidget(new QLabel(tr("\u2190 more results"), this), 1, 1, Qt::AlignLeft);
    sensitivityRow->addWidget(new QLabel(tr("fewer, closer matches \u2192"), this), 1, 2,
                              Qt::AlignRight);
    sensitivityRow->setColumnStretch(1, 1);
    sensitivityRow->setColumnStretch(2, 1);

    m_clearCache = new QPushButton(tr("Clear internal cache"), this);
    m_clearCache->setAutoDefault(false);
    m_cleanCache = new QPushButton(tr("Clean cache"), this);
    m_cleanCache->setAutoDefault(false);
    m_cleanCache->setToolTip(tr("Forget the fingerprints of files that no longer exist"));
    m_cleanCache->hide();
    m_cleanCacheLabel = new QLabel(this);
    m_cleanCacheLabel->setWordWrap(true);
    m_cleanCacheLabel->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_clearCache);
    bottom->addWidget(m_cleanCache);
    bottom->addStretch();
    bottom->addWidget(buttons);

    auto* general = new QWidget(this);
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addLayout(groups);
    generalLayout->addLayout(sensitivityRow);
    generalLayout->addWidget(m_cleanCacheLabel);
    generalLayout->addStretch();
    m_keepPage = new CKeepPage(this);
    auto* pages = new QTabWidget(this);
    pages->addTab(general, tr("General"));
    pages->addTab(m_keepPage, tr("Keep"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(bottom);

    MethodButton(m_method)->setChecked(true);
    m_checkUpdateBox->setChecked(m_checkUpdate);
    m_accurateBox->setChecked(m_accurate);
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int position) { m_sensitivityLabel->setText(FormatSensitivity(position)); });
    m_slider->setValue(SliderPosition(m_sensitivity));
    m_sensitivityLabel->setText(FormatSensitivity(m_slider->value()));

    connect(m_clearCache, &QPushButton::clicked, this, &COptionsDlg::ClearCache);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QRadioButton* COptionsDlg::MethodButton(int32_t method) const {
    switch (method) {
        case 1:
            return m_onlyTags;
        case 2:
            return m_onlyContent;
        default:
            return m_tagsAndContent;
    }
}

void COptionsDlg::SetStrict(bool strict) {
    m_strict = strict;
    m_strictBox->setChecked(strict);
}

void COptionsDlg::ClearCache() {
    if (!m_ask(this, tr("Clear internal cache ?"))) {
        return;
    }
    if (m_resetCache) {
        m_resetCache();
    }
    reject();
}

void COptionsDlg::SetCleanCache(CleanCacheFunc clean) {
    m_clean = std::move(clean);
    m_cleanCache->setVisible(static_cast<bool>(m_clean));
    disconnect(m_cleanCache, &QPushButton::clicked, this, nullptr);
    connect(m_cleanCache, &QPushButton::clicked, this, [this] {
        m_cleanCacheLabel->setText(m_clean());
        m_cleanCacheLabel->show();
    });
}

void COptionsDlg::done(int result) {
    if (result == QDialog::Accepted) {
        m_method = m_onlyTags->isChecked() ? 1 : m_onlyContent->isChecked() ? 2 : 3;
        m_checkUpdate = m_checkUpdateBox->isChecked();
        m_accurate = m_accurateBox->isChecked();
        m_strict = m_strictBox->isChecked();
        m_sensitivity = static_cast<float>(m_slider->value() * 0.01);
    }
    QDialog::done(result);
}

bool EditOptions(QWidget* parent, SettingsStore& store, bool* checkUpdate,
                 COptionsDlg::ResetCacheFunc resetCache, COptionsDlg::AskFunc ask,
                 COptionsDlg::CleanCacheFunc clean) {
    const CompareSettings current = CurrentCompareSettings();
    COptionsDlg dialog(std::move(resetCache), current.method, *checkUpdate, current.accurate,
                       current.sensitivity, parent);
    dialog.SetStrict(current.strict);
    if (ask) {
        dialog.SetAsk(std::move(ask));
    }
    if (clean) {
        dialog.SetCleanCache(std::move(clean));
    }
    dialog.KeepPage()->SetRules(store.ReadKeepRules());
    dialog.KeepPage()->SetPreferred(store.ReadPreferredFolders());
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    store.WriteKeepRules(dialog.KeepPage()->Rules());
    store.WritePreferredFolders(dialog.KeepPage()->Preferred());
    CompareSettings chosen;
    chosen.method = dialog.Method();
    chosen.accurate = dialog.Accurate();
    chosen.sensitivity = dialog.Sensitivity();
    chosen.strict = dialog.Strict();
    *checkUpdate = dialog.CheckUpdate();
    ApplyCompareSettings(chosen);
    store.WriteOptions(*checkUpdate, chosen);
    return true;
}

QString CleanReportText(uint64_t dropped, uint64_t bytesFreed, bool written) {
    QString text = COptionsDlg::tr("Dropped %n entry(s) of files that no longer exist; %1 freed",
                                   nullptr, static_cast<int>(dropped))
                       .arg(QLocale().formattedDataSize(static_cast<qint64>(bytesFreed)));
    if (!written) {
        text += COptionsDlg::tr("; the cache file could not be written afresh");
    }
    return text;
}
