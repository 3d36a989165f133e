#pragma once

// An article parser on its own: a settings file and a save directory of its
// own, a run state with a fixed clock, the summary log, and the steps the
// engine takes around each article.

#include "core/appcontext.h"
#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

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
        state.mimeState = 0;
        state.pendingFileName.clear();
        state.nameParameters.clear();
    }

    QByteArray bytes(const QString &relative) const
    {
        QFile f(save + QLatin1Char('/') + relative);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Every file under the save directory, relative to it (logs left out).
    QStringList files() const
    {
        QStringList out;
        QDirIterator it(save, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = QDir(save).relativeFilePath(it.next());
            if (!p.endsWith(QLatin1String(".LOG")))
                out << p;
        }
        out.sort();
        return out;
    }
    // Nothing beside the save directory and the settings file.
    QStringList outside() const
    {
        QStringList e = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                   QDir::Hidden | QDir::System);
        e.removeAll(QStringLiteral("save"));
        e.removeAll(QStringLiteral("KAPLO.ini"));
        return e;
    }
};

// Lines of a uuencoded block as uuencode writes them (45 bytes a line, zero
// as a grave accent, a "`" line before "end").
inline QStringList uuBlock(const QString &name, const QByteArray &data)
{
    const auto ch = [](int v) { return QChar(v == 0 ? '`' : v + 0x20); };
    QStringList out{QStringLiteral("begin 644 ") + name};
    for (qsizetype at = 0; at < data.size(); at += 45) {
        const QByteArray part = data.mid(at, 45);
        QString s(ch(int(part.size())));
        for (qsizetype i = 0; i < part.size(); i += 3) {
            const uchar a = uchar(part[i]);
            const uchar b = i + 1 < part.size() ? uchar(part[i + 1]) : 0;
            const uchar c = i + 2 < part.size() ? uchar(part[i + 2]) : 0;
            s += ch(a >> 2);
            s += ch(((a & 3) << 4) | (b >> 4));
            s += ch(((b & 15) << 2) | (c >> 6));
            s += ch(c & 63);
        }
        out << s;
    }
    out << QStringLiteral("`") << QStringLiteral("end");
    return out;
}

inline QByteArray sampleBytes(int n, int seed = 1)
{
    QByteArray b;
    quint32 x = 2463534242u + quint32(seed);
    for (int i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b += char(x & 0xFF);
    }
    return b;
}
