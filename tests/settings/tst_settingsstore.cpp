#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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
    // what is missing reads as the default; the file is the owner's alone.
    void roundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/k.ini");
        const QStringList values{"",        "新しいﾆｭｰｽｸﾞﾙｰﾌﾟ", "a,b, c",
                                 "   x  ",  "C:\\dir\\\\sub\\", "\"q\" 'r'",
                                 "a=b;c #d"};
        {
            SettingsStore store(path);
            for (int i = 0; i < values.size(); ++i)
                QVERIFY(store.write("SAVE", "K" + QString::number(i), values[i]));
            QVERIFY(store.deleteSection("GROUP5"));
        }
        SettingsStore again(path);
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(again.read("SAVE", "K" + QString::number(i), "def"), values[i]);
        QCOMPARE(again.read("GROUP5", "LAST", "d"), QStringLiteral("d"));
        QVERIFY(again.deleteSection("SAVE"));
        QCOMPARE(SettingsStore(path).read("SAVE", "K1", "d"), QStringLiteral("d"));
        QCOMPARE(int(QFile::permissions(path) & 0x0077), 0); // nothing for group or others
    }

    // A refused batch leaves the disk and the memory as they were, and does
    // not ride along with the next write.
    void failedWrites()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("folder.ini"));
        SettingsStore folder(dir.filePath("folder.ini"));
        QVERIFY(!folder.write("SAVE", "LOG", "FALSE"));
        QVERIFY(!folder.errorString().isEmpty());

        const QString path = dir.filePath("k.ini");
        SettingsStore store(path);
        QVERIFY(store.write("GROUP", "GROUPNAME1", "a"));
        QVERIFY(store.write("GROUP1", "LAST", "7"));
        const QByteArray before = contents(path);
        store.failWritesForTesting(true);
        store.beginBatch();
        store.deleteSection("GROUP1");
        store.deleteSection("GROUP");
        store.write("GROUP", "GROUPNAME1", "b");
        QVERIFY(!store.commitBatch());
        QCOMPARE(contents(path), before);
        QCOMPARE(store.read("GROUP", "GROUPNAME1", {}) + store.read("GROUP1", "LAST", {}),
                 QStringLiteral("a7"));
        store.failWritesForTesting(false);
        QVERIFY(store.write("SAVE", "LOG", "TRUE"));
        SettingsStore again(path);
        QCOMPARE(again.read("GROUP", "GROUPNAME1", {}) + again.read("SAVE", "LOG", {}),
                 QStringLiteral("aTRUE"));
    }

    // A file that exists but is not settings is read as nothing and never
    // written, by any kind of write or by the store going away.
    void unreadableFileIsNeverWritten_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // "<folder>": a folder at the path
        QTest::addColumn<bool>("noReadPermission");
        const QByteArray good = "[SERVER]\nSERVERNAME=news.example\n[GROUP1]\nLAST=42\n";
        QTest::newRow("stray quote line") << "\"a\n" + good << false;
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe[SAVE]\n", 10) + good << false;
        QTest::newRow("not UTF-8") << good + "[SAVE]\nDIR=\x83\x5c\x83\x74\x83\x67\n" << false;
        QTest::newRow("folder") << QByteArray("<folder>") << false;
        if (::geteuid() != 0)
            QTest::newRow("no read permission") << good << true;
    }
    void unreadableFileIsNeverWritten()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, noReadPermission);
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        const bool folder = bytes == "<folder>";
        folder ? void(QDir(dir.path()).mkdir("k.ini")) : put(path, bytes);
        if (noReadPermission)
            QFile::setPermissions(path, QFileDevice::WriteOwner);
        {
            SettingsStore store(path);
            QVERIFY(!store.readable());
            QVERIFY2(
                store.unreadableMessage().startsWith("設定ファイルを読めません: " + path + " ("),
                qPrintable(store.unreadableMessage()));
            QVERIFY(!store.write("SAVE", "LOG", "X"));
            QCOMPARE(store.errorString(), store.unreadableMessage());
            QVERIFY(!store.writeSoon("GROUP1", "LAST", "1", 60000));
            QVERIFY(!store.deleteSection("GROUP1"));
            SettingsBatch batch(store);
            store.write("GROUP", "GROUPNAME1", "x");
            QVERIFY(!batch.commit());
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (folder)
            QVERIFY(QFileInfo(path).isDir());
        else
            QCOMPARE(contents(path), bytes);
    }

    // Spoiled by someone else while a change waits: the change is dropped,
    // not written over what could no longer be read.
    void fileSpoiledDuringTheSessionIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        const QByteArray junk = "\"a\n[SERVER]\nSERVERNAME=x\n";
        {
            SettingsStore store(path);
            QVERIFY(store.write("SAVE", "LOG", "X"));
            QVERIFY(store.writeSoon("GROUP1", "LAST", "5", 60000));
            put(path, junk);
            QVERIFY(!store.flush());
            QVERIFY(store.errorString().contains("設定ファイルを読めません"));
            QVERIFY(!store.write("SAVE", "LOG", "Y"));
        }
        QCOMPARE(contents(path), junk);
    }

    // A file of an older version (no SSL or login keys) with keys this
    // version does not know: it loads, and a change keeps the rest.
    void olderFileLoadsAndKeepsWhatItDoesNotKnow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        put(path,
            "[SERVER]\nSERVERNAME=news.example\nSERVERPORT=119\nPROXY=old.example\n"
            "[SAVE]\nDIR=/srv/news\n[GROUP1]\nLAST=42\nCOLOUR=blue\n[FUTURE]\nKEY=\"a, b\"\n");
        SettingsStore store(path);
        QVERIFY(store.readable());
        RunningSettings s;
        s.load(store);
        QCOMPARE(s.serverName + s.saveDir + s.ssl, QStringLiteral("news.example/srv/newsFALSE"));
        QVERIFY(store.write("SERVER", "SSL", "TRUE"));
        SettingsStore again(path);
        const QStringList kept{"SERVER/PROXY", "GROUP1/COLOUR", "FUTURE/KEY", "GROUP1/LAST",
                               "SERVER/SSL"};
        QStringList values;
        for (const QString &k : kept)
            values << again.read(k.section('/', 0, 0), k.section('/', 1), {});
        QCOMPARE(values, (QStringList{"old.example", "blue", "a, b", "42", "TRUE"}));
    }

    // writeSoon waits for flush() or the next write, or goes at once past
    // its delay.
    void writeSoon()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("k.ini");
        SettingsStore store(path);
        QVERIFY(store.write("SAVE", "LOG", "TRUE"));
        const auto onDisk = [&] { return SettingsStore(path).read("GROUP1", "LAST", "none"); };
        QVERIFY(store.writeSoon("GROUP1", "LAST", "10", 60000));
        QCOMPARE(store.read("GROUP1", "LAST", {}), QStringLiteral("10"));
        QVERIFY(store.flush());
        QCOMPARE(onDisk(), QStringLiteral("10"));
        QVERIFY(store.writeSoon("GROUP1", "LAST", "11", 60000));
        QVERIFY(store.write("SAVE", "LOG", "FALSE"));
        QCOMPARE(onDisk(), QStringLiteral("11"));
        QVERIFY(store.writeSoon("GROUP1", "LAST", "12", 0));
        QCOMPARE(onDisk(), QStringLiteral("12"));
    }

    void emptyStoreGivesEveryDefault()
    {
        QTemporaryDir dir;
        RunningSettings s;
        s.load(SettingsStore(dir.filePath("k.ini")));
        QCOMPARE(
            QStringList({s.serverName, s.serverPort, s.seigenTime, s.address, s.interval,
                         s.derivedDateDir()}),
            QStringList({RunningSettings::defaultServerName(), "119", "06:30", "なし", "5", "NO"}));
        s.dateDir = "true";
        QCOMPARE(s.derivedDateDir(), QStringLiteral("YES"));
    }
};

KAPLO_TEST(TestSettingsStore)
#include "tst_settingsstore.moc"
