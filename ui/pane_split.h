// CPaneSplit: the window's list above its details pane. The details show at
// the height the user last dragged them to (kept across starts by the
// window), and the list always keeps some rows. The window owns it through
// Qt's parenting. UI thread only.
#pragma once

#include <QSplitter>

class CPaneSplit : public QSplitter {
    Q_OBJECT

  public:
    explicit CPaneSplit(QWidget* parent);

    // list above, details below; both become children of the split. Starts
    // with the list alone.
    void SetPanes(QWidget* list, QWidget* details);

    bool detailsShown() const { return m_details->isVisibleTo(this); }
    void ShowListOnly() { m_details->hide(); }
    // Shows the details pane at the height last given to it.
    void ShowBoth();

    // The details pane's height in pixels; 0 until the user sets one.
    int detailsHeight() const;
    void SetDetailsHeight(int pixels) { m_detailsHeight = pixels; }

  private:
    QWidget* m_details = nullptr;
    int m_detailsHeight = 0;
};
