#include "details_pane.h"

#include <QVBoxLayout>

#include "pair_figures.h"
#include "pair_verdicts.h"
#include "settings_store.h"

namespace {

// The details' height; the figures under them take more, and whatever
// height the user drags the pane to beyond that.
constexpr int kDetailsHeight = 200;
constexpr int kFiguresHeight = 250;
constexpr int kLeastFiguresHeight = 120;

}  // namespace

CDetailsPane::CDetailsPane(std::optional<std::string> pluginFolder, QWidget* parent)
    : QWidget(parent),
      m_details(new CDetailsWnd(this)),
      m_figures(new CPairFigures(this)),
      m_store(std::move(pluginFolder)) {
    m_details->setFixedHeight(kDetailsHeight);
    m_figures->setMinimumHeight(kLeastFiguresHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_details);
    layout->addWidget(m_figures);
}

QSize CDetailsPane::sizeHint() const {
    return QSize(QWidget::sizeHint().width(), kDetailsHeight + kFiguresHeight);
}

void CDetailsPane::RunCommands(const std::function<void(int id)>& command, int playLeft,
                               int deleteLeft, int playRight, int deleteRight) {
    const std::pair<void (CDetailsWnd::*)(), int> buttons[] = {
        {&CDetailsWnd::PlayLeft, playLeft},
        {&CDetailsWnd::DeleteLeft, deleteLeft},
        {&CDetailsWnd::PlayRight, playRight},
        {&CDetailsWnd::DeleteRight, deleteRight}};
    for (const auto& [signal, id] : buttons) {
        connect(m_details, signal, this, [command, id = id] { command(id); });
    }
}

void CDetailsPane::SetVerdicts(const CPairVerdicts* verdicts) {
    m_verdicts = verdicts;
    connect(verdicts, &CPairVerdicts::Judged, this, [this](uint32_t first, uint32_t end) {
        if (m_record >= first && m_record < end) {
            ShowVerdict();
        }
    });
}

void CDetailsPane::ShowVerdict() {
    const PairVerdict* verdict = m_verdicts != nullptr ? m_verdicts->Find(m_record) : nullptr;
    if (verdict != nullptr) {
        m_figures->SetVerdict(VerdictText(*verdict, LaterBy(*verdict, true)));
    }
}

void CDetailsPane::ShowPair(uint32_t record, DuplicatePair& pair, const ScanController& scan) {
    m_record = record;
    m_store.Build(&pair.details1, pair.path1);
    m_store.Build(&pair.details2, pair.path2);
    m_details->SetFiles(m_store.Find(pair.details1), m_store.Find(pair.details2));
    m_details->update();
    // The figures are drawn from copies: the store may change while they show.
    Grip later;
    Grip earlier;
    if (scan.FingerprintsOf(pair, &later, &earlier)) {
        const CompareSettings settings = CurrentCompareSettings();
        m_figures->SetPair(later, earlier, settings.sensitivity, settings.method,
                           settings.strict);
    } else {
        m_figures->ShowNothing(tr("The fingerprints of this pair are not in the cache."));
    }
    ShowVerdict();
}
