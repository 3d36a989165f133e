#include "engine/parserrig.h"
#include "support/testregistry.h"

#include <QTest>

class TestArticleParser : public QObject {
    Q_OBJECT
private slots:
    void headers_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("date");

        QTest::newRow("upper case")
            << QStringList{"SUBJECT: x", "FROM: y", "DATE: 6 Dec 1997"} << "x"
            << "y"
            << "6 Dec 1997";
        QTest::newRow("no blank") << QStringList{"subject:x", "from:y"} << "x"
                                  << "y" << QString();
        QTest::newRow("blank before the colon")
            << QStringList{"Subject :x", "From :y"} << QString() << QString() << QString();
        QTest::newRow("first one only")
            << QStringList{"Subject: a", "Subject: b",       "From: p",
                           "From: q",    "Date: 1 Jan 2000", "Date: 2 Feb 2001"}
            << "a"
            << "p"
            << "1 Jan 2000";
        QTest::newRow("not at the start")
            << QStringList{"X-Subject: a", "Re-From: b"} << QString() << QString() << QString();
        QTest::newRow("leading blanks removed")
            << QStringList{"Subject:    spaced  "} << "spaced  " << QString() << QString();
        QTest::newRow("a subject line in the body")
            << QStringList{"From: p", "", "text", "Subject: late"} << "late"
            << "p" << QString();
        QTest::newRow("date with weekday and zone")
            << QStringList{"Date: Sat, 6 Dec 1997 12:34:56 +0900"} << QString() << QString()
            << "6 Dec 1997 12:34:56";
        QTest::newRow("date in GMT") << QStringList{"Date: 6 Dec 1997 12:34:56 GMT"} << QString()
                                     << QString() << "6 Dec 1997 12:34:56";
        QTest::newRow("date with negative zone and comment")
            << QStringList{"Date: Sat, 06 Dec 1997 12:34:56 -0800 (PST)"} << QString() << QString()
            << "06 Dec 1997 12:34:56";
        QTest::newRow("date in PDT") << QStringList{"Date: 6 Dec 1997 12:34:56 PDT"} << QString()
                                     << QString() << "6 Dec 1997 12:34:56";
        QTest::newRow("encoded-word subject")
            << QStringList{"Subject: Re: =?ISO-2022-JP?B?GyRCJCIbKEI=?= (2)"}
            << QStringLiteral("Re: あ (2)") << QString() << QString();
        QTest::newRow("raw JIS from") << QStringList{QStringLiteral("From: \x1b$B$\"\x1b(B <a@b>")}
                                      << QString() << QStringLiteral("あ <a@b>") << QString();
    }
    void headers()
    {
        QFETCH(QStringList, lines);
        ParserRig rig;
        rig.lines(lines);
        QTEST(rig.state.subject, "subject");
        QTEST(rig.state.from, "from");
        QTEST(rig.state.dateText, "date");
    }

    void linesHeader_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("count");
        QTest::newRow("number") << "Lines: 1500" << 1500 << 0;
        QTest::newRow("lower case, blanks") << "lines:  42  " << 42 << 0;
        QTest::newRow("not a number") << "Lines: many" << 7 << 3;
        QTest::newRow("beyond 32 bits") << "Lines: 99999999999" << 7 << 3;
        QTest::newRow("empty") << "Lines:" << 7 << 3;
    }
    void linesHeader()
    {
        QFETCH(QString, line);
        ParserRig rig;
        rig.state.linesValue = 7;
        rig.state.bodyLineCount = 3;
        rig.parser->articleLine(line);
        QTEST(int(rig.state.linesValue), "value");
        QTEST(int(rig.state.bodyLineCount), "count");
    }

    void beginLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("name");
        QTest::newRow("begin 644") << "begin 644 a.jpg" << true << "a.jpg";
        QTest::newRow("Begin 666") << "Begin 666 a.jpg" << true << "a.jpg";
        QTest::newRow("BEGIN 600") << "BEGIN 600 a.jpg" << true << "a.jpg";
        QTest::newRow("text before") << "xx begin 644 a.jpg" << true << "a.jpg";
        QTest::newRow("quoted, with a path") << "begin 644 \"dir/b c.gif\"" << true << "b c.gif";
        QTest::newRow("begin 755") << "begin 755 a.jpg" << false << QString();
        QTest::newRow("begin 0644") << "begin 0644 a.jpg" << false << QString();
        QTest::newRow("begin 64") << "begin 64 a.jpg" << false << QString();
        QTest::newRow("no name") << "begin 644 " << false << QString();
        QTest::newRow("blank name") << "begin 644    " << false << QString();
        QTest::newRow("two blanks after the mode") << "begin 644  a.jpg" << true << "a.jpg";
        QTest::newRow("a question mark") << "begin 644 =?x?Q?a?=" << true << "不明.tmp";
        QTest::newRow("begin at the very end") << "begin " << false << QString();
    }
    void beginLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, starts);
        ParserRig rig;
        rig.parser->articleLine(line);
        QCOMPARE(rig.state.inBody, starts);
        QCOMPARE(rig.state.openPending, starts);
        QTEST(rig.state.pendingFileName, "name");
        if (starts)
            QCOMPARE(rig.state.bodyEncoding, BodyEncoding::Uuencode);
    }

    void mimePart_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("name");
        QTest::newRow("type, encoding, blank")
            << QStringList{"Content-Type: image/jpeg; name=a.jpg",
                           "Content-Transfer-Encoding: base64", ""}
            << true << "a.jpg";
        QTest::newRow("other order") << QStringList{"Content-Transfer-Encoding: base64",
                                                    "Content-Type: image/jpeg; name=a.jpg", ""}
                                     << false << "a.jpg";
        QTest::newRow("filename on its own line")
            << QStringList{"content-type: application/octet-stream", "\tfilename=\"b.zip\"",
                           "CONTENT-TRANSFER-ENCODING: BASE64", ""}
            << true << "b.zip";
        QTest::newRow("no name") << QStringList{"Subject: hello", "Content-Type: image/png",
                                                "Content-Transfer-Encoding: base64", ""}
                                 << true << QStringLiteral("ﾌｧｲﾙ名不明(hello)");
        QTest::newRow("7bit") << QStringList{"Content-Type: text/plain",
                                             "Content-Transfer-Encoding: 7bit", ""}
                              << false << QString();
        QTest::newRow("quoted-printable")
            << QStringList{"Content-Type: text/plain; name=q.txt",
                           "Content-Transfer-Encoding: quoted-printable", ""}
            << false << "q.txt";
        QTest::newRow("a line between encoding and blank")
            << QStringList{"Content-Type: image/gif; name=c.gif",
                           "Content-Transfer-Encoding: base64", "Content-Disposition: inline", ""}
            << true << "c.gif";
        // RFC 2231 names, as Python's email package and other clients
        // write them; they count at the blank line, over any plain name=.
        const QStringList part{"Content-Type: image/jpeg; name=plain.jpg",
                               "Content-Transfer-Encoding: base64"};
        const auto withPart = [&part](const QStringList &more) { return part + more << ""; };
        QTest::newRow("RFC 2231 wins over name=")
            << withPart(
                   {"Content-Disposition: attachment; filename*=utf-8''%E5%86%99%E7%9C%9F.jpg"})
            << true << QStringLiteral("写真.jpg");
        QTest::newRow("RFC 2231 sections on folded lines")
            << withPart({"Content-Disposition: attachment;", " filename*0*=UTF-8''%E5%86%99;",
                         "\tfilename*2*=.jpg", " filename*1*=%E7%9C%9F;"})
            << true << QStringLiteral("写真.jpg");
        QTest::newRow("plain and extended sections")
            << withPart({"Content-Disposition: a; filename*0=\"a \\\"b\"; filename*1*=%E3%81%82"})
            << true << QStringLiteral("a \"bあ");
        QTest::newRow("name* when no filename*")
            << withPart({"X: a; name*=iso-8859-1'fr'caf%E9.jpg"}) << true
            << QStringLiteral("café.jpg");
        QTest::newRow("filename* over name*")
            << withPart({"X: a; name*=utf-8''n.jpg", "Content-Disposition: a; "
                                                     "filename*=utf-8''f.jpg"})
            << true << QStringLiteral("f.jpg");
        QTest::newRow("ISO-2022-JP charset")
            << withPart({"Content-Disposition: a; filename*=iso-2022-jp''%1B$B%3CL??%1B(B.jpg"})
            << true << QStringLiteral("写真.jpg");
        QTest::newRow("Shift_JIS charset")
            << withPart({"Content-Disposition: a; filename*=Shift_JIS''%8E%CA%90%5E.jpg"}) << true
            << QStringLiteral("写真.jpg");
        QTest::newRow("no charset, UTF-8 bytes")
            << withPart({"Content-Disposition: a; filename*=''%E5%86%99%E7%9C%9F.jpg"}) << true
            << QStringLiteral("写真.jpg");
        QTest::newRow("no charset, CP932 bytes")
            << withPart({"Content-Disposition: a; filename*=''%8E%CA%90%5E.jpg"}) << true
            << QStringLiteral("写真.jpg");
        QTest::newRow("unknown charset: name= stays")
            << withPart({"Content-Disposition: a; filename*=x-none''a.jpg"}) << true << "plain.jpg";
        QTest::newRow("no section 0: name= stays")
            << withPart({"Content-Disposition: a; filename*1*=b.jpg"}) << true << "plain.jpg";
        QTest::newRow("sections after a gap are dropped")
            << withPart({"Content-Disposition: a; filename*0*=''a; filename*2*=c"}) << true << "a";
        QTest::newRow("section number too large")
            << withPart({"Content-Disposition: a; filename*1000*=''a; filename*0=b"}) << true
            << "b";
        QTest::newRow("no parameter boundary")
            << withPart({"X: myfilename*=''a.jpg; xname*=''b.jpg"}) << true << "plain.jpg";
        QTest::newRow("percent-encoded path")
            << withPart({"X: ; filename*=''..%2F..%2Fx.jpg"}) << true << "x.jpg";
        QTest::newRow("percent-encoded question mark")
            << withPart({"X: ; filename*=''x%3F.jpg"}) << true << QStringLiteral("不明.tmp");
        QTest::newRow("base64 mentioned in text resets")
            << QStringList{"Content-Type: image/gif; name=c.gif",
                           "Content-Transfer-Encoding: base64", "about base64", ""}
            << false << "c.gif";
    }
    void mimePart()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, starts);
        ParserRig rig;
        rig.lines(lines);
        QCOMPARE(rig.state.inBody, starts);
        QTEST(rig.state.pendingFileName, "name");
        if (starts) {
            QCOMPARE(rig.state.bodyEncoding, BodyEncoding::Base64);
            QCOMPARE(rig.state.mimeState, MimeState::None);
        }
    }

    void posterDir_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("dir");
        QTest::newRow("parentheses") << "x (Nick)"
                                     << "Nick";
        QTest::newRow("angle brackets") << "Nick <x>"
                                        << "Nick";
        QTest::newRow("address only") << "x"
                                      << "x";
        QTest::newRow("quoted") << "\"Nick Name\" <x@y>"
                                << "Nick Name";
        QTest::newRow("bracket first") << "<x@y>" << QStringLiteral("＜x@y＞");
        QTest::newRow("forbidden characters replaced") << "x (a/b:c)" << QStringLiteral("a／b：c");
        QTest::newRow("empty parentheses") << "x () <y>"
                                           << "x ()";
        QTest::newRow("blank candidate") << "x (  )" << QString();
        QTest::newRow("empty") << QString() << QStringLiteral("投稿者不明");
    }
    void posterDir()
    {
        QFETCH(QString, from);
        QTEST(ArticleParser::posterDirFor(from), "dir");
    }

    void posterDirOnlyForPosterLevel()
    {
        ParserRig rig;
        rig.state.posterDir = QStringLiteral("old");
        rig.parser->articleLine(u"From: x (Nick)");
        QCOMPARE(rig.state.posterDir, QStringLiteral("old"));
        rig.endArticle();
        rig.state.groupUserDir = QStringLiteral("YES");
        rig.parser->articleLine(u"From: x (Nick)");
        QCOMPARE(rig.state.posterDir, QStringLiteral("Nick"));
        // An article without From keeps the last poster.
        rig.endArticle();
        rig.parser->articleLine(u"Subject: s");
        QCOMPARE(rig.state.posterDir, QStringLiteral("Nick"));
    }

    void bodyLineCount()
    {
        ParserRig rig;
        rig.lines({"Lines: 1500", "begin 644 a.bin", "#0V%T", "`"});
        QCOMPARE(rig.state.label2(), QStringLiteral("2/1500"));
        rig.parser->articleLine(u"end");
        QCOMPARE(rig.state.label2(), QString());
        QCOMPARE(rig.state.bodyLineCount, 3);
    }

    void fallbackDate()
    {
        QCOMPARE(ArticleParser::fallbackDate(QDate(1997, 12, 6)),
                 QStringLiteral("6 Dec 1997 00:00:00"));
        QCOMPARE(ArticleParser::fallbackDate(QDate(2024, 1, 31)),
                 QStringLiteral("31 Jan 2024 00:00:00"));
    }
};

KAPLO_TEST(TestArticleParser)
#include "tst_articleparser.moc"
