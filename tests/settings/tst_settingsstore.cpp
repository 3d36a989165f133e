#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    // Any text comes back as written, from another store on the same file;
    // keys this version does not know are kept; what is missing reads as
    // the default; the file is the owner's alone.
    void roundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        put(path, "[SERVER]\nSERVERNAME=news.example\nPROXY=old\n[FUTURE]\nKEY=\"a, b\"\n");
        const QStringList values =
            QString("|新しいﾆｭｰｽｸﾞﾙｰﾌﾟ|a,b, c|   x  |C:\\dir\\\\sub\\|\"q\" 'r'|a=b;c #d")
                .split('|');
        {
            SettingsStore store(path);
            for (int i = 0; i < values.size(); ++i)
                QVERIFY(store.write("SAVE", "K" + QString::number(i), values[i]));
            QVERIFY(store.deleteSection("GROUP5"));
        }
        SettingsStore again(path);
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(again.read("SAVE", "K" + QString::number(i), "def"), values[i]);
        QCOMPARE(again.read("SERVER", "PROXY", {}) + again.read("FUTURE", "KEY", {}) +
                     again.read("GROUP5", "LAST", "d"),
                 QStringLiteral("olda, bd"));
        QVERIFY(again.deleteSection("SAVE"));
        QCOMPARE(SettingsStore(path).read("SAVE", "K1", "d"), QStringLiteral("d"));
        QCOMPARE(int(QFile::permissions(path) & 0x0077), 0); // nothing for group or others
    }

    // writeSoon waits for flush() or the next write, or goes at once past
    // its delay. A refused batch is undone in memory: it does not ride along
    // with the next write.
    void writeSoonAndFailedWrites()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        SettingsStore store(path);
        const auto onDisk = [&] { return SettingsStore(path).read("GROUP1", "LAST", "none"); };
        QVERIFY(store.write("SAVE", "LOG", "TRUE"));
        QVERIFY(store.writeSoon("GROUP1", "LAST", "10", 60000));
        QVERIFY(store.flush());
        QCOMPARE(onDisk(), QStringLiteral("10"));
        QVERIFY(store.writeSoon("GROUP1", "LAST", "11", 60000));
        QVERIFY(store.write("SAVE", "LOG", "FALSE"));
        QCOMPARE(onDisk(), QStringLiteral("11"));
        QVERIFY(store.writeSoon("GROUP1", "LAST", "7", 0));
        QCOMPARE(onDisk(), QStringLiteral("7"));

        QVERIFY(store.write("GROUP", "GROUPNAME1", "a"));
        store.failWritesForTesting(true);
        store.beginBatch();
        store.deleteSection("GROUP1");
        store.write("GROUP", "GROUPNAME1", "b");
        QVERIFY(!store.commitBatch());
        QCOMPARE(store.read("GROUP", "GROUPNAME1", {}) + store.read("GROUP1", "LAST", {}),
                 QStringLiteral("a7"));
        store.failWritesForTesting(false);
        QVERIFY(store.write("SAVE", "LOG", "TRUE"));
        QCOMPARE(SettingsStore(path).read("GROUP", "GROUPNAME1", {}), QStringLiteral("a"));
    }

    // A file that is not settings, from the start or spoiled while a change
    // waits, is never written: by no kind of write, nor the store going away.
    void unreadableFileIsNeverWritten()
    {
        const QByteArray junk = "\"a\n[SERVER]\nSERVERNAME=x\n[GROUP1]\nLAST=42\n";
        for (bool spoiled : {false, true}) {
            QTemporaryDir dir;
            const QString path = dir.filePath("k.ini");
            if (!spoiled)
                put(path, junk);
            {
                SettingsStore store(path);
                if (spoiled) {
                    QVERIFY(store.write("SAVE", "LOG", "X"));
                    QVERIFY(store.writeSoon("GROUP1", "LAST", "5", 60000));
                    put(path, junk);
                    QVERIFY(!store.flush());
                } else {
                    QVERIFY(!store.readable());
                    QVERIFY(
                        store.unreadableMessage().startsWith("設定ファイルを読めません: " + path));
                    QVERIFY(!store.writeSoon("GROUP1", "LAST", "1", 60000));
                }
                QVERIFY(!store.write("SAVE", "LOG", "Y"));
                QVERIFY(store.errorString().startsWith("設定ファイルを読めません: " + path));
                QVERIFY(!store.deleteSection("GROUP1"));
                SettingsBatch batch(store);
                store.write("GROUP", "GROUPNAME1", "x");
                QVERIFY(!batch.commit());
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), junk);
            QCOMPARE(
                QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList{"k.ini"});
        }
    }
};

KAPLO_TEST(TestSettingsStore)
#include "tst_settingsstore.moc"
