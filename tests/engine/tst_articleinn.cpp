// Attachments made by real encoders (uuencode, Python's email package,
// mpack), posted to a private INN server and fetched by a whole download run.
#include "app/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/parserrig.h"
#include "engine/tcpnntpsocket.h"
#include "groups/grouptable.h"
#include "settings/settingsstore.h"
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
    }
};

KAPLO_TEST(TestArticleInn)
#include "tst_articleinn.moc"
