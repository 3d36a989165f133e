#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    void writesWorkAgainAfterTheDiskRecovers()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("k.ini"));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("k.ini")));
        SettingsStore store(path);
        QVERIFY(!store.write(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("X")));
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("k.ini")));
        QVERIFY(store.write(QStringLiteral("SAVE"), QStringLiteral("DIR"), QStringLiteral("/tmp")));
        SettingsStore again(path);
        QCOMPARE(again.read(QStringLiteral("SAVE"), QStringLiteral("DIR"), {}),
                 QStringLiteral("/tmp"));
        QCOMPARE(again.read(QStringLiteral("SAVE"), QStringLiteral("LOG"), QStringLiteral("d")),
                 QStringLiteral("d"));
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
