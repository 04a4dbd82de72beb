#include "update_dlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings_store.h"
#include "update_check.h"

CUpdateDlg::CUpdateDlg(SettingsStore& store, uint32_t version, int preset, QWidget* parent)
    : QDialog(parent), m_store(store), m_version(version), m_preset(preset) {
    setWindowTitle(tr("Check for update"));

    m_message = new QLabel(tr("Please wait..."), this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setMinimumWidth(300);

    const QString site = m_store.ReadVendorLinks().webSite;
    m_link = new QLabel(this);
    m_link->setAlignment(Qt::AlignCenter);
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(site.toHtmlEscaped(), site.toHtmlEscaped()));
    m_link->setOpenExternalLinks(true);  // QDesktopServices::openUrl
    m_link->setVisible(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_link);
    layout->addWidget(buttons, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CUpdateDlg::OutcomeText(int outcome) {
    switch (outcome) {
        case kUpdateAvailable:
            return tr("Update available, please visit web-site:");
        case kUpdateNoConnection:
            return tr("Can't connect to server,\nplease check your connection to Internet");
        case kUpdateUpToDate:
            return tr("No update available,\nYou software is up to date");
        default:
            return tr("Internal server error, please try again latter...");
    }
}

void CUpdateDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) {
        return;
    }
    m_started = true;
    if (m_preset == 0) {
        StartUpdateCheck(this, m_version, m_store.ReadVendorLinks().updateServer);
    } else {
        QCoreApplication::postEvent(this, new UpdateCheckedEvent(m_preset));
    }
}

bool CUpdateDlg::event(QEvent* event) {
    if (event->type() == UpdateCheckedEvent::kType) {
        ShowOutcome(static_cast<UpdateCheckedEvent*>(event)->Outcome());
        return true;
    }
    return QDialog::event(event);
}

void CUpdateDlg::ShowOutcome(int outcome) {
    m_message->setText(OutcomeText(outcome));
    m_link->setVisible(outcome == kUpdateAvailable);
    if (outcome == kUpdateAvailable || outcome == kUpdateUpToDate) {
        m_store.WriteLastUpdate(NowSecondsSince1970());
    }
}

void CUpdateDlg::RunManualCheck(QWidget* parent, SettingsStore& store, uint32_t version) {
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : parent;
    CUpdateDlg dialog(store, version, 0, owner);
    dialog.exec();
}
