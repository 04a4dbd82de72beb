#include "artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

// Pictures are drawn on a square design space and scaled to the wanted size:
// 32 units for the main window's, 100 for the dialogs' buttons.
constexpr qreal kDesignSize = 32.0;
constexpr qreal kDialogDesignSize = 100.0;
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128};

template <typename Paint>
QPixmap Draw(int size, qreal designSize, Paint paint) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / designSize, size / designSize);
    paint(p);
    return pixmap;
}

template <typename Paint>
QIcon DrawIcon(qreal designSize, Paint paint) {
    QIcon icon;
    for (int size : kIconSizes) {
        icon.addPixmap(Draw(size, designSize, paint));
    }
    return icon;
}

void PaintFolder(QPainter& p, const QColor& body, const QColor& edge) {
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(15, 11);
    back.lineTo(29, 11);
    back.lineTo(29, 27);
    back.lineTo(3, 27);
    back.closeSubpath();
    p.setPen(QPen(edge, 1.2));
    p.setBrush(body.darker(115));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(3, 27);
    front.lineTo(7, 15);
    front.lineTo(31, 15);
    front.lineTo(28, 27);
    front.closeSubpath();
    p.setBrush(body);
    p.drawPath(front);
}

void PaintNote(QPainter& p, QPointF head, qreal stem, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.save();
    p.translate(head);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), 3.4, 2.5);
    p.restore();
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(head.x() + 3.0, head.y() - 0.5), QPointF(head.x() + 3.0, head.y() - stem));
}

}  // namespace

QPixmap UnmarkedImage(int size) {
    return Draw(size, kDesignSize, [](QPainter& p) {
        QRadialGradient shade(QPointF(14, 14), 7);
        shade.setColorAt(0, QColor(215, 215, 215));
        shade.setColorAt(1, QColor(140, 140, 140));
        p.setPen(QPen(QColor(120, 120, 120), 1.0));
        p.setBrush(shade);
        p.drawEllipse(QPointF(16, 16), 6, 6);
    });
}

QPixmap MarkedImage(int size) {
    return Draw(size, kDesignSize, [](QPainter& p) {
        QPainterPath tick;
        tick.moveTo(4, 17);
        tick.lineTo(12, 26);
        tick.lineTo(28, 6);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(20, 110, 20), 7.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
        p.setPen(QPen(QColor(60, 200, 60), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    });
}

QPixmap ReferenceImage(int size) {
    return Draw(size, kDesignSize, [](QPainter& p) {
        const QColor edge(30, 60, 140);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(edge, 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(10, 5, 12, 14), 0, 180 * 16);
        p.drawLine(QPointF(10, 12), QPointF(10, 15));
        p.drawLine(QPointF(22, 12), QPointF(22, 15));
        p.setPen(QPen(edge, 1.2));
        p.setBrush(QColor(90, 140, 230));
        p.drawRoundedRect(QRectF(6, 14, 20, 14), 2.5, 2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(edge);
        p.drawEllipse(QPointF(16, 20), 2.2, 2.2);
        p.drawRect(QRectF(15.2, 20, 1.6, 5));
    });
}

QIcon OpenFoldersIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        PaintFolder(p, QColor(250, 205, 80), QColor(150, 110, 20));
        PaintNote(p, QPointF(17, 23), 8, QColor(60, 60, 140));
    });
}

QIcon SavePlaylistIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        // A sheet with list lines and a note: the playlist.
        p.setPen(QPen(QColor(90, 90, 110), 1.2));
        p.setBrush(QColor(250, 250, 252));
        p.drawRoundedRect(QRectF(5, 2, 20, 27), 2, 2);
        p.setPen(QPen(QColor(120, 140, 200), 2.0));
        for (int y = 8; y <= 20; y += 4) {
            p.drawLine(QPointF(9, y), QPointF(21, y));
        }
        // A downward arrow into a tray: saving.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 140, 60));
        QPainterPath arrow;
        arrow.moveTo(22, 14);
        arrow.lineTo(27, 14);
        arrow.lineTo(27, 21);
        arrow.lineTo(31, 21);
        arrow.lineTo(24.5, 29);
        arrow.lineTo(18, 21);
        arrow.lineTo(22, 21);
        arrow.closeSubpath();
        p.drawPath(arrow);
    });
}

QIcon OptionsIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        // Three sliders.
        const QColor track(100, 100, 120);
        const QColor knob(70, 120, 210);
        const qreal ys[] = {8, 16, 24};
        const qreal xs[] = {20, 10, 16};
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(track, 2.0, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, ys[i]), QPointF(28, ys[i]));
            p.setPen(QPen(knob.darker(140), 1.0));
            p.setBrush(knob);
            p.drawRoundedRect(QRectF(xs[i] - 3, ys[i] - 4, 6, 8), 1.5, 1.5);
        }
    });
}

QIcon AboutIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        p.setPen(QPen(QColor(30, 70, 150), 1.2));
        p.setBrush(QColor(70, 130, 220));
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
        p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1.2, 1.2);
    });
}

QIcon ApplicationIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        QRadialGradient disc(QPointF(12, 10), 22);
        disc.setColorAt(0, QColor(255, 170, 80));
        disc.setColorAt(1, QColor(205, 85, 20));
        p.setPen(QPen(QColor(150, 60, 10), 1.0));
        p.setBrush(disc);
        p.drawEllipse(QPointF(16, 16), 15, 15);
        PaintNote(p, QPointF(11, 23), 13, QColor(255, 255, 255, 230));
        PaintNote(p, QPointF(19, 21), 13, QColor(40, 30, 30, 230));
    });
}

QIcon RedCrossIcon() {
    return DrawIcon(kDialogDesignSize, [](QPainter& p) {
        QPen outline(QColor(120, 0, 0), 26, Qt::SolidLine, Qt::RoundCap);
        p.setPen(outline);
        p.drawLine(QPointF(22, 22), QPointF(78, 78));
        p.drawLine(QPointF(78, 22), QPointF(22, 78));
        QPen fill(QColor(220, 30, 30), 18, Qt::SolidLine, Qt::RoundCap);
        p.setPen(fill);
        p.drawLine(QPointF(22, 22), QPointF(78, 78));
        p.drawLine(QPointF(78, 22), QPointF(22, 78));
    });
}

QIcon LoudspeakerIcon() {
    return DrawIcon(kDialogDesignSize, [](QPainter& p) {
        QPainterPath body;
        body.moveTo(12, 38);
        body.lineTo(30, 38);
        body.lineTo(54, 16);
        body.lineTo(54, 84);
        body.lineTo(30, 62);
        body.lineTo(12, 62);
        body.closeSubpath();
        p.setPen(QPen(QColor(30, 30, 30), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(90, 90, 100));
        p.drawPath(body);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(40, 90, 200), 7, Qt::SolidLine, Qt::RoundCap));
        // Sound waves: arcs centred on the cone's mouth, angles in 1/16 degree.
        p.drawArc(QRectF(48, 36, 20, 28), -50 * 16, 100 * 16);
        p.drawArc(QRectF(44, 24, 38, 52), -50 * 16, 100 * 16);
        p.drawArc(QRectF(40, 12, 54, 76), -50 * 16, 100 * 16);
    });
}

QIcon GreenPlusIcon() {
    return DrawIcon(kDialogDesignSize, [](QPainter& p) {
        p.setPen(QPen(QColor(0, 90, 0), 30, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(50, 18), QPointF(50, 82));
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
        p.setPen(QPen(QColor(40, 180, 40), 20, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(50, 18), QPointF(50, 82));
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
    });
}

QIcon EraserIcon() {
    return DrawIcon(kDialogDesignSize, [](QPainter& p) {
        p.translate(50, 50);
        p.rotate(-35);
        p.setPen(QPen(QColor(60, 60, 60), 5, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
        p.setBrush(QColor(235, 110, 140));
        p.drawRoundedRect(QRectF(-40, -20, 45, 40), 6, 6);
        p.setBrush(QColor(80, 120, 220));
        p.drawRoundedRect(QRectF(5, -20, 37, 40), 6, 6);
    });
}

QIcon FolderIcon() {
    return DrawIcon(kDesignSize, [](QPainter& p) {
        PaintFolder(p, QColor(250, 205, 80), QColor(150, 110, 20));
    });
}

}  // namespace artwork
