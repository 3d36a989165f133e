#include "catalogue/cataloguefixture.h"

#include "engine/tcpnntpsocket.h"
#include "support/innserver.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

// A TCP socket that also keeps every command line exactly as sent.
class RecordingSocket final : public TcpNntpSocket {
public:
    void send(const QString &text) override
    {
        sent << text;
        TcpNntpSocket::send(text);
    }
    QStringList sent;
};

using Rig = CatalogueRig<RecordingSocket>;

const QStringList kCreated{"kaplo.cat.zeta", "kaplo.cat.alpha", "kaplo.cat.Mid"};
// What the server lists besides: the groups every instance starts with.
const QStringList kStandard{"control", "control.cancel", "junk"};

QStringList sorted(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), NameListModel::lessThan);
    return names;
}

QByteArray fileOf(const QStringList &names)
{
    QByteArray out;
    for (const QString &n : names)
        out += n.toLatin1() + "\r\n";
    return out;
}

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult kaploCli(const QString &settings, const QStringList &args)
{
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    p.start(QStringLiteral(KAPLO_CLI_PATH),
            QStringList{QStringLiteral("catalogue"), QStringLiteral("--settings"), settings} +
                args);
    // A scripted server in this process must be served meanwhile.
    loop.exec();
    CliResult r;
    if (p.state() != QProcess::NotRunning || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString tomorrow()
{
    return QDateTime::currentDateTime().addDays(1).toString(QStringLiteral("yyMMdd HHmmss"));
}

} // namespace

// The catalogue fetch against a real news server, in the window's core and
// through kaplo-cli catalogue.
class TestCatalogueInn : public QObject {
    Q_OBJECT
    InnServer m_inn;

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
        QVERIFY2(m_inn.newGroups(kCreated), qPrintable(m_inn.errorString()));
    }

    void listAllThenReopen()
    {
        CatalogueFixture f(InnServer::host(), m_inn.port());
        f.writeCatalog("stale.group\r\n");
        CatalogueSession s;
        const QStringList expected = sorted(kStandard + kCreated);
        {
            Rig r(f, s);
            QCOMPARE(r.list1(), QStringList{"stale.group"});
            r.conversation.cmdALL_Click();
            QTRY_COMPARE_WITH_TIMEOUT(r.ended, QList<bool>{true}, 20000);
            QCOMPARE(r.socket.sent, QStringList{"LIST\r\n"});
            QCOMPARE(r.list1(), expected);
            QVERIFY(r.list2().isEmpty());
            QCOMPARE(r.label1, QString::number(expected.size()));
            QCOMPARE(f.prompter.shown,
                     (QStringList{"全て取込むには時間がかかります", "一覧取込を完了しました"}));
            QVERIFY(r.failures.isEmpty());
            r.chooser.List1_Click(int(expected.indexOf("kaplo.cat.alpha")));
        }
        QCOMPARE(f.catalogBytes(), fileOf(expected));
        const QDateTime stored =
            QDateTime::fromString(f.storedTime(), QStringLiteral("yyMMdd HHmmss")).addYears(100);
        QVERIFY(qAbs(stored.secsTo(QDateTime::currentDateTime())) < 600);

        // The window opened again shows the saved catalogue and the choice.
        Rig again(f, s);
        QCOMPARE(again.list1(), expected);
        QVERIFY(again.list2().isEmpty());
        QCOMPARE(again.chooser.cmdOK_Click(), std::optional<QString>("kaplo.cat.alpha"));
    }

    void newGroups()
    {
        CatalogueFixture f(InnServer::host(), m_inn.port());
        f.writeCatalog("old.group\r\n");
        const QString since = QDateTime::currentDateTime().addSecs(-3600).toString("yyMMdd HHmmss");
        f.store->write("SERVER", "TIME", since);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdNew_Click();
        QTRY_COMPARE_WITH_TIMEOUT(r.ended, QList<bool>{true}, 20000);
        QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS " + since + "\r\n"});
        QCOMPARE(r.list2(), sorted(kCreated));
        QCOMPARE(r.list1(), sorted(kCreated + QStringList{"old.group"}));
        QCOMPARE(f.catalogBytes(), fileOf(sorted(kCreated + QStringList{"old.group"})));
    }

    // With no fetch done yet, INN (which reads the stored default's "45" as
    // 1945 and refuses it) is asked for everything since 1970: every group
    // comes back, in the window and in kaplo-cli; TIME is then set.
    void firstNewGroupsFetchGetsEveryGroup()
    {
        CatalogueFixture f(InnServer::host(), m_inn.port());
        CatalogueSession s;
        {
            Rig r(f, s);
            r.conversation.cmdNew_Click();
            QTRY_COMPARE_WITH_TIMEOUT(r.ended, QList<bool>{true}, 20000);
            QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS 700102 000000\r\n"});
            for (const QString &g : kCreated)
                QVERIFY2(r.list2().contains(g), qPrintable(g));
            QCOMPARE(r.list1(), r.list2());
            QVERIFY(f.storedTime() != QStringLiteral("(none)"));
        }
        QFile::remove(f.catalogPath());
        // The never-fetched default, stored as such, counts as no fetch.
        QVERIFY(SettingsStore(f.settingsPath).write("SERVER", "TIME", "450815 120000"));
        const CliResult cli = kaploCli(f.settingsPath, {"--new"});
        QCOMPARE(cli.exitCode, 0);
        QVERIFY2(cli.out.toInt() >= kCreated.size(), qPrintable(cli.out + cli.err));
        QVERIFY(f.catalogBytes().contains(kCreated.first().toUtf8()));
    }

    void noNewGroups()
    {
        CatalogueFixture f(InnServer::host(), m_inn.port());
        f.writeCatalog("b.group\r\na.group\r\n");
        const QString since = tomorrow();
        f.store->write("SERVER", "TIME", since);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdNew_Click();
        QTRY_COMPARE_WITH_TIMEOUT(r.ended, QList<bool>{true}, 20000);
        QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS " + since + "\r\n"});
        QVERIFY(r.list2().isEmpty());
        QCOMPARE(r.label1, QString());
        QCOMPARE(f.prompter.shown.last(), QStringLiteral("一覧取込を完了しました"));
        QCOMPARE(f.catalogBytes(), QByteArray("a.group\r\nb.group\r\n"));
        QVERIFY(f.storedTime() != since);
    }

    void cliFetches()
    {
        CatalogueFixture f(InnServer::host(), m_inn.port());
        const QStringList expected = sorted(kStandard + kCreated);
        CliResult r = kaploCli(f.settingsPath, {});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString::number(expected.size()) + "\n");
        QVERIFY(r.err.contains(QStringLiteral("一覧取込を完了しました")));
        QCOMPARE(f.catalogBytes(), fileOf(expected));
        QVERIFY(f.storedTime() != QStringLiteral("(none)"));

        // Nothing is newer than tomorrow: the file keeps the catalogue.
        SettingsStore(f.settingsPath).write("SERVER", "TIME", tomorrow());
        r = kaploCli(f.settingsPath, {"--new"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("0\n"));
        QCOMPARE(f.catalogBytes(), fileOf(expected));

        r = kaploCli(f.settingsPath, {"--bogus"});
        QCOMPARE(r.exitCode, 2);
    }

    void cliFailures()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("LIST", {"480 authentication required\r\n"});
        CatalogueFixture f(QStringLiteral("127.0.0.1"), port);
        f.writeCatalog("kept\r\n");
        CliResult r = kaploCli(f.settingsPath, {});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("480 authentication required")), qPrintable(r.err));
        QCOMPARE(f.catalogBytes(), QByteArray("kept\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));

        quint16 closed;
        {
            ScriptedServer gone;
            closed = gone.start();
        }
        CatalogueFixture g(QStringLiteral("127.0.0.1"), closed);
        r = kaploCli(g.settingsPath, {});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("サーバーに接続を拒否されました")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(g.catalogPath()));
    }
};

KAPLO_TEST(TestCatalogueInn)
#include "tst_catalogueinn.moc"
