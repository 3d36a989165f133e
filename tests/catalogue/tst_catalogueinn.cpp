// The catalogue fetch against a private INN, plain and over implicit TLS
// with a password.
#include "catalogue/cataloguefixture.h"

#include "support/innserver.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

namespace {

const QStringList kCreated{"kaplo.cat.zeta", "kaplo.cat.alpha", "kaplo.cat.Mid"};
// Besides: the groups every INN starts with.
const QStringList kAll = [] {
    QStringList all = kCreated + QStringList{"control", "control.cancel", "junk"};
    std::stable_sort(all.begin(), all.end(), NameListModel::lessThan);
    return all;
}();

QString sinceNow(int secs)
{
    return QDateTime::currentDateTime().addSecs(secs).toString("yyMMdd HHmmss");
}

// kaplo-cli catalogue ARGS: the exit status, and standard output then
// standard error.
std::pair<int, QString> kaploCli(const QString &settings, const QStringList &args = {})
{
    QProcess p;
    p.start(KAPLO_CLI_PATH, QStringList{"catalogue", "--settings", settings} + args);
    if (!p.waitForFinished(120000))
        return {-1, {}};
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return {p.exitCode(), out + QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

// Through kaplo-cli catalogue, which runs the window's conversation over a
// TCP socket: the count on standard output, 0 done, 1 failed, 2 misused.
class TestCatalogueInn : public QObject {
    Q_OBJECT
    InnServer m_inn;
    InnServer m_tls;

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        m_tls.setTls(true);
        m_tls.setReaderPassword("kaplo", "pass word!");
        for (InnServer *inn : {&m_inn, &m_tls}) {
            QVERIFY2(inn->start(), qPrintable(inn->errorString()));
            QVERIFY2(inn->newGroups(kCreated), qPrintable(inn->errorString()));
        }
    }

    void fetch_data()
    {
        QTest::addColumn<QString>("server"); // plain, tls, wrong password, closed
        QTest::addColumn<QString>("since");  // stored TIME
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QStringList>("file");
        QStringList created = kCreated + QStringList{"old.group"};
        std::stable_sort(created.begin(), created.end(), NameListModel::lessThan);
        QTest::newRow("all") << "plain"
                             << "" << QStringList{} << 0 << "6\n"
                             << kAll;
        QTest::newRow("new") << "plain" << sinceNow(-3600) << QStringList{"--new"} << 0 << "3\n"
                             << created;
        // The stored default's "45" INN reads as 1945 and refuses: 1970 is
        // asked for instead.
        QTest::newRow("first new") << "plain"
                                   << "450815 120000" << QStringList{"--new"} << 0 << "3\n"
                                   << created;
        QTest::newRow("none new") << "plain" << sinceNow(86400) << QStringList{"--new"} << 0
                                  << "0\n"
                                  << QStringList{"old.group"};
        QTest::newRow("misused") << "plain"
                                 << "" << QStringList{"--bogus"} << 2 << ""
                                 << QStringList{"old.group"};
        QTest::newRow("tls") << "tls"
                             << "" << QStringList{} << 0 << "6\n"
                             << kAll;
        QTest::newRow("wrong password")
            << "wrong password"
            << "" << QStringList{} << 1 << "認証に失敗しました: 481" << QStringList{"old.group"};
        QTest::newRow("closed") << "closed"
                                << "" << QStringList{} << 1 << "サーバーに接続を拒否されました"
                                << QStringList{"old.group"};
    }
    void fetch()
    {
        QFETCH(QString, server);
        QFETCH(QString, since);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        QFETCH(QStringList, file);
        QStringList settings{"MODEREADER=TRUE"};
        if (!since.isEmpty())
            settings << "TIME=" + since;
        quint16 port = m_inn.port();
        if (server == "closed") {
            QTcpServer gone;
            QVERIFY(gone.listen(QHostAddress::LocalHost));
            port = gone.serverPort();
        } else if (server != "plain") {
            settings << "SSL=TRUE"
                     << "CAFILE=" + m_tls.caFile() << "USER=kaplo"
                     << (server == "tls" ? "PASS=pass word!" : "PASS=wrong");
            port = m_tls.tlsPort();
        }
        CatalogueFixture f(server == "plain" || server == "closed" ? InnServer::host()
                                                                   : InnServer::tlsHost(),
                           port, settings);
        f.writeCatalog("old.group\r\n");
        const auto [exit, text] = kaploCli(f.settingsPath, args);
        QCOMPARE(exit, status);
        QVERIFY2(exit == 0 ? text.startsWith(says) : text.contains(says), qPrintable(text));
        QVERIFY(!text.contains("pass word!"));
        QCOMPARE(f.catalogBytes(), catalogueOf(file));
        if (exit != 0) {
            QCOMPARE(f.storedTime(), since.isEmpty() ? QStringLiteral("(none)") : since);
        } else {
            const QDateTime stored = QDateTime::fromString(f.storedTime(), "yyMMdd HHmmss");
            QVERIFY(qAbs(stored.addYears(100).secsTo(QDateTime::currentDateTime())) < 600);
        }
    }
};

KAPLO_TEST(TestCatalogueInn)
#include "tst_catalogueinn.moc"
