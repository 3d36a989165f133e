// Articles through the parser, kept as fixtures in tests/data/engine/articles.txt:
// the settings, the article's lines, then the files the save directory must
// hold, the run state and the summary log. See that file for the notation.
#include "engine/parserrig.h"
#include "output/outputfiles.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QRegularExpression>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

namespace {

QString stateField(const RunState &s, const QString &key)
{
    const QMap<QString, QString> m{{"subject", s.subject},
                                   {"from", s.from},
                                   {"date", s.dateText},
                                   {"name", s.pendingFileName},
                                   {"inBody", s.inBody ? "yes" : "no"},
                                   {"pending", s.openPending ? "yes" : "no"},
                                   {"encoding", QString::number(s.bodyEncoding)},
                                   {"mime", QString::number(s.mimeState)},
                                   {"lines", QString::number(s.linesValue)},
                                   {"count", QString::number(s.bodyLineCount)},
                                   {"fileCount", QString::number(s.fileCount)},
                                   {"byteCount", QString::number(s.byteCount)},
                                   {"posterDir", s.posterDir},
                                   {"label1", s.label1},
                                   {"label2", s.label2()},
                                   {"label3", s.label3},
                                   {"label8", s.label8},
                                   {"fatal", s.fatalError},
                                   {"runError", s.runError}};
    return m.contains(key) ? m.value(key) : QStringLiteral("<no field %1>").arg(key);
}

// "SIZE SEED [LENGTH]": sample bytes, or "=text".
QByteArray contents(const QString &spec)
{
    if (spec.startsWith(u'='))
        return spec.mid(1).toUtf8();
    const QStringList n = spec.split(u' ');
    const QByteArray b = sampleBytes(n[0].toInt(), n[1].toInt());
    return n.size() > 2 ? b.left(n[2].toInt()) : b;
}

} // namespace

class TestArticleParser : public QObject {
    Q_OBJECT
private slots:
    void fixtures_data() { kaplotest::addDataRows(QStringLiteral("engine/articles.txt")); }
    void fixtures()
    {
        QFETCH(kaplotest::DataCase, c);
        ParserRig rig;
        const QString yes = QStringLiteral("YES");
        bool readOnly = false;
        rlim_t fsize = 0;
        for (const QString &s : c.text("set").split(u' ', Qt::SkipEmptyParts)) {
            const QString value = kaplotest::unescape(s.section(u'=', 1));
            if (s == u"groupDir")
                rig.ctx.settings.groupDir = QStringLiteral("TRUE");
            else if (s == u"dateDir")
                rig.state.groupDateDir = yes;
            else if (s == u"userDir")
                rig.state.groupUserDir = yes;
            else if (s == u"subject")
                rig.state.groupSubject = yes;
            else if (s == u"rewrite")
                rig.state.groupRewrite = yes;
            else if (s == u"log")
                rig.openLog();
            else if (s.startsWith(u"group="))
                rig.state.groupName = value;
            else if (s == u"missingSaveDir")
                rig.ctx.settings.saveDir = rig.dir.filePath(QStringLiteral("missing"));
            else if (s == u"readOnly")
                readOnly = true;
            else if (s.startsWith(u"fsize="))
                fsize = value.toULong();
            else
                QFAIL(qPrintable(QStringLiteral("unknown setting ") + s));
        }
        if (readOnly && ::geteuid() == 0)
            QSKIP("root writes into any directory");
        for (const QString &e : c.lines("existing")) {
            QFile f(rig.save + u'/' + e.section(QStringLiteral(" | "), 0, 0));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents(e.section(QStringLiteral(" | "), 1)));
        }
        if (readOnly)
            QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::ExeOwner);
        // A file size limit makes writes fail as a full disk does.
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (fsize) {
            struct rlimit small = old;
            small.rlim_cur = fsize;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        for (const QString &raw : c.lines("article")) {
            const QString l = raw == u"@blank" ? QString() : kaplotest::unescape(raw);
            const QStringList w = l.split(u' ');
            if (l == u"@end") {
                rig.endArticle();
            } else if (l == u"@run") {
                rig.parser.endOfRun();
            } else if (w[0] == u"@rm") {
                QVERIFY(QFile::remove(rig.save + u'/' + w[1]));
            } else if (w[0] == u"@uu") { // NAME SIZE SEED [LINE COLUMN TEXT]
                QStringList block = uuBlock(w[1], sampleBytes(w[2].toInt(), w[3].toInt()));
                if (w.size() > 6)
                    block[w[4].toInt()].replace(w[5].toInt(), w[6].size(), w[6]);
                for (const QString &b : block)
                    rig.feed(b);
            } else if (w[0] == u"@b64") { // SIZE SEED: MIME's 76-character lines
                const QString t = QString::fromLatin1(
                    sampleBytes(w[1].toInt(), w[2].toInt()).toBase64());
                for (qsizetype i = 0; i < t.size(); i += 76)
                    rig.feed(t.mid(i, 76));
            } else {
                rig.feed(l);
            }
            if (!rig.state.runError.isEmpty() || !rig.state.fatalError.isEmpty())
                break;
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        if (readOnly)
            QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const auto expand = [&rig](const QString &t) {
            return kaplotest::unescape(t).replace(QStringLiteral("$SAVE"), rig.save);
        };
        if (c.has("files")) {
            QStringList want;
            for (const QString &f : c.lines("files"))
                want << expand(f.section(QStringLiteral(" | "), 0, 0));
            want.sort();
            QCOMPARE(rig.files(), want);
            for (const QString &f : c.lines("files")) {
                if (f.contains(QStringLiteral(" | ")))
                    QCOMPARE(rig.bytes(expand(f.section(QStringLiteral(" | "), 0, 0))),
                             contents(f.section(QStringLiteral(" | "), 1)));
            }
        }
        for (const QString &s : c.lines("state")) {
            const qsizetype eq = s.indexOf(QRegularExpression(QStringLiteral("[=~]")));
            const QString got = stateField(rig.state, s.left(eq)), want = expand(s.mid(eq + 1));
            if (s[eq] == u'~')
                QVERIFY2(got.contains(want), qPrintable(s + QStringLiteral(": ") + got));
            else
                QCOMPARE(s.left(eq) + u'=' + got, s.left(eq) + u'=' + want);
        }
        if (c.has("log")) {
            const QString log = rig.logText();
            for (const QString &l : c.lines("log")) {
                const bool absent = l.startsWith(u'!');
                QVERIFY2(log.contains(expand(l.mid(absent ? 1 : 0))) != absent,
                         qPrintable(l + QStringLiteral("\nin\n") + log));
            }
        }
        QCOMPARE(rig.outside(), QStringList());
    }
};

KAPLO_TEST(TestArticleParser)
#include "tst_articleparser.moc"
