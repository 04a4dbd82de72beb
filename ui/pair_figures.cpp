#include "pair_figures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "analyzer.h"

namespace {

constexpr int kHeight = 250;
// The explanation takes this share of the width, the pictures the rest.
constexpr int kTextShare = 45;
constexpr int kCaptionWidth = 150;
constexpr int kPanelGap = 6;
const QColor kHighlight(255, 236, 140);
const QColor kFrame(190, 190, 190);

QString Score(float value) {
    return QString::number(static_cast<double>(value), 'f', 3);
}

QString Escaped(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

// One picture: the two series as curves over the whole rectangle, scaled to
// their own peaks (the correlation ignores scale), and the caption at its left.
// low is the value at the bottom edge: 0 for magnitudes, -1 for correlations.
void DrawPanel(QPainter& p, const QRect& area, const QString& caption,
               const std::vector<float>& first, const std::vector<float>& second,
               double low = 0.0) {
    const QRect plot = area.adjusted(kCaptionWidth, 0, 0, 0);
    p.setPen(Qt::black);
    p.drawText(area.adjusted(0, 0, -plot.width(), 0),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
    p.setPen(kFrame);
    p.setBrush(Qt::white);
    p.drawRect(plot.adjusted(0, 0, -1, -1));
    const QRectF inner = QRectF(plot).adjusted(2, 2, -2, -2);
    auto curve = [&](const std::vector<float>& values, const QColor& colour, double width) {
        if (values.size() < 2) {
            return;
        }
        QPainterPath path;
        for (size_t i = 0; i < values.size(); ++i) {
            const double x = inner.left() + inner.width() * static_cast<double>(i) /
                                                static_cast<double>(values.size() - 1);
            const double v = std::clamp(static_cast<double>(values[i]), low, 1.0);
            const double y = inner.bottom() - inner.height() * (v - low) / (1.0 - low);
            i == 0 ? path.moveTo(x, y) : path.lineTo(x, y);
        }
        p.setPen(QPen(colour, width));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    };
    // File #1 wide under File #2 narrow: equal curves still show both colours.
    curve(first, kFile1Colour, 3.0);
    curve(second, kFile2Colour, 1.2);
}

}  // namespace

std::vector<float> ScaledToPeak(const float* values, size_t count) {
    float peak = 0.0f;
    for (size_t i = 0; i < count; ++i) {
        peak = std::max(peak, std::fabs(values[i]));
    }
    std::vector<float> scaled(values, values + count);
    if (peak > 0.0f && std::isfinite(peak)) {
        for (float& v : scaled) {
            v /= peak;
        }
    }
    return scaled;
}

std::vector<float> LogFrequencyColumns(const float* spectrum, int columns) {
    std::vector<float> out;
    if (columns <= 0) {
        return out;
    }
    const double top = static_cast<double>(kComparedBins - 1);  // bin 1024
    out.reserve(static_cast<size_t>(columns));
    for (int x = 0; x < columns; ++x) {
        const double from = std::pow(top, static_cast<double>(x) / columns);
        const double to = std::pow(top, static_cast<double>(x + 1) / columns);
        auto first = static_cast<uint32_t>(std::ceil(from));
        auto end = static_cast<uint32_t>(std::ceil(to));
        if (x + 1 == columns) {
            end = kComparedBins;
        }
        if (end <= first) {
            out.push_back(
                spectrum[std::min<uint32_t>(static_cast<uint32_t>(from), kComparedBins - 1)]);
            continue;
        }
        double sum = 0.0;
        for (uint32_t k = first; k < end; ++k) {
            sum += spectrum[k];
        }
        out.push_back(static_cast<float>(sum / (end - first)));
    }
    return out;
}

QString ExplanationHtml(const PairExplanation& e, const Grip& later, const Grip& earlier) {
    const ContentScores& c = e.content;
    QString html = CPairFigures::tr("<b>Why listed:</b> ");
    switch (e.acceptedBy) {
        case AcceptedBy::kStrongSpectrum:
            html += CPairFigures::tr(
                        "content rule 1, spectrum %1 &ge; %2 and envelope + drift "
                        "%3 &ge; %4")
                        .arg(Score(c.spectrumScore), Score(e.thresholds.strict),
                             Score(c.envelopeScore + c.driftScore), Score(e.thresholds.pair));
            break;
        case AcceptedBy::kThreeFair:
            html += CPairFigures::tr("content rule 2, spectrum, envelope and drift all &ge; %1")
                        .arg(Score(e.thresholds.loose));
            break;
        case AcceptedBy::kContour:
            html += CPairFigures::tr(
                        "the notes the music dwells on, contour %1 &ge; %2, and spectrum "
                        "over the band both carry %3 &ge; %4")
                        .arg(Score(e.tolerant.contourScore), Score(e.contourThreshold),
                             Score(e.tolerant.spectrumScore), Score(kContourShapeFloor));
            break;
        case AcceptedBy::kAligned:
            html += CPairFigures::tr(
                        "a content rule at the best alignment (%1 s apart), envelope %2 &ge; %3")
                        .arg(QString::number(
                                 static_cast<double>(e.tolerant.shift * kStretchSeconds), 'f', 1),
                             Score(e.tolerant.envelopeScore), Score(e.thresholds.loose));
            break;
        case AcceptedBy::kTags:
            html += CPairFigures::tr("the tags, tag score %1 &ge; sensitivity %2")
                        .arg(Score(e.tags.tagScore), Score(e.sensitivity));
            break;
        case AcceptedBy::kNothing:
            html += CPairFigures::tr("not under the current settings (they changed since)");
            break;
    }
    html += CPairFigures::tr(
                "<br><b>Content:</b> spectrum %1, envelope %2, drift %3. "
                "\"% content\" %4 = (spectrum &minus; %5) / (1 &minus; %5): "
                "0 % at the threshold of sensitivity %6, 100 % identical.")
                .arg(Score(c.spectrumScore), Score(c.envelopeScore), Score(c.driftScore),
                     QString::number(static_cast<double>(e.contentPercent), 'f', 1),
                     Score(e.thresholds.strict), QString::number(e.sensitivity, 'f', 2));
    if (!e.strictCompare) {
        const TolerantScores& t = e.tolerant;
        html += CPairFigures::tr(
                    "<br><b>Tolerant comparison:</b> spectrum over the band both carry %1%2, "
                    "contour %3; at the best alignment (%4 s apart) envelope %5, drift %6. "
                    "\"% content\" is taken from the spectrum over the shared band.")
                    .arg(Score(t.spectrumScore),
                         t.narrowBand ? CPairFigures::tr(" (a narrow band)") : QString(),
                         Score(t.contourScore),
                         QString::number(static_cast<double>(t.shift * kStretchSeconds), 'f', 1),
                         Score(t.envelopeScore), Score(t.driftScore));
    }
    html +=
        CPairFigures::tr(
            "<br><b>Tags:</b> raw tag score %1, \"% tags\" %2 = (score &minus; "
            "%3) / (1 &minus; %3).")
            .arg(Score(e.tags.tagScore), QString::number(static_cast<double>(e.tagPercent), 'f', 1),
                 QString::number(e.sensitivity, 'f', 2));
    if (e.swapped) {
        html += CPairFigures::tr(" Title and artist were swapped in one file.");
    }
    if (e.nameForTitle) {
        html += CPairFigures::tr(" The file name stood in for a missing title.");
    }
    if (e.nameForArtist) {
        html += CPairFigures::tr(" The file name stood in for a missing artist.");
    }
    static const char* const kFieldNames[kTagFieldCount] = {
        QT_TRANSLATE_NOOP("CPairFigures", "title"), QT_TRANSLATE_NOOP("CPairFigures", "artist"),
        QT_TRANSLATE_NOOP("CPairFigures", "file name"), QT_TRANSLATE_NOOP("CPairFigures", "album")};
    static const float kWeights[kTagFieldCount] = {0.4f, 0.3f, 0.15f, 0.15f};
    const float scores[kTagFieldCount] = {e.tags.titleScore, e.tags.artistScore, e.tags.nameScore,
                                          e.tags.albumScore};
    html += CPairFigures::tr(
        "<table cellspacing=0 cellpadding=1><tr><th align=left>field</th>"
        "<th align=left>File #1</th><th align=left>File #2</th>"
        "<th>score</th><th>weight</th></tr>");
    for (int f = 0; f < kTagFieldCount; ++f) {
        const auto field = static_cast<TagField>(f);
        const bool differs = e.differs[static_cast<size_t>(f)];
        const bool part = e.takesPart[static_cast<size_t>(f)];
        html += differs
                    ? QStringLiteral("<tr style=\"background-color:%1\">").arg(kHighlight.name())
                    : QStringLiteral("<tr>");
        html += QStringLiteral(
                    "<td>%1</td><td>%2</td><td>%3</td><td align=right>%4</td>"
                    "<td align=right>%5</td></tr>")
                    .arg(CPairFigures::tr(kFieldNames[f]), Escaped(TagText(later, field)),
                         Escaped(TagText(earlier, field)), Score(scores[f]),
                         part ? QString::number(static_cast<double>(kWeights[f]), 'f', 2)
                              : CPairFigures::tr("left out"));
    }
    html += QStringLiteral("</table>");
    return html;
}

CPairFigures::CPairFigures(QWidget* parent) : QWidget(parent) {
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::RichText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_text, kTextShare);
    layout->addStretch(100 - kTextShare);
    ShowNothing(tr("Select a pair to see why it is listed."));
}

QSize CPairFigures::sizeHint() const {
    return QSize(800, kHeight);
}

void CPairFigures::SetPair(const Grip& later, const Grip& earlier, float sensitivity,
                           int32_t method, bool strictCompare) {
    m_later = later;
    m_earlier = earlier;
    m_explanation = std::make_unique<PairExplanation>(
        ExplainPair(later, earlier, sensitivity, method, strictCompare));
    m_verdict.clear();
    ShowText();
    update();
}

void CPairFigures::SetVerdict(const QString& verdict) {
    m_verdict = verdict;
    ShowText();
}

void CPairFigures::ShowText() {
    QString html;
    if (!m_verdict.isEmpty()) {
        html = tr("<b>Verdict:</b> %1 (File #2 against File #1)").arg(m_verdict.toHtmlEscaped()) +
               QStringLiteral("<br>");
    }
    m_text->setText(html + (m_explanation ? ExplanationHtml(*m_explanation, m_later, m_earlier)
                                          : m_nothing.toHtmlEscaped()));
}

void CPairFigures::ShowNothing(const QString& text) {
    m_explanation.reset();
    m_verdict.clear();
    m_nothing = text;
    ShowText();
    update();
}

void CPairFigures::paintEvent(QPaintEvent*) {
    if (!m_explanation) {
        return;
    }
    const QRect all = contentsRect().adjusted(6, 4, -6, -4);
    const int left = all.left() + all.width() * kTextShare / 100 + kPanelGap;
    const QRect area(left, all.top(), all.right() - left, all.height());
    if (area.width() < kCaptionWidth + 40 || area.height() < 60) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const int panel = (area.height() - 2 * kPanelGap) / 3;
    const ContentScores& c = m_explanation->content;
    const int columns = area.width() - kCaptionWidth;
    QRect row(area.left(), area.top(), area.width(), panel);
    DrawPanel(p, row, tr("Envelope (30 s)\nr = %1").arg(Score(c.envelopeScore)),
              ScaledToPeak(m_later.envelope.data(), kEnvelopeLength),
              ScaledToPeak(m_earlier.envelope.data(), kEnvelopeLength));
    row.translate(0, panel + kPanelGap);
    auto spectrum = [columns](const Grip& g) {
        const std::vector<float> shown = LogFrequencyColumns(g.spectrum.data(), columns);
        return ScaledToPeak(shown.data(), shown.size());
    };
    DrawPanel(p, row, tr("Spectrum, 11 Hz to 11 kHz\nr = %1").arg(Score(c.spectrumScore)),
              spectrum(m_later), spectrum(m_earlier));
    row.translate(0, panel + kPanelGap);
    DrawPanel(p, row, tr("Drift\nr = %1").arg(Score(c.driftScore)),
              std::vector<float>(m_later.drift.begin(), m_later.drift.end()),
              std::vector<float>(m_earlier.drift.begin(), m_earlier.drift.end()), -1.0);
    // Which colour is which file.
    p.setPen(kFile1Colour);
    p.drawText(QRect(area.left(), area.bottom() - 14, kCaptionWidth / 2, 14), Qt::AlignLeft,
               tr("File #1"));
    p.setPen(kFile2Colour);
    p.drawText(QRect(area.left() + kCaptionWidth / 2, area.bottom() - 14, kCaptionWidth / 2, 14),
               Qt::AlignLeft, tr("File #2"));
}
