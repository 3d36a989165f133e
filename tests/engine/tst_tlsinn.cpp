// Download runs against a private INN that serves implicit TLS (nnrpd -S)
// with a self-signed certificate and wants a password (ckpasswd).
#include "enginerig.h"
#include "runhelpers.h"

#include "support/innserver.h"
#include "support/testregistry.h"

#include <QTest>

using namespace runtest;

namespace {
const QString kUser = QStringLiteral("kaplo");
const QString kPass = QStringLiteral("pass word!"); // servers take the rest of the line
} // namespace

class TestTlsInn final : public QObject {
    Q_OBJECT
private:
    InnServer m_inn;
    QString m_group;

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        m_inn.setTls(true);
        m_inn.setReaderPassword(kUser, kPass);
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
        // An article far larger than the socket's read buffer: the session
        // keeps flowing as the engine reads.
        m_group = QStringLiteral("kaplo.tls.a");
        QVERIFY2(m_inn.newGroup(m_group), qPrintable(m_inn.errorString()));
        QByteArray body;
        for (int i = 0; i < 40000; ++i)
            body += QByteArray::number(i).rightJustified(8, '0') + QByteArray(60, 'x') + "\r\n";
        QVERIFY(m_inn.post(innArticle(m_group, QStringLiteral("big"), body)));
        QVERIFY(m_inn.post(innArticle(m_group, QStringLiteral("file"),
                                      uuencode("tls.bin", "secure attachment bytes\n"))));
    }

    // port: "tls" or "plain"; the commands the client sent, "" for none.
    void run_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<bool>("trustCa");
        QTest::addColumn<QString>("label3"); // the start of it
        QTest::addColumn<QString>("commands");
        const QString auth = "AUTHINFO USER " + kUser + ",AUTHINFO PASS ";
        const QString all = "GROUP kaplo.tls.a,ARTICLE,NEXT,ARTICLE,NEXT,QUIT";
        QTest::newRow("with a password") << "tls" << kPass << true << ""
                                         << "MODE READER," + auth + kPass + ',' + all;
        QTest::newRow("wrong password") << "tls"
                                        << "not it" << true << sec("認証に失敗しました: 481")
                                        << "MODE READER," + auth + "not it";
        QTest::newRow("untrusted certificate")
            << "tls" << kPass << false << TcpNntpSocket::certificateText({}) << "";
        // The plain port wants the password too, then in clear.
        QTest::newRow("plain port") << "plain" << kPass << true << "" << auth + kPass + ',' + all;
    }
    void run()
    {
        QFETCH(QString, port);
        QFETCH(QString, pass);
        QFETCH(bool, trustCa);
        QFETCH(QString, label3);
        QFETCH(QString, commands);
        RecordingTcpSocket tcp;
        const bool tls = port == u"tls";
        EngineRig rig(&tcp, tls ? InnServer::tlsHost() : InnServer::host(),
                      tls ? m_inn.tlsPort() : m_inn.port());
        rig.set("SERVER/SSL", tls ? "TRUE" : "FALSE");
        rig.set("SERVER/MODEREADER", tls ? "TRUE" : "FALSE");
        rig.set("SERVER/USER", kUser);
        rig.set("SERVER/PASS", pass);
        rig.set("SERVER/CAFILE", trustCa ? m_inn.caFile() : QString());
        rig.addGroup(m_group);
        QVERIFY(rig.run());
        const QString got = rig.engine->state().label3;
        QVERIFY2(label3.isEmpty() ? got.isEmpty() : got.startsWith(label3), qPrintable(got));
        QVERIFY(!got.contains(pass));
        QCOMPARE(tcp.sent.join(u','), commands);
        if (label3.isEmpty())
            QVERIFY(rig.handler->lines.contains(QStringLiteral("00039999") + QString(60, u'x')));
    }
};

KAPLO_TEST(TestTlsInn)
#include "tst_tlsinn.moc"
