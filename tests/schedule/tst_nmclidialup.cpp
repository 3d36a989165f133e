#include "schedule/nmclidialup.h"
#include "support/testregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// /bin/sh -c SCRIPT in place of nmcli's listing or its "connection up".
NmcliDialUp::Commands shell(const QString &script, bool up = false)
{
    NmcliDialUp::Commands c;
    c.program = QStringLiteral("/bin/sh");
    (up ? c.upArguments : c.listArguments) = QStringList{"-c", script, "sh"};
    c.listTimeoutMs = 300;
    return c;
}

} // namespace

class TestNmcliDialUp : public QObject {
    Q_OBJECT
private slots:
    // "nmcli -t" prints one name a line, escaping ':' and '\' with a
    // backslash. Without NetworkManager there are no entries, launches fail,
    // and nothing complains.
    void entries()
    {
        const QString fixture = QStringLiteral(KAPLO_TEST_DATA "/nmcli/connection-show-terse.txt");
        QCOMPARE(NmcliDialUp(shell("cat '" + fixture + "'")).entries(),
                 (QStringList{"Wired connection 1", "ISP: night plan", "C\\dial\\up",
                              "VPN:\\office\\:", "lo", "プロバイダ 接続", "-leading dash"}));
        QCOMPARE(NmcliDialUp::parseNames("\n\r\n a\\b \r\nc\\"), (QStringList{" ab ", "c\\"}));
        NmcliDialUp::Commands missing;
        missing.program = QStringLiteral("/nonexistent/nmcli");
        QCOMPARE(NmcliDialUp(missing).entries(), QStringList());
        QCOMPARE(NmcliDialUp(missing).launch(QStringLiteral("ISP")), 0);
        for (const char *script :
             {"echo 'Error: NetworkManager is not running.' >&2; echo x; exit 8",
              "echo x; kill -9 $$", "echo x; sleep 30"})
            QVERIFY2(NmcliDialUp(shell(QString::fromUtf8(script))).entries().isEmpty(), script);
    }

    // The entry goes to nmcli as one argument after "connection up id",
    // whatever it holds; the task is the child's process id, and dialling is
    // over only once that process has ended.
    void launchAndWatch()
    {
        QTemporaryDir dir;
        const QString go = dir.filePath(QStringLiteral("go"));
        const QString argv = dir.filePath(QStringLiteral("argv"));
        NmcliDialUp::Commands c = shell(QStringLiteral("printf '%s\\n' \"$@\" > '%1'; "
                                                       "while [ ! -e '%2' ]; do sleep 0.02; done")
                                            .arg(argv, go),
                                        true);
        c.upArguments += NmcliDialUp::Commands().upArguments;
        NmcliDialUp dial(c);
        const QString name = QStringLiteral("-x \"プロバイダ\"; $(rm -rf /) *");
        const qint64 task = dial.launch(name);
        QVERIFY(task > 1);
        QTest::qWait(100);
        QVERIFY(!dial.watch(task));
        QVERIFY(QFile(go).open(QIODevice::WriteOnly));
        QTRY_VERIFY(dial.watch(task));
        QVERIFY(dial.watch(task)); // once over, it stays over
        QVERIFY(dial.watch(123456789));
        QFile f(argv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), "connection\nup\nid\n" + name + '\n');
    }
};

KAPLO_TEST(TestNmcliDialUp)
#include "tst_nmclidialup.moc"
