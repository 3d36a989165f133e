// File and folder names: rows from tests/data/output, fuzz inputs, and hostile
// names really made on the disk.
#include "decode/cp932.h"
#include "decode/iso2022.h"
#include "output/naming.h"
#include "output/outputfiles.h"
#include "support/escapes.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <unistd.h>

namespace {

// What every name that becomes one path level must satisfy.
bool usableLevel(const QString &level)
{
    if (level.isEmpty() || level == u"." || level == u".." || level.toUtf8().size() > 255)
        return false;
    return std::none_of(level.begin(), level.end(), [](QChar c) {
        return c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F;
    });
}

} // namespace

class TestNaming : public QObject {
    Q_OBJECT
private slots:
    void rows_data()
    {
        for (const char *c : {"fn", "in", "out"})
            QTest::addColumn<QString>(c);
        for (const char *fn : {"FileNameCheck", "DirNameCheck", "FileNameChange", "safeDirLevel",
                               "safeFileName", "keepLastUtf8Bytes", "numberedName"})
            kaplotest::addTextRows(
                QLatin1String(fn),
                QStringLiteral("output/%1.txt").arg(QString::fromLatin1(fn).toLower()));
    }
    void rows()
    {
        QFETCH(QString, fn);
        QFETCH(QString, in);
        QFETCH(QString, out);
        const QMap<QString, std::function<QString()>> run{
            {"FileNameCheck", [&] { return FileNameCheck(in); }},
            {"DirNameCheck", [&] { return QLatin1String(DirNameCheck(in) ? "yes" : "no"); }},
            {"FileNameChange", [&] { return FileNameChange(in); }},
            {"safeDirLevel", [&] { return safeDirLevel(in); }},
            {"safeFileName", [&] { return safeFileName(in); }},
            {"keepLastUtf8Bytes",
             [&] {
                 return keepLastUtf8Bytes(in.section(u':', 1), in.section(u':', 0, 0).toInt());
             }},
            {"numberedName", [&] { return OutputFiles::numberedName(in); }},
        };
        QCOMPARE(run[fn](), out);
    }

    // Whatever an article holds (the fuzzer's finds in tests/data/fuzz, and
    // tests/data/output/hostilenames.txt) makes a usable folder level and file
    // name; files.txt opens such names on the disk.
    void hostileNames()
    {
        QStringList names;
        const QDir fuzz(QStringLiteral(KAPLO_TEST_DATA "/fuzz"));
        for (const QString &f : fuzz.entryList(QDir::Files))
            names << Cp932::decode(kaplotest::dataFile(QStringLiteral("fuzz/") + f));
        for (const QByteArray &l :
             kaplotest::dataFile(QStringLiteral("output/hostilenames.txt")).split('\n'))
            names << kaplotest::unescape(QString::fromUtf8(l));
        for (const QString &n : QStringList(names))
            names << FileNameCheck(n) << Iso_2022(n) << (QStringLiteral("a/") + n);
        for (const QString &n : names) {
            QVERIFY(Iso_2022(n).size() <= n.size());
            for (const QString &x : {n, FileNameChange(n)}) {
                QVERIFY2(usableLevel(safeDirLevel(x)) && !safeDirLevel(x).startsWith(u'.'),
                         qPrintable(x));
                QVERIFY2(usableLevel(safeFileName(x)), qPrintable(x));
            }
        }
    }

    // True when the folder is of no use for saving.
    void saveDirCheck()
    {
        QTemporaryDir root;
        const auto at = [&root](const char *p) { return root.filePath(QLatin1String(p)); };
        for (const char *d : {"save", ".hidden", "readonly"})
            QVERIFY(QDir().mkdir(at(d)));
        QFile file(at("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QFile::setPermissions(at("readonly"), QFile::ReadOwner | QFile::ExeOwner));
        for (const char *p : {"save", "save/", "save/."})
            QCOMPARE(SaveDirCheck(at(p)), false);
        for (const char *p : {"missing", "file", ".hidden", "save/../.hidden"})
            QCOMPARE(SaveDirCheck(at(p)), true);
        QCOMPARE(SaveDirCheck(QString()), true);
        QCOMPARE(SaveDirCheck(QStringLiteral("C:\\")), true);
        QCOMPARE(SaveDirCheck(at("readonly")), ::geteuid() != 0); // root writes anywhere
        QCOMPARE(SaveDirCheck(QStringLiteral("/")), ::access("/", W_OK) != 0);
    }
};

KAPLO_TEST(TestNaming)
#include "tst_naming.moc"
