#include "details_wnd.h"

#include <QFontDatabase>
#include <QPainter>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <system_error>

#include "artwork.h"
#include "decoder_set.h"
#include "qt_text.h"

namespace {

constexpr int kMinPaintWidth = 200;  // narrower panes show only their buttons
constexpr int kLabelColumn = 120;    // width of the middle column and its margins
constexpr int kRowHeight = 20;
constexpr int kTop = 5;
constexpr int kButtonMargin = 10;
constexpr int kSecondButtonTop = 60;
constexpr int kButtonImage = 48;
constexpr int kFontPixels = 14;  // a font whose cell is about 16 pixels high

const QColor kLabelColour(100, 100, 255);

const char* const kLabels[] = {
    QT_TRANSLATE_NOOP("CDetailsWnd", "artist"), QT_TRANSLATE_NOOP("CDetailsWnd", "title"),
    QT_TRANSLATE_NOOP("CDetailsWnd", "album"),  QT_TRANSLATE_NOOP("CDetailsWnd", "duration"),
    QT_TRANSLATE_NOOP("CDetailsWnd", "size"),   QT_TRANSLATE_NOOP("CDetailsWnd", "bitrate"),
    QT_TRANSLATE_NOOP("CDetailsWnd", "folder"), QT_TRANSLATE_NOOP("CDetailsWnd", "filename")};

QString Q(const std::u16string& text) {
    return ToQString(text);
}

// The eight rows of one file, in the order of kLabels.
QStringList Rows(const FileDetails& d) {
    return {Q(d.artist),        Q(d.title),
            Q(d.album),         FormatDuration(d.durationMs),
            FormatSize(d.size), FormatBitrate(d.bitrate),
            Q(d.folder),        Q(d.fileName)};
}

// A number with three significant digits, never in exponent form.
QString ThreeDigits(double value) {
    return QString::number(value, 'g', 3);
}

}  // namespace

QString FormatDuration(uint32_t durationMs) {
    return QString::number(durationMs / 60000) + u':' + QString::number((durationMs / 10000) % 6) +
           QString::number((durationMs / 1000) % 10);
}

QString FormatSize(uint64_t bytes) {
    return QString::number(static_cast<double>(bytes) / 1048576.0, 'f', 2) + CDetailsWnd::tr(" MB");
}

QString FormatBitrate(uint32_t bitsPerSecond) {
    constexpr uint32_t kKilo = 1000;
    constexpr uint32_t kMega = 1000000;
    if (bitsPerSecond == 0) {
        return CDetailsWnd::tr("n/a");
    }
    if (bitsPerSecond <= kKilo) {
        return QString::number(bitsPerSecond);
    }
    // Rates that round up to 1000 Kbit are shown as Mbit, so the text never
    // turns into exponent notation ("1e+03 Kbit").
    const double kilo = bitsPerSecond * 0.001;
    if (bitsPerSecond <= kMega && kilo < 999.5) {
        return ThreeDigits(kilo) + CDetailsWnd::tr(" Kbit");
    }
    const double mega = bitsPerSecond * 0.000001;
    return (mega < 999.5 ? ThreeDigits(mega) : QString::number(mega, 'f', 0)) +
           CDetailsWnd::tr(" Mbit");
}

HRESULT BuildFileDetails(const std::u16string& path, FileDetails* details,
                         const std::optional<std::string>& pluginFolder) {
    if (details == nullptr) {
        return E_INVALIDARG;
    }
    auto decoders =
        pluginFolder ? std::make_unique<DecoderSet>(*pluginFolder) : std::make_unique<DecoderSet>();
    if (Failed(decoders->OpenFile(path.c_str()))) {
        return E_FAIL;
    }

    FileDetails built;
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(U16ToBytes(path)), error);
    built.size = error ? 0 : static_cast<uint64_t>(size);

    const size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos) {
        built.fileName = path;
    } else {
        built.folder = path.substr(0, slash);
        built.fileName = path.substr(slash + 1);
    }

    DecoderInfo info{};
    if (Succeeded(decoders->GetFileInfo(&info))) {
        built.title = info.title;
        built.artist = info.artist;
        built.album = info.album;
        built.durationMs = info.durationMs;
        built.bitrate = info.bitrate;
    }
    *details = std::move(built);
    // The set goes with the open file.
    return S_OK;
}

HRESULT FileDetailsStore::Build(uint32_t* slot, const std::u16string& path) {
    if (slot == nullptr) {
        return E_INVALIDARG;
    }
    if (*slot != 0) {
        return S_OK;
    }
    FileDetails details;
    const HRESULT hr = BuildFileDetails(path, &details, m_pluginFolder);
    if (Failed(hr)) {
        return hr;
    }
    m_records.push_back(std::move(details));
    *slot = static_cast<uint32_t>(m_records.size());
    return S_OK;
}

const FileDetails* FileDetailsStore::Find(uint32_t slot) const {
    if (slot == 0 || slot > m_records.size()) {
        return nullptr;
    }
    return &m_records[slot - 1];
}

CDetailsWnd::CDetailsWnd(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    m_labelFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_labelFont.setPixelSize(kFontPixels);
    m_labelFont.setWeight(QFont::Normal);
    m_valueFont = m_labelFont;
    m_valueFont.setWeight(QFont::Bold);

    m_deleteLeft = MakeButton(artwork::RedCrossIcon());
    m_playLeft = MakeButton(artwork::LoudspeakerIcon());
    m_deleteRight = MakeButton(artwork::RedCrossIcon());
    m_playRight = MakeButton(artwork::LoudspeakerIcon());
    connect(m_deleteLeft, &QToolButton::clicked, this, &CDetailsWnd::DeleteLeft);
    connect(m_playLeft, &QToolButton::clicked, this, &CDetailsWnd::PlayLeft);
    connect(m_deleteRight, &QToolButton::clicked, this, &CDetailsWnd::DeleteRight);
    connect(m_playRight, &QToolButton::clicked, this, &CDetailsWnd::PlayRight);
    UpdateToolTips();
}

QToolButton* CDetailsWnd::MakeButton(const QIcon& icon) {
    auto* button = new QToolButton(this);
    button->setIcon(icon);
    button->setIconSize(QSize(kButtonImage, kButtonImage));
    button->setAutoRaise(true);  // a border only while the mouse is over it
    button->setFocusPolicy(Qt::NoFocus);
    button->resize(button->sizeHint());
    return button;
}

QSize CDetailsWnd::sizeHint() const {
    return QSize(640, 200);
}

void CDetailsWnd::SetFiles(const FileDetails* left, const FileDetails* right) {
    m_left = left;
    m_right = right;
    UpdateToolTips();
    update();
}

void CDetailsWnd::UpdateToolTips() {
    const QString left = m_left ? Q(m_left->fileName) : QString();
    const QString right = m_right ? Q(m_right->fileName) : QString();
    m_deleteLeft->setToolTip(m_left ? tr("Delete file: ") + left : QString());
    m_playLeft->setToolTip(m_left ? tr("Play file: ") + left : QString());
    m_deleteRight->setToolTip(m_right ? tr("Delete file: ") + right : QString());
    m_playRight->setToolTip(m_right ? tr("Play file: ") + right : QString());
}

void CDetailsWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (width() == 0 || height() == 0) {
        return;
    }
    const int right = width() - m_deleteRight->width() - kButtonMargin;
    m_deleteLeft->move(kButtonMargin, kTop);
    m_playLeft->move(kButtonMargin, kSecondButtonTop);
    m_deleteRight->move(right, kTop);
    m_playRight->move(right, kSecondButtonTop);
}

void CDetailsWnd::paintEvent(QPaintEvent* event) {
    if (width() < kMinPaintWidth) {
        return;
    }
    const int w = (width() - kLabelColumn) / 2;
    QPainter painter(this);

    painter.setFont(m_labelFont);
    painter.setPen(kLabelColour);
    QRect label(w + 10, kTop, 100, kRowHeight);
    for (const char* text : kLabels) {
        painter.drawText(label, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, tr(text));
        label.translate(0, kRowHeight);
    }

    painter.setFont(m_valueFont);
    painter.setPen(Qt::black);
    auto drawColumn = [&painter](const FileDetails* file, QRect row, Qt::Alignment align) {
        if (file == nullptr) {
            return;
        }
        for (const QString& text : Rows(*file)) {
            painter.save();
            painter.setClipRect(row);
            painter.drawText(row, align | Qt::AlignVCenter | Qt::TextSingleLine, text);
            painter.restore();
            row.translate(0, kRowHeight);
        }
    };
    drawColumn(m_left, QRect(5, kTop, w, kRowHeight), Qt::AlignRight);
    drawColumn(m_right, QRect(w + 115, kTop, w, kRowHeight), Qt::AlignLeft);
}
