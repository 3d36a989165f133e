#pragma once

#include <QList>
#include <QTreeView>

class GroupTable;

// ListView1: the group table in report view. Column 0 is edited in place (a
// click on the selected row, or F2); an edit that begins reports its row as
// clicked first, so the rename always writes the row being edited.
class GroupListView final : public QTreeView {
    Q_OBJECT
public:
    explicit GroupListView(QWidget *parent = nullptr);

    // Sets the model and the ten columns' widths: each at least its designed
    // width (twips) and wide enough for its header and, for the status
    // column, for the longest status text, in the font the list uses.
    void setGroupTable(GroupTable *table);

    // The widths a user dragged, as columnWidths() gave them; a list that
    // does not name every column is ignored.
    void restoreColumnWidths(const QList<int> &widths);
    QList<int> columnWidths() const;
    // The width a column needs for its texts in the list's font.
    int fittedWidth(int column) const;

signals:
    // A row was clicked, or its in-place edit began (row counted from 0).
    void itemClicked(int row);
    void itemDoubleClicked(int row);
    // The user dragged a column's edge.
    void columnWidthsChanged();

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    bool m_sizing = false;
};
