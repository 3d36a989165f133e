// Attachments made by real encoders (uuencode, Python's email package,
// mpack, nkf, python3-yenc), posted to a private INN server and fetched by
// whole runs of the engine, compared byte for byte. The cases are in
// tests/data/engine/inn.txt.
#include "enginerig.h"

#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/parserrig.h"
#include "output/yencparts.h"
#include "support/escapes.h"
#include "support/innserver.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestArticleInn : public QObject {
    Q_OBJECT

    std::unique_ptr<InnServer> m_inn;

    // Builds one batch of articles and posts them.
    bool post(const QString &group, const QStringList &recipes)
    {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(KAPLO_TEST_DATA "/../support/mkarticles.py"), group});
        p.write(recipes.join(u'\n').toUtf8());
        p.closeWriteChannel();
        if (!p.waitForFinished(120000) || p.exitCode() != 0) {
            qWarning() << p.readAllStandardError();
            return false;
        }
        const QList<QByteArray> articles = p.readAllStandardOutput().split('\0');
        return std::all_of(articles.begin(), articles.end(),
                           [this](const QByteArray &a) { return m_inn->post(a); });
    }

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        for (const char *tool : {"uuencode", "mpack", "nkf"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("missing ") + QLatin1String(tool)));
        }
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import yenc")}) != 0)
            QSKIP("python3-yenc is missing (scripts/setup.sh installs it)");
        m_inn = std::make_unique<InnServer>();
        QVERIFY2(m_inn->start(), qPrintable(m_inn->errorString()));
    }
    void cleanupTestCase() { m_inn.reset(); }

    void groups_data() { kaplotest::addDataRows(QStringLiteral("engine/inn.txt")); }
    void groups()
    {
        QFETCH(kaplotest::DataCase, c);
        const QString g = c.name;
        QVERIFY2(m_inn->newGroup(g), qPrintable(m_inn->errorString()));
        TcpNntpSocket socket;
        EngineRig rig(&socket, InnServer::host(), m_inn->port());
        ArticleParser parser(*rig.ctx, rig.engine->state(), rig.engine->log());
        rig.handler->next = &parser;
        // Three levels down, so that "../../../x" would still land in top.
        const QString top = rig.dir.filePath(QStringLiteral("top")), save = top + "/a/b/save";
        QDir().mkpath(save);
        rig.set("SAVE/DIR", save);
        rig.set("SAVE/LOG", "TRUE");
        rig.set("SERVER/PIPELINE", "64");
        rig.addGroup(g);
        for (const auto col :
             {GroupTable::DateDir, GroupTable::UserDir, GroupTable::Subject, GroupTable::Rewrite})
            rig.ctx->groups.setText(0, col, QStringLiteral("NO"));
        for (const QString &s : c.text("set").split(u' ', Qt::SkipEmptyParts)) {
            if (s == u"groupDir")
                rig.set("SAVE/GROUPDIR", "TRUE");
            else if (s.startsWith(u"pipeline="))
                rig.set("SERVER/PIPELINE", s.mid(9));
            else
                rig.ctx->groups.setText(0,
                                        s == u"dateDir"   ? GroupTable::DateDir
                                        : s == u"userDir" ? GroupTable::UserDir
                                                          : GroupTable::Subject,
                                        QStringLiteral("YES"));
        }

        // Each batch posted, then one run over what is there.
        const QStringList recipes = c.lines("articles");
        for (qsizetype from = 0; from < recipes.size();) {
            qsizetype to = recipes.indexOf(QStringLiteral("@run"), from);
            to = to < 0 ? recipes.size() : to;
            QVERIFY(post(g, recipes.mid(from, to - from)));
            from = to + 1;
            QVERIFY(rig.run(120000));
            QCOMPARE(rig.engine->endReason(), DownloadEngine::EndReason::Finished);
        }
        const RunState &st = rig.engine->state();

        const auto expand = [&](const QString &t) {
            return kaplotest::unescape(t)
                .replace(QStringLiteral("$SAVE"), save)
                .replace(QStringLiteral("$D"), st.runDate);
        };
        // Every file under top is in the save directory.
        QStringList got = filesUnder(top);
        for (QString &p : got) {
            QVERIFY2(p.startsWith(QLatin1String("a/b/save/")), qPrintable(p));
            p.remove(0, 9);
        }
        got.removeAll(YencParts::recordName());
        compareFiles(c.lines("files"), save, got, expand);
        QFile logFile(save + u'/' + st.runDate + QStringLiteral(".LOG"));
        checkStateAndLog(
            c, st, logFile.open(QIODevice::ReadOnly) ? Cp932::decode(logFile.readAll()) : QString(),
            expand);
    }
};

KAPLO_TEST(TestArticleInn)
#include "tst_articleinn.moc"
