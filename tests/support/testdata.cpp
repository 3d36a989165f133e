#include "support/testdata.h"

#include <QFile>
#include <QTest>

namespace kaplotest {

QStringList DataCase::lines(const QByteArray &key) const
{
    const QString value = text(key);
    return value.isEmpty() ? QStringList{} : value.split(QLatin1Char('\n'));
}

QByteArray dataFile(const QString &relative)
{
    QFile file(QStringLiteral(KAPLO_TEST_DATA "/") + relative);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read test data %s: %s", qPrintable(file.fileName()),
               qPrintable(file.errorString()));
    return file.readAll();
}

QList<DataCase> dataCases(const QString &relative)
{
    QList<DataCase> cases;
    QByteArray *value = nullptr;
    for (const QByteArray &line : dataFile(relative).split('\n')) {
        if (line.startsWith("=== ")) {
            cases.append({QString::fromUtf8(line.mid(4).trimmed()), {}});
            value = nullptr;
        } else if (line.startsWith("--- ") && !cases.isEmpty()) {
            value = &cases.last().fields[line.mid(4).trimmed()];
        } else if (value) {
            value->append(line).append('\n');
        }
    }
    // Nor are the blank lines that separate cases and fields.
    for (DataCase &c : cases)
        for (QByteArray &v : c.fields)
            while (v.endsWith('\n'))
                v.chop(1);
    return cases;
}

void addDataRows(const QString &relative)
{
    QTest::addColumn<DataCase>("c");
    for (const DataCase &c : dataCases(relative))
        QTest::newRow(qPrintable(c.name)) << c;
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

bool editFile(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray bytes = f.readAll();
    return bytes.contains(from) && f.resize(0) && f.write(QByteArray(bytes).replace(from, to)) > 0;
}

} // namespace kaplotest
