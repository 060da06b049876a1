#include "app/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

/// Paints in the logical 16 x 15 grid; rectangles are given as cells so bars stay on pixel edges.
void DrawOpen(QPainter& p) {
    const QColor crEdge(0x80, 0x60, 0x00);
    const QColor crBack(0xE8, 0xC0, 0x30);
    const QColor crFront(0xFF, 0xE0, 0x60);
    // Back of the folder with its tab.
    p.fillRect(QRectF(1, 3, 5, 2), crBack);
    p.fillRect(QRectF(1, 4, 12, 9), crBack);
    p.setPen(QPen(crEdge, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 4, 11, 8));
    // Front flap tilted open.
    QPolygonF flap;
    flap << QPointF(3, 7) << QPointF(15, 7) << QPointF(12.5, 13) << QPointF(0.5, 13);
    p.setBrush(crFront);
    p.drawPolygon(flap);
    // Arrow showing "open".
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(QPointF(9.5, 1.5), QPointF(13.5, 1.5));
    p.drawLine(QPointF(13.5, 1.5), QPointF(13.5, 4.5));
}

void DrawPrint(QPainter& p) {
    const QColor crBody(0xC0, 0xC0, 0xC0);
    p.setPen(QPen(Qt::black, 0));
    // Paper coming out at the top.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 1, 8, 5));
    // Printer body.
    p.setBrush(crBody);
    p.drawRect(QRectF(1, 6, 14, 6));
    // Paper tray at the bottom.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 12, 10, 2));
    // Status lamp.
    p.fillRect(QRectF(12, 8, 2, 1), QColor(0x00, 0xA0, 0x00));
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 0));
    p.drawLine(QPointF(5, 3), QPointF(11, 3));
}

void DrawHold(QPainter& p) {
    p.fillRect(QRectF(4, 3, 3, 10), Qt::black);
    p.fillRect(QRectF(9, 3, 3, 10), Qt::black);
}

void DrawCursor(QPainter& p) {
    const QColor crRed(0xFF, 0x00, 0x00);
    p.fillRect(QRectF(4, 1, 1, 13), crRed);
    p.fillRect(QRectF(11, 1, 1, 13), crRed);
    p.fillRect(QRectF(1, 7, 14, 1), crRed);
}

} // namespace

QImage DrawToolImage(EToolIcon nIcon, qreal dDpr) {
    QImage img(qRound(16 * dDpr), qRound(15 * dDpr), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setDevicePixelRatio(dDpr);
    QPainter p(&img);
    // Antialiasing only where there are slanted edges; bars and lines stay on whole pixels.
    p.setRenderHint(QPainter::Antialiasing, nIcon == ICON_Open);
    switch (nIcon) {
    case ICON_Open:
        DrawOpen(p);
        break;
    case ICON_Print:
        DrawPrint(p);
        break;
    case ICON_Hold:
        DrawHold(p);
        break;
    case ICON_Cursor:
        DrawCursor(p);
        break;
    }
    return img;
}

QIcon MakeToolIcon(EToolIcon nIcon) {
    QIcon icon;
    for (qreal dDpr : {1.0, 1.25, 1.5, 2.0, 3.0})
        icon.addPixmap(QPixmap::fromImage(DrawToolImage(nIcon, dDpr)));
    return icon;
}

QIcon MakeAppIcon() {
    QIcon icon;
    for (int nSize : {16, 32, 48}) {
        QImage img(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = nSize / 16.0;
        p.scale(s, s);
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.0 / s));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 0.5, 15, 15));
        p.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 0));
        for (int i = 4; i < 16; i += 4) {
            p.drawLine(QPointF(i, 1), QPointF(i, 15));
            p.drawLine(QPointF(1, i), QPointF(15, i));
        }
        QPainterPath wave;
        wave.moveTo(1, 9);
        wave.cubicTo(4, 2, 7, 2, 8, 8);
        wave.cubicTo(9, 14, 12, 14, 15, 6);
        p.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
        p.setPen(QPen(QColor(0x00, 0x00, 0xFF), 1.5));
        p.drawLine(QPointF(1, 12), QPointF(15, 11));
        p.end();
        icon.addPixmap(QPixmap::fromImage(img));
    }
    return icon;
}
