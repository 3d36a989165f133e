// Smoke tests of the test harness itself: the fake socket, the scripted
// server and the private INN server.
#include "support/articles.h"
#include "support/fakesocket.h"
#include "support/innserver.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A client on the test's own thread (the scripted server needs the event
// loop): every read is kept separately.
struct Client {
    QTcpSocket socket;
    QList<QByteArray> reads;
    bool disconnected = false;

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { reads << socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { disconnected = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    QByteArray all() const { return reads.join(); }
    // Spins the event loop until `n` reads have arrived.
    bool waitReads(int n)
    {
        return QTest::qWaitFor([&] { return reads.size() >= n; }, 5000);
    }
};

// A blocking reader conversation with INN (a separate process).
struct NntpClient {
    QTcpSocket socket;

    bool connect(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(10000) && line().startsWith("200");
    }
    QByteArray line()
    {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(30000))
                return {};
        }
        QByteArray l = socket.readLine();
        if (l.endsWith("\r\n"))
            l.chop(2);
        return l;
    }
    QByteArray command(const QByteArray &c)
    {
        socket.write(c + "\r\n");
        return line();
    }
    // The lines of a multi-line block up to its "." line, dot-stuffing kept.
    QList<QByteArray> block()
    {
        QList<QByteArray> lines;
        for (QByteArray l = line(); l != "." && socket.state() == QAbstractSocket::ConnectedState;
             l = line())
            lines << l;
        return lines;
    }
};

// The body of a raw article (after the first blank line), as lines.
QList<QByteArray> bodyLines(const QByteArray &article)
{
    QList<QByteArray> lines = article.split('\n');
    if (article.endsWith('\n'))
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    return lines.mid(lines.indexOf(QByteArray()) + 1);
}

// Undoes the dot-stuffing of a received block (RFC 3977 3.1.1).
QList<QByteArray> unstuffed(QList<QByteArray> lines)
{
    for (QByteArray &l : lines) {
        if (l.startsWith(".."))
            l.remove(0, 1);
    }
    return lines;
}

// Decodes an article with tools that are not ours: GNU uudecode for each
// "begin" block, Python's email parser for MIME parts.
QList<QByteArray> decodeWithTools(const QByteArray &article, bool mime)
{
    QList<QByteArray> out;
    QTemporaryDir dir;
    if (mime) {
        static const char script[] = R"(
import sys, email, os
m = email.message_from_binary_file(sys.stdin.buffer)
n = 0
for part in m.walk():
    if part.get_content_maintype() in ('multipart', 'text'):
        continue
    with open(os.path.join(sys.argv[1], str(n)), 'wb') as f:
        f.write(part.get_payload(decode=True))
    n += 1
)";
        QProcess p;
        p.start("python3", {"-c", script, dir.path()});
        p.write(article);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        for (int n = 0; QFile::exists(dir.filePath(QString::number(n))); ++n) {
            QFile f(dir.filePath(QString::number(n)));
            f.open(QIODevice::ReadOnly);
            out << f.readAll();
        }
        return out;
    }
    const QList<QByteArray> lines = bodyLines(article);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith("begin "))
            continue;
        QByteArray block = "begin 644 x\n";
        while (++i < lines.size() && lines[i] != "end")
            block += lines[i] + "\n";
        block += "end\n";
        QProcess p;
        p.start("uudecode", {"-o", dir.filePath("uu")});
        p.write(block);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        QFile f(dir.filePath("uu"));
        f.open(QIODevice::ReadOnly);
        out << f.readAll();
    }
    return out;
}

} // namespace

class TstInnHarness final : public QObject {
    Q_OBJECT
private slots:
    void fakeSocketRecordsAndFeeds()
    {
        FakeSocket s;
        QSignalSpy data(&s, &NntpSocket::dataArrival);
        QSignalSpy err(&s, &NntpSocket::error);
        s.connectToHost(QStringLiteral("news.example"), 119);
        s.send(QStringLiteral("GROUP a.b\r\n"));
        s.feed(QStringLiteral("200 hi\r\n"));
        s.feed(QStringLiteral("211 "));
        QCOMPARE(data.count(), 2);
        QCOMPARE(s.readAll(), QStringLiteral("200 hi\r\n211 "));
        QCOMPARE(s.readAll(), QString());
        s.fail(QStringLiteral("切断"));
        QCOMPARE(err.count(), 1);
        QCOMPARE(err.at(0).at(0).toString(), QStringLiteral("切断"));
        s.close();
        QVERIFY(s.closed);
        QCOMPARE(s.host(), QStringLiteral("news.example"));
        QCOMPARE(s.port(), 119);
        QCOMPARE(s.sent, QStringList{QStringLiteral("GROUP a.b\r\n")});
    }

    void scriptedServerSplitsChunks()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        QVERIFY(port != 0);
        // A line split mid-line, and a CP932 double-byte character (0x82 0xA0)
        // split between its two bytes.
        const QList<QByteArray> chunks{"211 1 1 1 a.b\r\nab", "\x82",
                                       "\xa0"
                                       "cd\r\n"};
        server.reply("GROUP a.b", chunks);
        server.closeAfter("QUIT");
        server.setChunkPause(100);

        Client client(port);
        QVERIFY(client.waitReads(1));
        QCOMPARE(client.reads.takeFirst(), QByteArray("200 scripted server ready\r\n"));
        client.socket.write("GROUP a.b\r\n");
        QVERIFY(client.waitReads(3));
        QCOMPARE(client.reads, chunks);
        client.reads.clear();
        client.socket.write("BOGUS\r\nQUIT\r\n");
        QTRY_VERIFY(client.disconnected);
        QCOMPARE(client.all(), QByteArray("500 command not recognized\r\n"));
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "BOGUS", "QUIT"}));
    }

    void scriptedServerSecondConnection()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("ARTICLE 1", {"220 1 <a@b>\r\nSubject: x\r\n"});
        server.closeAfter("ARTICLE 1");
        server.reply("ARTICLE 1", {"220 1 <a@b>\r\nSubject: x\r\n\r\nbody\r\n.\r\n"});

        Client first(port);
        QVERIFY(first.waitReads(1));
        first.reads.clear();
        first.socket.write("ARTICLE 1\n"); // LF alone ends a line too
        QTRY_VERIFY(first.disconnected);
        QCOMPARE(first.all(), QByteArray("220 1 <a@b>\r\nSubject: x\r\n"));

        Client second(port);
        QVERIFY(second.waitReads(1));
        second.reads.clear();
        second.socket.write("ARTICLE 1\r\n");
        QTRY_VERIFY(second.all().endsWith("\r\n.\r\n"));
        QCOMPARE(second.all(), QByteArray("220 1 <a@b>\r\nSubject: x\r\n\r\nbody\r\n.\r\n"));
        QVERIFY(server.waitForIdle());
        QCOMPARE(second.socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(server.connectionCount(), 2);
        QCOMPARE(server.openConnections(), 1);
        QCOMPARE(server.received(), (QStringList{"ARTICLE 1", "ARTICLE 1"}));
    }

    void articleBuilders()
    {
        using namespace testarticles;
        if (const QString m = missingTools(); !m.isEmpty())
            QSKIP(qPrintable(m));
        QCOMPARE(testData(1000, 7), testData(1000, 7));
        QVERIFY(testData(1000, 7) != testData(1000, 8));

        // Encoded words and raw JIS of hiragana A (JIS 0x2422).
        QCOMPARE(encodedWord(QStringLiteral("あ")), QByteArray("=?iso-2022-jp?b?GyRCJCIbKEI=?="));
        QCOMPARE(encodedWord(QStringLiteral("あ"), 'Q'),
                 QByteArray("=?iso-2022-jp?q?=1B=24B=24=22=1B=28B?="));
        QCOMPARE(rawJis(QStringLiteral("あa")), QByteArray("\x1b$B$\"\x1b(Ba"));
        QCOMPARE(shiftJis(QStringLiteral("あ")), QByteArray("\x82\xa0"));

        const Headers h{"kaplo.one", "files"};
        const QByteArray a = testData(100000, 1), b = testData(1000, 2);
        const Built uu = uuencoded(h, {{"a.bin", a}, {encodedWord(QStringLiteral("写真.jpg")), b}});
        QVERIFY2(uu.ok(), qPrintable(uu.error));
        QCOMPARE(uu.payloads.size(), 2);
        QCOMPARE(uu.payloads.at(0).size(), a.size());
        QCOMPARE(uu.payloads.at(1).size(), b.size());
        QCOMPARE(decodeWithTools(uu.article, false), uu.payloads);
        const QList<QByteArray> uuBody = bodyLines(uu.article);
        QVERIFY(uuBody.contains("begin 644 a.bin"));
        // No encoded line carries "end" but the two "end" lines themselves.
        QCOMPARE(std::count_if(uuBody.begin(), uuBody.end(),
                               [](const QByteArray &l) { return l.contains("end"); }),
                 2);

        UuOptions bad;
        bad.damage = UuDamage::BadCharacter;
        bad.damageLine = 2;
        bad.damageGroup = 3;
        const Built damaged = uuencoded(h, {{"a.bin", a}}, bad);
        QVERIFY2(damaged.ok(), qPrintable(damaged.error));
        QCOMPARE(damaged.payloads.at(0), uu.payloads.at(0).left(2 * 45 + 3 * 3));
        bad.damage = UuDamage::WrongLength;
        const Built longLine = uuencoded(h, {{"a.bin", a}}, bad);
        QCOMPARE(longLine.payloads.at(0), uu.payloads.at(0).left(2 * 45));
        QVERIFY(bodyLines(longLine.article).at(1 + 2 + 1).size() == 62);

        MimeOptions withText;
        withText.textPart = true;
        const Built mime = mimeBase64(h, {{"a.bin", a}, {"b.bin", b}}, withText);
        QVERIFY2(mime.ok(), qPrintable(mime.error));
        QVERIFY(mime.article.contains("name=\"a.bin\""));
        QVERIFY(mime.article.contains("Content-Transfer-Encoding: base64"));
        QCOMPARE(decodeWithTools(mime.article, true), mime.payloads);
        MimeOptions unnamed;
        unnamed.unnamed = true;
        const Built anon = mimeBase64(h, {{"a.bin", b}}, unnamed);
        QVERIFY(!anon.article.contains("name="));
        QCOMPARE(decodeWithTools(anon.article, true), anon.payloads);
        const Built mp = mpackBase64(h, {"m.bin", a});
        QVERIFY2(mp.ok(), qPrintable(mp.error));
        QVERIFY(mp.article.contains("filename=\"m.bin\""));
        QCOMPARE(mp.article.count("Subject:"), 1);
        QCOMPARE(decodeWithTools(mp.article, true), mp.payloads);
    }

    void innServerConversation()
    {
        using namespace testarticles;
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        if (const QString m = missingTools(); !m.isEmpty())
            QSKIP(qPrintable(m));
        InnServer inn;
        QVERIFY2(inn.start(), qPrintable(inn.errorString()));
        QVERIFY(inn.start()); // a second start does nothing
        QVERIFY2(inn.newGroups({"kaplo.one", "kaplo.two"}), qPrintable(inn.errorString()));

        const Headers h{"kaplo.one", "uu " + encodedWord(QStringLiteral("写真"))};
        const Built uu = uuencoded(h, {{"a.bin", testData(5000, 1)}, {"b.bin", testData(300, 2)}});
        MimeOptions withText;
        withText.textPart = true;
        const Built mime = mimeBase64({"kaplo.one", "\x1b$B$3$s\x1b(B raw"},
                                      {{"c.bin", testData(7000, 3)}}, withText);
        const Built big = mimeBase64({"kaplo.one", "big"}, {{"big.bin", testData(5 << 20, 4)}});
        const QByteArray dotted = assemble({"kaplo.one", "dots"}, "line 1\n.dotted\n.\n");
        for (const Built *b : {&uu, &mime, &big}) {
            QVERIFY2(b->ok(), qPrintable(b->error));
            QVERIFY2(inn.post(b->article), qPrintable(inn.errorString()));
        }
        QVERIFY2(inn.post(dotted), qPrintable(inn.errorString()));
        QVERIFY(!inn.post("Subject: no groups\n\nbody\n"));
        QVERIFY(!inn.errorString().isEmpty());

        NntpClient c;
        QVERIFY(c.connect(inn.port()));
        QCOMPARE(c.command("GROUP kaplo.one"), QByteArray("211 4 1 4 kaplo.one"));
        QVERIFY(c.command("ARTICLE 1").startsWith("220 1 <"));
        QList<QByteArray> art = unstuffed(c.block());
        QVERIFY(art.contains("Subject: " + h.subject));
        QCOMPARE(art.mid(art.indexOf(QByteArray()) + 1), bodyLines(uu.article));
        QVERIFY(c.command("NEXT").startsWith("223 2 "));
        QVERIFY(c.command("ARTICLE").startsWith("220 2 "));
        art = unstuffed(c.block());
        QVERIFY(art.contains("Subject: \x1b$B$3$s\x1b(B raw")); // raw header bytes kept
        QCOMPARE(art.mid(art.indexOf(QByteArray()) + 1), bodyLines(mime.article));
        QVERIFY(c.command("ARTICLE 3").startsWith("220 3 "));
        art = unstuffed(c.block());
        QCOMPARE(art.mid(art.indexOf(QByteArray()) + 1), bodyLines(big.article));
        QVERIFY(c.command("ARTICLE 4").startsWith("220 4 "));
        art = c.block();
        QCOMPARE(art.mid(art.indexOf(QByteArray()) + 1),
                 (QList<QByteArray>{"line 1", "..dotted", ".."}));
        QVERIFY(c.command("NEXT").startsWith("421"));
        QVERIFY(c.command("ARTICLE 7").startsWith("423"));
        QCOMPARE(c.command("GROUP kaplo.two"), QByteArray("211 0 1 0 kaplo.two"));
        QVERIFY(c.command("GROUP kaplo.none").startsWith("411"));
        QVERIFY(c.command("LIST").startsWith("215"));
        QList<QByteArray> names;
        for (const QByteArray &l : c.block())
            names << l.left(l.indexOf(' '));
        QVERIFY(names.contains("kaplo.one"));
        QVERIFY(names.contains("kaplo.two"));
        // The server takes local time; groups made today are new since yesterday.
        const QByteArray since =
            QDateTime::currentDateTime().addDays(-1).toString("yyMMdd HHmmss").toLatin1();
        QVERIFY(c.command("NEWGROUPS " + since).startsWith("231"));
        names.clear();
        for (const QByteArray &l : c.block())
            names << l.left(l.indexOf(' '));
        QVERIFY(names.contains("kaplo.one"));
        QVERIFY(names.contains("kaplo.two"));
        const QByteArray tomorrow =
            QDateTime::currentDateTime().addDays(1).toString("yyMMdd HHmmss").toLatin1();
        QVERIFY(c.command("NEWGROUPS " + tomorrow).startsWith("231"));
        QVERIFY(c.block().isEmpty());

        const QString dir = inn.directory();
        inn.stop();
        QVERIFY(!QFileInfo::exists(dir));
    }
};

KAPLO_TEST(TstInnHarness)
#include "tst_innharness.moc"
