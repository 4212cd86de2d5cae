// SPDX-License-Identifier: GPL-2.0-or-later
#include "program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace tarnwick {
namespace {

QPixmap drawCamera(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 32.0, side / 32.0);
    painter.setPen(QPen(QColor(0x20, 0x20, 0x28), 1.2));
    painter.setBrush(QColor(0x3a, 0x5f, 0x8f));
    painter.drawRoundedRect(QRectF(10, 6, 10, 5), 1.5, 1.5);
    painter.drawRoundedRect(QRectF(2, 9, 28, 19), 3, 3);
    painter.setBrush(QColor(0xe8, 0xec, 0xf2));
    painter.drawEllipse(QPointF(16, 18.5), 7, 7);
    painter.setBrush(QColor(0x20, 0x30, 0x48));
    painter.drawEllipse(QPointF(16, 18.5), 4, 4);
    painter.setBrush(QColor(0xf0, 0xc0, 0x40));
    painter.drawRect(QRectF(24, 12, 3, 2));
    return pixmap;
}

}  // namespace

QIcon programIcon() {
    QIcon icon;
    for (const int side : {16, 32, 48, 64}) {
        icon.addPixmap(drawCamera(side));
    }
    return icon;
}

}  // namespace tarnwick
