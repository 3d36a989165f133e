#pragma once
// Test cases kept as data files under tests/data/AREA/.
//
//   # a comment (only before the first case)
//   === name of the case
//   --- field
//   lines of the field's value
//   --- another field
//   ...
//
// A field's value is its lines joined by "\n", without trailing blank lines.
// "\r" stays as it is in the file; crlf() turns "\n" into CR LF for server
// text. Lines starting with "===" or "---" cannot be values.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>

namespace kaplotest {

struct DataCase {
    QString name;
    QMap<QByteArray, QByteArray> fields;

    bool has(const QByteArray &key) const { return fields.contains(key); }
    QByteArray bytes(const QByteArray &key) const { return fields.value(key); }
    QString text(const QByteArray &key) const { return QString::fromUtf8(fields.value(key)); }
    QStringList lines(const QByteArray &key) const; // the value's lines, none if empty
};

// The bytes of tests/data/RELATIVE; fails the process if it cannot be read.
QByteArray dataFile(const QString &relative);

// The cases of tests/data/RELATIVE.
QList<DataCase> dataCases(const QString &relative);

// For a _data() function: a column "c" of DataCase and one row per case.
void addDataRows(const QString &relative);

// "\n" becomes "\r\n".
QByteArray crlf(QByteArray text);

// Changes a file as another program would: `from` becomes `to`.
bool editFile(const QString &path, const QByteArray &from, const QByteArray &to);

} // namespace kaplotest

Q_DECLARE_METATYPE(kaplotest::DataCase)
