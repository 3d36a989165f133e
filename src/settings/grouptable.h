#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <vector>

class SettingsStore;

// The subscribed newsgroups: the rows the main window's list shows, the run
// walks and the store keeps (store position n holds row n, counted from 1).
// Rows here are counted from 0; the store's numbers are row + 1.
class GroupTable final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Name = 0,     // ﾆｭｰｽｸﾞﾙｰﾌﾟ, GROUP/GROUPNAMEn
        Last = 1,     // 取込番号, GROUPn/LAST
        Lowest = 2,   // 最小番号, not stored
        Highest = 3,  // 最大番号, not stored
        State = 4,    // 状態, not stored
        Download = 5, // ﾀﾞｳﾝﾛｰﾄﾞ, GROUPn/DOWNLOAD
        Subject = 6,  // 題名付加, GROUPn/SUBJECT
        DateDir = 7,  // 日付ﾃﾞｨﾚｸﾄﾘ, GROUPn/DATEDIR
        UserDir = 8,  // 投稿者ﾃﾞｨﾚｸﾄﾘ, GROUPn/USERDIR
        Rewrite = 9,  // 上書, GROUPn/REWRITE
        ColumnCount = 10
    };
    using Row = std::array<QString, ColumnCount>;

    // Loading reads positions 1 to this and no more.
    static constexpr int LoadLimit = 100;

    struct Defaults {
        QString dateDir;
        QString userDir;
        QString rewrite;
    };

    explicit GroupTable(QObject *parent = nullptr);

    static QString header(int column);
    static int headerWidthTwips(int column);
    static bool rightAligned(int column);
    static QString sectionOf(int row) { return QStringLiteral("GROUP") + QString::number(row + 1); }
    // The number of the article a run last saved whole; it counts only while
    // it equals LAST, and is cleared when the user sets LAST.
    static QString completedKey() { return QStringLiteral("COMPLETED"); }
    static QString nameKeyOf(int row)
    {
        return QStringLiteral("GROUPNAME") + QString::number(row + 1);
    }

    // A name the program may store and send in a GROUP command: not empty,
    // no blank (of any width) and no control character anywhere, so that it
    // can never end the command line or add one (CR, LF, NUL, TAB...).
    static bool validName(QStringView name);
    // A next-article number as typed: empty (from the first article), or
    // only the digits of a whole number from 0 to 2^63-1.
    static bool validLast(QStringView last);

    int count() const { return static_cast<int>(m_rows.size()); }
    const QString &text(int row, int column) const
    {
        return m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
    }
    void setText(int row, int column, const QString &value);
    const Row &row(int r) const { return m_rows[static_cast<size_t>(r)]; }
    void insertRow(int r, const Row &values);
    // Every row gets an identity when it is inserted or loaded that no other
    // row of this table ever has: a run finds its group's row (and store
    // position) by it, whatever moved meanwhile. -1 when the row is gone.
    quint64 rowId(int r) const { return m_ids[static_cast<size_t>(r)]; }
    int rowOfId(quint64 id) const;
    void removeRow(int r);
    void clearRows();

    // The per-group flags are stored as "YES" or "NO" and read by these rules
    // only. DOWNLOAD takes part unless it is exactly "NO"; SUBJECT, DATEDIR
    // and USERDIR are on only for the exact text "YES"; a run overwrites a
    // file of the same name unless REWRITE is exactly "NO", while the group
    // dialog shows numbering for "NO" and for a row with no REWRITE text.
    static QString flagText(bool on) { return on ? QStringLiteral("YES") : QStringLiteral("NO"); }
    static bool takesPart(const QString &download) { return download != QLatin1String("NO"); }
    static bool flagOn(const QString &flag) { return flag == QLatin1String("YES"); }
    static bool overwrites(const QString &rewrite) { return rewrite != QLatin1String("NO"); }
    static bool dialogOverwrites(const QString &rewrite)
    {
        return !rewrite.isEmpty() && overwrites(rewrite);
    }

    // A new row with the per-group defaults (and the given name).
    static Row newRow(const QString &name, const Defaults &d);

    // Fills an empty table from the store: stops at a missing name (read as
    // "Null") or after LoadLimit rows.
    void load(const SettingsStore &store, const Defaults &d);
    // Writes every row at its position (names, then LAST, SUBJECT, DATEDIR,
    // USERDIR, DOWNLOAD, REWRITE). false when the store refused a write.
    bool saveAll(SettingsStore &store) const;
    // Deletes GROUP1..GROUPc and GROUP (c = storedCount).
    static bool clearStore(SettingsStore &store, int storedCount);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

signals:
    // Column 0 was edited in place (the list view's end of editing).
    void nameEdited(int row, const QString &text);

private:
    std::vector<Row> m_rows;
    std::vector<quint64> m_ids;
    quint64 m_nextId = 0;
};
