#pragma once

// An article parser on its own: a settings file and a save directory of its
// own, a run state with a fixed clock, the summary log, and the steps the
// engine takes around each article.

#include "core/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/runhelpers.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "output/yencparts.h"
#include "settings/settingsstore.h"
#include "support/escapes.h"
#include "support/scriptedprompter.h"
#include "support/testdata.h"
#include "support/yencencode.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

using runtest::sampleBytes;

struct ParserRig {
    QTemporaryDir dir;
    QString save = dir.filePath(QStringLiteral("save"));
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};
    RunState state;
    RunLog log;
    ArticleParser parser{ctx, state, log};

    ParserRig()
    {
        QDir().mkpath(save);
        ctx.settings.load(store);
        ctx.settings.saveDir = save;
        ctx.settings.groupDir = ctx.settings.log = QStringLiteral("FALSE");
        state.now = [] { return QDateTime(QDate(1997, 12, 6), QTime(23, 0)); };
        state.groupName = QStringLiteral("alt.binaries.test");
        state.groupSubject = state.groupDateDir = state.groupUserDir = state.groupRewrite =
            QStringLiteral("NO");
        state.runDate = QStringLiteral("971206");
    }

    void openLog()
    {
        ctx.settings.log = QStringLiteral("TRUE");
        log.openSummary(RunLog::summaryPath(save, state.runDate));
    }
    QString logText()
    {
        log.closeSummary();
        QFile f(RunLog::summaryPath(save, state.runDate));
        return f.open(QIODevice::ReadOnly) ? Cp932::decode(f.readAll()) : QString();
    }

    // A line as the engine hands it: bytes while a body is open, else text.
    void feed(const QByteArray &l)
    {
        if (!parser.rawArticleLine(l))
            parser.articleLine(Cp932::decode(l));
    }
    void feed(const QString &l)
    {
        if (!parser.rawArticleLine(l.toUtf8()))
            parser.articleLine(l);
    }
    // What the engine does at the final "." line.
    void endArticle()
    {
        if (ctx.settings.log == QLatin1String("TRUE"))
            log.endRecord();
        state.from.clear();
        state.dateText.clear();
        state.openPending = false;
        state.subject.clear();
        parser.closeOutFile();
        state.mimeState = MimeState::None;
        state.pendingFileName.clear();
        state.nameParameters.clear();
    }

    QByteArray bytes(const QString &relative) const
    {
        QFile f(save + QLatin1Char('/') + relative);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Nothing beside the save directory and the settings file.
    QStringList outside() const
    {
        QStringList e =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        e.removeAll(QStringLiteral("save"));
        e.removeAll(QStringLiteral("KAPLO.ini"));
        return e;
    }
};

// "SIZE SEED [LENGTH]": sample bytes, or "=text".
inline QByteArray contents(const QString &what)
{
    if (what.startsWith(u'='))
        return what.mid(1).toUtf8();
    const QStringList n = what.split(u' ');
    const QByteArray b = sampleBytes(n[0].toInt(), n[1].toInt());
    return n.size() > 2 ? b.left(n[2].toInt()) : b;
}

inline QByteArray crcHex(const QByteArray &d)
{
    const uLong c = crc32(0L, reinterpret_cast<const Bytef *>(d.constData()), uInt(d.size()));
    return QByteArray::number(qulonglong(c), 16).rightJustified(8, '0');
}

// Every file under `dir`, relative to it, logs and the yEnc record left out.
inline QStringList filesUnder(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = QDir(dir).relativeFilePath(it.next());
        if (!p.endsWith(QLatin1String(".LOG")) && p != YencParts::recordName())
            out << p;
    }
    out.sort();
    return out;
}

// A "files" section (PATH [| CONTENTS], relative to `base`) against the
// files found there.
inline void compareFiles(const QStringList &lines, const QString &base, const QStringList &found,
                         const std::function<QString(const QString &)> &expand)
{
    const QString bar = QStringLiteral(" | ");
    QStringList want;
    for (const QString &f : lines) {
        want << expand(f.section(bar, 0, 0));
        QFile file(base + u'/' + want.last());
        QVERIFY2(!f.contains(bar) || (file.open(QIODevice::ReadOnly) &&
                                      file.readAll() == contents(f.section(bar, 1))),
                 qPrintable(f));
    }
    want.sort();
    QCOMPARE(found, want);
}

// The lines of yEnc part K of TOTAL of sample bytes (bytes BEGIN to END, from 1).
inline QByteArrayList yencPart(const QStringList &w)
{
    const QByteArray data = sampleBytes(w[2].toInt(), w[3].toInt()), n = w[2].toLatin1();
    const QByteArray k = w[4].toLatin1(), total = w[5].toLatin1();
    const QByteArray chunk = data.mid(w[6].toInt() - 1, w[7].toInt() - w[6].toInt() + 1);
    QByteArrayList l{"=ybegin part=" + k + " total=" + total + " line=128 size=" + n +
                         " name=" + w[1].toUtf8(),
                     "=ypart begin=" + w[6].toLatin1() + " end=" + w[7].toLatin1()};
    const QByteArray enc = yencEncode(chunk);
    for (qsizetype i = 0; i < enc.size();) {
        qsizetype len = std::min<qsizetype>(128, enc.size() - i);
        len += enc[i + len - 1] == '='; // an escape stays with its byte
        l << enc.mid(i, len);
        i += len;
    }
    l << "=yend size=" + QByteArray::number(chunk.size()) + " part=" + k +
             " pcrc32=" + crcHex(chunk) + (k == total ? " crc32=" + crcHex(data) : QByteArray());
    return l;
}

inline QString stateField(const RunState &s, const QString &key)
{
    const auto n = [](qint64 v) { return QString::number(v); };
    const QString yes = QStringLiteral("yes"), no = QStringLiteral("no");
    const QStringList keys = QStringLiteral("subject from date name inBody pending encoding mime "
                                            "lines count fileCount byteCount posterDir label1 "
                                            "label2 label3 label8 fatal runError")
                                 .split(u' ');
    QStringList v;
    v << s.subject << s.from << s.dateText << s.pendingFileName << (s.inBody ? yes : no)
      << (s.openPending ? yes : no) << n(int(s.bodyEncoding)) << n(int(s.mimeState))
      << n(s.linesValue) << n(s.bodyLineCount) << n(s.fileCount) << n(s.byteCount) << s.posterDir
      << s.label1 << s.label2() << s.label3 << s.label8 << s.fatalError << s.runError;
    return v.value(keys.indexOf(key), QStringLiteral("<no field ") + key + u'>');
}

// The "state" (FIELD=VALUE, FIELD~PART) and "log" ("text", "!text") sections.
inline void checkStateAndLog(const kaplotest::DataCase &c, const RunState &st, const QString &log,
                             const std::function<QString(const QString &)> &expand)
{
    for (const QString &s : c.lines("state")) {
        const qsizetype eq = s.indexOf(QRegularExpression(QStringLiteral("[=~]")));
        const QString got = stateField(st, s.left(eq)), want = expand(s.mid(eq + 1));
        if (s[eq] == u'~')
            QVERIFY2(got.contains(want), qPrintable(s + QStringLiteral(": ") + got));
        else
            QCOMPARE(s.left(eq) + u'=' + got, s.left(eq) + u'=' + want);
    }
    for (const QString &l : c.lines("log")) {
        const bool absent = l.startsWith(u'!');
        QVERIFY2(log.contains(expand(l.mid(absent ? 1 : 0))) != absent,
                 qPrintable(l + QStringLiteral("\nin\n") + log));
    }
}

// Runs one case of tests/data/engine/articles.txt (the notation is there).
inline void runFixture(const kaplotest::DataCase &c)
{
    ParserRig rig;
    bool readOnly = false;
    rlim_t fsize = 0;
    for (const QString &s : c.text("set").split(u' ', Qt::SkipEmptyParts)) {
        const QString value = kaplotest::unescape(s.section(u'=', 1));
        QString *column = s == u"dateDir"   ? &rig.state.groupDateDir
                          : s == u"userDir" ? &rig.state.groupUserDir
                          : s == u"subject" ? &rig.state.groupSubject
                          : s == u"rewrite" ? &rig.state.groupRewrite
                                            : nullptr;
        if (column)
            *column = QStringLiteral("YES");
        else if (s == u"groupDir")
            rig.ctx.settings.groupDir = QStringLiteral("TRUE");
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
    const auto expand = [&rig](const QString &t) {
        return kaplotest::unescape(t).replace(QStringLiteral("$SAVE"), rig.save);
    };
    const QString bar = QStringLiteral(" | ");
    const auto put = [&](const QString &what) {
        QFile f(rig.save + u'/' + what.section(bar, 0, 0));
        return f.open(QIODevice::WriteOnly) && f.write(contents(expand(what.section(bar, 1)))) >= 0;
    };
    for (const QString &e : c.lines("existing"))
        QVERIFY(put(e));
    if (readOnly)
        QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::ExeOwner);
    // A file size limit makes writes fail as a full disk does.
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = fsize ? fsize : old.rlim_cur;
    ::setrlimit(RLIMIT_FSIZE, &small);
    for (const QString &raw : c.lines("article")) {
        const QString l = raw == u"@blank" ? QString() : kaplotest::unescape(raw);
        const QStringList w = l.split(u' ');
        if (l == u"@end") {
            rig.endArticle();
        } else if (l == u"@run") {
            rig.parser.endOfRun();
        } else if (l == u"@log") {
            rig.openLog();
        } else if (w[0] == u"@put") {
            QVERIFY(put(raw.mid(5)));
        } else if (w[0] == u"@rm") {
            QVERIFY(QFile::remove(rig.save + u'/' + w[1]));
        } else if (w[0] == u"@ypart") { // NAME SIZE SEED K TOTAL BEGIN END
            for (const QByteArray &y : yencPart(w))
                rig.feed(y);
        } else if (w[0] == u"@uu") { // NAME SIZE SEED [LINE COLUMN TEXT]
            QByteArrayList block =
                runtest::uuencode(w[1].toUtf8(), sampleBytes(w[2].toInt(), w[3].toInt()))
                    .split('\n');
            block.removeLast();
            if (w.size() > 6)
                block[w[4].toInt()].replace(w[5].toInt(), w[6].size(), w[6].toUtf8());
            for (const QByteArray &b : block)
                rig.feed(b.chopped(1)); // the CR
        } else if (w[0] == u"@b64") {   // SIZE SEED: MIME's 76-character lines
            const QString t =
                QString::fromLatin1(sampleBytes(w[1].toInt(), w[2].toInt()).toBase64());
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
    QFile::setPermissions(rig.save, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    if (c.has("files"))
        compareFiles(c.lines("files"), rig.save, filesUnder(rig.save), expand);
    compareFiles(c.lines("outside"), rig.dir.path(), rig.outside(), expand);
    checkStateAndLog(c, rig.state, c.has("log") ? rig.logText() : QString(), expand);
}
