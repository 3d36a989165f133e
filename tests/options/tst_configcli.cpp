#include "settings/settingsstore.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// kaplo-cli as a user runs it: tests/data/options/cli.txt, and a settings
// file that is not settings under every command.
class TestConfigCli : public QObject {
    Q_OBJECT
private slots:
    void command_data()
    {
        kaplotest::addDataRows("options/cli.txt");
        const QByteArray good = "[SERVER]\nSERVERNAME=127.0.0.1\nPASS=secret\n"
                                "[GROUP]\nGROUPNAME1=a.b\nGROUPNAME2=c.d\n[GROUP1]\nLAST=42\n";
        const QList<std::pair<const char *, QByteArray>> kinds{
            {"stray quote", "\"a\n" + good},
            {"binary", QByteArray::fromHex("7f454c4602010000") + good},
            {"not UTF-8", good + "[SAVE]\nDIR=\x95\x5c\x8e\xa6\n"},
            {"folder", "<folder>"}};
        kaplotest::DataCase row{
            "", {{"exit", "2"}, {"out", ""}, {"err", "設定ファイルを読めません: "}}};
        for (const auto &[kind, bytes] : kinds) {
            row.fields["bytes"] = bytes;
            for (const char *args :
                 {"config get SERVER SERVERNAME", "config set SERVER SERVERNAME x", "config list",
                  "groups list", "groups add e.f", "groups remove 1", "groups move 1 down",
                  "groups set 1 last 5", "download", "catalogue", "catalogue --new"}) {
                row.fields["args"] = args;
                QTest::addRow("%s: %s", kind, args) << row;
            }
        }
    }
    void command()
    {
        QFETCH(kaplotest::DataCase, c);
        QTemporaryDir tmp;
        const QString ini = tmp.filePath("k.ini");
        const auto setting = [](const QString &kv) {
            return std::make_tuple(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0),
                                   kv.section('=', 1));
        };
        for (const QString &kv : c.lines("settings")) {
            const auto [section, key, value] = setting(kv);
            QVERIFY(SettingsStore(ini).write(section, key, value));
        }
        QFile file(ini);
        if (c.bytes("bytes") == "<folder>")
            QVERIFY(QDir(tmp.path()).mkdir("k.ini"));
        else if (c.has("bytes"))
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(c.bytes("bytes")) > 0);
        file.close();
        const QByteArray before = contents(ini);
        const QStringList files =
            QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KAPLO_SETTINGS");
        p.setProcessEnvironment(env);
        p.start(KAPLO_CLI_PATH,
                c.text("args").split(' ', Qt::SkipEmptyParts) + QStringList{"--settings", ini});
        QVERIFY(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), c.text("exit").toInt());
        if (c.has("out"))
            QCOMPARE(out, c.text("out").isEmpty() ? QString() : c.text("out") + "\n");
        for (const QString &line : c.lines("lines"))
            QVERIFY2(out.contains(line + "\n"), qPrintable(line));
        QVERIFY(!out.contains("hunter2"));
        QVERIFY2(err.contains(c.text("err")), qPrintable(err));
        for (const QString &kv : c.lines("stored")) {
            const auto [section, key, value] = setting(kv);
            QCOMPARE(SettingsStore(ini).read(section, key, "<absent>"), value);
        }
        if (p.exitCode() != 0) { // as it was, byte for byte, and nothing beside
            QCOMPARE(contents(ini), before);
            QCOMPARE(
                QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                files);
        } else if (QFile::exists(ini)) {
            QCOMPARE(int(QFile::permissions(ini) & 0x0077), 0); // nothing for group or others
        }
    }
};

KAPLO_TEST(TestConfigCli)
#include "tst_configcli.moc"
