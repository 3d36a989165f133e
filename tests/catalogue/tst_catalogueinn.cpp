#include "catalogue/cataloguefixture.h"

#include "support/innserver.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

// The catalogue fetch against a private INN, plain and over implicit TLS
// with a password, through kaplo-cli catalogue, which runs the window's
// conversation over a TCP socket (tests/data/catalogue/inn.txt).
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
            QVERIFY2(inn->newGroups({"kaplo.cat.zeta", "kaplo.cat.alpha", "kaplo.cat.Mid"}),
                     qPrintable(inn->errorString()));
        }
    }

    void fetch_data() { kaplotest::addDataRows("catalogue/inn.txt"); }
    void fetch()
    {
        QFETCH(kaplotest::DataCase, c);
        const QString server = c.text("server");
        QStringList settings{"MODEREADER=TRUE"};
        QString since = c.text("since");
        if (since.size() < 7 && !since.isEmpty())
            since = QDateTime::currentDateTime().addSecs(since.toInt()).toString("yyMMdd HHmmss");
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
        QProcess p;
        p.start(KAPLO_CLI_PATH, QStringList{"catalogue", "--settings", f.path} + c.lines("args"));
        QVERIFY(p.waitForFinished(120000));
        const QString text =
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QCOMPARE(p.exitCode(), c.text("exit").toInt());
        QVERIFY2(p.exitCode() == 0 ? text.startsWith(c.text("says") + "\n")
                                   : text.contains(c.text("says")),
                 qPrintable(text));
        QVERIFY(!text.contains("pass word!"));
        QCOMPARE(fileBytes(f.catalogPath()), catalogueOf(c.lines("file")));
        if (p.exitCode() != 0) {
            QCOMPARE(f.storedTime(), since.isEmpty() ? QStringLiteral("(none)") : since);
        } else {
            const QDateTime stored = QDateTime::fromString(f.storedTime(), "yyMMdd HHmmss");
            QVERIFY(qAbs(stored.addYears(100).secsTo(QDateTime::currentDateTime())) < 600);
        }
    }
};

KAPLO_TEST(TestCatalogueInn)
#include "tst_catalogueinn.moc"
