#include "catalogue/namefiltermodel.h"

#include "catalogue/namelistmodel.h"

#include <algorithm>

NameFilterModel::NameFilterModel(NameListModel &source, QObject *parent)
    : QAbstractListModel(parent), m_source(source)
{
    connect(&m_source, &QAbstractItemModel::modelReset, this, &NameFilterModel::rebuild);
    connect(&m_source, &QAbstractItemModel::layoutChanged, this, &NameFilterModel::rebuild);
    connect(&m_source, &QAbstractItemModel::rowsInserted, this, &NameFilterModel::rebuild);
    connect(&m_source, &QAbstractItemModel::rowsRemoved, this, &NameFilterModel::rebuild);
    rebuild();
}

bool NameFilterModel::matches(QStringView name, const QStringList &words)
{
    for (const QString &w : words) {
        if (!name.contains(w, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

void NameFilterModel::setFilter(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words == m_words)
        return;
    // Typing on narrows: when every old word lies inside a new one, only
    // the names shown now can still match.
    const bool narrowing =
        !m_words.isEmpty() && std::all_of(m_words.begin(), m_words.end(), [&](const QString &o) {
            return std::any_of(words.begin(), words.end(), [&](const QString &n) {
                return n.contains(o, Qt::CaseInsensitive);
            });
        });
    m_words = words;
    if (!narrowing) {
        rebuild();
        return;
    }
    beginResetModel();
    std::erase_if(m_rows, [this](int row) { return !matches(m_source.at(row), m_words); });
    endResetModel();
}

void NameFilterModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    const auto &names = m_source.names();
    for (size_t i = 0; i < names.size(); ++i) {
        if (m_words.isEmpty() || matches(names[i], m_words))
            m_rows.push_back(static_cast<int>(i));
    }
    endResetModel();
}

int NameFilterModel::sourceRow(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? m_rows[static_cast<size_t>(row)]
                                                                : -1;
}

int NameFilterModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant NameFilterModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || index.parent().isValid())
        return {};
    const int row = sourceRow(index.row());
    return row < 0 ? QVariant() : QVariant(m_source.at(row));
}
