#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void roundTripsAnyText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("japanese") << QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ");
        QTest::newRow("comma") << QStringLiteral("a,b, c");
        QTest::newRow("leading blanks") << QStringLiteral("   x  ");
        QTest::newRow("backslashes") << QStringLiteral("C:\\dir\\\\sub\\");
        QTest::newRow("quotes") << QStringLiteral("\"q\" 'r'");
        QTest::newRow("equals and semicolon") << QStringLiteral("a=b;c #d");
    }
    void roundTripsAnyText()
    {
        QFETCH(QString, value);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        {
            SettingsStore store(path);
            QVERIFY(store.write(QStringLiteral("SAVE"), QStringLiteral("DIR"), value));
        }
        SettingsStore again(path);
        QCOMPARE(again.read(QStringLiteral("SAVE"), QStringLiteral("DIR"), QStringLiteral("def")),
                 value);
    }

    void missingReadsDefaultAndDeleteOfMissingSectionIsHarmless()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("k.ini")));
        QCOMPARE(store.read(QStringLiteral("GROUP5"), QStringLiteral("LAST"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QVERIFY(store.write(QStringLiteral("GROUP1"), QStringLiteral("LAST"), QString()));
        QVERIFY(store.deleteSection(QStringLiteral("GROUP5")));
        QCOMPARE(store.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), QStringLiteral("d")),
                 QString());
        QVERIFY(store.deleteSection(QStringLiteral("GROUP1")));
        QCOMPARE(store.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), QStringLiteral("d")),
                 QStringLiteral("d"));
    }

    void failedWriteIsReported()
    {
        QTemporaryDir dir;
        // A folder where the file should be: no user, root included, can write it.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("k.ini")));
        SettingsStore store(dir.filePath(QStringLiteral("k.ini")));
        QVERIFY(
            !store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("FALSE")));
        QVERIFY(!store.errorString().isEmpty());
    }

    void failedBatchLeavesDiskAndMemoryAsBefore()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        SettingsStore store(path);
        QVERIFY(store.write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"),
                            QStringLiteral("a")));
        QVERIFY(store.write(QStringLiteral("GROUP1"), QStringLiteral("LAST"), QStringLiteral("7")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();

        store.failWritesForTesting(true);
        store.beginBatch();
        store.deleteSection(QStringLiteral("GROUP1"));
        store.deleteSection(QStringLiteral("GROUP"));
        store.write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"), QStringLiteral("b"));
        QVERIFY(!store.commitBatch());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        QCOMPARE(store.read(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"), {}),
                 QStringLiteral("a"));
        QCOMPARE(store.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("7"));

        // Once the disk takes writes again, the refused change does not ride along.
        store.failWritesForTesting(false);
        QVERIFY(store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("TRUE")));
        SettingsStore again(path);
        QCOMPARE(again.read(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"), {}),
                 QStringLiteral("a"));
        QCOMPARE(again.read(QStringLiteral("SAVE"), QStringLiteral("LOG"), {}),
                 QStringLiteral("TRUE"));
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
        QTest::newRow("no read permission") << good << true;
    }
    void unreadableFileIsNeverWritten()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, noReadPermission);
        if (noReadPermission && ::geteuid() == 0)
            QSKIP("root reads every file");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        const bool folder = bytes == "<folder>";
        if (folder) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("k.ini")));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        if (noReadPermission)
            QFile::setPermissions(path, QFileDevice::WriteOwner);
        {
            SettingsStore store(path);
            QVERIFY(!store.readable());
            QVERIFY2(
                store.unreadableMessage().startsWith(QStringLiteral("設定ファイルを読めません: ") +
                                                     path + QStringLiteral(" (")),
                qPrintable(store.unreadableMessage()));
            QVERIFY(
                !store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("X")));
            QCOMPARE(store.errorString(), store.unreadableMessage());
            QVERIFY(!store.writeSoon(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                     QStringLiteral("1"), 60000));
            QVERIFY(!store.deleteSection(QStringLiteral("GROUP1")));
            SettingsBatch batch(store);
            store.write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"), QStringLiteral("x"));
            QVERIFY(!batch.commit());
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (folder) {
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), bytes);
        }
    }

    // Spoiled by someone else while a change waits: the change is dropped,
    // not written over what could no longer be read.
    void fileSpoiledDuringTheSessionIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        const QByteArray junk = "\"a\n[SERVER]\nSERVERNAME=x\n";
        {
            SettingsStore store(path);
            QVERIFY(
                store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("X")));
            QVERIFY(store.writeSoon(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                    QStringLiteral("5"), 60000));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(junk);
            f.close();
            QVERIFY(!store.flush());
            QVERIFY(store.errorString().contains(QStringLiteral("設定ファイルを読めません")));
            QVERIFY(
                !store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("Y")));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), junk);
    }

    // A file of an older version (no SSL or login keys, a comment) with keys
    // this version does not know: it loads, and a change keeps the rest.
    void olderFileLoadsAndKeepsWhatItDoesNotKnow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[SERVER]\nSERVERNAME=news.example\nSERVERPORT=119\nPROXY=old.example\n"
                    "[SAVE]\nDIR=/srv/news\n[GROUP]\nGROUPNAME1=fj.binaries\n"
                    "[GROUP1]\nLAST=42\nCOLOUR=blue\n[FUTURE]\nKEY=\"a, b\"\n");
        }
        SettingsStore store(path);
        QVERIFY(store.readable());
        RunningSettings s;
        s.load(store);
        QCOMPARE(s.serverName, QStringLiteral("news.example"));
        QCOMPARE(s.saveDir, QStringLiteral("/srv/news"));
        QCOMPARE(s.ssl, QStringLiteral("FALSE"));
        QVERIFY(
            store.write(QStringLiteral("SERVER"), QStringLiteral("SSL"), QStringLiteral("TRUE")));
        SettingsStore again(path);
        QCOMPARE(again.read(QStringLiteral("SERVER"), QStringLiteral("PROXY"), {}),
                 QStringLiteral("old.example"));
        QCOMPARE(again.read(QStringLiteral("GROUP1"), QStringLiteral("COLOUR"), {}),
                 QStringLiteral("blue"));
        QCOMPARE(again.read(QStringLiteral("FUTURE"), QStringLiteral("KEY"), {}),
                 QStringLiteral("a, b"));
        QCOMPARE(again.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("42"));
        QCOMPARE(again.read(QStringLiteral("SERVER"), QStringLiteral("SSL"), {}),
                 QStringLiteral("TRUE"));
    }

    void writeSoonWaitsForFlushOrTheNextWrite()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        SettingsStore store(path);
        QVERIFY(store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("TRUE")));
        const auto onDisk = [&] {
            return SettingsStore(path).read(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                            QStringLiteral("none"));
        };
        QVERIFY(store.writeSoon(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                QStringLiteral("10"), 60000));
        QCOMPARE(store.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("10"));
        QVERIFY(store.flush());
        QCOMPARE(onDisk(), QStringLiteral("10"));
        QVERIFY(store.writeSoon(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                QStringLiteral("11"), 60000));
        QVERIFY(
            store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("FALSE")));
        QCOMPARE(onDisk(), QStringLiteral("11"));
        // Past the delay it goes out at once.
        QVERIFY(store.writeSoon(QStringLiteral("GROUP1"), QStringLiteral("LAST"),
                                QStringLiteral("12"), 0));
        QCOMPARE(onDisk(), QStringLiteral("12"));
    }

    void fileIsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/k.ini"));
        SettingsStore store(path);
        QVERIFY(store.write(QStringLiteral("SERVER"), QStringLiteral("PASS"), QStringLiteral("x")));
        const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                            QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
        QVERIFY(QFile::permissions(path) & QFileDevice::ReadOwner);
    }

    void emptyStoreGivesEveryDefault()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("k.ini")));
        RunningSettings s;
        s.load(store);
        QCOMPARE(s.serverName, RunningSettings::defaultServerName());
        QCOMPARE(s.serverPort, QStringLiteral("119"));
        QCOMPARE(s.seigenTime, QStringLiteral("06:30"));
        QCOMPARE(s.address, QStringLiteral("なし"));
        QCOMPARE(s.interval, QStringLiteral("5"));
        QCOMPARE(s.derivedDateDir(), QStringLiteral("NO"));
        s.dateDir = QStringLiteral("true");
        QCOMPARE(s.derivedDateDir(), QStringLiteral("YES"));
    }
};

KAPLO_TEST(TestSettingsStore)
#include "tst_settingsstore.moc"
