// CPairFigures: under the details pane, why the selected pair is listed:
// the explained scores (content scores and the rule that accepted the pair,
// the tag field scores and what the tag comparison did, the fields that
// differ) beside pictures of both fingerprints drawn one over the other: the
// loudness envelopes over the 30 s analysed, the spectra on a logarithmic
// frequency axis and the spectral drifts, each with its correlation.
//
// Fed by the main window with copies of the two Grips; it keeps its own
// copies. UI thread only.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

#include "grip.h"
#include "pair_explanation.h"

class QLabel;

// The colours of File #1 and File #2 in the pictures.
inline const QColor kFile1Colour(0, 90, 200);
inline const QColor kFile2Colour(220, 100, 0);

// values scaled so that the largest magnitude is 1; all zeros stay zeros.
std::vector<float> ScaledToPeak(const float* values, size_t count);

// The compared spectrum bins (1..1024; bin k lies at k x 22050 / 2048 Hz) laid
// on a logarithmic frequency axis of columns: column x covers the bins from
// 1024^(x / columns) up to 1024^((x + 1) / columns) and shows their mean;
// a column narrower than one bin shows the bin it falls in.
std::vector<float> LogFrequencyColumns(const float* spectrum, int columns);

// The explanation as rich text: scores, rule, tag fields (differing ones
// highlighted) and how the two figures of the list come about.
QString ExplanationHtml(const PairExplanation& e, const Grip& later, const Grip& earlier);

class CPairFigures : public QWidget {
    Q_OBJECT

  public:
    explicit CPairFigures(QWidget* parent = nullptr);

    // Shows the pair: later is File #1 (the file that joined the scan later).
    void SetPair(const Grip& later, const Grip& earlier, float sensitivity, int32_t method,
                 bool strictCompare);
    // The verdict on the pair, shown above the explanation (or the text of
    // ShowNothing) until the next SetPair or ShowNothing; plain text.
    void SetVerdict(const QString& verdict);
    // Shows text instead of a pair (no row selected, no fingerprint at hand).
    void ShowNothing(const QString& text);

    // The pair on show, or null.
    const PairExplanation* Explanation() const { return m_explanation.get(); }
    QLabel* Text() const { return m_text; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void ShowText();

    QLabel* m_text;
    QString m_verdict;
    QString m_nothing;  // shown without a pair
    std::unique_ptr<PairExplanation> m_explanation;
    Grip m_later;
    Grip m_earlier;
};
