#include "options/ui/dirlistbox.h"

#include "options/dirlist.h"

#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int DepthRole = Qt::UserRole + 1;
constexpr int PathRole = Qt::UserRole + 2;

// Indents each row by its depth, as a tree of open folders.
class IndentDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem o(option);
        o.rect.setLeft(o.rect.left() + indent(option, index));
        QStyledItemDelegate::paint(painter, o, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.rwidth() += indent(option, index);
        return s;
    }

private:
    static int indent(const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        return index.data(DepthRole).toInt() * option.fontMetrics.height() * 3 / 4;
    }
};

} // namespace

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::openRow);
}

bool DirListBox::setPath(const QString &dir)
{
    const QList<DirList::Entry> entries = DirList::entries(dir);
    if (entries.isEmpty() || !QDir(entries.at(DirList::currentIndex(entries)).path).isReadable())
        return false;
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    clear();
    for (const DirList::Entry &e : entries) {
        auto *item = new QListWidgetItem(e.open ? openIcon : closedIcon, e.name, this);
        item->setData(DepthRole, e.depth);
        item->setData(PathRole, e.path);
        item->setToolTip(QDir::toNativeSeparators(e.path));
    }
    const qsizetype current = DirList::currentIndex(entries);
    setCurrentRow(static_cast<int>(current));
    scrollToItem(item(static_cast<int>(current)), QAbstractItemView::PositionAtCenter);
    const QString opened = entries.at(current).path;
    if (opened != m_path) {
        m_path = opened;
        emit pathChanged(m_path);
    }
    return true;
}

void DirListBox::openRow(QListWidgetItem *item)
{
    if (item)
        setPath(item->data(PathRole).toString());
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
