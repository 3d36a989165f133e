#include "schedule/nmclidialup.h"
#include "schedule/scheduler.h"
#include "settings/runningsettings.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString fixture()
{
    return QStringLiteral(KAPLO_TEST_DATA "/nmcli/connection-show-terse.txt");
}

const QStringList kFixtureNames = {QStringLiteral("Wired connection 1"),
                                   QStringLiteral("ISP: night plan"),
                                   QStringLiteral("C\\dial\\up"),
                                   QStringLiteral("VPN:\\office\\:"),
                                   QStringLiteral("lo"),
                                   QStringLiteral("プロバイダ 接続"),
                                   QStringLiteral("-leading dash")};

// A "connection up" that waits for the test: it ends once NAME.go exists and
// leaves NAME.done behind, so the test knows the process ended before the
// watch said so.
NmcliDialUp::Commands gatedUp()
{
    NmcliDialUp::Commands c;
    c.program = QStringLiteral("/bin/sh");
    c.upArguments = {
        QStringLiteral("-c"),
        QStringLiteral("while [ ! -e \"$0.go\" ]; do sleep 0.02; done; : > \"$0.done\"")};
    return c;
}

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

} // namespace

class TestNmcliDialUp : public QObject {
    Q_OBJECT
private slots:
    void parsesTerseNames()
    {
        QFile f(fixture());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(NmcliDialUp::parseNames(f.readAll()), kFixtureNames);
    }

    void parsesOddLines_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("nothing") << QByteArray() << QStringList();
        QTest::newRow("empty lines") << QByteArray("\n\na\n\n") << QStringList{"a"};
        QTest::newRow("no last line end") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("lone backslash at end") << QByteArray("a\\\n") << QStringList{"a\\"};
        QTest::newRow("escaped other") << QByteArray("a\\b\n") << QStringList{"ab"};
        QTest::newRow("blanks kept") << QByteArray(" a \n") << QStringList{" a "};
    }
    void parsesOddLines()
    {
        QFETCH(QByteArray, output);
        QFETCH(QStringList, names);
        QCOMPARE(NmcliDialUp::parseNames(output), names);
    }

    // The listing through a real child: /bin/cat stands in for nmcli.
    void listsWhatTheClientPrints()
    {
        NmcliDialUp::Commands c;
        c.program = QStringLiteral("/bin/cat");
        c.listArguments = {fixture()};
        NmcliDialUp dial(c);
        QCOMPARE(dial.entries(), kFixtureNames);
    }

    // No NetworkManager: no entries and no complaint.
    void noEntriesWithoutTheClient_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/nmcli") << QStringList();
        QTest::newRow("not running")
            << QStringLiteral("/bin/sh")
            << QStringList{"-c",
                           "echo 'Error: NetworkManager is not running.' >&2; echo x; exit 8"};
        QTest::newRow("killed") << QStringLiteral("/bin/sh")
                                << QStringList{"-c", "echo x; kill -9 $$"};
        QTest::newRow("hangs") << QStringLiteral("/bin/sleep") << QStringList{"30"};
    }
    void noEntriesWithoutTheClient()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        NmcliDialUp::Commands c;
        c.program = program;
        c.listArguments = arguments;
        c.listTimeoutMs = 300;
        NmcliDialUp dial(c);
        QCOMPARE(dial.entries(), QStringList());
    }

    void launchWithoutTheClientFails()
    {
        NmcliDialUp::Commands c;
        c.program = QStringLiteral("/nonexistent/nmcli");
        NmcliDialUp dial(c);
        QCOMPARE(dial.launch(QStringLiteral("ISP")), 0);
    }

    // The entry goes to nmcli as one argument after "connection up id",
    // whatever it holds.
    void launchPassesTheNameAsOneArgument()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("argv"));
        NmcliDialUp::Commands c;
        c.program = QStringLiteral("/bin/sh");
        c.upArguments =
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("printf '%s\\n' \"$@\" > '") + out + QStringLiteral("'"),
                        QStringLiteral("sh")} +
            NmcliDialUp::Commands().upArguments;
        NmcliDialUp dial(c);
        const QString name = QStringLiteral("-x \"プロバイダ\"; $(rm -rf /) *");
        const qint64 task = dial.launch(name);
        QVERIFY(task > 1);
        QTRY_VERIFY(dial.watch(task));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()),
                 QStringLiteral("connection\nup\nid\n") + name + QLatin1Char('\n'));
    }

    // The task number is the child's process id, and the watch reports the
    // dialling over only once that process has ended.
    void watchWaitsForTheProcessToEnd()
    {
        QTemporaryDir dir;
        const QString entry = dir.filePath(QStringLiteral("ISP"));
        NmcliDialUp dial(gatedUp());
        const qint64 task = dial.launch(entry);
        QVERIFY(task > 1);
        QVERIFY(QFile::exists(QStringLiteral("/proc/%1").arg(task)));
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(20);
            QVERIFY(!dial.watch(task));
        }
        QVERIFY(!QFile::exists(entry + QStringLiteral(".done")));
        QVERIFY(touch(entry + QStringLiteral(".go")));
        QTRY_VERIFY(dial.watch(task));
        QVERIFY(QFile::exists(entry + QStringLiteral(".done")));
        // Once over, it stays over.
        QVERIFY(dial.watch(task));
        QVERIFY(dial.watch(123456789));
    }

    // The whole scheduled start over a real child: the run starts on the
    // first tick after "connection up" has ended, not before.
    void scheduledStartDialsThroughTheChild()
    {
        QTemporaryDir dir;
        const QString entry = dir.filePath(QStringLiteral("ISP"));
        NmcliDialUp dial(gatedUp());
        ScriptedPrompter prompter;
        RunningSettings settings;
        settings.address = entry;
        settings.interval = QStringLiteral("5");
        int runs = 0;
        bool timer = false;
        SchedulerHooks hooks;
        hooks.startTimer = [&](int) { timer = true; };
        hooks.stopTimer = [&] { timer = false; };
        hooks.command1Click = [&] { ++runs; };
        Scheduler s(settings, prompter, dial, hooks);
        const QString text1 = QStringLiteral("01:30");
        QVERIFY(s.cmdAuto_Click(text1));
        QDateTime now(QDate(2024, 5, 1), QTime(1, 30));
        s.Timer1_Timer(now, text1);
        const qint64 task = s.dialState();
        QVERIFY(task > 1);
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(20);
            now = now.addSecs(5);
            s.Timer1_Timer(now, text1);
        }
        QCOMPARE(runs, 0);
        QCOMPARE(s.dialState(), task);
        QVERIFY(timer);
        QVERIFY(touch(entry + QStringLiteral(".go")));
        for (int i = 0; i < 500 && runs == 0; ++i) {
            QTest::qWait(20);
            now = now.addSecs(5);
            s.Timer1_Timer(now, text1);
        }
        QCOMPARE(runs, 1);
        QVERIFY(QFile::exists(entry + QStringLiteral(".done")));
        QCOMPARE(s.dialState(), 0);
        QVERIFY(!timer);
    }
};

KAPLO_TEST(TestNmcliDialUp)
#include "tst_nmclidialup.moc"
