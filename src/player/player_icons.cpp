// SPDX-License-Identifier: GPL-3.0-or-later
#include "player_icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kelvaro {

namespace {

// A speaker facing right in the left half of a 16 x 16 box.
QPainterPath speaker()
{
    QPainterPath p;
    p.moveTo(2, 6);
    p.lineTo(5, 6);
    p.lineTo(9, 2.5);
    p.lineTo(9, 13.5);
    p.lineTo(5, 10);
    p.lineTo(2, 10);
    p.closeSubpath();
    return p;
}

}  // namespace

QIcon playerIcon(PlayerIcon which, const QColor &colour)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(16, 16) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    switch (which) {
    case PlayerIcon::Play: {
        const QPointF triangle[] = {{4, 2.5}, {13.5, 8}, {4, 13.5}};
        p.drawPolygon(triangle, 3);
        break;
    }
    case PlayerIcon::Pause:
        p.drawRect(QRectF(3.5, 3, 3.5, 10));
        p.drawRect(QRectF(9, 3, 3.5, 10));
        break;
    case PlayerIcon::Back:
    case PlayerIcon::Forward: {
        // Two small triangles, pointing the way of the jump.
        const bool back = which == PlayerIcon::Back;
        for (const qreal x : {2.0, 8.0}) {
            const QPointF tip(back ? x : x + 6, 8);
            const qreal base = back ? x + 6 : x;
            const QPointF triangle[] = {tip, {base, 3.5}, {base, 12.5}};
            p.drawPolygon(triangle, 3);
        }
        break;
    }
    case PlayerIcon::Stop:
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
        break;
    case PlayerIcon::Record:
        // A ring: nothing is being recorded.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1.5));
        p.drawEllipse(QRectF(4, 4, 8, 8));
        break;
    case PlayerIcon::Recording:
        // A red dot, the sign on every recorder.
        p.setBrush(QColor(0xd0, 0x20, 0x20));
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        break;
    case PlayerIcon::Volume:
    case PlayerIcon::Muted:
        p.drawPath(speaker());
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
        if (which == PlayerIcon::Volume) {
            p.drawArc(QRectF(6, 5, 6, 6), -50 * 16, 100 * 16);
            p.drawArc(QRectF(5, 2.5, 10, 11), -50 * 16, 100 * 16);
        } else {
            p.drawLine(QPointF(10.5, 5.5), QPointF(14.5, 10.5));
            p.drawLine(QPointF(14.5, 5.5), QPointF(10.5, 10.5));
        }
        break;
    }
    return QIcon(pixmap);
}

}  // namespace kelvaro
