// MODE READER and AUTHINFO USER/PASS in the download conversation, on a
// FakeSocket: what goes out after the greeting, 480 in the middle of a run,
// the refusals that end it, and that the password stays out of every text.
#include "enginerig.h"

#include "engine/nntpauth.h"
#include "engine/runlog.h"
#include "support/testregistry.h"

#include <QTest>

namespace {

const QString kPass = QStringLiteral("s3cret-pw");

void setAuth(EngineRig &r, bool modeReader, const QString &user, const QString &pass)
{
    r.ctx->settings.modeReader = modeReader ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    r.ctx->settings.user = user;
    r.ctx->settings.pass = pass;
}

void feedLine(EngineRig &r, const QString &line)
{
    r.socket.feed(line + QStringLiteral("\r\n"));
}

} // namespace

class TestTlsAuth final : public QObject {
    Q_OBJECT
private slots:
    // From the greeting to the first GROUP, and the refusals on the way.
    void afterTheGreeting_data()
    {
        QTest::addColumn<bool>("modeReader");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("label3"); // empty: the run goes on

        const QString user = QStringLiteral("AUTHINFO USER kaplo");
        const QString pass = QStringLiteral("AUTHINFO PASS ") + kPass;
        const QString group = QStringLiteral("GROUP a.b");
        const QString mode = QStringLiteral("MODE READER");
        QTest::newRow("mode reader, user, password")
            << true << kPass << QStringList{"200 reader", "381 more", "281 ok"}
            << QStringList{mode, user, pass, group} << QString();
        QTest::newRow("user accepted without password")
            << false << kPass << QStringList{"281 ok"} << QStringList{user, group} << QString();
        QTest::newRow("mode reader unknown to the server")
            << true << kPass << QStringList{"500 what?", "381 more", "281 ok"}
            << QStringList{mode, user, pass, group} << QString();
        QTest::newRow("480 to mode reader: authenticate, then again")
            << true << kPass << QStringList{"480 who", "381 more", "281 ok", "200 reader"}
            << QStringList{mode, user, pass, mode, group} << QString();
        QTest::newRow("wrong password")
            << false << kPass << QStringList{"381 more", "481 Authentication failed"}
            << QStringList{user, pass} << "認証に失敗しました: 481 Authentication failed";
        QTest::newRow("out of sequence")
            << false << kPass << QStringList{"381 more", "482 sequence"} << QStringList{user, pass}
            << "認証に失敗しました: 482 sequence";
        QTest::newRow("502 to user") << false << kPass << QStringList{"502 not here"}
                                     << QStringList{user} << "認証に失敗しました: 502 not here";
        QTest::newRow("502 to mode reader")
            << true << kPass << QStringList{"502 no reading"} << QStringList{mode}
            << "MODE READERが拒否されました: 502 no reading";
        QTest::newRow("480 right after authenticating")
            << false << kPass << QStringList{"381 more", "281 ok", "480 again"}
            << QStringList{user, pass, group} << "認証に失敗しました: 480 again";
        QTest::newRow("password asked, none set")
            << false << QString() << QStringList{"381 more"} << QStringList{user}
            << "パスワードが設定されていません: 381 more";
    }
    void afterTheGreeting()
    {
        QFETCH(bool, modeReader);
        QFETCH(QString, pass);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, commands);
        QFETCH(QString, label3);
        EngineRig r;
        setAuth(r, modeReader, QStringLiteral("kaplo"), pass);
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        for (const QString &reply : replies)
            feedLine(r, reply);
        QCOMPARE(r.commands(), commands);
        QCOMPARE(r.engine->state().label3, label3);
        QCOMPARE(r.engine->running(), label3.isEmpty());
        if (!label3.isEmpty()) {
            QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Error);
            QVERIFY(r.socket.closed);
            QCOMPARE(r.ended->count(), 1);
            QCOMPARE(r.storedLast(0), QStringLiteral("<none>"));
        } else {
            // The run goes on exactly as without authentication.
            feedLine(r, QStringLiteral("211 2 1 2 a.b"));
            QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE\r\n"));
        }
    }

    // A 480 later in the run: authenticate once, send the same command again.
    void challengeMidRun_data()
    {
        QTest::addColumn<EngineState>("state");
        QTest::addColumn<QString>("repeated");
        QTest::newRow("GROUP") << EngineState::Group << "GROUP c.d";
        QTest::newRow("ARTICLE") << EngineState::Article << "ARTICLE";
        QTest::newRow("NEXT") << EngineState::Next << "NEXT";
    }
    void challengeMidRun()
    {
        QFETCH(EngineState, state);
        QFETCH(QString, repeated);
        EngineRig r;
        setAuth(r, false, QStringLiteral("kaplo"), kPass);
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        r.addGroup(QStringLiteral("c.d"));
        r.engine->Command1_Click();
        // Settings changed during a run are for the next one.
        r.ctx->settings.user.clear();
        r.socket.feed(QStringLiteral("200 hi\r\n"));
        feedLine(r, QStringLiteral("381 more"));
        feedLine(r, QStringLiteral("281 ok"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP a.b\r\n"));
        feedLine(r, QStringLiteral("211 9 1 9 a.b"));
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE 5\r\n"));
        r.socket.feed(QStringLiteral("220 5 <m@x>\r\nSubject: s\r\n\r\nbody\r\n.\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
        if (state == EngineState::Article) {
            feedLine(r, QStringLiteral("223 6 <n@x>"));
            QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE\r\n"));
        } else if (state == EngineState::Group) {
            feedLine(r, QStringLiteral("421 no next"));
            QCOMPARE(r.lastSent(), QStringLiteral("GROUP c.d\r\n"));
        }
        QCOMPARE(r.engine->state().engineState, state);

        const int before = r.socket.sent.size();
        feedLine(r, QStringLiteral("480 again please"));
        feedLine(r, QStringLiteral("381 more"));
        feedLine(r, QStringLiteral("281 ok"));
        QCOMPARE(r.commands().mid(before),
                 (QStringList{"AUTHINFO USER kaplo", "AUTHINFO PASS " + kPass, repeated}));
        QVERIFY(r.engine->running());
        QCOMPARE(r.engine->state().engineState, state);

        // The repeated command answered normally: a later 480 is again
        // answered by authenticating.
        if (state == EngineState::Next)
            feedLine(r, QStringLiteral("223 6 <n@x>"));
        else if (state == EngineState::Article)
            r.socket.feed(QStringLiteral("220 6 <n@x>\r\n\r\nbody\r\n.\r\n"));
        else
            feedLine(r, QStringLiteral("211 0 0 0 c.d"));
        const int again = r.socket.sent.size();
        feedLine(r, QStringLiteral("480 once more"));
        QCOMPARE(r.lastSent(), QStringLiteral("AUTHINFO USER kaplo\r\n"));
        QCOMPARE(r.socket.sent.size(), again + 1);
    }

    // A server that keeps asking gets no second try.
    void noLoop()
    {
        EngineRig r;
        setAuth(r, false, QStringLiteral("kaplo"), kPass);
        r.addGroup(QStringLiteral("a.b"));
        r.engine->Command1_Click();
        r.socket.feed(QStringLiteral("200 hi\r\n"));
        feedLine(r, QStringLiteral("281 ok"));
        feedLine(r, QStringLiteral("211 2 1 2 a.b"));
        feedLine(r, QStringLiteral("480 who are you"));
        feedLine(r, QStringLiteral("281 ok"));
        feedLine(r, QStringLiteral("480 who are you"));
        QCOMPARE(r.commands(), (QStringList{"AUTHINFO USER kaplo", "GROUP a.b", "ARTICLE",
                                            "AUTHINFO USER kaplo", "ARTICLE"}));
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->state().label3, QStringLiteral("認証に失敗しました: 480 who are you"));
        feedLine(r, QStringLiteral("480 who are you"));
        QCOMPARE(r.socket.sent.size(), 5);
    }

    // A line end in the user name or password would smuggle in a command.
    void lineEndInCredentials_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::newRow("user") << "kaplo\r\nGROUP x" << kPass;
        QTest::newRow("pass") << "kaplo"
                              << "pw\nQUIT";
    }
    void lineEndInCredentials()
    {
        QFETCH(QString, user);
        QFETCH(QString, pass);
        EngineRig r;
        setAuth(r, false, user, pass);
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        QVERIFY(r.socket.sent.isEmpty());
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->state().label3, NntpAuth::badCharacterText());
    }

    // SSL "TRUE" asks the socket for TLS; any other text does not.
    void tlsFromTheSetting_data()
    {
        QTest::addColumn<QString>("ssl");
        QTest::addColumn<bool>("tls");
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("FALSE") << "FALSE" << false;
        QTest::newRow("lower case") << "true" << false;
        QTest::newRow("empty") << "" << false;
    }
    void tlsFromTheSetting()
    {
        QFETCH(QString, ssl);
        QFETCH(bool, tls);
        EngineRig r;
        r.ctx->settings.ssl = ssl;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        QCOMPARE(r.socket.tls(), tls);
        QCOMPARE(r.commands(), QStringList{"GROUP a.b"});
    }

    // The trace log holds what was received, never what was sent; no text
    // of the run holds the password.
    void passwordStaysOut()
    {
        EngineRig r;
        r.ctx->logMode = true;
        r.ctx->settings.log = QStringLiteral("TRUE");
        setAuth(r, true, QStringLiteral("kaplo"), kPass);
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        feedLine(r, QStringLiteral("200 reader"));
        feedLine(r, QStringLiteral("381 more"));
        feedLine(r, QStringLiteral("481 no"));
        QVERIFY(!r.engine->running());
        QVERIFY(r.commands().contains("AUTHINFO PASS " + kPass));
        QVERIFY(!r.engine->state().label3.contains(kPass));
        QFile trace(RunLog::tracePath(r.dir.path(), r.engine->state().runDate));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray traced = trace.readAll();
        QCOMPARE(traced,
                 QByteArray("200 news.example ready\r\n200 reader\r\n381 more\r\n481 no\r\n"));
        QFile summary(RunLog::summaryPath(r.dir.path(), r.engine->state().runDate));
        QVERIFY(!summary.open(QIODevice::ReadOnly) || !summary.readAll().contains(kPass.toUtf8()));
    }
};

KAPLO_TEST(TestTlsAuth)
#include "tst_tlsauth.moc"
