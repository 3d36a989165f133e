// yEnc files made by python3-yenc, single and multi-part, posted to a private
// INN server and fetched by whole runs of the engine and of kaplo-cli.
#include "core/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/tcpnntpsocket.h"
#include "output/yencparts.h"
#include "runhelpers.h"
#include "settings/grouptable.h"
#include "settings/settingsstore.h"
#include "support/articles.h"
#include "support/innserver.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace testarticles;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList savedFiles(const QString &save)
{
    QStringList out;
    QDirIterator it(save, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = QDir(save).relativeFilePath(it.next());
        if (!p.endsWith(QLatin1String(".LOG")) && p != YencParts::recordName())
            out << p;
    }
    out.sort();
    return out;
}

} // namespace

class TestYencInn : public QObject {
    Q_OBJECT

    std::unique_ptr<InnServer> m_inn;
    QTemporaryDir m_tmp;

    bool post(const QList<QByteArray> &articles)
    {
        for (const QByteArray &a : articles) {
            if (!m_inn->post(a))
                return false;
        }
        return true;
    }

    // One run of the engine in this process over `group`; the summary log.
    QString runEngine(const QString &group, const QString &save, RunState *after = nullptr)
    {
        SettingsStore store(m_tmp.filePath(group + QStringLiteral(".ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        ctx.settings.serverName = InnServer::host();
        ctx.settings.serverPort = QString::number(m_inn->port());
        ctx.settings.saveDir = save;
        ctx.settings.groupDir = QStringLiteral("FALSE");
        ctx.settings.log = QStringLiteral("TRUE");
        GroupTable::Row row = GroupTable::newRow(group, ctx.groupDefaults());
        row[GroupTable::Download] = QStringLiteral("YES");
        row[GroupTable::DateDir] = row[GroupTable::UserDir] = row[GroupTable::Subject] =
            QStringLiteral("NO");
        ctx.groups.insertRow(0, row);
        TcpNntpSocket socket;
        DownloadEngine engine(ctx, socket);
        ArticleParser parser(ctx, engine.state(), engine.log());
        engine.setArticleHandler(&parser);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        engine.Command1_Click();
        if (!ended.wait(120000) || engine.endReason() != DownloadEngine::EndReason::Finished)
            return QStringLiteral("<run failed>");
        if (after)
            *after = engine.state();
        return Cp932::decode(
            fileBytes(save + QLatin1Char('/') + engine.state().runDate + QStringLiteral(".LOG")));
    }

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        if (const QString m = yencMissing(); !m.isEmpty())
            QSKIP(qPrintable(m));
        m_inn = std::make_unique<InnServer>();
        QVERIFY2(m_inn->start(), qPrintable(m_inn->errorString()));
    }
    void cleanupTestCase() { m_inn.reset(); }

    // Single-part, multi-part in order and reversed, a damaged line, a
    // missing part, part=1 total=1: one run of the engine.
    void oneRun()
    {
        const QString g = QStringLiteral("kaplo.yenc");
        QVERIFY2(m_inn->newGroup(g), qPrintable(m_inn->errorString()));
        const Headers h(g.toLatin1(), "yenc");
        const QByteArray single = testData(100000, 1), multi = testData(300000, 2),
                         rev = testData(200001, 3), dmg = testData(5000, 4),
                         miss = testData(30000, 5), one = testData(777, 6);
        const YencBuilt b1 = yencoded(h, "single.bin", single);
        const YencBuilt b2 = yencoded(h, "multi.bin", multi, {.parts = 5});
        const YencBuilt b3 = yencoded(h, "rev.bin", rev, {.parts = 4});
        const YencBuilt b4 = yencoded(h, "dmg.bin", dmg, {.damagePart = 0});
        const YencBuilt b5 = yencoded(h, "miss.bin", miss, {.parts = 3});
        const YencBuilt b6 = yencoded(h, "one.bin", one, {.singlePartLine = true});
        for (const YencBuilt *b : {&b1, &b2, &b3, &b4, &b5, &b6})
            QVERIFY2(b->ok(), qPrintable(b->error));
        QList<QByteArray> reversed = b3.articles;
        std::reverse(reversed.begin(), reversed.end());
        QVERIFY(post(b1.articles) && post(b2.articles) && post(reversed) && post(b4.articles) &&
                post({b5.articles[0], b5.articles[2]}) && post(b6.articles));

        const QString save = m_tmp.filePath(QStringLiteral("one"));
        QDir().mkpath(save);
        RunState st;
        const QString log = runEngine(g, save, &st);
        QCOMPARE(savedFiles(save), (QStringList{"dmg.bin", "miss.bin", "multi.bin", "one.bin",
                                                "rev.bin", "single.bin"}));
        QCOMPARE(fileBytes(save + QStringLiteral("/single.bin")), single);
        QCOMPARE(fileBytes(save + QStringLiteral("/multi.bin")), multi);
        QCOMPARE(fileBytes(save + QStringLiteral("/rev.bin")), rev);
        QCOMPARE(fileBytes(save + QStringLiteral("/one.bin")), one);
        // The damaged file is kept, as long as it should be.
        QCOMPARE(fileBytes(save + QStringLiteral("/dmg.bin")).size(), dmg.size());
        QCOMPARE(st.fileCount, 6);
        QCOMPARE(st.byteCount, single.size() + multi.size() + rev.size() + dmg.size() +
                                   miss.size() / 3 * 2 + one.size());
        for (const char *done : {"multi.bin", "rev.bin", "one.bin"})
            QVERIFY2(log.contains(QStringLiteral("完成 (CRC一致) ") + save + QLatin1Char('/') +
                                  QLatin1String(done)),
                     qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("CRC不一致 (crc32=")) &&
                     log.contains(save + QStringLiteral("/dmg.bin\"")),
                 qPrintable(log));
        QVERIFY(st.label3.startsWith(QStringLiteral("CRC不一致")));
        QVERIFY2(log.contains(QStringLiteral("\"未完成 ") + save +
                              QStringLiteral("/miss.bin (20000/30000ﾊﾞｲﾄ)\"")),
                 qPrintable(log));
        QVERIFY(!log.contains(QStringLiteral("yEnc:")));
    }

    // A file whose parts are split over two runs of kaplo-cli download.
    void twoRuns()
    {
        const QString g = QStringLiteral("kaplo.yenc.split");
        QVERIFY2(m_inn->newGroup(g), qPrintable(m_inn->errorString()));
        const QByteArray data = testData(400000, 7);
        const YencBuilt b =
            yencoded(Headers(g.toLatin1(), "split"), "split.bin", data, {.parts = 4});
        QVERIFY2(b.ok(), qPrintable(b.error));
        QVERIFY(post({b.articles[2], b.articles[0]}));

        const QString save = m_tmp.filePath(QStringLiteral("split"));
        QDir().mkpath(save);
        const QString ini = m_tmp.filePath(QStringLiteral("split-cli.ini"));
        runtest::writeSettings(ini, m_inn->port(), save, {g});
        runtest::CliResult r = runtest::runCli(ini);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFile::exists(save + QLatin1Char('/') + YencParts::recordName()));
        QVERIFY(post({b.articles[3], b.articles[1]}));
        r = runtest::runCli(ini);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(savedFiles(save), QStringList{"split.bin"});
        QCOMPARE(fileBytes(save + QStringLiteral("/split.bin")), data);
    }

    // Lines that begin with "." arrive with one more "." (RFC 3977 §3.1.1).
    void leadingDots()
    {
        const QString g = QStringLiteral("kaplo.yenc.dots");
        QVERIFY2(m_inn->newGroup(g), qPrintable(m_inn->errorString()));
        // A run of bytes that encode as "." puts "." at the start of lines.
        const QByteArray data = testData(5000, 8) + QByteArray(3000, '\x04') + testData(5000, 9);
        const YencBuilt b =
            yencoded(Headers(g.toLatin1(), "dots"), "dots.bin", data, {.leadingDots = true});
        QVERIFY2(b.ok(), qPrintable(b.error));
        QVERIFY(b.articles[0].contains("\r\n."));
        QVERIFY(post(b.articles));
        const QString save = m_tmp.filePath(QStringLiteral("dots"));
        QDir().mkpath(save);
        const QString log = runEngine(g, save);
        QCOMPARE(fileBytes(save + QStringLiteral("/dots.bin")), data);
        QVERIFY(!log.contains(QStringLiteral("CRC不一致")));
    }
};

KAPLO_TEST(TestYencInn)
#include "tst_yencinn.moc"
