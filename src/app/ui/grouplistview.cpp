#include "app/ui/grouplistview.h"

#include "core/ui/twips.h"
#include "engine/downloadengine.h"
#include "settings/grouptable.h"

#include <QHeaderView>
#include <QScopedValueRollback>

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
    connect(header(), &QHeaderView::sectionResized, this, [this] {
        if (!m_sizing)
            emit columnWidthsChanged();
    });
}

void GroupListView::setGroupTable(GroupTable *table)
{
    setModel(table);
    const QScopedValueRollback sizing(m_sizing, true);
    for (int c = 0; c < GroupTable::ColumnCount; ++c)
        setColumnWidth(c, fittedWidth(c));
}

int GroupListView::fittedWidth(int column) const
{
    int w = std::max(Twips::toPixels(GroupTable::headerWidthTwips(column)),
                     header()->sectionSizeHint(column));
    if (column == GroupTable::State) {
        // A cell's text has the focus frame's margin on each side, and a
        // little room so that it does not touch the next column.
        const int margin =
            2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 6;
        for (const QString &t :
             {DownloadEngine::processingText(), DownloadEngine::completeText(),
              DownloadEngine::invalidGroupText(), DownloadEngine::interruptedText()})
            w = std::max(w, fontMetrics().horizontalAdvance(t) + margin);
    }
    return w;
}

void GroupListView::restoreColumnWidths(const QList<int> &widths)
{
    if (widths.size() != GroupTable::ColumnCount)
        return;
    const QScopedValueRollback sizing(m_sizing, true);
    for (int c = 0; c < GroupTable::ColumnCount; ++c) {
        if (widths[c] > 0)
            setColumnWidth(c, widths[c]);
    }
}

QList<int> GroupListView::columnWidths() const
{
    QList<int> out;
    for (int c = 0; c < GroupTable::ColumnCount; ++c)
        out << columnWidth(c);
    return out;
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
