#include "shell/AppIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace {
QPixmap drawScreen(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    AppIcons::paintMainWindow(painter, size);
    return pixmap;
}

QPixmap drawSheet(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(QRectF(2 * u, 1 * u, 11 * u, 14 * u));
    p.setPen(QPen(QColor(0, 0, 128), std::max(1.0, u)));
    for (int line = 0; line < 5; ++line) {
        const qreal y = (4 + 2.2 * line) * u;
        p.drawLine(QPointF(4 * u, y), QPointF((line % 2 ? 9 : 11) * u, y));
    }
    return pixmap;
}

QIcon iconFrom(QPixmap (*draw)(int)) {
    QIcon icon;
    icon.addPixmap(draw(32));
    icon.addPixmap(draw(16));
    return icon;
}
} // namespace

QIcon AppIcons::mainWindow() {
    return iconFrom(drawScreen);
}

QIcon AppIcons::programLog() {
    return iconFrom(drawSheet);
}

void AppIcons::paintMainWindow(QPainter& p, int size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    const qreal u = size / 16.0;
    // Frame and stand.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(QRectF(1 * u, 2 * u, 14 * u, 10 * u));
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(QRectF(6 * u, 12 * u, 4 * u, 2 * u));
    p.drawRect(QRectF(4 * u, 14 * u, 8 * u, 1 * u));
    // Screen.
    p.setBrush(QColor(0, 128, 128));
    p.drawRect(QRectF(2 * u, 3 * u, 12 * u, 8 * u));
    // The curve of the readings.
    QPainterPath curve(QPointF(3 * u, 9.5 * u));
    curve.lineTo(5.5 * u, 7 * u);
    curve.lineTo(8 * u, 8.5 * u);
    curve.lineTo(12.5 * u, 4 * u);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 0), std::max(1.0, 1.2 * u)));
    p.drawPath(curve);
    p.restore();
}
