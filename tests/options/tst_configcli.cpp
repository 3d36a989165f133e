#include "groups/groupfixture.h"
#include "support/escapes.h"
#include "support/testregistry.h"

#include <QDir>
#include <QProcess>
#include <QTest>

// kaplo-cli as a user runs it (tests/data/options/cli.txt).
class TestConfigCli : public QObject {
    Q_OBJECT
private slots:
    void command_data() { kaplotest::addDataRows("options/cli.txt"); }
    void command()
    {
        QFETCH(kaplotest::DataCase, c);
        GroupFixture f(c.text("names").split(' ', Qt::SkipEmptyParts));
        const auto setting = [](const QString &kv) {
            return std::make_tuple(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0),
                                   kv.section('=', 1));
        };
        for (const QString &kv : c.lines("settings")) {
            const auto [section, key, value] = setting(kv);
            QVERIFY(f.store->write(section, key, value));
        }
        if (c.bytes("bytes") == "<folder>")
            QVERIFY((QFile::remove(f.path), QDir().mkdir(f.path)));
        else if (QFile file(f.path); c.has("bytes"))
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.write(kaplotest::unescape(c.text("bytes")).toLatin1()) > 0);
        QProcess p;
        const auto run = [&](const QString &args) {
            QStringList words;
            for (const QString &word : args.split(' ', Qt::SkipEmptyParts))
                words << kaplotest::unescape(word);
            p.start(KAPLO_CLI_PATH, words + QStringList{"--settings", f.path});
            return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
        };
        for (const QString &args : c.lines("before")) // each must work
            QVERIFY2(run(args) && p.exitCode() == 0, qPrintable(args));
        const QByteArray before = fileBytes(f.path);
        const auto files = [&] {
            return QDir(f.dir.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        };
        const QStringList filesBefore = files();
        // Each line of "args" is one run, and each run must do as the case says.
        for (const QString &args : c.lines("args")) {
            QVERIFY(run(args));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QCOMPARE(args + " -> " + QString::number(p.exitCode()), args + " -> " + c.text("exit"));
            if (c.has("out"))
                QCOMPARE(out, c.text("out").isEmpty() ? QString() : c.text("out") + "\n");
            for (const QString &line : c.lines("lines"))
                QVERIFY2(out.contains(line + "\n"), qPrintable(line));
            QVERIFY(!out.contains("hunter2"));
            QVERIFY2(err.contains(c.text("err")), qPrintable(args + ": " + err));
            for (const QString &kv : c.lines("stored")) {
                const auto [section, key, value] = setting(kv);
                QCOMPARE(SettingsStore(f.path).read(section, key, "<absent>"), value);
            }
            if (p.exitCode() != 0) { // as it was, byte for byte, and nothing beside
                QCOMPARE(fileBytes(f.path), before);
                QCOMPARE(files(), filesBefore);
            } else if (QFile::exists(f.path)) {
                QCOMPARE(int(QFile::permissions(f.path) & 0x0077),
                         0); // nothing for group or others
            }
        }
    }
};

KAPLO_TEST(TestConfigCli)
#include "tst_configcli.moc"
