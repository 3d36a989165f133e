// kaplo-cli download's exit statuses, its stop on a signal and its lock,
// against a scripted server or none.
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

QByteArray data(int size)
{
    QByteArray d(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        d[i] = char((i * 7 + 3) % 251);
    return d;
}

// A scripted server, a settings file naming it and a save directory.
struct CliRun {
    ScriptedServer server;
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
    explicit CliRun(const QStringList &groups = {"a.b"}, QString save = {})
    {
        writeSettings(ini, server.start(), save.isEmpty() ? dir.path() : save, groups);
        server.reply("QUIT", {"205 bye\r\n"});
    }
    void set(const char *section, const char *key, const QString &value)
    {
        SettingsStore(ini).write(QLatin1String(section), QLatin1String(key), value);
    }
    QString last() const { return SettingsStore(ini).read("GROUP1", "LAST", {}); }
    CliResult run() { return runCli(ini); }
    QByteArray bytes(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // The attachments saved, sorted.
    QStringList saved() const
    {
        QStringList out;
        for (QDirIterator it(dir.path(), {"*.bin"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            out << QDir(dir.path()).relativeFilePath(it.next());
        out.sort();
        return out;
    }
    // Starts a run that stays inside article 1 (one command at a time).
    void startStuck(QProcess &p)
    {
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubject: s\r\n\r\nhalf"});
        set("SERVER", "PIPELINE", "1");
        p.start(QStringLiteral(KAPLO_CLI_PATH), {"download", "--settings", ini});
        QTRY_VERIFY_WITH_TIMEOUT(server.received().size() >= 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(last(), QStringLiteral("1"), 20000);
    }
};

} // namespace

class TestDownloadCli final : public QObject {
    Q_OBJECT
private slots:
    // Runs that end at once: no server, no save directory, a silent server.
    void endsEarly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("last");
        QTest::newRow("connection refused") << "refused" << 1 << "";
        QTest::newRow("no save directory") << "nodir" << 2 << "";
        QTest::newRow("silent greeting") << "silent" << 1 << "";
        QTest::newRow("stall mid-article") << "stall" << 1 << "2";
        QTest::newRow("output path too long") << "longpath" << 2 << "2";
    }
    void endsEarly()
    {
        QFETCH(QString, how);
        QFETCH(int, status);
        QFETCH(QString, last);
        CliRun c;
        c.server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        c.server.reply("ARTICLE",
                       {"220 2 <m@x>\r\n\r\n" + uuencode(QByteArray(240, 'f'), "abc").chopped(8)});
        c.set("SERVER", "TIMEOUT", "1");
        if (how == u"refused")
            c.set("SERVER", "SERVERPORT", QString::number(closedPort()));
        QString save = c.dir.filePath(how == u"nodir" ? "nowhere" : "");
        while (how == u"longpath" && save.size() < 3900)
            save += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        QVERIFY(how == u"nodir" || QDir().mkpath(save));
        c.set("SAVE", "DIR", save);
        if (how == u"silent")
            c.server.setGreeting({});
        const CliResult r = c.run();
        QCOMPARE(r.exitCode, status);
        QVERIFY(!r.err.isEmpty());
        if (how == u"silent" || how == u"stall")
            QVERIFY2(r.err.contains(sec("サーバーから応答がありません (1秒)")), qPrintable(r.err));
        QCOMPARE(c.last(), last);
    }

    // SIGINT stops the run as the stop button does.
    void interrupted()
    {
        CliRun c({"a.b", "c.d"});
        QProcess p;
        c.startStuck(p);
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 130);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(out.contains(sec("a.b\t処理中断\t1\nc.d\t\t\n")), qPrintable(out));
        QCOMPARE(c.last(), QStringLiteral("1"));
    }

    // A missing low-water article, a NEXT that names the same article, odd
    // numbers, a refused article (its group ends, the run goes on, exit 1,
    // and the server's escape sequence never reaches the terminal).
    void oddServers()
    {
        CliRun c({"a.b", "c.d"});
        c.server.reply("GROUP a.b", {"211 3 1000000 1000002 a.b\r\n"});
        c.server.reply("ARTICLE 1000000", {"423 no such article\r\n"});
        c.server.reply("ARTICLE 1000001", {"220 -1 <m@x>\r\nSubject: x\r\n\r\n" +
                                           uuencode("x.bin", data(100)) + ".\r\n"});
        c.server.reply("NEXT", {"223 1000001 <m@x>\r\n"}); // does not advance
        c.server.reply("GROUP c.d", {"211 2 1 2 c.d\r\n"});
        c.server.reply("ARTICLE", {"503 program \x1b[31mfault\r\n"});
        c.set("GROUP1", "LAST", "1");
        const CliResult r = c.run();
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(c.server.received(),
                 (QStringList{"GROUP a.b", "ARTICLE 1000000", "ARTICLE 1000001", "NEXT",
                              "GROUP c.d", "ARTICLE", "QUIT"}));
        QCOMPARE(c.saved(), QStringList{"x.bin"});
        QVERIFY2(r.out.contains(sec("a.b\t処理完了\t1000001\nc.d\t処理中断\t1\n")),
                 qPrintable(r.out));
        QVERIFY2(r.err.contains(QStringLiteral("503 program ?[31mfault")), qPrintable(r.err));
        QVERIFY(!(r.err + r.out).contains(QLatin1Char('\x1b')));
    }

    // A rerun with nothing new saves nothing; an article cut off by the
    // server is fetched and saved again by the next run.
    void reruns()
    {
        CliRun c;
        const QByteArray b = data(3000);
        const QByteArray artB =
            "220 2 <b@x>\r\nSubject: b\r\n\r\n" + uuencode("b.bin", b) + ".\r\n";
        c.server.reply("GROUP a.b", {"211 2 1 2 a.b\r\n"});
        c.server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" +
                                   uuencode("a.bin", data(2000)) + ".\r\n"});
        for (const char *reply : {"223 2 <b@x>\r\n", "223 2 <b@x>\r\n", "421 no next\r\n"})
            c.server.reply("NEXT", {reply});
        c.server.reply("ARTICLE", {artB.left(300)}); // cut off
        c.server.closeAfter("ARTICLE");
        c.server.reply("ARTICLE 2", {artB});
        c.server.reply("STAT 2", {"223 2 <b@x>\r\n"});
        QCOMPARE(c.run().exitCode, 1); // the server went away inside article 2
        QCOMPARE(c.saved(), (QStringList{"a.bin", "b.bin"}));
        c.server.clearReceived();
        QCOMPARE(c.run().exitCode, 0);
        QCOMPARE(c.server.received(), (QStringList{"GROUP a.b", "ARTICLE 2", "NEXT", "QUIT"}));
        QCOMPARE(c.bytes("b(2).bin"), b);
        c.server.clearReceived();
        QCOMPARE(c.run().exitCode, 0);
        QCOMPARE(c.server.received(), (QStringList{"GROUP a.b", "STAT 2", "NEXT", "QUIT"}));
        QCOMPARE(c.saved(), (QStringList{"a.bin", "b(2).bin", "b.bin"}));
    }

    // A body line far longer than any encoded line ends its attachment; the
    // article after it is saved whole. (Memory: bench/longline_bench.sh.)
    void longLine()
    {
        CliRun c;
        QList<QByteArray> uu = uuencode("cut.bin", data(450)).split('\n');
        uu.insert(5, QByteArray(4 << 20, 'M') + '\r');
        c.server.reply("GROUP a.b", {"211 2 1 2 a.b\r\n"});
        c.server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" + uu.join('\n') + ".\r\n"});
        c.server.reply("NEXT", {"223 2 <b@x>\r\n"});
        c.server.reply("NEXT", {"421 no next\r\n"});
        c.server.reply("ARTICLE", {"220 2 <b@x>\r\nSubject: " + QByteArray(1 << 20, 's') +
                                   "\r\n\r\n" + uuencode("whole.bin", data(5000)) + ".\r\n"});
        QCOMPARE(c.run().exitCode, 0);
        QCOMPARE(c.bytes("cut.bin"), data(450).left(4 * 45));
        QCOMPARE(c.bytes("whole.bin"), data(5000));
    }

    // A full disk: exit status 2, the file named, only bytes on disk counted.
    void diskFull()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small tmpfs");
        QTemporaryDir dir;
        const QString mnt = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mnt));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mnt}) != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount {
            QString m;
            ~Unmount() { QProcess::execute(QStringLiteral("umount"), {m}); }
        } unmount{mnt};
        CliRun c({"a.b"}, mnt);
        c.server.reply("GROUP a.b", {"211 1 1 1 a.b\r\n"});
        c.server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" +
                                   uuencode("big.bin", data(400000)) + ".\r\n"});
        c.set("SAVE", "LOG", "FALSE");
        const CliResult r = c.run();
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(mnt + QStringLiteral("/big.bin")), qPrintable(r.err));
        const qint64 onDisk = QFileInfo(mnt + QStringLiteral("/big.bin")).size();
        QVERIFY2(r.out.contains(sec("ﾌｧｲﾙｻｲｽﾞ=") + TextValue::groupedNumber(onDisk)),
                 qPrintable(r.out));
    }

    // One run per settings file. While a run is in an article, a second one
    // is refused at once, and so are changes to the group list and the
    // settings; nothing is fetched twice. A run killed outright leaves its
    // lock, which the next run takes over.
    void lock()
    {
        CliRun c({"a.b", "c.d"});
        QProcess first;
        c.startStuck(first);
        const QByteArray ini = c.bytes("KAPLO.ini");
        const QString busy =
            sec("別のダウンロードが実行中です (PID ") + QString::number(first.processId()) + ')';
        const QString s = QStringLiteral("--settings");
        for (const QStringList &args :
             {QStringList{"download", s, c.ini},
              QStringList{"groups", "move", "1", "down", s, c.ini},
              QStringList{"config", "set", "SERVER", "SERVERPORT", "1", s, c.ini}}) {
            const CliResult r = kaplo(args);
            QVERIFY2(r.exitCode == 1 && r.err.contains(busy), qPrintable(args.join(' ') + r.err));
        }
        QCOMPARE(c.bytes("KAPLO.ini"), ini);
        QCOMPARE(c.server.received(), (QStringList{"GROUP a.b", "ARTICLE"}));
        ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(20000));
        QVERIFY(QFile::exists(RunLock::lockPathFor(c.ini)));
        c.server.reply("ARTICLE 1", {"220 1 <m@x>\r\nSubject: s\r\n\r\nbody\r\n.\r\n"});
        c.server.reply("NEXT", {"421 no next article\r\n"});
        c.server.reply("GROUP c.d", {"411 no such group\r\n"});
        const CliResult r = c.run();
        QVERIFY2(r.exitCode == 0 && r.out.contains(sec("a.b\t処理完了\t1\n")),
                 qPrintable(r.err + r.out));
        QVERIFY(!QFile::exists(RunLock::lockPathFor(c.ini)));
        QCOMPARE(kaplo({"groups", "move", "1", "down", s, c.ini}).exitCode, 0);
    }

    // A name in the file that holds CR LF or a blank is never sent: its row
    // is an invalid group and the run goes on with the next.
    void badNameInTheFileIsNeverSent()
    {
        CliRun c({"a.b\r\nQUIT", "x y", "c.d"});
        c.server.reply("GROUP c.d", {"211 0 0 0 c.d\r\n"});
        c.server.reply("NEXT", {"421 no next article\r\n"});
        const CliResult r = c.run();
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QCOMPARE(c.server.received(), (QStringList{"GROUP c.d", "NEXT", "QUIT"}));
        QVERIFY2(r.out.contains(
                     sec("QUIT\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\nx y\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\nc.d\t処理完了\t\n")),
                 qPrintable(r.out));
    }
};

KAPLO_TEST(TestDownloadCli)
#include "tst_downloadcli.moc"
