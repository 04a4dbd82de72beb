// CNotDuplicatesDlg: lists the pairs remembered as "Not duplicates" and lets
// the user take any of them back; the main window then saves the store and
// lists the pairs again. Works on the main window's store, which must
// outlive it. UI thread only.
#pragma once

#include <QDialog>

#include <vector>

#include "not_duplicates.h"

class QPushButton;
class QTableWidget;

class CNotDuplicatesDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CNotDuplicatesDlg(NotDuplicates& store, QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    QPushButton* TakeBackButton() const { return m_takeBack; }

  public slots:
    // Forgets the selected pairs.
    void TakeBack();

  signals:
    void TakenBack(const std::vector<NotDuplicates::Pair>& pairs);

  private:
    void Fill();

    NotDuplicates& m_store;
    QTableWidget* m_table;
    QPushButton* m_takeBack;
};
