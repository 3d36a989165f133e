// kaplo-cli download's exit statuses, its stop on a signal and its lock,
// against a scripted server or none; the scenarios of
// tests/data/engine/cli.txt (its head describes them).
#include "runhelpers.h"

#include "settings/grouptable.h"
#include "settings/runlock.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"
#include "support/escapes.h"
#include "support/scriptedserver.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace runtest;
using kaplotest::unescape;

namespace {

// Server text: escapes, and "{uu NAME SIZE}" for an attachment of sampleBytes(SIZE)
// ("{uu- NAME SIZE}": without its last lines).
QByteArray serverText(const QString &text)
{
    QString t = unescape(text);
    static const QRegularExpression uu(QStringLiteral(R"(\{uu(-?) (\S+) (\d+)\})"));
    for (QRegularExpressionMatch m; (m = uu.match(t)).hasMatch();)
        t.replace(
            m.capturedStart(), m.capturedLength(),
            QString::fromLatin1(uuencode(m.captured(2).toUtf8(), sampleBytes(m.captured(3).toInt()))
                                    .chopped(m.captured(1).isEmpty() ? 0 : 8)));
    return t.toUtf8();
}

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// kaplo-cli with these arguments; the event loop runs meanwhile, so that a
// scripted server of this process keeps answering.
CliResult kaplo(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KAPLO_CLI_PATH), args);
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000);
    return {ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A scripted server, a settings file naming it (with a log) and a save
// directory.
struct CliRun {
    ScriptedServer server;
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
    explicit CliRun(const QStringList &groups = {"a.b"})
    {
        set("SERVER/SERVERNAME", QStringLiteral("127.0.0.1"));
        set("SERVER/SERVERPORT", QString::number(server.start()));
        set("SAVE/DIR", dir.path());
        set("SAVE/LOG", QStringLiteral("TRUE"));
        GroupTable t;
        for (const QString &g : groups)
            t.insertRow(t.count(), GroupTable::newRow(g, {"NO", "NO", "NO"}));
        SettingsStore store(ini);
        t.saveAll(store);
        server.reply("QUIT", {"205 bye\r\n"});
    }
    void set(const QString &key, const QString &value) // "SECTION/KEY"
    {
        SettingsStore(ini).write(key.section(u'/', 0, 0), key.section(u'/', 1), value);
    }
    QString last() const { return SettingsStore(ini).read("GROUP1", "LAST", {}); }
    CliResult run()
    {
        return kaplo({QStringLiteral("download"), QStringLiteral("--settings"), ini});
    }
    QByteArray bytes(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList saved() const
    {
        return QDir(dir.path()).entryList({"*.bin"}, QDir::Files, QDir::Name);
    }
    // Starts a run that stays inside article 1 (one command at a time).
    void startStuck(QProcess &p)
    {
        server.reply("GROUP a.b", {"211 3 1 3 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubject: s\r\n\r\nhalf"});
        set("SERVER/PIPELINE", "1");
        p.start(QStringLiteral(KAPLO_CLI_PATH), {"download", "--settings", ini});
        QTRY_VERIFY_WITH_TIMEOUT(server.received().size() >= 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(last(), QStringLiteral("1"), 20000);
    }
};

} // namespace

class TestDownloadCli final : public QObject {
    Q_OBJECT
private slots:
    void scenario_data() { kaplotest::addDataRows(QStringLiteral("engine/cli.txt")); }
    void scenario()
    {
        QFETCH(kaplotest::DataCase, c);
        QStringList groups = c.has("groups") ? c.lines("groups") : QStringList{"a.b"};
        for (QString &g : groups)
            g = unescape(g);
        CliRun r(groups);
        for (const QString &s : c.lines("set")) {
            const QString value = unescape(s.section(u'=', 1))
                                      .replace("$CLOSED", QString::number(closedPort()))
                                      .replace("$DIR", r.dir.path());
            QVERIFY(!value.startsWith(r.dir.path()) || QDir().mkpath(value));
            r.set(s.section(u'=', 0, 0), value);
        }
        if (c.has("no greeting"))
            r.server.setGreeting({});
        for (const QString &l : c.lines("server")) {
            const QByteArray command = l.section(QStringLiteral(" => "), 0, 0).toUtf8();
            if (l.endsWith(u" => close"))
                r.server.closeAfter(command);
            else
                r.server.reply(command, {serverText(l.section(QStringLiteral(" => "), 1))});
        }
        CliResult res;
        for (const QString &l : c.lines("run")) {
            const QString op = l.section(u' ', 0, 0), arg = unescape(l.section(u' ', 1));
            if (op == u"run") {
                r.server.clearReceived();
                res = r.run();
                QVERIFY2(res.exitCode == arg.toInt(), qPrintable(res.err + res.out));
            } else if (op == u"sent")
                QCOMPARE(r.server.received().join(u','), arg);
            else if (op == u"saved")
                QCOMPARE(r.saved().join(u' '), arg);
            else if (op == u"last")
                QCOMPARE(r.last(), arg);
            else if (op == u"file")
                QCOMPARE(r.bytes(arg.section(u' ', 0, 0)),
                         sampleBytes(arg.section(u' ', 1).toInt()));
            else
                QVERIFY2((op.startsWith(u"out") ? res.out : res.err).contains(arg) !=
                             op.endsWith(u'!'),
                         qPrintable(l + "\nout: " + res.out + "\nerr: " + res.err));
        }
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
        QVERIFY2(out.contains(QStringLiteral("a.b\t処理中断\t1\nc.d\t\t\n")), qPrintable(out));
        QCOMPARE(c.last(), QStringLiteral("1"));
    }

    // A full disk: exit status 2, the file named, only bytes on disk counted.
    void diskFull()
    {
        CliRun c;
        const QString mnt = c.dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mnt));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mnt}) != 0)
            QSKIP("cannot mount a small tmpfs here (root can)");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {mnt}); });
        c.server.reply("GROUP a.b", {"211 1 1 1 a.b\r\n"});
        c.server.reply("ARTICLE", {"220 1 <a@x>\r\nSubject: a\r\n\r\n" +
                                   uuencode("big.bin", sampleBytes(400000)) + ".\r\n"});
        c.set("SAVE/DIR", mnt);
        c.set("SAVE/LOG", "FALSE");
        const CliResult r = c.run();
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(mnt + QStringLiteral("/big.bin")), qPrintable(r.err));
        const qint64 onDisk = QFileInfo(mnt + QStringLiteral("/big.bin")).size();
        QVERIFY2(r.out.contains(QStringLiteral("ﾌｧｲﾙｻｲｽﾞ=") + TextValue::groupedNumber(onDisk)),
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
            QStringLiteral("別のダウンロードが実行中です (PID %1)").arg(first.processId());
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
        QVERIFY2(r.exitCode == 0 && r.out.contains(QStringLiteral("a.b\t処理完了\t1\n")),
                 qPrintable(r.err + r.out));
        QVERIFY(!QFile::exists(RunLock::lockPathFor(c.ini)));
        QCOMPARE(kaplo({"groups", "move", "1", "down", s, c.ini}).exitCode, 0);
    }
};

KAPLO_TEST(TestDownloadCli)
#include "tst_downloadcli.moc"
