// kaplo-cli download's exit statuses and its stop on a signal, against a
// scripted server or none.
#include "runhelpers.h"

#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace runtest;

// kaplo-cli download's ends that need no news server.
class TestDownloadCli final : public QObject {
    Q_OBJECT
private slots:
    void connectionRefused()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, closedPort(), dir.path(), {QStringLiteral("a.b")});
        const CliResult r = runCli(ini);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(!r.err.isEmpty());
    }

    void badSaveDirectory()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, closedPort(), dir.filePath(QStringLiteral("nowhere")),
                      {QStringLiteral("a.b")});
        const CliResult r = runCli(ini);
        QCOMPARE(r.exitCode, 2);
    }

    // The output file's path is too long to open: the program must end.
    void fatalErrorEndsWith2()
    {
        QTemporaryDir dir;
        QString save = dir.path();
        while (save.size() < 3900)
            save += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        QVERIFY(QDir().mkpath(save));
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        const QByteArray name = QByteArray(240, 'f');
        server.reply("ARTICLE", {"220 1 <m@x>\r\n" + uuencode(name, "abc") + ".\r\n"});
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, save, {QStringLiteral("a.b")});
        QProcess proc;
        runCli(ini, &proc);
        // The scripted server answers only while the event loop runs.
        QVERIFY(QTest::qWaitFor([&] { return proc.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(proc.exitCode(), 2);
        QVERIFY(!proc.readAllStandardError().isEmpty());
    }

    // SIGINT stops the run as the stop button does.
    void interrupted()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubject: s\r\n\r\nhalf"}); // never ends
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b"), QStringLiteral("c.d")});
        QProcess proc;
        runCli(ini, &proc);
        QVERIFY(server.waitForReceived(2, 20000));
        QVERIFY(server.waitForIdle());
        ::kill(static_cast<pid_t>(proc.processId()), SIGINT);
        QVERIFY(proc.waitForFinished(20000));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc.exitCode(), 130);
        const QString out = QString::fromUtf8(proc.readAllStandardOutput());
        QVERIFY2(out.contains(sec("a.b\t処理中断\t1\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("c.d\t\t\n")), qPrintable(out));
        SettingsStore after(ini);
        QCOMPARE(after.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("1"));
    }
};

KAPLO_TEST(TestDownloadCli)
#include "tst_downloadcli.moc"
