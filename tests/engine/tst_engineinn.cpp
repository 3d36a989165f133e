// Download runs against a private INN that wants a password (ckpasswd) and
// also serves implicit TLS (nnrpd -S) with a self-signed certificate.
#include "enginerig.h"
#include "runhelpers.h"

#include "support/innserver.h"
#include "support/testregistry.h"

#include <QTest>

using namespace runtest;

namespace {
const QString kPass = QStringLiteral("pass word!"); // servers take the rest of the line
const QString kAuth = QStringLiteral("AUTHINFO USER kaplo,AUTHINFO PASS ");
} // namespace

class TestEngineInn final : public QObject {
    Q_OBJECT
private:
    InnServer m_inn;

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        m_inn.setTls(true);
        m_inn.setReaderPassword("kaplo", kPass);
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
        QVERIFY2(m_inn.newGroups({"kaplo.a", "kaplo.b", "kaplo.tls"}),
                 qPrintable(m_inn.errorString()));
        for (int i = 0; i < 5; ++i) // three in kaplo.a, two in kaplo.b
            QVERIFY(m_inn.post(innArticle(i < 3 ? "kaplo.a" : "kaplo.b", "l\r\n..dot\r\n")));
        // An article far larger than the socket's read buffer: the session
        // keeps flowing as the engine reads.
        QByteArray body;
        for (int i = 0; i < 40000; ++i)
            body += QByteArray::number(i).rightJustified(8, '0') + QByteArray(60, 'x') + "\r\n";
        QVERIFY(m_inn.post(innArticle("kaplo.tls", body)));
        QVERIFY(m_inn.post(innArticle("kaplo.tls", "line\r\n")));
    }

    // On the plain port, two groups with a few articles each and a group the
    // server lacks; the next run goes on after the article each group ended on.
    void walksEveryGroup()
    {
        RecordingTcpSocket tcp;
        EngineRig rig(&tcp, InnServer::host(), m_inn.port());
        rig.set("SERVER/USER", "kaplo");
        rig.set("SERVER/PASS", kPass);
        rig.set("SAVE/LOG", "TRUE");
        for (const char *g : {"kaplo.a", "kaplo.missing", "kaplo.b"})
            rig.addGroup(g);
        QVERIFY(rig.run());
        QCOMPARE(rig.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(tcp.sent.join(u','), kAuth + kPass +
                                          ",GROUP kaplo.a,ARTICLE,NEXT,ARTICLE,NEXT,ARTICLE,NEXT,"
                                          "GROUP kaplo.missing,GROUP kaplo.b,ARTICLE,NEXT,"
                                          "ARTICLE,NEXT,QUIT");
        QCOMPARE(rig.cell(0, GroupTable::Highest), QStringLiteral("3"));
        QCOMPARE(rig.cell(1, GroupTable::State), QStringLiteral("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(rig.storedLast(0), QStringLiteral("3"));
        QCOMPARE(rig.storedLast(2), QStringLiteral("2"));
        QCOMPARE(rig.handler->lines.count(QStringLiteral("..dot")), 5); // "...dot" on the wire
        QCOMPARE(rig.fileBytes(QStringLiteral("971206.LOG")),
                 "\"kaplo.a\"\t1\r\n\"kaplo.a\"\t2\r\n\"kaplo.a\"\t3\r\n\"kaplo.b\"\t1\r\n"
                 "\"kaplo.b\"\t2\r\n");
        tcp.sent.clear();
        QVERIFY(rig.run());
        QCOMPARE(tcp.sent.join(u','), kAuth + kPass +
                                          ",GROUP kaplo.a,STAT 3,NEXT,GROUP kaplo.missing,"
                                          "GROUP kaplo.b,STAT 2,NEXT,QUIT");
    }

    // On the TLS port: label3 (the start of it) and the commands sent.
    void tls_data()
    {
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("label3");
        QTest::addColumn<QString>("commands");
        const QString mode = "MODE READER," + kAuth;
        QTest::newRow("with a password")
            << kPass << "" << mode + kPass + ",GROUP kaplo.tls,ARTICLE,NEXT,ARTICLE,NEXT,QUIT";
        QTest::newRow("wrong password") << "not it"
                                        << "認証に失敗しました: 481" << mode + "not it";
    }
    void tls()
    {
        QFETCH(QString, pass);
        QFETCH(QString, label3);
        QFETCH(QString, commands);
        RecordingTcpSocket tcp;
        EngineRig rig(&tcp, InnServer::tlsHost(), m_inn.tlsPort());
        rig.set("SERVER/SSL", "TRUE");
        rig.set("SERVER/MODEREADER", "TRUE");
        rig.set("SERVER/USER", "kaplo");
        rig.set("SERVER/PASS", pass);
        rig.set("SERVER/CAFILE", m_inn.caFile());
        rig.addGroup(QStringLiteral("kaplo.tls"));
        QVERIFY(rig.run());
        const QString got = rig.engine->state().label3;
        QVERIFY2(label3.isEmpty() ? got.isEmpty() : got.startsWith(label3), qPrintable(got));
        QVERIFY(!got.contains(pass));
        QCOMPARE(tcp.sent.join(u','), commands);
        if (label3.isEmpty())
            QVERIFY(rig.handler->lines.contains(QStringLiteral("00039999") + QString(60, u'x')));
    }
};

KAPLO_TEST(TestEngineInn)
#include "tst_engineinn.moc"
