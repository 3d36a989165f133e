#include "catalogue/namelistmodel.h"

#include "decode/ascii.h"

#include <algorithm>
#include <climits>
#include <numeric>

int NameListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    // A view counts rows in int; a list beyond that shows its first rows.
    return static_cast<int>(std::min<size_t>(m_names.size(), size_t(INT_MAX)));
}

QVariant NameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= m_names.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_names[size_t(index.row())];
    return {};
}

bool NameListModel::lessThan(const QString &a, const QString &b)
{
    // Newsgroup names are ASCII: compared by the case of ASCII letters only
    // while both are ASCII.
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ca = pa[i].unicode();
        char16_t cb = pb[i].unicode();
        if (ca == cb)
            continue;
        if (ca >= 0x80 || cb >= 0x80) {
            const int c = QStringView(pa + i, a.size() - i)
                              .compare(QStringView(pb + i, b.size() - i), Qt::CaseInsensitive);
            if (c != 0)
                return c < 0;
            return a < b;
        }
        ca = Ascii::toLower(ca);
        cb = Ascii::toLower(cb);
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

void NameListModel::add(const QString &name)
{
    m_pending.push_back(name);
}

QString NameListModel::at(qsizetype row) const
{
    if (row < 0 || size_t(row) >= m_names.size())
        return {};
    return m_names[size_t(row)];
}

void NameListModel::clear()
{
    m_pending.clear();
    if (m_names.empty())
        return;
    beginResetModel();
    m_names.clear();
    endResetModel();
}

void NameListModel::setNames(QStringList names)
{
    beginResetModel();
    m_pending.clear();
    m_names.assign(std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()));
    std::stable_sort(m_names.begin(), m_names.end(), lessThan);
    endResetModel();
}

void NameListModel::flush()
{
    if (m_pending.empty())
        return;
    const size_t old = m_names.size();
    const size_t added = m_pending.size();

    // The queued names in sorted order, remembering where each was queued.
    std::vector<size_t> order(added);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return lessThan(m_pending[a], m_pending[b]); });
    std::vector<QString> sorted;
    sorted.reserve(added);
    for (size_t i : order)
        sorted.push_back(m_pending[i]);

    // First the rows appear at the end, in the order they were queued ...
    beginInsertRows(QModelIndex(), int(old), int(old + added - 1));
    m_names.insert(m_names.end(), std::make_move_iterator(m_pending.begin()),
                   std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    endInsertRows();

    const bool inPlace = old == 0 ? std::is_sorted(order.begin(), order.end())
                                  : std::is_sorted(order.begin(), order.end()) &&
                                        !lessThan(sorted.front(), m_names[old - 1]);
    if (inPlace)
        return;

    // ... then they move to their places. An existing name keeps its place
    // before an equal new one.
    emit layoutAboutToBeChanged();
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    std::vector<size_t> rankOf;
    for (const QModelIndex &i : from) {
        const size_t row = size_t(i.row());
        size_t moved;
        if (row < old) {
            const auto before =
                std::lower_bound(sorted.begin(), sorted.end(), m_names[row], lessThan);
            moved = row + size_t(before - sorted.begin());
        } else {
            if (rankOf.empty()) {
                rankOf.resize(added);
                for (size_t r = 0; r < added; ++r)
                    rankOf[order[r]] = r;
            }
            const size_t rank = rankOf[row - old];
            const auto upTo = std::upper_bound(m_names.begin(), m_names.begin() + qsizetype(old),
                                               sorted[rank], lessThan);
            moved = rank + size_t(upTo - m_names.begin());
        }
        to << index(int(moved), i.column());
    }
    std::move(sorted.begin(), sorted.end(), m_names.begin() + qsizetype(old));
    std::inplace_merge(m_names.begin(), m_names.begin() + qsizetype(old), m_names.end(), lessThan);
    changePersistentIndexList(from, to);
    emit layoutChanged();
}
