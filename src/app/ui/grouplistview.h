#pragma once

#include <QTreeView>

class GroupTable;

// ListView1: the group table in report view. Column 0 is edited in place (a
// click on the selected row, or F2); an edit that begins reports its row as
// clicked first, so the rename always writes the row being edited.
class GroupListView final : public QTreeView {
    Q_OBJECT
public:
    explicit GroupListView(QWidget *parent = nullptr);

    // Sets the model and the ten columns' widths (twips) from the table.
    void setGroupTable(GroupTable *table);

signals:
    // A row was clicked, or its in-place edit began (row counted from 0).
    void itemClicked(int row);
    void itemDoubleClicked(int row);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
};
