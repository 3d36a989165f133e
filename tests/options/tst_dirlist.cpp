#include "options/dirlist.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDirList : public QObject {
    Q_OBJECT
private slots:
    void ancestorsThenSortedSubdirectories()
    {
        QTemporaryDir tmp;
        QDir base(tmp.path());
        for (const char *d : {"b", "A", "a", "c10", "c9", ".hidden", "日本語"})
            QVERIFY(base.mkdir(QString::fromUtf8(d)));
        QFile f(base.filePath(QStringLiteral("file.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        const QString path = QDir::cleanPath(tmp.path());
        const QList<DirList::Entry> rows = DirList::entries(path + QStringLiteral("/"));
        const qsizetype cur = DirList::currentIndex(rows);
        QVERIFY(cur > 0);
        QCOMPARE(rows.first().path, QDir::rootPath());
        QCOMPARE(rows.first().depth, 0);
        QCOMPARE(rows.at(cur).path, path);
        QCOMPARE(rows.at(cur).name, base.dirName());
        QCOMPARE(rows.at(cur).depth, static_cast<int>(cur));
        for (qsizetype i = 0; i <= cur; ++i) {
            QVERIFY(rows.at(i).open);
            QCOMPARE(rows.at(i).depth, static_cast<int>(i));
            if (i > 0)
                QCOMPARE(QFileInfo(rows.at(i).path).absolutePath(),
                         QDir::cleanPath(rows.at(i - 1).path));
        }
        QStringList children;
        for (qsizetype i = cur + 1; i < rows.size(); ++i) {
            QVERIFY(!rows.at(i).open);
            QCOMPARE(rows.at(i).depth, static_cast<int>(cur) + 1);
            QCOMPARE(rows.at(i).path, base.filePath(rows.at(i).name));
            children << rows.at(i).name;
        }
        // Hidden folders and files are not listed; case does not decide the order.
        QCOMPARE(children, (QStringList{QStringLiteral("A"), QStringLiteral("a"),
                                        QStringLiteral("b"), QStringLiteral("c10"),
                                        QStringLiteral("c9"), QStringLiteral("日本語")}));
    }

    void rootIsItsOwnOnlyAncestor()
    {
        const QList<DirList::Entry> rows = DirList::entries(QDir::rootPath());
        QVERIFY(!rows.isEmpty());
        QCOMPARE(DirList::currentIndex(rows), 0);
        QCOMPARE(rows.first().name, QDir::toNativeSeparators(QDir::rootPath()));
        for (qsizetype i = 1; i < rows.size(); ++i)
            QCOMPARE(rows.at(i).depth, 1);
    }

    void notADirectoryGivesNoRows_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("empty") << "";
        QTest::newRow("missing") << "missing";
        QTest::newRow("file") << "file";
    }
    void notADirectoryGivesNoRows()
    {
        QFETCH(QString, what);
        QTemporaryDir tmp;
        QString path;
        if (what == QLatin1String("missing"))
            path = tmp.filePath(QStringLiteral("gone/deeper"));
        if (what == QLatin1String("file")) {
            path = tmp.filePath(QStringLiteral("f"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QList<DirList::Entry> rows = DirList::entries(path);
        QVERIFY(rows.isEmpty());
        QCOMPARE(DirList::currentIndex(rows), -1);
    }
};

KAPLO_TEST(TestDirList)
#include "tst_dirlist.moc"
