#include "platform/WindowPlacement.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr int kTitleBarHeight = 24;
// Enough of the title bar to grab it with the mouse.
constexpr int kGrabWidth = 48;
constexpr int kMaxExtent = 100000;
constexpr int kMaxColumnWidth = 10000;

std::optional<QList<int>> numbers(const QString& text) {
    QList<int> values;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (!ok) {
            return std::nullopt;
        }
        values << value;
    }
    return values;
}

} // namespace

namespace WindowPlacement {

std::optional<QRect> parseRect(const QString& text) {
    const std::optional<QList<int>> values = numbers(text);
    if (!values || values->size() != 4) {
        return std::nullopt;
    }
    const QList<int>& v = *values;
    const bool sane =
        std::all_of(v.begin(), v.end(), [](int n) { return n > -kMaxExtent && n < kMaxExtent; });
    if (!sane || v[2] <= 0 || v[3] <= 0) {
        return std::nullopt;
    }
    return QRect(v[0], v[1], v[2], v[3]);
}

QString rectText(const QRect& rect) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

bool reachable(const QRect& frame, const QList<QRect>& screens) {
    const QRect titleBar(frame.topLeft(),
                         QSize(frame.width(), std::min(frame.height(), kTitleBarHeight)));
    const int needed = std::min(kGrabWidth, frame.width());
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect common = titleBar.intersected(screen);
        return !common.isEmpty() && common.width() >= needed;
    });
}

std::optional<QList<int>> parseWidths(const QString& text, int columns) {
    const std::optional<QList<int>> values = numbers(text);
    if (!values || values->size() != columns) {
        return std::nullopt;
    }
    const bool sane = std::all_of(values->begin(), values->end(),
                                  [](int w) { return w >= 1 && w <= kMaxColumnWidth; });
    return sane ? values : std::nullopt;
}

QString widthsText(const QList<int>& widths) {
    QStringList parts;
    for (int width : widths) {
        parts << QString::number(width);
    }
    return parts.join(QLatin1Char(','));
}

} // namespace WindowPlacement
