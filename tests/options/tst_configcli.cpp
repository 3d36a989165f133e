#include "settings/settingsstore.h"
#include "support/testdata.h"
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

// kaplo-cli ARGS --settings SETTINGS, as a user runs it.
Result runCli(const QStringList &args, const QString &settings)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("KAPLO_SETTINGS");
    p.setProcessEnvironment(env);
    p.start(KAPLO_CLI_PATH, args + QStringList{"--settings", settings});
    Result r;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        r = {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
             QString::fromUtf8(p.readAllStandardError())};
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
    // tests/data/options/cli.txt
    void command_data() { kaplotest::addDataRows("options/cli.txt"); }
    void command()
    {
        QFETCH(kaplotest::DataCase, c);
        QTemporaryDir tmp;
        const QString ini = tmp.filePath("k.ini");
        const auto split = [](const QString &kv) {
            return std::make_tuple(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0),
                                   kv.section('=', 1));
        };
        for (const QString &kv : c.lines("settings")) {
            const auto [section, key, value] = split(kv);
            QVERIFY(SettingsStore(ini).write(section, key, value));
        }
        const QByteArray before = contents(ini);
        const Result r =
            runCli(QStringList{"config"} + c.text("args").split(' ', Qt::SkipEmptyParts), ini);
        QCOMPARE(r.exitCode, c.text("exit").toInt());
        if (c.has("out"))
            QCOMPARE(r.out, c.text("out") + "\n");
        for (const QString &line : c.lines("lines"))
            QVERIFY2(r.out.contains(line + "\n"), qPrintable(line));
        QVERIFY(!r.out.contains("hunter2"));
        QVERIFY2(r.err.contains(c.text("err")), qPrintable(r.err));
        for (const QString &kv : c.lines("stored")) {
            const auto [section, key, value] = split(kv);
            QCOMPARE(SettingsStore(ini).read(section, key, "<absent>"), value);
        }
        if (r.exitCode != 0) {
            QCOMPARE(contents(ini), before);
            QCOMPARE(QFile::exists(ini), c.has("settings"));
        }
        if (QFile::exists(ini))
            QCOMPARE(int(QFile::permissions(ini) & 0x0077), 0); // nothing for group or others
    }

    // A settings file that exists but is not settings: every command, even
    // one that only reads, says so and ends with 2, the file byte for byte
    // as it was.
    void unreadableFileIsLeftAlone_data()
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
        const QStringList commands{"config get SERVER SERVERNAME",
                                   "config set SERVER SERVERNAME x",
                                   "config list",
                                   "groups list",
                                   "groups add e.f",
                                   "groups remove 1",
                                   "groups move 1 down",
                                   "groups set 1 last 5",
                                   "download",
                                   "catalogue",
                                   "catalogue --new"};
        for (const auto &[kind, bytes] : kinds)
            for (const QString &c : commands)
                QTest::addRow("%s: %s", kind, qPrintable(c)) << c.split(' ') << bytes;
    }
    void unreadableFileIsLeftAlone()
    {
        QFETCH(QStringList, command);
        QFETCH(QByteArray, bytes);
        QTemporaryDir tmp;
        const QString ini = tmp.filePath("k.ini");
        if (bytes == "<folder>") {
            QVERIFY(QDir(tmp.path()).mkdir("k.ini"));
        } else {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        const Result r = runCli(command, ini);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith("設定ファイルを読めません: " + ini + " ("), qPrintable(r.err));
        QCOMPARE(r.out, QString());
        if (bytes == "<folder>")
            QVERIFY(QDir(ini).isEmpty());
        else
            QCOMPARE(contents(ini), bytes);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{"k.ini"});
    }
};

KAPLO_TEST(TestConfigCli)
#include "tst_configcli.moc"
