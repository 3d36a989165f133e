#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result runCli(const QString &settings, const QStringList &args,
              const QString &command = QStringLiteral("config"))
{
    Result r;
#ifdef KAPLO_CLI_PATH
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KAPLO_SETTINGS"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KAPLO_CLI_PATH),
            QStringList{command} + args + QStringList{QStringLiteral("--settings"), settings});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
#else
    Q_UNUSED(settings);
    Q_UNUSED(args);
#endif
    return r;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestConfigCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
#ifndef KAPLO_CLI_PATH
        QSKIP("kaplo-cli is not part of this build");
#endif
    }

    void setThenGetRoundTrips()
    {
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        // A default before anything is stored.
        Result r = runCli(
            ini, {QStringLiteral("get"), QStringLiteral("SAVE"), QStringLiteral("SEIGENTIME")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("06:30\n"));

        r = runCli(ini, {QStringLiteral("set"), QStringLiteral("SERVER"),
                         QStringLiteral("SERVERNAME"), QStringLiteral("ﾆｭｰｽ.example")});
        QCOMPARE(r.exitCode, 0);
        r = runCli(ini,
                   {QStringLiteral("get"), QStringLiteral("SERVER"), QStringLiteral("SERVERNAME")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("ﾆｭｰｽ.example\n"));
        // The program's own store reads what the command wrote.
        SettingsStore store(ini);
        QCOMPARE(store.read(QStringLiteral("SERVER"), QStringLiteral("SERVERNAME"), QString()),
                 QStringLiteral("ﾆｭｰｽ.example"));

        r = runCli(ini, {QStringLiteral("set"), QStringLiteral("SAVE"), QStringLiteral("LOG"),
                         QStringLiteral("true")});
        QCOMPARE(r.exitCode, 0);
        SettingsStore again(ini);
        QCOMPARE(again.read(QStringLiteral("SAVE"), QStringLiteral("LOG"), QString()),
                 QStringLiteral("TRUE"));
    }

    void refusedValueChangesNothing()
    {
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        {
            SettingsStore store(ini);
            QVERIFY(
                store.write(QStringLiteral("SAVE"), QStringLiteral("SEIGEN"), QStringLiteral("2")));
            QVERIFY(store.write(QStringLiteral("SAVE"), QStringLiteral("SEIGENFILE"),
                                QStringLiteral("500")));
        }
        const QByteArray before = contents(ini);
        const Result r = runCli(ini, {QStringLiteral("set"), QStringLiteral("SAVE"),
                                      QStringLiteral("SEIGENFILE"), QStringLiteral("many")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("ﾌｧｲﾙの数には数値を入力してください")),
                 qPrintable(r.err));
        QCOMPARE(contents(ini), before);
    }

    void listMasksThePassword()
    {
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        {
            SettingsStore store(ini);
            QVERIFY(store.write(QStringLiteral("SERVER"), QStringLiteral("PASS"),
                                QStringLiteral("hunter2")));
        }
        const Result r = runCli(ini, {QStringLiteral("list")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.contains(QStringLiteral("hunter2")));
        QVERIFY(r.out.contains(QStringLiteral("SERVER/PASS=********\n")));
        QVERIFY(r.out.contains(QStringLiteral("SAVE/SEIGENSIZE=50\n")));
        QVERIFY(r.out.contains(QStringLiteral("REMOTE/ADDRESS=なし\n")));
    }

    void unknownKeyOrBadUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown key") << QStringList{"get", "SAVE", "NOSUCH"};
        QTest::newRow("lower-case section") << QStringList{"get", "save", "DIR"};
        QTest::newRow("set without value") << QStringList{"set", "SAVE", "DIR"};
        QTest::newRow("no verb") << QStringList{};
        QTest::newRow("group section") << QStringList{"set", "GROUP1", "LAST", "5"};
    }
    void unknownKeyOrBadUsage()
    {
        QFETCH(QStringList, args);
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        const Result r = runCli(ini, args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!QFile::exists(ini));
    }

    // A settings file that exists but is not settings: every command, even
    // one that only reads, says so and ends with 2, the file byte for byte
    // as it was.
    void malformedFileIsLeftAlone_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QByteArray>("bytes"); // "<folder>": a folder at the path
        const QByteArray good = "[SERVER]\nSERVERNAME=127.0.0.1\nPASS=secret\n"
                                "[GROUP]\nGROUPNAME1=a.b\nGROUPNAME2=c.d\n[GROUP1]\nLAST=42\n";
        const QList<std::pair<const char *, QByteArray>> kinds{
            {"stray quote", "\"a\n" + good},
            {"binary", QByteArray("\x7f"
                                  "ELF\x02\x01\x00\x00",
                                  8) +
                           good},
            {"not UTF-8", good + "[SAVE]\nDIR=\x95\x5c\x8e\xa6\n"},
            {"folder", "<folder>"}};
        const QList<QStringList> commands{{"config", "get", "SERVER", "SERVERNAME"},
                                          {"config", "set", "SERVER", "SERVERNAME", "x"},
                                          {"config", "list"},
                                          {"groups", "list"},
                                          {"groups", "add", "e.f"},
                                          {"groups", "remove", "1"},
                                          {"groups", "move", "1", "down"},
                                          {"groups", "set", "1", "last", "5"},
                                          {"download"},
                                          {"catalogue"},
                                          {"catalogue", "--new"}};
        for (const auto &[kind, bytes] : kinds) {
            for (const QStringList &c : commands)
                QTest::addRow("%s: %s", kind, qPrintable(c.join(QLatin1Char(' ')))) << c << bytes;
        }
    }
    void malformedFileIsLeftAlone()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, bytes);
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        const bool folder = bytes == "<folder>";
        if (folder) {
            QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("k.ini")));
        } else {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const Result r = runCli(ini, command.mid(1), command.first());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(QStringLiteral("設定ファイルを読めません: ") + ini +
                                  QStringLiteral(" (")),
                 qPrintable(r.err));
        QCOMPARE(r.out, QString());
        if (folder)
            QVERIFY(QDir(ini).isEmpty());
        else
            QCOMPARE(contents(ini), bytes);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{QStringLiteral("k.ini")});
    }
};

KAPLO_TEST(TestConfigCli)
#include "tst_configcli.moc"
