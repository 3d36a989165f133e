#include "app/ui/grouplistview.h"

#include "app/ui/twips.h"
#include "groups/grouptable.h"

#include <QHeaderView>

GroupListView::GroupListView(QWidget *parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);

    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &i) {
        if (i.isValid())
            emit itemClicked(i.row());
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &i) {
        if (i.isValid())
            emit itemDoubleClicked(i.row());
    });
}

void GroupListView::setGroupTable(GroupTable *table)
{
    setModel(table);
    for (int c = 0; c < GroupTable::ColumnCount; ++c)
        setColumnWidth(c, Twips::toPixels(GroupTable::headerWidthTwips(c)));
}

bool GroupListView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Only the name is edited in place, wherever in the row the edit began.
    const QModelIndex name = index.isValid() ? index.siblingAtColumn(0) : index;
    const bool wasEditing = state() == EditingState;
    const bool started = QTreeView::edit(name, trigger, event);
    if (started && !wasEditing && state() == EditingState && name.isValid())
        emit itemClicked(name.row());
    return started;
}
