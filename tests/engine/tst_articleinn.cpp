// Attachments made by real encoders (uuencode, Python's email package,
// mpack), posted to a private INN server and fetched by a whole download run.
#include "core/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/parserrig.h"
#include "engine/tcpnntpsocket.h"
#include "settings/grouptable.h"
#include "settings/settingsstore.h"
#include "support/articles.h"
#include "support/innserver.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs a tool; its standard output, or an empty array (and a warning).
QByteArray run(const QString &program, const QStringList &args, const QByteArray &input = {},
               const QString &workDir = {})
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << program << args << p.readAllStandardError();
        return {};
    }
    return p.readAllStandardOutput();
}

// A multipart message with a text part and the given files as base64
// parts, built by Python's email package. A name given as "jis:NAME" is
// written as an ISO-2022-JP encoded word.
const char kMimeScript[] = R"(
import sys
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.mime.application import MIMEApplication
from email.header import Header
args = sys.argv[1:]
m = MIMEMultipart()
m['From'] = args[0]
m['Newsgroups'] = args[1]
m['Subject'] = Header(args[2], 'iso-2022-jp')
m['Date'] = 'Sat, 6 Dec 1997 12:34:56 +0900'
m.attach(MIMEText('Some text about base64 files.\n', 'plain', 'us-ascii'))
for i in range(3, len(args), 2):
    name = args[i + 1]
    if name.startswith('jis:'):
        name = Header(name[4:], 'iso-2022-jp').encode()
    with open(args[i], 'rb') as f:
        p = MIMEApplication(f.read(), **{'name': name})
    p.add_header('Content-Disposition', 'attachment')
    m.attach(p)
sys.stdout.buffer.write(m.as_bytes())
)";

QByteArray headers(const QString &group, const QByteArray &from, const QByteArray &subject)
{
    return "From: " + from + "\nNewsgroups: " + group.toLatin1() + "\nSubject: " + subject +
           "\nDate: Sat, 6 Dec 1997 12:34:56 +0900\n\n";
}

} // namespace

class TestArticleInn : public QObject {
    Q_OBJECT

    std::unique_ptr<InnServer> m_inn;
    QTemporaryDir m_tmp;

    QString source(const QString &name, const QByteArray &data)
    {
        const QString path = m_tmp.filePath(QStringLiteral("src/") + name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
        return path;
    }
    QByteArray uuencode(const QString &path, const QString &name)
    {
        return run(QStringLiteral("uuencode"), {path, name});
    }

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        for (const char *tool : {"uuencode", "python3", "mpack"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("missing ") + QLatin1String(tool)));
        }
        m_inn = std::make_unique<InnServer>();
        QVERIFY2(m_inn->start(), qPrintable(m_inn->errorString()));
    }
    void cleanupTestCase() { m_inn.reset(); }

    void wholeRun()
    {
        const QString g1 = QStringLiteral("kaplo.attach");
        const QString g2 = QStringLiteral("kaplo.attach.jp");
        QVERIFY2(m_inn->newGroups({g1, g2}), qPrintable(m_inn->errorString()));

        const QByteArray photo = sampleBytes(100000, 1), a = sampleBytes(50000, 2),
                         jp = sampleBytes(20000, 3), pdf = sampleBytes(30000, 4),
                         one = sampleBytes(1000, 5), two = sampleBytes(2000, 6),
                         dmg = sampleBytes(4500, 7), gif = sampleBytes(777, 8);
        const QByteArray tester = "Tester <t@example.com>";

        // 1: one uuencoded file.
        QVERIFY(m_inn->post(headers(g1, tester, "photo") +
                            uuencode(source("photo.jpg", photo), "photo.jpg")));
        // 2: a multipart message: text, a.bin and a file with a Japanese name.
        const QByteArray mime =
            run(QStringLiteral("python3"),
                {QStringLiteral("-c"), QLatin1String(kMimeScript), QString::fromLatin1(tester), g1,
                 QStringLiteral("mime"), source("a.bin", a), QStringLiteral("a.bin"),
                 source("jp.jpg", jp), QStringLiteral("jis:写真.jpg")});
        QVERIFY(!mime.isEmpty());
        QVERIFY(m_inn->post(mime));
        // 3: mpack, another poster.
        const QString mpackOut = m_tmp.filePath(QStringLiteral("mpack.out"));
        run(QStringLiteral("mpack"),
            {QStringLiteral("-s"), QStringLiteral("pdf"), QStringLiteral("-o"), mpackOut,
             source("doc.pdf", pdf)},
            {}, m_tmp.filePath(QStringLiteral("src")));
        QFile mp(mpackOut);
        QVERIFY(mp.open(QIODevice::ReadOnly));
        QVERIFY(m_inn->post("From: \"Other\" <o@example.com>\nNewsgroups: " + g1.toLatin1() + "\n" +
                            mp.readAll()));
        // 4: two uuencoded files with text between.
        QVERIFY(m_inn->post(headers(g1, tester, "two") + "first:\n" +
                            uuencode(source("one.dat", one), "one.dat") + "second:\n" +
                            uuencode(source("two.dat", two), "two.dat") + "bye\n"));
        // 5: a damaged line (data line 50, group 5).
        QList<QByteArray> lines = uuencode(source("dmg.bin", dmg), "dmg.bin").split('\n');
        QCOMPARE(lines[50].size(), 61);
        lines[50][17] = 'a';
        QVERIFY(m_inn->post(headers(g1, tester, "damaged") + lines.join('\n')));
        // 6: the second part of a file, without its begin line.
        QList<QByteArray> cont =
            uuencode(source("cont.bin", sampleBytes(3000, 9)), "cont.bin").split('\n').mid(1);
        QVERIFY(m_inn->post(headers(g1, tester, "cont.bin (2/2)") + cont.join('\n')));
        // Group 2: an ISO-2022-JP subject in front of the name.
        const QByteArray jpSubject =
            run(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("from email.header import Header; "
                                "print(Header('テスト', 'iso-2022-jp').encode())")})
                .trimmed();
        QVERIFY(jpSubject.startsWith("=?iso-2022-jp?b?"));
        QVERIFY(
            m_inn->post(headers(g2, tester, jpSubject) + uuencode(source("x.gif", gif), "x.gif")));

        // The run.
        const QString save = m_tmp.filePath(QStringLiteral("save"));
        QDir().mkpath(save);
        SettingsStore store(m_tmp.filePath(QStringLiteral("KAPLO.ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        ctx.settings.serverName = InnServer::host();
        ctx.settings.serverPort = QString::number(m_inn->port());
        ctx.settings.saveDir = save;
        ctx.settings.groupDir = QStringLiteral("TRUE");
        ctx.settings.log = QStringLiteral("TRUE");
        GroupTable::Row r1 = GroupTable::newRow(g1, ctx.groupDefaults());
        r1[GroupTable::Download] = r1[GroupTable::DateDir] = r1[GroupTable::UserDir] =
            QStringLiteral("YES");
        r1[GroupTable::Subject] = r1[GroupTable::Rewrite] = QStringLiteral("NO");
        GroupTable::Row r2 = GroupTable::newRow(g2, ctx.groupDefaults());
        r2[GroupTable::Download] = r2[GroupTable::Subject] = QStringLiteral("YES");
        r2[GroupTable::DateDir] = r2[GroupTable::UserDir] = QStringLiteral("NO");
        ctx.groups.insertRow(0, r1);
        ctx.groups.insertRow(1, r2);

        TcpNntpSocket socket;
        DownloadEngine engine(ctx, socket);
        ArticleParser parser(ctx, engine.state(), engine.log());
        engine.setArticleHandler(&parser);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        engine.Command1_Click();
        QVERIFY(ended.wait(120000));
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(engine.state().label3, QString());

        const QString date = engine.state().runDate;
        const QString d1 = save + QLatin1Char('/') + g1 + QLatin1Char('/') + date;
        const auto bytes = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
        };
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/photo.jpg")), photo);
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/a.bin")), a);
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/写真.jpg")), jp);
        QCOMPARE(bytes(d1 + QStringLiteral("/Other/doc.pdf")), pdf);
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/one.dat")), one);
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/two.dat")), two);
        QCOMPARE(bytes(d1 + QStringLiteral("/Tester/dmg.bin")), dmg.left(49 * 45 + 4 * 3));
        QCOMPARE(bytes(save + QLatin1Char('/') + g2 + QStringLiteral("/(テスト)x.gif")), gif);

        QStringList tree;
        QDirIterator it(save, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            tree << QDir(save).relativeFilePath(it.next());
        tree.sort();
        const QString rel = g1 + QLatin1Char('/') + date;
        QStringList expected{rel + QStringLiteral("/Other/doc.pdf"),
                             rel + QStringLiteral("/Tester/a.bin"),
                             rel + QStringLiteral("/Tester/dmg.bin"),
                             rel + QStringLiteral("/Tester/one.dat"),
                             rel + QStringLiteral("/Tester/photo.jpg"),
                             rel + QStringLiteral("/Tester/two.dat"),
                             rel + QStringLiteral("/Tester/写真.jpg"),
                             g2 + QStringLiteral("/(テスト)x.gif"),
                             date + QStringLiteral(".LOG")};
        expected.sort();
        QCOMPARE(tree, expected);
        QCOMPARE(engine.state().fileCount, 8);

        // The summary log: one record per article.
        QFile logFile(save + QLatin1Char('/') + date + QStringLiteral(".LOG"));
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QString log = Cp932::decode(logFile.readAll());
        QVERIFY(log.endsWith(QStringLiteral("\r\n")));
        const QStringList records = log.chopped(2).split(QStringLiteral("\r\n"));
        QCOMPARE(records.size(), 7);
        const QString when = QStringLiteral("\t\"6 Dec 1997 12:34:56\"");
        QCOMPARE(records[0], QStringLiteral("\"kaplo.attach\"\t1\t\"Tester <t@example.com>\"\t"
                                            "\"photo\"") +
                                 when + QStringLiteral("\t\"") + d1 +
                                 QStringLiteral("/Tester/photo.jpg\""));
        QVERIFY(records[1].endsWith(QStringLiteral("\t\"") + d1 +
                                    QStringLiteral("/Tester/a.bin\"\t\"") + d1 +
                                    QStringLiteral("/Tester/写真.jpg\"")));
        QVERIFY(records[2].contains(QStringLiteral("/Other/doc.pdf\"")));
        QVERIFY(records[3].endsWith(QStringLiteral("/Tester/one.dat\"\t\"") + d1 +
                                    QStringLiteral("/Tester/two.dat\"")));
        QVERIFY(records[5].startsWith(QStringLiteral("\"kaplo.attach\"\t6\t")));
        QVERIFY(!records[5].contains(save));
        QCOMPARE(records[6], QStringLiteral("\"kaplo.attach.jp\"\t1\t\"Tester <t@example.com>\"\t"
                                            "\"テスト\"") +
                                 when + QStringLiteral("\t\"") + save +
                                 QStringLiteral("/kaplo.attach.jp/(テスト)x.gif\""));

        // The same groups one command at a time (the run above kept a window
        // of commands in flight): the same files, log and LAST.
        const QString save1 = m_tmp.filePath(QStringLiteral("save1"));
        QDir().mkpath(save1);
        SettingsStore store1(m_tmp.filePath(QStringLiteral("KAPLO1.ini")));
        AppContext ctx1(store1, prompter);
        ctx1.settings = ctx.settings;
        ctx1.settings.saveDir = save1;
        ctx1.settings.pipeline = QStringLiteral("1");
        ctx1.groups.insertRow(0, r1);
        ctx1.groups.insertRow(1, r2);
        QCOMPARE(ctx.settings.pipeline, QStringLiteral("64"));
        TcpNntpSocket socket1;
        DownloadEngine engine1(ctx1, socket1);
        ArticleParser parser1(ctx1, engine1.state(), engine1.log());
        engine1.setArticleHandler(&parser1);
        QSignalSpy ended1(&engine1, &DownloadEngine::runEnded);
        engine1.Command1_Click();
        QVERIFY(ended1.wait(120000));
        QCOMPARE(engine1.endReason(), DownloadEngine::EndReason::Finished);
        for (const QString &f : expected) {
            QString other = f;
            other.replace(engine.state().runDate, engine1.state().runDate);
            QByteArray want = bytes(save + QLatin1Char('/') + f);
            want.replace(save.toUtf8(), save1.toUtf8()); // the paths in the log
            QCOMPARE(bytes(save1 + QLatin1Char('/') + other), want);
        }
        for (const QString &key : {QStringLiteral("LAST"), QStringLiteral("COMPLETED")}) {
            for (int g = 0; g < 2; ++g)
                QCOMPARE(store1.read(GroupTable::sectionOf(g), key, {}),
                         store.read(GroupTable::sectionOf(g), key, {}));
        }
        QCOMPARE(store.read(GroupTable::sectionOf(0), QStringLiteral("LAST"), {}),
                 QStringLiteral("6"));
    }

    // Articles as today's clients write them: UTF-8 subjects, posters and
    // RFC 2231 names from Python's email package (encoded words and raw
    // UTF-8), Shift_JIS and EUC-JP words from nkf, a Latin-1 Q word, and
    // hostile RFC 2231 names; saved under the original names, logged in
    // CP932 with "〓" for what CP932 lacks.
    void todaysHeaders()
    {
        using namespace testarticles;
        if (const QString m = missingTools(); !m.isEmpty())
            QSKIP(qPrintable(m));
        const QString g = QStringLiteral("kaplo.utf8");
        QVERIFY2(m_inn->newGroups({g}), qPrintable(m_inn->errorString()));
        const QByteArray group = g.toLatin1();
        const QString longName = QStringLiteral("とても長いファイル名の写真のファイルですよ.jpg");

        Built a = todaysMime(
            {group, QStringLiteral("写真です"), QStringLiteral("山田太郎 <t@example.com>")},
            {{QStringLiteral("写真.jpg").toUtf8(), sampleBytes(3000, 11)},
             {QStringLiteral("Café crème.jpg").toUtf8(), sampleBytes(2000, 12)},
             {longName.toUtf8(), sampleBytes(1000, 13)}});
        QVERIFY2(a.ok(), qPrintable(a.error));
        QVERIFY(a.article.contains("filename*=utf-8''%E5%86%99%E7%9C%9F.jpg"));
        QVERIFY(a.article.contains("filename*1*="));
        QVERIFY(a.article.contains("Subject: =?utf-8?b?"));
        Built raw = todaysMime(
            {group, QStringLiteral("生の見出し"), QStringLiteral("生田 <n@example.com>"), true},
            {{QStringLiteral("生.bin").toUtf8(), sampleBytes(500, 14)}});
        QVERIFY2(raw.ok(), qPrintable(raw.error));
        QVERIFY(raw.article.contains(QStringLiteral("Subject: 生の見出し").toUtf8()));
        for (const Built *b : {&a, &raw})
            QVERIFY(m_inn->post(b->article));

        const QByteArray sjis = nkfWord(QStringLiteral("日本語"), "-s");
        const QByteArray euc = nkfWord(QStringLiteral("絵.gif"), "-e");
        QVERIFY2(sjis.startsWith("=?SHIFT_JIS?B?") && euc.startsWith("=?EUC-JP?B?"),
                 sjis + ' ' + euc);
        const QByteArray gif = sampleBytes(700, 15), bin = sampleBytes(800, 16);
        QVERIFY(m_inn->post(headers(g, "Tester <t@example.com>", sjis) +
                            uuencode(source("e.gif", gif), QString::fromLatin1(euc))));
        const QByteArray latin = encodedWord(QStringLiteral("Crème brûlée"), 'Q', "iso-8859-1");
        QVERIFY2(latin.startsWith("=?iso-8859-1?q?"), latin);
        QVERIFY(m_inn->post(headers(g, "Tester <t@example.com>", latin) +
                            uuencode(source("x.bin", bin), QStringLiteral("x.bin"))));

        // Hostile names: percent-encoded separators and "..", NUL, and
        // continuations beyond reason (which give no name).
        Built evil =
            todaysMime({group, QStringLiteral("evil"), QStringLiteral("Tester <t@example.com>")},
                       {{"p1", "one"}, {"p2", "two"}, {"p3", "three"}});
        QVERIFY2(evil.ok(), qPrintable(evil.error));
        QByteArray overlong;
        for (int i = 0; i < 500; ++i)
            overlong += QByteArray(";\r\n filename*") + QByteArray::number(i) + "*=%2E%2E%2F";
        evil.article.replace("filename=\"p1\"", "filename*=utf-8''..%2F..%2F..%2Fevil.jpg");
        evil.article.replace("filename=\"p2\"",
                             "filename*0*=utf-8''%2E%2E%00;\r\n filename*1*=%00");
        evil.article.replace("filename=\"p3\"", overlong.mid(3));
        QVERIFY(evil.article.contains("evil.jpg") && evil.article.contains("filename*499*"));
        QVERIFY(m_inn->post(evil.article));

        const QString save = m_tmp.filePath(QStringLiteral("save-utf8"));
        QDir().mkpath(save);
        SettingsStore store(m_tmp.filePath(QStringLiteral("utf8.ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        ctx.settings.serverName = InnServer::host();
        ctx.settings.serverPort = QString::number(m_inn->port());
        ctx.settings.saveDir = save;
        ctx.settings.groupDir = QStringLiteral("FALSE");
        ctx.settings.log = QStringLiteral("TRUE");
        GroupTable::Row r = GroupTable::newRow(g, ctx.groupDefaults());
        r[GroupTable::Download] = r[GroupTable::UserDir] = r[GroupTable::Subject] =
            QStringLiteral("YES");
        r[GroupTable::DateDir] = r[GroupTable::Rewrite] = QStringLiteral("NO");
        ctx.groups.insertRow(0, r);

        TcpNntpSocket socket;
        DownloadEngine engine(ctx, socket);
        ArticleParser parser(ctx, engine.state(), engine.log());
        engine.setArticleHandler(&parser);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        engine.Command1_Click();
        QVERIFY(ended.wait(120000));
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Finished);

        const QString yamada = QStringLiteral("山田太郎/(写真です)");
        const QString tester = QStringLiteral("Tester/");
        const QMap<QString, QByteArray> want{
            {yamada + QStringLiteral("写真.jpg"), a.payloads[0]},
            {yamada + QStringLiteral("Café crème.jpg"), a.payloads[1]},
            {yamada + longName, a.payloads[2]},
            {QStringLiteral("生田/(生の見出し)生.bin"), raw.payloads[0]},
            {tester + QStringLiteral("(日本語)絵.gif"), gif},
            {tester + QStringLiteral("(Crème brûlée)x.bin"), bin},
            {tester + QStringLiteral("(evil)evil.jpg"), "one"},
            {tester + QStringLiteral("(evil).."), "two"},
            // No name of its own: the part before left its name.
            {tester + QStringLiteral("(evil)(2).."), "three"},
        };
        QStringList tree;
        QDirIterator it(save, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = QDir(save).relativeFilePath(it.next());
            if (!rel.endsWith(QLatin1String(".LOG")))
                tree << rel;
        }
        tree.sort();
        QCOMPARE(tree.join(u'\n'), QStringList(want.keys()).join(u'\n'));
        for (auto i = want.begin(); i != want.end(); ++i) {
            QFile f(save + QLatin1Char('/') + i.key());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(f.readAll() == i.value(), qPrintable(i.key()));
        }
        QStringList outside =
            QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        outside.removeAll(QStringLiteral("save-utf8"));
        QVERIFY2(!outside.contains(QStringLiteral("evil.jpg")), qPrintable(outside.join(u' ')));

        // The log: CP932, "〓" for each character CP932 lacks.
        QFile logFile(save + QLatin1Char('/') + engine.state().runDate + QStringLiteral(".LOG"));
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QString log = Cp932::decode(logFile.readAll());
        QVERIFY2(log.contains(QStringLiteral("\"写真です\"")), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("\"山田太郎 <t@example.com>\"")));
        QVERIFY(log.contains(QStringLiteral("/(写真です)Caf〓 cr〓me.jpg\"")));
        QVERIFY(log.contains(QStringLiteral("\"Cr〓me br〓l〓e\"")));
        QVERIFY(!log.contains(QChar(0xFFFD)) && !log.contains(u'?'));
    }

    // A uuencoded line that begins with "." (the last line of a file whose
    // size leaves 14 bytes: count character ".") reaches the server
    // dot-stuffed and must be saved whole.
    void dotStuffedLines()
    {
        const QString g = QStringLiteral("kaplo.attach.dots");
        QVERIFY2(m_inn->newGroup(g), qPrintable(m_inn->errorString()));
        const QList<int> sizes{14, 59, 4500, 4514, 45 * 1000 + 14, 1};
        for (const int n : sizes) {
            const QString name = QStringLiteral("d%1.bin").arg(n);
            QVERIFY(m_inn->post(headers(g, "T <t@example.com>", name.toLatin1()) +
                                uuencode(source(name, sampleBytes(n, n)), name)));
        }
        const QString save = m_tmp.filePath(QStringLiteral("dots"));
        QDir().mkpath(save);
        SettingsStore store(m_tmp.filePath(QStringLiteral("dots.ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        ctx.settings.serverName = InnServer::host();
        ctx.settings.serverPort = QString::number(m_inn->port());
        ctx.settings.saveDir = save;
        GroupTable::Row row = GroupTable::newRow(g, ctx.groupDefaults());
        row[GroupTable::DateDir] = row[GroupTable::UserDir] = QStringLiteral("NO");
        ctx.groups.insertRow(0, row);
        TcpNntpSocket socket;
        DownloadEngine engine(ctx, socket);
        ArticleParser parser(ctx, engine.state(), engine.log());
        engine.setArticleHandler(&parser);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        engine.Command1_Click();
        QVERIFY(ended.wait(60000));
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Finished);
        qint64 total = 0;
        for (const int n : sizes) {
            QFile f(save + QStringLiteral("/d%1.bin").arg(n));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), sampleBytes(n, n));
            total += n;
        }
        QCOMPARE(engine.state().byteCount, total);
    }
};

KAPLO_TEST(TestArticleInn)
#include "tst_articleinn.moc"
