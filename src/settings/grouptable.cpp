#include "settings/grouptable.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

namespace {

const char *const kHeaders[GroupTable::ColumnCount] = {
    "ﾆｭｰｽｸﾞﾙｰﾌﾟ", "取込番号", "最小番号",    "最大番号",      "状態",
    "ﾀﾞｳﾝﾛｰﾄﾞ",   "題名付加", "日付ﾃﾞｨﾚｸﾄﾘ", "投稿者ﾃﾞｨﾚｸﾄﾘ", "上書"};

const QString kGroup = QStringLiteral("GROUP");

} // namespace

GroupTable::GroupTable(QObject *parent) : QAbstractTableModel(parent) {}

QString GroupTable::header(int column)
{
    return QString::fromUtf8(kHeaders[column]);
}

int GroupTable::headerWidthTwips(int column)
{
    return column == Name ? 2880 : 800;
}

bool GroupTable::rightAligned(int column)
{
    return column == Last || column == Lowest || column == Highest;
}

bool GroupTable::validName(QStringView name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        const QChar::Category cat = c.category();
        if (c.isSpace() || cat == QChar::Other_Control || cat == QChar::Separator_Line ||
            cat == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

bool GroupTable::validLast(QStringView last)
{
    return last.isEmpty() || TextValue::digitsNumber(last).has_value();
}

void GroupTable::setText(int row, int column, const QString &value)
{
    QString &cell = m_rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
    if (cell == value)
        return;
    cell = value;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

void GroupTable::insertRow(int r, const Row &values)
{
    beginInsertRows({}, r, r);
    m_rows.insert(m_rows.begin() + r, values);
    m_ids.insert(m_ids.begin() + r, ++m_nextId);
    endInsertRows();
}

int GroupTable::rowOfId(quint64 id) const
{
    for (size_t r = 0; r < m_ids.size(); ++r) {
        if (m_ids[r] == id)
            return static_cast<int>(r);
    }
    return -1;
}

void GroupTable::removeRow(int r)
{
    beginRemoveRows({}, r, r);
    m_rows.erase(m_rows.begin() + r);
    m_ids.erase(m_ids.begin() + r);
    endRemoveRows();
}

void GroupTable::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_ids.clear();
    endResetModel();
}

GroupTable::Row GroupTable::newRow(const QString &name, const Defaults &d)
{
    Row row;
    row[Name] = name;
    row[Subject] = flagText(false);
    row[DateDir] = d.dateDir;
    row[UserDir] = d.userDir;
    row[Download] = flagText(true);
    row[Rewrite] = d.rewrite;
    return row;
}

void GroupTable::load(const SettingsStore &store, const Defaults &d)
{
    beginResetModel();
    m_rows.clear();
    m_ids.clear();
    for (int r = 0; r < LoadLimit; ++r) {
        const QString name = store.read(kGroup, nameKeyOf(r), QStringLiteral("Null"));
        if (name == QLatin1String("Null"))
            break;
        const QString section = sectionOf(r);
        Row row;
        row[Name] = name;
        row[Last] = store.read(section, QStringLiteral("LAST"), QString());
        row[Subject] = store.read(section, QStringLiteral("SUBJECT"), flagText(false));
        row[DateDir] = store.read(section, QStringLiteral("DATEDIR"), d.dateDir);
        row[UserDir] = store.read(section, QStringLiteral("USERDIR"), d.userDir);
        row[Download] = store.read(section, QStringLiteral("DOWNLOAD"), flagText(true));
        row[Rewrite] = store.read(section, QStringLiteral("REWRITE"), d.rewrite);
        m_rows.push_back(row);
        m_ids.push_back(++m_nextId);
    }
    endResetModel();
}

bool GroupTable::saveAll(SettingsStore &store) const
{
    SettingsBatch batch(store);
    for (int r = 0; r < count(); ++r) {
        const Row &row = m_rows[static_cast<size_t>(r)];
        const QString section = sectionOf(r);
        store.write(kGroup, nameKeyOf(r), row[Name]);
        store.write(section, QStringLiteral("LAST"), row[Last]);
        store.write(section, QStringLiteral("SUBJECT"), row[Subject]);
        store.write(section, QStringLiteral("DATEDIR"), row[DateDir]);
        store.write(section, QStringLiteral("USERDIR"), row[UserDir]);
        store.write(section, QStringLiteral("DOWNLOAD"), row[Download]);
        store.write(section, QStringLiteral("REWRITE"), row[Rewrite]);
    }
    return batch.commit();
}

bool GroupTable::clearStore(SettingsStore &store, int storedCount)
{
    SettingsBatch batch(store);
    for (int r = 0; r < storedCount; ++r)
        store.deleteSection(sectionOf(r));
    store.deleteSection(kGroup);
    return batch.commit();
}

int GroupTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int GroupTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GroupTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (rightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

QVariant GroupTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return header(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (rightAligned(section) ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

Qt::ItemFlags GroupTable::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Name)
        f |= Qt::ItemIsEditable;
    return f;
}

bool GroupTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() != Name)
        return false;
    const QString t = value.toString();
    setText(index.row(), Name, t);
    emit nameEdited(index.row(), t);
    return true;
}
