#include "options/saveoptions.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QTemporaryDir>
#include <QTest>

using Limit = SaveOptions::Limit;
Q_DECLARE_METATYPE(SaveOptions::Limit)

namespace {

const QString kSave = QStringLiteral("SAVE");

QString stored(const SettingsStore &s, const char *key)
{
    return s.read(kSave, QString::fromLatin1(key), QStringLiteral("<absent>"));
}

} // namespace

class TestSaveOptions : public QObject {
    Q_OBJECT
private slots:
    void validate_data()
    {
        QTest::addColumn<Limit>("limit");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("message"); // empty: accepted

        const QString noTime = QStringLiteral("時間を設定してください");
        const QString badTime = QStringLiteral("時間の形式はHH:MMです。");
        const QString noFiles = QStringLiteral("ﾌｧｲﾙの数を入れてください");
        const QString badFiles = QStringLiteral("ﾌｧｲﾙの数には数値を入力してください");
        const QString noSize = QStringLiteral("ﾌｧｲﾙｻｲｽﾞを入れてください");
        const QString badSize = QStringLiteral("ﾌｧｲﾙｻｲｽﾞには数値を入力してください");

        QTest::newRow("time empty") << Limit::Time << ""
                                    << "x"
                                    << "x" << noTime;
        QTest::newRow("time letters") << Limit::Time << "abc"
                                      << ""
                                      << "" << badTime;
        QTest::newRow("time 25:00") << Limit::Time << "25:00"
                                    << ""
                                    << "" << badTime;
        QTest::newRow("time blank") << Limit::Time << " "
                                    << ""
                                    << "" << badTime;
        QTest::newRow("time 6:30") << Limit::Time << "6:30"
                                   << ""
                                   << ""
                                   << "";
        QTest::newRow("time with seconds") << Limit::Time << "06:30:15"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("time a date") << Limit::Time << "1997/12/06"
                                     << ""
                                     << ""
                                     << "";
        // Switching from time to files: the time box is never looked at.
        QTest::newRow("files empty, time ok") << Limit::Files << "06:30"
                                              << ""
                                              << "" << noFiles;
        QTest::newRow("files empty, time bad") << Limit::Files << "zz"
                                               << ""
                                               << "" << noFiles;
        QTest::newRow("files empty, time empty") << Limit::Files << ""
                                                 << ""
                                                 << "" << noFiles;
        QTest::newRow("files letters") << Limit::Files << ""
                                       << "12a"
                                       << "" << badFiles;
        QTest::newRow("files blanks only") << Limit::Files << ""
                                           << "  "
                                           << "" << badFiles;
        QTest::newRow("files number") << Limit::Files << ""
                                      << " 12 "
                                      << ""
                                      << "";
        QTest::newRow("size empty") << Limit::Size << ""
                                    << "x"
                                    << "" << noSize;
        QTest::newRow("size with unit") << Limit::Size << ""
                                        << ""
                                        << "5MB" << badSize;
        QTest::newRow("size fraction") << Limit::Size << ""
                                       << ""
                                       << "1.5"
                                       << "";
        QTest::newRow("none, all invalid") << Limit::None << ""
                                           << "a"
                                           << "b"
                                           << "";
        QTest::newRow("unselected, all invalid") << Limit::Unselected << "x"
                                                 << ""
                                                 << ""
                                                 << "";
    }
    void validate()
    {
        QFETCH(Limit, limit);
        QFETCH(QString, time);
        QFETCH(QString, files);
        QFETCH(QString, size);
        QFETCH(QString, message);
        SaveOptions o;
        o.limit = limit;
        o.seigenTime = time;
        o.seigenFile = files;
        o.seigenSize = size;
        QCOMPARE(o.validate().value_or(QString()), message);
    }

    void limitText_data()
    {
        QTest::addColumn<QString>("seigen");
        QTest::addColumn<Limit>("limit");
        QTest::newRow("0") << "0" << Limit::None;
        QTest::newRow("1") << "1" << Limit::Time;
        QTest::newRow("2") << "2" << Limit::Files;
        QTest::newRow("3") << "3" << Limit::Size;
        QTest::newRow("4") << "4" << Limit::Unselected;
        QTest::newRow("empty") << "" << Limit::Unselected;
        QTest::newRow("blank before") << " 1" << Limit::Unselected;
        QTest::newRow("01") << "01" << Limit::Unselected;
    }
    void limitText()
    {
        QFETCH(QString, seigen);
        QFETCH(Limit, limit);
        QCOMPARE(SaveOptions::limitFromText(seigen), limit);
        if (limit != Limit::Unselected)
            QCOMPARE(SaveOptions::limitText(limit), seigen);
    }

    void flagsAreTickedOnlyByExactTrue()
    {
        RunningSettings r;
        r.dateDir = QStringLiteral("TRUE");
        r.userDir = QStringLiteral("true");
        r.log = QStringLiteral("True");
        r.groupDir = QStringLiteral("TRUE ");
        r.rewrite = QStringLiteral("YES");
        const SaveOptions o = SaveOptions::fromRunning(r);
        QVERIFY(o.dateDir);
        QVERIFY(!o.userDir);
        QVERIFY(!o.log);
        QVERIFY(!o.groupDir);
        QVERIFY(!o.rewrite);
    }

    void storedDir_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("stored");
#ifdef Q_OS_WIN
        QTest::newRow("drive root") << "C:\\"
                                    << "C:";
        QTest::newRow("drive root, slash") << "C:/"
                                           << "C:";
        QTest::newRow("folder") << "C:/news"
                                << "C:\\news";
#else
        // The root has no shorter form.
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("folder") << "/srv/news"
                                << "/srv/news";
        QTest::newRow("trailing separator") << "/srv/news/"
                                            << "/srv/news";
#endif
    }
    void storedDir()
    {
        QFETCH(QString, dir);
        QFETCH(QString, stored);
        QCOMPARE(SaveOptions::storedDir(dir), stored);
    }

    void applyStoresEveryValueInBothPlaces()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        RunningSettings running;
        running.load(store);

        SaveOptions o;
        o.dir = QStringLiteral("/srv/news/");
        o.dateDir = true;
        o.userDir = false;
        o.log = true;
        o.groupDir = false;
        o.rewrite = true;
        o.limit = Limit::Size;
        o.seigenTime = QStringLiteral("07:00");
        o.seigenFile = QStringLiteral("");
        o.seigenSize = QStringLiteral("120");
        QVERIFY(o.apply(running, store));

        SettingsStore reread(store.path());
        const QList<std::pair<const char *, QString>> expected = {
            {"DIR", QStringLiteral("/srv/news")},
            {"DATEDIR", QStringLiteral("TRUE")},
            {"USERDIR", QStringLiteral("FALSE")},
            {"LOG", QStringLiteral("TRUE")},
            {"GROUPDIR", QStringLiteral("FALSE")},
            {"REWRITE", QStringLiteral("TRUE")},
            {"SEIGEN", QStringLiteral("3")},
            {"SEIGENTIME", QStringLiteral("07:00")},
            {"SEIGENFILE", QString()},
            {"SEIGENSIZE", QStringLiteral("120")},
        };
        for (const auto &[key, value] : expected)
            QCOMPARE(stored(reread, key), value);

        RunningSettings fromDisk;
        fromDisk.load(reread);
        QCOMPARE(running.saveDir, fromDisk.saveDir);
        QCOMPARE(running.dateDir, fromDisk.dateDir);
        QCOMPARE(running.userDir, fromDisk.userDir);
        QCOMPARE(running.log, fromDisk.log);
        QCOMPARE(running.groupDir, fromDisk.groupDir);
        QCOMPARE(running.rewrite, fromDisk.rewrite);
        QCOMPARE(running.seigen, fromDisk.seigen);
        QCOMPARE(running.seigenTime, fromDisk.seigenTime);
        QCOMPARE(running.seigenFile, fromDisk.seigenFile);
        QCOMPARE(running.seigenSize, fromDisk.seigenSize);
    }

    void unknownLimitIsKept_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("stored 7") << true;
        QTest::newRow("never stored, running 7") << false;
    }
    void unknownLimitIsKept()
    {
        QFETCH(bool, present);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        if (present)
            store.write(kSave, QStringLiteral("SEIGEN"), QStringLiteral("7"));
        RunningSettings running;
        running.load(store);
        running.seigen = QStringLiteral("7");
        const SaveOptions o = SaveOptions::fromRunning(running);
        QCOMPARE(o.limit, Limit::Unselected);
        QVERIFY(o.apply(running, store));
        QCOMPARE(stored(store, "SEIGEN"),
                 present ? QStringLiteral("7") : QStringLiteral("<absent>"));
        QCOMPARE(running.seigen, QStringLiteral("7"));
    }

    void failedWriteChangesNothing()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        QVERIFY(store.write(kSave, QStringLiteral("LOG"), QStringLiteral("FALSE")));
        RunningSettings running;
        running.load(store);
        const RunningSettings before = running;
        SaveOptions o = SaveOptions::fromRunning(running);
        o.log = true;
        o.dir = QStringLiteral("/elsewhere");
        store.failWritesForTesting(true);
        QString error;
        QVERIFY(!o.apply(running, store, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(running.log, before.log);
        QCOMPARE(running.saveDir, before.saveDir);
        store.failWritesForTesting(false);
        SettingsStore reread(store.path());
        QCOMPARE(stored(reread, "LOG"), QStringLiteral("FALSE"));
        QCOMPARE(stored(reread, "DIR"), QStringLiteral("<absent>"));
    }
};

KAPLO_TEST(TestSaveOptions)
#include "tst_saveoptions.moc"
