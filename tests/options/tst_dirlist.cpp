#include "options/dirlist.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The directory list: the folders from the root to the open one, its subfolders.
class TestDirList : public QObject {
    Q_OBJECT
private slots:
    void ancestorsThenSortedSubdirectories()
    {
        QTemporaryDir tmp;
        QDir base(tmp.path());
        for (const char *d : {"b", "A", "a", "c10", "c9", ".hidden", "日本語"})
            QVERIFY(base.mkdir(d));
        QVERIFY(QFile(base.filePath("file.txt")).open(QIODevice::WriteOnly));
        const QString path = QDir::cleanPath(tmp.path());
        const QList<DirList::Entry> rows = DirList::entries(path + "/");
        const qsizetype cur = DirList::currentIndex(rows);
        QCOMPARE(rows.first().path + rows.first().name, QDir::rootPath() + QDir::rootPath());
        QCOMPARE(rows.at(cur).path, path);
        QCOMPARE(rows.at(cur).name, base.dirName());
        QStringList children;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).open, i <= cur);
            QCOMPARE(rows.at(i).depth, int(std::min(i, cur + 1)));
            if (i > cur)
                children << rows.at(i).name;
            if (i > 0 && i <= cur)
                QCOMPARE(QFileInfo(rows.at(i).path).absolutePath(), rows.at(i - 1).path);
        }
        // Hidden folders and files are not listed; case does not decide the order.
        QCOMPARE(children, (QStringList{"A", "a", "b", "c10", "c9", "日本語"}));
    }
};

KAPLO_TEST(TestDirList)
#include "tst_dirlist.moc"
