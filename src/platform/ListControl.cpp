#include "platform/ListControl.h"

#include "platform/LegibleColors.h"

#include <QApplication>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QStyle>

#include "platform/TrendDelegate.h"

#include <numeric>
#include <stdexcept>

ListControl::ListControl(QWidget* parent)
    : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new TrendDelegate(this));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_applyingWidths) {
            m_userSized = true;
        }
    });
}

void ListControl::setColumns(const QStringList& headers, const QList<int>& widths) {
    {
        const QScopedValueRollback<bool> applying(m_applyingWidths, true);
        setColumnCount(static_cast<int>(headers.size()));
        setHeaderLabels(headers);
    }
    m_widths = widths;
    applyWidths();
}

void ListControl::insertAt(const QString& rowText, int position) {
    if (position < 0 || position > topLevelItemCount()) {
        throw std::out_of_range("list position");
    }
    insertTopLevelItem(position, makeItem(rowText));
}

void ListControl::removeAt(int position) {
    if (position < 0 || position >= topLevelItemCount()) {
        throw std::out_of_range("list position");
    }
    delete takeTopLevelItem(position);
}

void ListControl::clear() {
    QTreeWidget::clear();
}

void ListControl::append(const QString& rowText) {
    addTopLevelItem(makeItem(rowText));
}

void ListControl::appendCells(const QStringList& cells) {
    addTopLevelItem(makeItemOfCells(cells));
}

int ListControl::rowCount() const {
    return topLevelItemCount();
}

QString ListControl::rowText(int position) const {
    const QTreeWidgetItem* item = topLevelItem(position);
    if (!item) {
        throw std::out_of_range("list position");
    }
    return item->data(0, Qt::UserRole).toString();
}

void ListControl::resetView() {
    clearSelection();
    setCurrentItem(nullptr);
    scrollToTop();
}

void ListControl::markRow(int position, const QString& reason, const QList<int>& columns) {
    QTreeWidgetItem* item = topLevelItem(position);
    if (!item) {
        throw std::out_of_range("list position");
    }
    const bool marked = !reason.isEmpty();
    // Light enough that the black text stays easy to read, in a light or a dark palette.
    const QColor attention = LegibleColors::attentionBackground();
    const QIcon sign = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int c = 0; c < columnCount(); ++c) {
        item->setIcon(c, marked && columns.contains(c) ? sign : QIcon());
        item->setBackground(c, marked ? QBrush(attention) : QBrush());
        item->setForeground(c, marked ? QBrush(LegibleColors::attentionText()) : QBrush());
        item->setToolTip(c, reason);
    }
}

void ListControl::showTrend(int position, int column, const QList<double>& values) {
    QTreeWidgetItem* item = topLevelItem(position);
    if (!item) {
        throw std::out_of_range("list position");
    }
    item->setData(column, TrendDelegate::TrendRole, QVariant::fromValue(values));
}

QList<double> ListControl::trend(int position, int column) const {
    const QTreeWidgetItem* item = topLevelItem(position);
    return item ? item->data(column, TrendDelegate::TrendRole).value<QList<double>>()
                : QList<double>();
}

bool ListControl::isMarked(int position) const {
    const QTreeWidgetItem* item = topLevelItem(position);
    return item && !item->toolTip(0).isEmpty();
}

QList<int> ListControl::columnWidths() const {
    QList<int> widths;
    for (int c = 0; c < columnCount(); ++c) {
        widths << header()->sectionSize(c);
    }
    return widths;
}

void ListControl::setUserColumnWidths(const QList<int>& widths) {
    m_userSized = true;
    const QScopedValueRollback<bool> applying(m_applyingWidths, true);
    for (int c = 0; c < widths.size() && c < columnCount(); ++c) {
        header()->resizeSection(c, widths.at(c));
    }
}

QStringList ListControl::headers() const {
    QStringList captions;
    for (int c = 0; c < columnCount(); ++c) {
        captions << headerItem()->text(c);
    }
    return captions;
}

QList<QStringList> ListControl::cells() const {
    QList<QStringList> rows;
    rows.reserve(topLevelItemCount());
    for (int r = 0; r < topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = topLevelItem(r);
        QStringList row;
        for (int c = 0; c < columnCount(); ++c) {
            row << item->text(c);
        }
        rows << row;
    }
    return rows;
}

void ListControl::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    // Only a change of the width counts: a scroll bar coming or going changes the height.
    if (viewport()->width() != m_widthApplied) {
        applyWidths();
    }
}

QTreeWidgetItem* ListControl::makeItem(const QString& rowText) const {
    QTreeWidgetItem* item = makeItemOfCells(rowText.split(QLatin1Char(';')));
    // The whole row text, as given, so it can be read back exactly.
    item->setData(0, Qt::UserRole, rowText);
    return item;
}

QTreeWidgetItem* ListControl::makeItemOfCells(const QStringList& cells) const {
    auto* item = new QTreeWidgetItem;
    const int columns = columnCount();
    for (int c = 0; c < columns && c < cells.size(); ++c) {
        item->setText(c, cells.at(c));
    }
    item->setData(0, Qt::UserRole, cells.join(QLatin1Char(';')));
    return item;
}

void ListControl::applyWidths() {
    const int total = std::accumulate(m_widths.begin(), m_widths.end(), 0);
    const int available = viewport()->width();
    // The widths the user dragged stay for as long as the list lives.
    if (total <= 0 || available <= 0 || m_userSized) {
        return;
    }
    m_widthApplied = available;
    const QScopedValueRollback<bool> applying(m_applyingWidths, true);
    for (int c = 0; c < m_widths.size() && c < columnCount(); ++c) {
        header()->resizeSection(c, m_widths.at(c) * available / total);
    }
}
