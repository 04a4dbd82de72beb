#include "drawn_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

// The sizes every icon is painted in; QIcon picks the nearest.
constexpr int kIconSizes[] = {16, 24, 32, 48, 64};

// Paints one icon in a 100 x 100 design space at each of the sizes.
QIcon PaintedIcon(const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int size : kIconSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 100.0, size / 100.0);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon RedCrossIcon() {
    return PaintedIcon([](QPainter& p) {
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
    return PaintedIcon([](QPainter& p) {
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
    return PaintedIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0, 90, 0), 30, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(50, 18), QPointF(50, 82));
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
        p.setPen(QPen(QColor(40, 180, 40), 20, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(50, 18), QPointF(50, 82));
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
    });
}

QIcon EraserIcon() {
    return PaintedIcon([](QPainter& p) {
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
    return PaintedIcon([](QPainter& p) {
        p.setPen(QPen(QColor(150, 110, 0), 5, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
        p.setBrush(QColor(230, 180, 40));
        QPainterPath back;
        back.moveTo(8, 24);
        back.lineTo(38, 24);
        back.lineTo(46, 32);
        back.lineTo(92, 32);
        back.lineTo(92, 84);
        back.lineTo(8, 84);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 210, 80));
        p.drawRect(QRectF(8, 42, 84, 42));
    });
}
