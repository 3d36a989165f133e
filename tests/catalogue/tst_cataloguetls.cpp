// MODE READER, AUTHINFO USER/PASS and TLS in the catalogue fetch: the
// conversation on a FakeSocket, then a private INN serving implicit TLS that
// wants a password, through the window's core and kaplo-cli catalogue.
#include "catalogue/cataloguefixture.h"

#include "engine/nntpauth.h"
#include "engine/tcpnntpsocket.h"
#include "support/fakesocket.h"
#include "support/innserver.h"
#include "support/testregistry.h"

#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

using FakeRig = CatalogueRig<FakeSocket>;

const QString kUser = QStringLiteral("kaplo");
const QString kPass = QStringLiteral("pass word!");

class RecordingSocket final : public TcpNntpSocket {
public:
    void send(const QString &text) override
    {
        sent << text.chopped(2);
        TcpNntpSocket::send(text);
    }
    QStringList sent;
};
using TcpRig = CatalogueRig<RecordingSocket>;

// caFile: the test server's own authority (SERVER/CAFILE), empty for none.
void secure(CatalogueFixture &f, bool tls, bool modeReader, const QString &pass,
            const QString &caFile = QString())
{
    RunningSettings &s = f.ctx->settings;
    s.caFile = caFile;
    s.ssl = tls ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    s.modeReader = modeReader ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    s.user = kUser;
    s.pass = pass;
}

QStringList commands(const FakeSocket &socket)
{
    QStringList out;
    for (const QString &s : socket.sent)
        out << s.chopped(2);
    return out;
}

} // namespace

class TestCatalogueTls final : public QObject {
    Q_OBJECT
    InnServer m_inn;

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            return; // the INN cases skip themselves
        m_inn.setTls(true);
        m_inn.setReaderPassword(kUser, kPass);
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
        QVERIFY2(m_inn.newGroups({"kaplo.tls.one", "kaplo.tls.two"}),
                 qPrintable(m_inn.errorString()));
    }

    void authenticatesBeforeTheCommand()
    {
        CatalogueFixture f;
        secure(f, true, true, kPass, QStringLiteral("/etc/kaplo/ca.pem"));
        CatalogueSession s;
        FakeRig r(f, s);
        r.conversation.cmdALL_Click();
        QVERIFY(r.socket.tls());
        QCOMPARE(r.socket.caFile(), QStringLiteral("/etc/kaplo/ca.pem"));
        r.socket.feed("200 hello\r\n");
        r.socket.feed("200 reader\r\n");
        r.socket.feed("381 more\r\n");
        r.socket.feed("281 ok\r\n");
        QCOMPARE(commands(r.socket), (QStringList{"MODE READER", "AUTHINFO USER " + kUser,
                                                  "AUTHINFO PASS " + kPass, "LIST"}));
        r.socket.feed("215 list\r\nb.b 1 1 y\r\na.a 1 1 y\r\n.\r\n");
        QCOMPARE(r.ended, QList<bool>{true});
        QCOMPARE(r.list1(), (QStringList{"a.a", "b.b"}));
        QCOMPARE(f.catalogBytes(), QByteArray("a.a\r\nb.b\r\n"));
        QVERIFY(r.failures.isEmpty());
    }

    // 480: authenticate, then the command that got it again; a 480 right
    // after authenticating ends the fetch.
    void challenges()
    {
        CatalogueFixture f;
        secure(f, false, true, kPass);
        CatalogueSession s;
        FakeRig r(f, s);
        r.conversation.cmdNew_Click();
        QVERIFY(!r.socket.tls());
        f.ctx->settings.user.clear(); // read at the connection, not later
        r.socket.feed("200 hello\r\n");
        r.socket.feed("480 log in first\r\n");
        r.socket.feed("381 more\r\n");
        r.socket.feed("281 ok\r\n");
        r.socket.feed("200 reader\r\n");
        QCOMPARE(commands(r.socket),
                 (QStringList{"MODE READER", "AUTHINFO USER " + kUser, "AUTHINFO PASS " + kPass,
                              "MODE READER", "NEWGROUPS 700102 000000"}));
        r.socket.feed("231 new\r\nn.g 1 1 y\r\n.\r\n");
        QCOMPARE(r.ended, QList<bool>{true});
        QCOMPARE(r.list2(), QStringList{"n.g"});
        QVERIFY(r.failures.isEmpty() && r.refusals.isEmpty());

        f.ctx->settings.user = kUser;
        f.ctx->settings.modeReader = QStringLiteral("FALSE");
        FakeRig r2(f, s);
        r2.conversation.cmdALL_Click();
        r2.socket.feed("200 hello\r\n");
        r2.socket.feed("281 ok\r\n");
        r2.socket.feed("480 still no\r\n");
        QCOMPARE(commands(r2.socket), (QStringList{"AUTHINFO USER " + kUser, "LIST"}));
        QCOMPARE(r2.failures, QStringList{NntpAuth::refusedText(QStringLiteral("480 still no"))});
        QVERIFY(r2.socket.closed);
        r2.socket.feed("480 still no\r\n");
        QCOMPARE(r2.socket.sent.size(), 2);
    }

    // Refusals end the fetch as a failed connection would: the reply in
    // Label1, the socket closed, nothing saved, and nothing more sent.
    void refusals_data()
    {
        QTest::addColumn<bool>("modeReader");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QString>("label1");
        QTest::newRow("481") << false << QStringList{"381 more", "481 Authentication failed"}
                             << "認証に失敗しました: 481 Authentication failed";
        QTest::newRow("502 to user")
            << false << QStringList{"502 not you"} << "認証に失敗しました: 502 not you";
        QTest::newRow("502 to mode reader") << true << QStringList{"502 no readers"}
                                            << "MODE READERが拒否されました: 502 no readers";
    }
    void refusals()
    {
        QFETCH(bool, modeReader);
        QFETCH(QStringList, replies);
        QFETCH(QString, label1);
        CatalogueFixture f;
        f.writeCatalog("old.one\r\n");
        secure(f, false, modeReader, kPass);
        CatalogueSession s;
        FakeRig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hello\r\n");
        for (const QString &reply : replies)
            r.socket.feed(reply + QStringLiteral("\r\n"));
        QCOMPARE(r.label1, label1);
        QCOMPARE(r.failures, QStringList{label1});
        QVERIFY(r.socket.closed);
        QCOMPARE(r.socket.sent.size(), replies.size());
        QVERIFY(!commands(r.socket).contains(QStringLiteral("LIST")));
        QVERIFY(r.ended.isEmpty() && r.refusals.isEmpty());
        QCOMPARE(f.catalogBytes(), QByteArray("old.one\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
    }

    void innFetchOverTls()
    {
        if (!m_inn.isRunning())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        CatalogueFixture f(InnServer::tlsHost(), m_inn.tlsPort());
        secure(f, true, true, kPass, m_inn.caFile());
        CatalogueSession s;
        TcpRig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE_WITH_TIMEOUT(r.ended, QList<bool>{true}, 20000);
        QCOMPARE(r.socket.sent, (QStringList{"MODE READER", "AUTHINFO USER " + kUser,
                                             "AUTHINFO PASS " + kPass, "LIST"}));
        QVERIFY(r.list1().contains(QStringLiteral("kaplo.tls.two")));
        QVERIFY(f.catalogBytes().contains("kaplo.tls.one\r\n"));
        QVERIFY(r.failures.isEmpty());
    }

    void innWrongPassword()
    {
        if (!m_inn.isRunning())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        CatalogueFixture f(InnServer::tlsHost(), m_inn.tlsPort());
        secure(f, true, false, QStringLiteral("wrong"), m_inn.caFile());
        CatalogueSession s;
        TcpRig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE_WITH_TIMEOUT(r.failures.size(), 1, 20000);
        QVERIFY2(r.label1.startsWith(QStringLiteral("認証に失敗しました: 481")),
                 qPrintable(r.label1));
        QCOMPARE(r.socket.sent.size(), 2);
        QVERIFY(r.ended.isEmpty());
    }

    void innUntrustedCertificate()
    {
        if (!m_inn.isRunning())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        CatalogueFixture f(InnServer::tlsHost(), m_inn.tlsPort());
        secure(f, true, false, kPass);
        CatalogueSession s;
        TcpRig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE_WITH_TIMEOUT(r.failures.size(), 1, 20000);
        QVERIFY2(r.label1.startsWith(TcpNntpSocket::certificateText(QString())),
                 qPrintable(r.label1));
        QVERIFY(r.socket.sent.isEmpty());
        QCOMPARE(s.state, CatalogueState::Greeting);
    }

    void kaploCliCatalogue()
    {
        if (!m_inn.isRunning())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        CatalogueFixture f(InnServer::tlsHost(), m_inn.tlsPort());
        {
            SettingsStore store(f.settingsPath);
            SettingsBatch batch(store);
            store.write(QStringLiteral("SERVER"), QStringLiteral("SSL"), QStringLiteral("TRUE"));
            store.write(QStringLiteral("SERVER"), QStringLiteral("USER"), kUser);
            store.write(QStringLiteral("SERVER"), QStringLiteral("PASS"), kPass);
            store.write(QStringLiteral("SERVER"), QStringLiteral("CAFILE"), m_inn.caFile());
            QVERIFY(batch.commit());
        }
        QProcess p;
        p.start(QStringLiteral(KAPLO_CLI_PATH),
                {QStringLiteral("catalogue"), QStringLiteral("--settings"), f.settingsPath});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!err.contains(kPass) && !out.contains(kPass));
        QVERIFY2(f.catalogBytes().contains("kaplo.tls.two\r\n"), qPrintable(err));
    }
};

KAPLO_TEST(TestCatalogueTls)
#include "tst_cataloguetls.moc"
