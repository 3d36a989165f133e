#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>

#include <vector>

class NameListModel;

// The names of a NameListModel that contain every word of a filter text
// (letters compared without regard to case), in the list's order. The rows
// are worked out again whenever the list or the filter changes: one pass
// over the names, so a hundred thousand of them stay responsive.
class NameFilterModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit NameFilterModel(NameListModel &source, QObject *parent = nullptr);

    void setFilter(const QString &text);
    QString filter() const { return m_words.join(QLatin1Char(' ')); }
    bool active() const { return !m_words.isEmpty(); }
    static bool matches(QStringView name, const QStringList &words);

    // The list's row shown at a row of this model; -1 outside it.
    int sourceRow(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void rebuild();

    NameListModel &m_source;
    QStringList m_words;
    std::vector<int> m_rows;
};
