#include "platform/TrendDelegate.h"

#include "platform/LegibleColors.h"

#include <QApplication>
#include <QPainter>
#include <QPolygonF>
#include <QStyle>

#include <algorithm>

namespace {

// The style's inner margin on each side of a cell's text.
int textMargin(const QWidget* widget) {
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

} // namespace

QRect TrendDelegate::lineArea(const QRect& cell, int textWidth) {
    const int free = cell.width() - textWidth - 8; // a clear gap after the text
    const int width = std::min(kWidth, free);
    if (width < kMinimumWidth || cell.height() < 10) {
        return {};
    }
    return QRect(cell.right() - width - 1, cell.top() + 3, width, cell.height() - 6);
}

void TrendDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QList<double> values = index.data(TrendRole).value<QList<double>>();
    if (values.size() < 2) {
        return;
    }
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    int textWidth = cell.fontMetrics.horizontalAdvance(cell.text) + 2 * textMargin(cell.widget);
    if (!cell.icon.isNull()) {
        textWidth += cell.decorationSize.width() + textMargin(cell.widget);
    }
    const QRect area = lineArea(option.rect, textWidth);
    if (area.isEmpty()) {
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
    // As legible as text on whatever is behind it: the selection, a marked row's amber or the
    // list's own background.
    const bool selected = option.state & QStyle::State_Selected;
    QColor background = option.palette.color(QPalette::Base);
    if (selected) {
        background = option.palette.color(QPalette::Highlight);
    } else if (cell.backgroundBrush.style() != Qt::NoBrush) {
        background = cell.backgroundBrush.color();
    }
    const QColor wanted =
        option.palette.color(selected ? QPalette::HighlightedText : QPalette::Link);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(LegibleColors::legibleOn(background, wanted), 1.2));
    painter->drawPolyline(line);
    painter->restore();
}
