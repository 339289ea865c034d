#include "shell/AboutPictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
const QColor kDeepBlue(16, 52, 110);
const QColor kBrightBlue(46, 120, 214);
const QColor kPulseGreen(90, 220, 120);

QPainterPath pulsePath(const QRectF& area) {
    // A flat line with one heartbeat spike, scaled into the area.
    static const QPointF shape[] = {{0.00, 0.60}, {0.30, 0.60}, {0.40, 0.20}, {0.50, 0.95},
                                    {0.60, 0.45}, {0.68, 0.60}, {1.00, 0.60}};
    QPainterPath path;
    for (const QPointF& point : shape) {
        const QPointF mapped(area.left() + point.x() * area.width(),
                             area.top() + point.y() * area.height());
        if (path.elementCount() == 0) {
            path.moveTo(mapped);
        } else {
            path.lineTo(mapped);
        }
    }
    return path;
}
} // namespace

QPixmap AboutPictures::icon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Monitor case and foot.
    painter.setPen(QPen(kDeepBlue, 1.5));
    painter.setBrush(QColor(210, 214, 222));
    painter.drawRoundedRect(QRectF(1.5, 2.5, 29, 22), 3, 3);
    painter.drawRect(QRectF(12.5, 24.5, 7, 3));
    painter.drawRoundedRect(QRectF(7.5, 27.5, 17, 3), 1.5, 1.5);
    // Screen with the pulse line.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kDeepBlue);
    painter.drawRect(QRectF(4, 5, 24, 17));
    painter.setPen(QPen(kPulseGreen, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(pulsePath(QRectF(5, 6, 22, 15)));
    return pixmap;
}

QPixmap AboutPictures::banner() {
    const QRectF area(0, 0, 434, 106);
    QPixmap pixmap(area.size().toSize());
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient background(area.topLeft(), area.topRight());
    background.setColorAt(0.0, kDeepBlue);
    background.setColorAt(1.0, kBrightBlue);
    painter.fillRect(area, background);
    painter.setPen(QPen(QColor(255, 255, 255, 70), 3));
    painter.drawPath(pulsePath(QRectF(250, 10, 176, 86)));

    QFont wordMark(QStringLiteral("Sans Serif"));
    wordMark.setPixelSize(52);
    wordMark.setBold(true);
    wordMark.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    painter.setFont(wordMark);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(20, 4, 400, 70), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("LORVEX"));
    QFont subtitle(QStringLiteral("Sans Serif"));
    subtitle.setPixelSize(20);
    painter.setFont(subtitle);
    painter.setPen(kPulseGreen);
    painter.drawText(QRectF(24, 70, 400, 30), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Filial-Telemetrie"));
    return pixmap;
}

QPixmap AboutPictures::sidePicture() {
    const QRectF area(0, 0, 162, 245);
    QPixmap pixmap(area.size().toSize());
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(area.topLeft(), area.bottomLeft());
    background.setColorAt(0.0, kBrightBlue);
    background.setColorAt(1.0, kDeepBlue);
    painter.fillRect(area, background);

    // Rising bars, like counter readings of the branches.
    static const double heights[] = {0.25, 0.40, 0.33, 0.55, 0.70};
    const double barWidth = 20;
    const double baseline = 215;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const double height = heights[i] * 160;
        painter.setBrush(QColor(255, 255, 255, 60 + i * 30));
        painter.drawRoundedRect(
            QRectF(16 + i * (barWidth + 8), baseline - height, barWidth, height), 3, 3);
    }
    painter.setPen(QPen(kPulseGreen, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(pulsePath(QRectF(8, 20, 146, 60)));
    painter.setPen(QPen(QColor(255, 255, 255, 150), 2));
    painter.drawLine(QPointF(10, baseline + 1), QPointF(152, baseline + 1));
    return pixmap;
}
