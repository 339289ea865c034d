#pragma once

#include "platform/RowList.h"

#include <QStringList>
#include <QTreeWidget>

// The multi-column list control: each row is one text split at ";" into the columns, from the
// left. Surplus parts are dropped, missing ones leave their columns empty. The columns share
// the list's width in their given proportions until the user drags one; from then on every
// column keeps the width it has.
class ListControl : public QTreeWidget, public RowList {
    Q_OBJECT
public:
    explicit ListControl(QWidget* parent = nullptr);

    // Headers and their widths in the list's own units (scaled to the control's width).
    void setColumns(const QStringList& headers, const QList<int>& widths);
    bool userSizedColumns() const { return m_userSized; }
    QList<int> columnWidths() const;
    // Widths in pixels, kept from now on as if the user had dragged them.
    void setUserColumnWidths(const QList<int>& widths);

    void insertAt(const QString& rowText, int position) override;
    void removeAt(int position) override;
    void clear() override;
    void append(const QString& rowText) override;
    // The cells as given, never split again: a cell may hold ";".
    void appendCells(const QStringList& cells) override;
    int rowCount() const override;
    QString rowText(int position) const override;
    void resetView() override;
    // A marked row shows a warning sign in the cells that are the reason, a warm background and
    // its reason as tooltip on every cell, so that it stands out without relying on colour alone.
    void markRow(int position, const QString& reason, const QList<int>& columns) override;
    bool isMarked(int position) const;
    void showTrend(int position, int column, const QList<double>& values) override;
    QList<double> trend(int position, int column) const;

    // The captions and every row's cells as shown, for export.
    QStringList headers() const;
    QList<QStringList> cells() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QTreeWidgetItem* makeItem(const QString& rowText) const;
    QTreeWidgetItem* makeItemOfCells(const QStringList& cells) const;
    void applyWidths();

    QList<int> m_widths;
    int m_widthApplied = -1;
    bool m_applyingWidths = false;
    bool m_userSized = false;
};
