#include "engine/parserrig.h"
#include "output/outputfiles.h"
#include "support/testregistry.h"

#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

class TestArticleFiles : public QObject {
    Q_OBJECT
private slots:
    void uuencodedAttachment()
    {
        ParserRig rig;
        const QByteArray data = sampleBytes(1000);
        rig.article(QStringList{"Subject: pic", "From: x (Nick)", ""} + uuBlock("a.jpg", data));
        QCOMPARE(rig.files(), QStringList{"a.jpg"});
        QCOMPARE(rig.bytes("a.jpg"), data);
        QCOMPARE(rig.state.fileCount, 1);
        QCOMPARE(rig.state.byteCount, 1000);
        QVERIFY(!rig.state.inBody);
        QVERIFY(!rig.parser->outputFiles().isOpen());
    }

    void base64Attachment()
    {
        ParserRig rig;
        const QByteArray data = sampleBytes(5000, 2);
        rig.article(QStringList{"Subject: s", "MIME-Version: 1.0",
                                "Content-Type: image/png; name=\"p.png\"",
                                "Content-Transfer-Encoding: base64", ""} +
                    base64Lines(data));
        QCOMPARE(rig.bytes("p.png"), data);
        QCOMPARE(rig.state.byteCount, 5000);
    }

    void severalAttachmentsInOneArticle()
    {
        ParserRig rig;
        const QByteArray a = sampleBytes(300, 3), b = sampleBytes(301, 4), c = sampleBytes(302, 5);
        QStringList lines{"Subject: three",
                          "Mime-Version: 1.0",
                          "Content-Type: multipart/mixed; boundary=\"XX\"",
                          "",
                          "--XX",
                          "Content-Type: text/plain",
                          "",
                          "Some text.",
                          "--XX"};
        lines << "Content-Type: application/octet-stream; name=b.bin"
              << "Content-Transfer-Encoding: base64"
              << "" << base64Lines(b) << ""
              << "--XX--"
              << "and a uuencoded one" << uuBlock("a.bin", a) << "and another"
              << uuBlock("a.bin", c);
        rig.article(lines);
        QCOMPARE(rig.files(), (QStringList{"a(2).bin", "a.bin", "b.bin"}));
        QCOMPARE(rig.bytes("a.bin"), a);
        QCOMPARE(rig.bytes("b.bin"), b);
        QCOMPARE(rig.bytes("a(2).bin"), c);
        QCOMPARE(rig.state.fileCount, 3);
    }

    void continuationWritesNothing()
    {
        ParserRig rig;
        QStringList block = uuBlock("a.jpg", sampleBytes(900));
        block.removeFirst();
        rig.article(QStringList{"Subject: a.jpg (2/2)", ""} + block);
        QVERIFY(rig.files().isEmpty());
        QCOMPARE(rig.state.fileCount, 0);
    }

    void damagedLineKeepsTheBytesBefore()
    {
        ParserRig rig;
        const QByteArray data = sampleBytes(45 * 10);
        QStringList block = uuBlock("d.bin", data);
        block[4] = block[4].left(30) + QLatin1Char('a') + block[4].mid(31); // line 4, group 8
        rig.article(block);
        QCOMPARE(rig.bytes("d.bin"), data.left(45 * 3 + 7 * 3));
        QCOMPARE(rig.state.byteCount, 45 * 3 + 21);
    }

    void rejectedFirstLineOpensNothing()
    {
        ParserRig rig;
        rig.article({"begin 644 a.jpg", "M too short", "end"});
        rig.article({"Content-Type: image/gif; name=g.gif", "Content-Transfer-Encoding: base64", "",
                     "R0lGOD", "R0lGODlh"});
        QVERIFY(rig.files().isEmpty());
        QCOMPARE(rig.state.fileCount, 0);
    }

    void fileWithoutFurtherBytesCounts()
    {
        ParserRig rig;
        rig.article({"begin 644 one.bin", "M0V%T" + QString(56, QLatin1Char('a'))});
        QCOMPARE(rig.bytes("one.bin"), QByteArray("Cat"));
        QCOMPARE(rig.state.fileCount, 1);
    }

    void captions()
    {
        ParserRig rig;
        QString label1, label8;
        rig.lines({"Subject: s", "From: p", "Date: Sat, 6 Dec 1997 12:34:56 +0900",
                   "begin 644 a.jpg", "#0V%T"});
        QCOMPARE(rig.state.label1, QStringLiteral("a.jpg"));
        QCOMPARE(rig.state.label8, QStringLiteral("97/12/06 p s"));
        rig.parser->articleLine(u"end");
        QCOMPARE(rig.state.label1, QString());
        QCOMPARE(rig.state.label8, QString());
        rig.parser->closeOutFile(); // twice is harmless
        QVERIFY(!rig.state.inBody);
    }

    void fallbackDateWithoutDateHeader()
    {
        ParserRig rig;
        rig.lines({"Subject: s", "From: p", "Date: someday", "begin 644 a.jpg", "#0V%T"});
        QCOMPARE(rig.state.dateText, QStringLiteral("6 Dec 1997 00:00:00"));
        QCOMPARE(rig.state.label8, QStringLiteral("97/12/06 p s"));
    }

    void summaryLog()
    {
        ParserRig rig;
        rig.openLog();
        rig.log.summary(u"\"alt.binaries.test\"\t1234");
        rig.article(
            QStringList{"Subject: pic", "From: x (Nick)", "Date: 6 Dec 1997 12:34:56 GMT", ""} +
            uuBlock("a.jpg", "abc") + uuBlock("b.jpg", "def"));
        rig.log.summary(u"\"alt.binaries.test\"\t1235");
        rig.article({"Subject: nothing"});
        const QString p = rig.save + QStringLiteral("/");
        QCOMPARE(rig.logText(),
                 QStringLiteral("\"alt.binaries.test\"\t1234\t\"pic\"\t\"x (Nick)\"\t"
                                "\"6 Dec 1997 12:34:56\"\t\"") +
                     p + QStringLiteral("a.jpg\"\t\"") + p +
                     QStringLiteral("b.jpg\"\r\n\"alt.binaries.test\"\t1235\t"
                                    "\"nothing\"\r\n"));
    }

    void directoryTreeAndSubject()
    {
        ParserRig rig;
        rig.ctx->settings.groupDir = QStringLiteral("TRUE");
        rig.state.groupDateDir = rig.state.groupUserDir = QStringLiteral("YES");
        rig.state.groupSubject = QStringLiteral("YES");
        rig.article(QStringList{"From: Nick <x@y>", "Subject: Hello"} + uuBlock("a.jpg", "abc"));
        QCOMPARE(rig.files(), QStringList{"alt.binaries.test/971206/Nick/(Hello)a.jpg"});
        // An empty poster name makes no level.
        rig.state.groupSubject = QStringLiteral("NO");
        rig.article(QStringList{"From: x@y (  )"} + uuBlock("b.jpg", "abc"));
        QCOMPARE(rig.files(), (QStringList{"alt.binaries.test/971206/Nick/(Hello)a.jpg",
                                           "alt.binaries.test/971206/b.jpg"}));
    }

    void hostileNamesStayInside_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("parents everywhere")
            << "../x" << QStringList{"From: x (..)", "Subject: ../../s", "begin 644 ../../x"};
        QTest::newRow("dot dot names")
            << ".." << QStringList{"From: ..", "Subject: ..", "begin 644 .."};
        QTest::newRow("mime name") << "/etc"
                                   << QStringList{"From: \"/\" <a>", "Content-Type: x; name=\"..\"",
                                                  "Content-Transfer-Encoding: base64", ""};
        QTest::newRow("control characters")
            << QStringLiteral("a\tb")
            << QStringList{QStringLiteral("From: (\x01..)"), QStringLiteral("begin 644 \x02..")};
        // Encoded words and RFC 2231 names that decode to paths, "..", NUL
        // and a lone surrogate (UTF-16 D800), and continuations beyond
        // reason.
        const QStringList mime{"Content-Type: x", "Content-Transfer-Encoding: base64"};
        QTest::newRow("words decode to parents")
            << "g"
            << QStringList{"From: =?UTF-8?Q?=2E=2E?= <a>", "Subject: =?UTF-8?B?Li4vLi4=?=",
                           "begin 644 =?UTF-8?Q?=2E=2E=2F=2E=2E?="};
        QTest::newRow("RFC 2231 parents")
            << "g"
            << mime + QStringList{"Content-Disposition: a; filename*=utf-8''..%2F..%2Fx", ""};
        QTest::newRow("RFC 2231 dot dot and NUL")
            << "g"
            << mime + QStringList{"Content-Disposition: a;", " filename*0*=utf-8''%2E%2E;",
                                  " filename*1*=%00", ""};
        QTest::newRow("lone surrogate")
            << "g"
            << QStringList{"From: =?UTF-16BE?B?2AA=?= <a>",
                           "Subject: =?UTF-16BE?B?2AA=?=", "begin 644 =?UTF-16BE?B?2ABh?="};
        QStringList overlong = mime;
        for (int i = 0; i < 300; ++i)
            overlong << QStringLiteral(" filename*%1*=%2E%2E%2F%2E%2E;").arg(i);
        QTest::newRow("overlong continuations") << "g" << overlong + QStringList{""};
    }
    void hostileNamesStayInside()
    {
        QFETCH(QString, group);
        QFETCH(QStringList, lines);
        ParserRig rig;
        rig.ctx->settings.groupDir = QStringLiteral("TRUE");
        rig.state.groupName = group;
        rig.state.groupUserDir = rig.state.groupSubject = QStringLiteral("YES");
        if (lines.last().isEmpty())
            lines << QStringLiteral("QUJD");
        else
            lines << QStringLiteral("#0V%T");
        rig.article(lines);
        QCOMPARE(rig.state.fatalError, QString());
        QCOMPARE(rig.state.fileCount, 1);
        const QStringList files = rig.files();
        QCOMPARE(files.size(), 1);
        QVERIFY2(!files.first().contains(QLatin1String("../")), qPrintable(files.first()));
        // Nothing beside the save directory and the settings file.
        for (const QString &e :
             QDir(rig.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QVERIFY2(e == QLatin1String("save") || e == QLatin1String("KAPLO.ini"), qPrintable(e));
    }

    void noFreeNumberEndsOnlyThatAttachment()
    {
        ParserRig rig;
        QFile f(rig.save + QStringLiteral("/p(32767).jpg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        rig.openLog();
        rig.article(uuBlock("p(32767).jpg", "abc") + uuBlock("q.jpg", "def"));
        QCOMPARE(rig.state.fatalError, QString());
        QCOMPARE(rig.bytes("q.jpg"), QByteArray("def"));
        QCOMPARE(rig.state.fileCount, 1);
        // The name that failed and why: in Label3 and the summary log.
        const QString why =
            QStringLiteral("ﾌｧｲﾙを作成できません: p(32767).jpg (連番が32767を超えます)");
        QCOMPARE(rig.state.label3, why);
        QVERIFY2(rig.logText().contains(QLatin1Char('\t') + why), qPrintable(rig.logText()));
    }

    void missingSaveDirectoryEndsTheProgram()
    {
        ParserRig rig;
        rig.ctx->settings.saveDir = rig.dir.filePath(QStringLiteral("missing"));
        rig.lines(uuBlock("a.jpg", sampleBytes(200)).mid(0, 3));
        QCOMPARE(rig.state.fatalError, OutputFiles::pathTooLongMessage());
        QVERIFY(!rig.state.inBody);
        QCOMPARE(rig.state.fileCount, 0);
    }

    void otherOpenFailureIsLogged()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into any directory");
        ParserRig rig;
        rig.openLog();
        QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::ExeOwner);
        rig.lines(uuBlock("a.jpg", "abc").mid(0, 2));
        QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!rig.state.fatalError.isEmpty());
        QVERIFY(rig.logText().endsWith(QStringLiteral("OpenOutFile ") + rig.state.fatalError +
                                       QStringLiteral("\r\n")));
    }

    void failedWriteEndsTheRun()
    {
        ParserRig rig;
        struct rlimit old;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 100000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const QStringList block = uuBlock("big.bin", sampleBytes(300000));
        for (const QString &l : block) {
            rig.parser->articleLine(l);
            if (!rig.state.runError.isEmpty())
                break;
        }
        if (rig.state.runError.isEmpty())
            rig.endArticle();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(rig.state.runError.contains(rig.save + QStringLiteral("/big.bin")));
        QVERIFY(!rig.state.inBody);
        QVERIFY(QFileInfo(rig.save + QStringLiteral("/big.bin")).size() > 0);
    }

    void fileRemovedWhileWrittenIsReported()
    {
        ParserRig rig;
        rig.lines(uuBlock("gone.bin", sampleBytes(100)).mid(0, 2));
        QVERIFY(QFile::remove(rig.save + QStringLiteral("/gone.bin")));
        rig.endArticle();
        QVERIFY(rig.state.runError.contains(QStringLiteral("gone.bin")));
    }
};

KAPLO_TEST(TestArticleFiles)
#include "tst_articlefiles.moc"
