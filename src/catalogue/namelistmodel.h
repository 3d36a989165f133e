#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>

#include <vector>

// A list of names kept in ascending order whatever the order of adding, as a
// sorted list box keeps them. Names are queued by add() and put in place by
// flush() in one step, so that a listing of a hundred thousand names costs a
// sort per batch, not a search and an insertion per name. Rows are inserted
// at the end and then moved into place, so a view keeps its current row,
// selection and scroll position while the list grows.
class NameListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The list box order: letters compared without regard to case, ties
    // broken by the exact text so that the order is total.
    static bool lessThan(const QString &a, const QString &b);

    // Queues a name; it is shown, in its place, at the next flush().
    void add(const QString &name);
    void flush();
    // Empties the list (queued names too).
    void clear();
    // Replaces the whole list; sorts once.
    void setNames(QStringList names);

    // The sorted names shown now (flush() first to include queued ones).
    const std::vector<QString> &names() const { return m_names; }
    qsizetype count() const { return static_cast<qsizetype>(m_names.size()); }
    qsizetype pendingCount() const { return static_cast<qsizetype>(m_pending.size()); }
    // The name at a row; empty outside the list.
    QString at(qsizetype row) const;

private:
    std::vector<QString> m_names;
    std::vector<QString> m_pending;
};
