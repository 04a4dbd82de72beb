#include "about_dlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "program_version.h"

namespace {

constexpr int kTitlePixels = 22;  // a font whose cell is about 24 pixels high

const char* const kNotice =
    QT_TRANSLATE_NOOP("CAboutDlg", "Copyright \u00A9 Quillmere. All rights reserved.");

QLabel* LinkLabel(const QString& target, const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), text.toHtmlEscaped()));
    label->setOpenExternalLinks(true);  // QDesktopServices::openUrl
    label->setToolTip(target);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(uint32_t version, uint32_t build, const VendorLinks& links, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("About"));

    auto* nameBox = new QGroupBox(this);
    auto* title = new QLabel(QStringLiteral("Harmonyfox"), nameBox);
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    titleFont.setPixelSize(kTitlePixels);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    m_version = new QLabel(FormatVersionLine(version, build), nameBox);
    m_version->setAlignment(Qt::AlignCenter);
    auto* notice = new QLabel(tr(kNotice), nameBox);
    notice->setAlignment(Qt::AlignCenter);
    auto* nameLayout = new QVBoxLayout(nameBox);
    nameLayout->addWidget(title);
    nameLayout->addWidget(m_version);
    nameLayout->addWidget(notice);

    auto* linkBox = new QGroupBox(this);
    m_web = LinkLabel(links.webSite, links.webSite, linkBox);
    m_forum = LinkLabel(links.forum, links.forum, linkBox);
    m_email = LinkLabel(QStringLiteral("mailto:") + links.email, links.email, linkBox);
    auto* linkLayout = new QGridLayout(linkBox);
    linkLayout->addWidget(new QLabel(tr("Web:"), linkBox), 0, 0);
    linkLayout->addWidget(m_web, 0, 1);
    linkLayout->addWidget(new QLabel(tr("Forum:"), linkBox), 1, 0);
    linkLayout->addWidget(m_forum, 1, 1);
    linkLayout->addWidget(new QLabel(tr("E-mail:"), linkBox), 2, 0);
    linkLayout->addWidget(m_email, 2, 1);
    linkLayout->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameBox);
    layout->addWidget(linkBox);
    layout->addWidget(buttons, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
