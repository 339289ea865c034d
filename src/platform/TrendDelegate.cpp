#include "platform/TrendDelegate.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

void TrendDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QList<double> values = index.data(TrendRole).value<QList<double>>();
    if (values.size() < 2) {
        return;
    }
    const int width = std::min(kWidth, option.rect.width() / 2);
    const QRectF area(option.rect.right() - width - 2, option.rect.top() + 3, width,
                      option.rect.height() - 6);
    if (area.width() < 4 || area.height() < 4) {
        return;
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double range = *high - *low;
    QPolygonF line;
    line.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double x = area.left() + area.width() * static_cast<double>(i) /
                                           static_cast<double>(values.size() - 1);
        // A flat history is a line through the middle.
        const double share = range > 0 ? (values.at(i) - *low) / range : 0.5;
        line << QPointF(x, area.bottom() - share * area.height());
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(
        QPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Link), 1.2));
    painter->drawPolyline(line);
    painter->restore();
}
