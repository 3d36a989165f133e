// Attachments made by real encoders (uuencode, Python's email package,
// mpack, nkf, python3-yenc), posted to a private INN server and fetched by
// whole runs of the engine, compared byte for byte. The cases are in
// tests/data/engine/inn.txt.
#include "core/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/parserrig.h"
#include "engine/tcpnntpsocket.h"
#include "output/yencparts.h"
#include "settings/grouptable.h"
#include "support/escapes.h"
#include "support/innserver.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

class TestArticleInn : public QObject {
    Q_OBJECT

    std::unique_ptr<InnServer> m_inn;
    QTemporaryDir m_tmp;

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
        // Three levels down, so that "../../../x" would still land in m_tmp.
        const QString top = m_tmp.filePath(g), save = top + QStringLiteral("/a/b/save");
        QDir().mkpath(save);
        SettingsStore store(m_tmp.filePath(g + QStringLiteral(".ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        ctx.settings.serverName = InnServer::host();
        ctx.settings.serverPort = QString::number(m_inn->port());
        ctx.settings.saveDir = save;
        ctx.settings.log = QStringLiteral("TRUE");
        ctx.settings.groupDir = QStringLiteral("FALSE");
        GroupTable::Row row = GroupTable::newRow(g, ctx.groupDefaults());
        row[GroupTable::Download] = QStringLiteral("YES");
        for (const auto col :
             {GroupTable::DateDir, GroupTable::UserDir, GroupTable::Subject, GroupTable::Rewrite})
            row[col] = QStringLiteral("NO");
        const QStringList set = c.text("set").split(u' ', Qt::SkipEmptyParts);
        for (const QString &s : set) {
            if (s == u"groupDir")
                ctx.settings.groupDir = QStringLiteral("TRUE");
            else if (s.startsWith(u"pipeline="))
                ctx.settings.pipeline = s.mid(9);
            else
                row[s == u"dateDir"   ? GroupTable::DateDir
                    : s == u"userDir" ? GroupTable::UserDir
                                      : GroupTable::Subject] = QStringLiteral("YES");
        }
        ctx.groups.insertRow(0, row);

        // Each batch posted, then one run over what is there.
        RunState st;
        const QStringList recipes = c.lines("articles");
        for (qsizetype from = 0; from < recipes.size();) {
            qsizetype to = recipes.indexOf(QStringLiteral("@run"), from);
            to = to < 0 ? recipes.size() : to;
            QVERIFY(post(g, recipes.mid(from, to - from)));
            from = to + 1;
            TcpNntpSocket socket;
            DownloadEngine engine(ctx, socket);
            ArticleParser parser(ctx, engine.state(), engine.log());
            engine.setArticleHandler(&parser);
            QSignalSpy ended(&engine, &DownloadEngine::runEnded);
            engine.Command1_Click();
            QVERIFY(ended.wait(120000));
            QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Finished);
            st = engine.state();
        }

        const auto expand = [&](const QString &t) {
            return kaplotest::unescape(t)
                .replace(QStringLiteral("$SAVE"), save)
                .replace(QStringLiteral("$D"), st.runDate);
        };
        QStringList want, got;
        for (const QString &f : c.lines("files"))
            want << expand(f.section(QStringLiteral(" | "), 0, 0));
        want.sort();
        // Every file under the group's folder is in the save directory.
        QDirIterator it(top, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QVERIFY2(p.startsWith(save + u'/'), qPrintable(p));
            const QString rel = p.mid(save.size() + 1);
            if (!rel.endsWith(QLatin1String(".LOG")) && rel != YencParts::recordName())
                got << rel;
        }
        got.sort();
        QCOMPARE(got.join(u'\n'), want.join(u'\n'));
        for (const QString &f : c.lines("files")) {
            if (!f.contains(QStringLiteral(" | ")))
                continue;
            QFile file(save + u'/' + expand(f.section(QStringLiteral(" | "), 0, 0)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(file.readAll() == contents(f.section(QStringLiteral(" | "), 1)),
                     qPrintable(f));
        }
        QFile logFile(save + u'/' + st.runDate + QStringLiteral(".LOG"));
        checkStateAndLog(
            c, st, logFile.open(QIODevice::ReadOnly) ? Cp932::decode(logFile.readAll()) : QString(),
            expand);
    }
};

KAPLO_TEST(TestArticleInn)
#include "tst_articleinn.moc"
