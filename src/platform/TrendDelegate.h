#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws a cell as usual and, when the cell carries a trend (a QList<double> under TrendRole),
// a small line of those values in the free part of the cell right of its text, scaled to their
// own range. The text keeps its room: where the cell is too narrow for both, no line is drawn.
class TrendDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int TrendRole = Qt::UserRole + 1;
    static constexpr int kWidth = 40;
    static constexpr int kMinimumWidth = 12;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Where the line goes in a cell of the given rectangle whose text (with its icon) needs
    // textWidth pixels from the left; empty when the text leaves no room for it.
    static QRect lineArea(const QRect& cell, int textWidth);
};
