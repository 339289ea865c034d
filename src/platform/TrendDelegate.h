#pragma once

#include <QStyledItemDelegate>

// Draws a cell as usual and, when the cell carries a trend (a QList<double> under TrendRole),
// a small line of those values in the cell's right part, scaled to their own range.
class TrendDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int TrendRole = Qt::UserRole + 1;
    static constexpr int kWidth = 40;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
