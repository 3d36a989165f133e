// kaplo-cli download's exit statuses and its stop on a signal, against a
// scripted server or none.
#include "runhelpers.h"

#include "settings/runlock.h"
#include "settings/textvalue.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace runtest;

namespace {

// Runs kaplo-cli download while the scripted server answers.
CliResult runWith(const QString &ini)
{
    QProcess proc;
    runCli(ini, &proc);
    CliResult r;
    if (!QTest::qWaitFor([&] { return proc.state() == QProcess::NotRunning; }, 60000))
        return r;
    r.exitCode = proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    r.out = QString::fromUtf8(proc.readAllStandardOutput());
    r.err = QString::fromUtf8(proc.readAllStandardError());
    return r;
}

void setValue(const QString &ini, const char *section, const char *key, const QString &value)
{
    SettingsStore(ini).write(QLatin1String(section), QLatin1String(key), value);
}

// The attachments saved under dir, sorted.
QStringList savedFiles(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = QDir(dir).relativeFilePath(it.next());
        if (f.endsWith(QLatin1String(".bin")))
            out << f;
    }
    out.sort();
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray data(int size)
{
    QByteArray d(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        d[i] = char((i * 7 + 3) % 251);
    return d;
}

// kaplo-cli with any arguments; the event loop runs meanwhile, so that a
// scripted server of this process keeps answering another kaplo-cli.
CliResult kaplo(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KAPLO_CLI_PATH), args);
    CliResult r;
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString storedLast(const QString &ini)
{
    return SettingsStore(ini).read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {});
}

} // namespace

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

    // A server that falls silent ends the run after SERVER/TIMEOUT seconds
    // with exit status 1; LAST stays on the article in progress.
    void silentServer_data()
    {
        QTest::addColumn<bool>("midArticle");
        QTest::newRow("silent greeting") << false;
        QTest::newRow("stall mid-article") << true;
    }
    void silentServer()
    {
        QFETCH(bool, midArticle);
        ScriptedServer server;
        const quint16 port = server.start();
        if (!midArticle)
            server.setGreeting({});
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 2 <m@x>\r\nSubject: s\r\n\r\nhalf"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b")});
        setValue(ini, "SERVER", "TIMEOUT", QStringLiteral("1"));
        const CliResult r = runWith(ini);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(sec("サーバーから応答がありません (1秒)")), qPrintable(r.err));
        QCOMPARE(SettingsStore(ini).read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 midArticle ? QStringLiteral("2") : QString());
    }

    // Numbers and replies that used to cost a command per number or loop:
    // a missing low-water article, a NEXT that names the same article, odd
    // numbers, a refused article (its group ends, the run goes on, exit 1,
    // and the server's escape sequence never reaches the terminal).
    void oddServers()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 3 1000000 1000002 a.b\r\n"});
        server.reply("ARTICLE 1000000", {"423 no such article\r\n"});
        server.reply("ARTICLE 1000001", {"220 -1 <m@x>\r\nSubject: x\r\n\r\n" +
                                         uuencode("x.bin", data(100)) + ".\r\n"});
        server.reply("NEXT", {"223 1000001 <m@x>\r\n"}); // does not advance
        server.reply("GROUP c.d", {"211 2 1 2 c.d\r\n"});
        server.reply("ARTICLE", {"503 program \x1b[31mfault\r\n"});
        server.reply("QUIT", {"205 bye\r\n"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b"), QStringLiteral("c.d")});
        setValue(ini, "GROUP1", "LAST", QStringLiteral("1"));
        const CliResult r = runWith(ini);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "ARTICLE 1000000", "ARTICLE 1000001",
                                                 "NEXT", "GROUP c.d", "ARTICLE", "QUIT"}));
        QCOMPARE(savedFiles(dir.path()), QStringList{QStringLiteral("x.bin")});
        QVERIFY2(r.out.contains(sec("a.b\t処理完了\t1000001\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(sec("c.d\t処理中断\t1\n")), qPrintable(r.out));
        QVERIFY2(r.err.contains(QStringLiteral("503 program ?[31mfault")), qPrintable(r.err));
        QVERIFY(!r.err.contains(QLatin1Char('\x1b')) && !r.out.contains(QLatin1Char('\x1b')));
    }

    // A rerun with nothing new saves nothing; an article cut off by the
    // server is fetched and saved again by the next run.
    void reruns()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        const QByteArray a = data(2000), b = data(3000);
        const QByteArray artB =
            "220 2 <b@x>\r\nSubject: b\r\n\r\n" + uuencode("b.bin", b) + ".\r\n";
        server.reply("GROUP a.b", {"211 2 1 2 a.b\r\n"});
        server.reply("ARTICLE",
                     {"220 1 <a@x>\r\nSubject: a\r\n\r\n" + uuencode("a.bin", a) + ".\r\n"});
        server.reply("NEXT", {"223 2 <b@x>\r\n"});
        server.reply("NEXT", {"223 2 <b@x>\r\n"});
        server.reply("NEXT", {"421 no next\r\n"});
        server.reply("ARTICLE", {artB.left(300)}); // cut off
        server.closeAfter("ARTICLE");
        server.reply("ARTICLE 2", {artB});
        server.reply("STAT 2", {"223 2 <b@x>\r\n"});
        server.reply("QUIT", {"205 bye\r\n"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b")});
        QCOMPARE(runWith(ini).exitCode, 1); // the server went away inside article 2
        QCOMPARE(savedFiles(dir.path()), (QStringList{"a.bin", "b.bin"}));
        server.clearReceived();
        QCOMPARE(runWith(ini).exitCode, 0);
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "ARTICLE 2", "NEXT", "QUIT"}));
        QCOMPARE(savedFiles(dir.path()), (QStringList{"a.bin", "b(2).bin", "b.bin"}));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("b(2).bin"))), b);
        server.clearReceived();
        const CliResult again = runWith(ini);
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "STAT 2", "NEXT", "QUIT"}));
        QCOMPARE(savedFiles(dir.path()), (QStringList{"a.bin", "b(2).bin", "b.bin"}));
    }

    // A body line far longer than any encoded line ends its attachment; the
    // article after it is saved whole. (Memory: bench/longline_bench.sh.)
    void longLine()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        QList<QByteArray> uu = uuencode("cut.bin", data(450)).split('\n');
        uu.insert(5, QByteArray(4 << 20, 'M') + '\r');
        server.reply("GROUP a.b", {"211 2 1 2 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" + uu.join('\n') + ".\r\n"});
        server.reply("NEXT", {"223 2 <b@x>\r\n"});
        server.reply("NEXT", {"421 no next\r\n"});
        server.reply("ARTICLE", {"220 2 <b@x>\r\nSubject: " + QByteArray(1 << 20, 's') +
                                 "\r\n\r\n" + uuencode("whole.bin", data(5000)) + ".\r\n"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b")});
        const CliResult r = runWith(ini);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("cut.bin"))), data(450).left(4 * 45));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("whole.bin"))), data(5000));
    }

    // A full disk: exit status 2, the file named, only bytes on disk counted.
    void diskFull()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small tmpfs");
        QTemporaryDir dir;
        const QString mnt = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mnt));
        if (QProcess::execute(QStringLiteral("mount"),
                              {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mnt}) != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount {
            QString m;
            ~Unmount() { QProcess::execute(QStringLiteral("umount"), {m}); }
        } unmount{mnt};
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 1 1 1 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" +
                                 uuencode("big.bin", data(400000)) + ".\r\n"});
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, mnt, {QStringLiteral("a.b")});
        setValue(ini, "SAVE", "LOG", QStringLiteral("FALSE"));
        const CliResult r = runWith(ini);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(mnt + QStringLiteral("/big.bin")), qPrintable(r.err));
        const qint64 onDisk = QFileInfo(mnt + QStringLiteral("/big.bin")).size();
        QVERIFY2(r.out.contains(sec("ﾌｧｲﾙｻｲｽﾞ=") + TextValue::groupedNumber(onDisk)),
                 qPrintable(r.out + QString::number(onDisk)));
    }

    // One run per settings file. While the first kaplo-cli download is in an
    // article, a second one is refused at once, and so are changes to the
    // group list and the settings; nothing is fetched twice.
    void secondRunAndChangesAreRefused()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubject: s\r\n\r\nhalf"}); // never ends
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b"), QStringLiteral("c.d")});
        oneCommandAtATime(ini);
        QProcess first;
        runCli(ini, &first);
        QVERIFY(server.waitForReceived(2, 20000));
        QTRY_COMPARE_WITH_TIMEOUT(storedLast(ini), QStringLiteral("1"), 20000);
        const QByteArray bytes = fileBytes(ini);
        const QString busy =
            sec("別のダウンロードが実行中です (PID ") + QString::number(first.processId()) + ')';

        const QString settings = QStringLiteral("--settings");
        for (const QStringList &args :
             {QStringList{"download", settings, ini},
              QStringList{"groups", "move", "1", "down", settings, ini},
              QStringList{"groups", "add", "e.f", settings, ini},
              QStringList{"config", "set", "SERVER", "SERVERPORT", "1", settings, ini}}) {
            const CliResult r = kaplo(args);
            QVERIFY2(r.exitCode == 1, qPrintable(args.join(' ') + r.err));
            QVERIFY2(r.err.contains(busy), qPrintable(r.err));
        }
        QCOMPARE(fileBytes(ini), bytes);
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "ARTICLE"}));

        ::kill(static_cast<pid_t>(first.processId()), SIGINT);
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitCode(), 130);
        // The run is over: the lock is gone and changes go through.
        QVERIFY(!QFile::exists(RunLock::lockPathFor(ini)));
        QCOMPARE(kaplo({"groups", "move", "1", "down", settings, ini}).exitCode, 0);
    }

    // A run killed outright leaves its lock file; the next run takes it over.
    void lockOfAKilledRunIsTakenOver()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubject: s\r\n\r\nhalf"}); // never ends
        server.reply("ARTICLE 1", {"220 1 <m@x>\r\nSubject: s\r\n\r\nbody\r\n.\r\n"});
        server.reply("NEXT", {"421 no next article\r\n"});
        server.reply("QUIT", {"205 bye\r\n"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, port, dir.path(), {QStringLiteral("a.b")});
        oneCommandAtATime(ini);
        QProcess first;
        runCli(ini, &first);
        QVERIFY(server.waitForReceived(2, 20000));
        QTRY_COMPARE_WITH_TIMEOUT(storedLast(ini), QStringLiteral("1"), 20000);
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(20000));
        QVERIFY(QFile::exists(RunLock::lockPathFor(ini)));

        const CliResult r = kaplo({"download", "--settings", ini});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QVERIFY2(r.out.contains(sec("a.b\t処理完了\t1\n")), qPrintable(r.out));
        QCOMPARE(server.received(),
                 (QStringList{"GROUP a.b", "ARTICLE", "GROUP a.b", "ARTICLE 1", "NEXT", "QUIT"}));
        QVERIFY(!QFile::exists(RunLock::lockPathFor(ini)));
    }

    // A name in the file that holds CR LF or a blank is never sent: its row
    // is an invalid group and the run goes on with the next.
    void badNameInTheFileIsNeverSent()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP c.d", {"211 0 0 0 c.d\r\n"});
        server.reply("NEXT", {"421 no next article\r\n"});
        server.reply("QUIT", {"205 bye\r\n"});
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(
            ini, port, dir.path(),
            {QStringLiteral("a.b\r\nQUIT"), QStringLiteral("x y"), QStringLiteral("c.d")});
        const CliResult r = kaplo({"download", "--settings", ini});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QCOMPARE(server.received(), (QStringList{"GROUP c.d", "NEXT", "QUIT"}));
        QVERIFY2(r.out.contains(sec("x y\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(sec("QUIT\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(sec("c.d\t処理完了\t\n")), qPrintable(r.out));
    }
};

KAPLO_TEST(TestDownloadCli)
#include "tst_downloadcli.moc"
