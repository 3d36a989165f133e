// The download engine's conversation, run control, limits, logs and
// authentication, played from the transcripts of
// tests/data/engine/conversations.txt (its head describes them).
#include "enginerig.h"

#include "decode/cp932.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QTest>

namespace {

using kaplotest::unescape; // "\r", "\n", "\t", "\\", "\xHH" in a transcript's text

QString yesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

const QStringList kEnds{"None",  "Finished", "Stopped",    "Limit",
                        "Error", "Fatal",    "LocalError", "Refused"};
const QMap<QString, int> kColumns{{"name", GroupTable::Name},
                                  {"last", GroupTable::Last},
                                  {"lowest", GroupTable::Lowest},
                                  {"highest", GroupTable::Highest},
                                  {"state", GroupTable::State}};

// What "? KEY [ARG]" looks at.
QString observe(EngineRig &r, const QString &key, const QString &arg)
{
    const RunState &st = r.engine->state();
    const int row = arg.toInt();
    if (key == u"stored")
        return r.storedLast(row);
    if (key == u"ondisk") { // in the file itself (a second store would share QSettings' cache)
        QString section, last = QStringLiteral("<none>");
        for (const QString &l : QString::fromUtf8(r.fileBytes("KAPLO.ini")).split(u'\n')) {
            if (l.startsWith(u'['))
                section = l.trimmed().mid(1).chopped(1);
            else if (section == GroupTable::sectionOf(row) && l.startsWith(u"LAST="))
                last = l.mid(5).trimmed();
        }
        return last;
    }
    if (key == u"file")
        return Cp932::decode(r.fileBytes(arg));
    if (kColumns.contains(key))
        return r.cell(row, kColumns[key]);
    const QMap<QString, std::function<QString()>> values{
        {"commands", [&] { return r.socket.sent.join(QString()); }},
        {"running", [&] { return yesNo(r.engine->running()); }},
        {"end", [&] { return kEnds.value(int(r.engine->endReason())); }},
        {"refused", [&] { return yesNo(r.engine->groupRefused()); }},
        {"engine", [&] { return QString(u"-SGATNE"[int(st.engineState)]); }}, // EngineState
        {"current", [&] { return QString::number(st.currentNumber); }},
        {"label1", [&] { return st.label1; }},
        {"label3", [&] { return st.label3; }},
        {"label6", [&] { return st.label6; }},
        {"label8", [&] { return st.label8; }},
        {"elapsed", [&] { return QString::number(r.engine->lastRun().msecs); }},
        {"closed", [&] { return yesNo(r.socket.closed); }},
        {"closing", [&] { return yesNo(r.engine->closing()); }},
        {"connects", [&] { return QString::number(r.socket.connectCount); }},
        {"tls", [&] { return yesNo(r.socket.tls()); }},
        {"ended", [&] { return QString::number(r.ended->count()); }},
        {"closes", [&] { return QString::number(r.handler->closes); }},
        {"closesOnly", [&] { return QString::number(r.handler->closesOnly); }},
        {"lines", [&] { return r.handler->lines.join(u'\n'); }},
        {"overlong", [&] { return QString::number(r.handler->overlong.value(0)); }},
        {"logs",
         [&] {
             return yesNo(r.engine->log().summaryOpen()) + u' ' +
                    yesNo(r.engine->log().traceOpen());
         }},
    };
    return values.contains(key) ? values[key]() : QStringLiteral("<no such key %1>").arg(key);
}

// Keys that take a row or a file name before the expected value.
bool takesArg(const QString &key)
{
    return kColumns.contains(key) || key == u"stored" || key == u"ondisk" || key == u"file";
}

void play(const kaplotest::DataCase &c)
{
    EngineRig r;
    for (const QString &s : c.lines("settings"))
        r.set(s.section(u'=', 0, 0), unescape(s.section(u'=', 1)));
    for (const QString &g : c.lines("groups")) {
        const QStringList f = g.split(u' ');
        const auto field = [&](int i, const QString &d) {
            return f.value(i, d) == u"-" ? QString() : f.value(i, d);
        };
        r.addGroup(f[0], field(1, {}), field(2, "YES"));
    }
    // What article processing does with the lines it is given: "count N"
    // (each line a new file of N bytes), "error LINE TEXT", "fatal TEXT",
    // "body PREFIX" (an attachment's body begins), "click LINE" (stop).
    RunState &st = r.engine->state();
    const QString hook = c.text("hook");
    const QString arg = unescape(hook.section(u' ', 1));
    r.handler->onLine = [&](QStringView l) {
        if (hook.startsWith(u"count")) {
            st.fileCount += 1;
            st.byteCount += arg.toLongLong();
        } else if (hook.startsWith(u"error") && l == arg.section(u' ', 0, 0)) {
            st.runError = arg.section(u' ', 1);
        } else if (hook.startsWith(u"fatal")) {
            st.fatalError = arg;
        } else if (hook.startsWith(u"body") && l.startsWith(arg)) {
            st.inBody = true;
        } else if (hook.startsWith(u"click") && l == arg) {
            r.engine->Command1_Click();
        }
    };
    QSignalSpy fatal(r.engine.get(), &DownloadEngine::fatalError);
    qsizetype seen = 0; // commands matched by "C" lines
    int n = 0;
    for (const QString &line : c.lines("run")) {
        ++n;
        if (line.isEmpty())
            continue;
        const QString op = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        const QByteArray where = "run line " + QByteArray::number(n) + ": " + line.toUtf8();
        if (op == u"C") {
            QVERIFY2(seen < r.socket.sent.size(), where + " (not sent)");
            QCOMPARE(r.socket.sent[seen++], unescape(rest) + QStringLiteral("\r\n"));
            continue;
        }
        if (op == u"?") {
            const QString key = rest.section(u' ', 0, 0);
            const bool part = key.endsWith(u'~'), lacks = key.endsWith(u'!');
            const QString base = part || lacks ? key.chopped(1) : key;
            const QString arg = takesArg(base) ? rest.section(u' ', 1, 1) : QString();
            const QString want = unescape(rest.section(u' ', takesArg(base) ? 2 : 1));
            const QString got = observe(r, base, arg);
            if (part || lacks)
                QVERIFY2(got.contains(want) == part, where + "\n  in: " + got.toUtf8());
            else
                QVERIFY2(got == want, where + "\n  got: " + got.toUtf8());
            continue;
        }
        // Everything the client sent so far was expected.
        QVERIFY2(seen == r.socket.sent.size(),
                 where + "\n  unexpected: " + r.socket.sent.value(seen).toUtf8());
        if (op == u"S")
            r.socket.feed(unescape(rest) + QStringLiteral("\r\n"));
        else if (op == u"R")
            r.socket.feed(unescape(rest));
        else if (op == u"bulk") // "bulk N TEXT": N lines in one read
            r.socket.feed((unescape(rest.section(u' ', 1)) + QStringLiteral("\r\n"))
                              .repeated(rest.section(u' ', 0, 0).toInt()));
        else if (op == u"start") {
            r.engine->Command1_Click();
            r.socket.feed(QStringLiteral("200 news.example ready\r\n"));
        } else if (op == u"click")
            r.engine->Command1_Click();
        else if (op == u"fail")
            r.socket.fail(rest);
        else if (op == u"set")
            r.set(rest.section(u'=', 0, 0), unescape(rest.section(u'=', 1)));
        else if (op == u"logmode")
            r.ctx->logMode = true;
        else if (op == u"clock")
            r.clock = r.clock.addSecs(rest.toInt());
        else if (op == u"wait")
            QTRY_VERIFY_WITH_TIMEOUT(!r.engine->running(), 5000);
        else if (op == u"sleep")
            QTest::qWait(rest.toInt());
        else if (op == u"insert")
            r.ctx->groups.insertRow(rest.section(u' ', 0, 0).toInt(),
                                    GroupTable::newRow(rest.section(u' ', 1), {}));
        else if (op == u"remove")
            r.ctx->groups.removeRow(rest.toInt());
        else if (op == u"failwrites")
            r.store->failWritesForTesting(true);
        else if (op == u"label")
            st.label1 = rest;
        else if (op == u"fatal")
            QCOMPARE(fatal.value(0).value(0).toString(), rest);
        else
            QFAIL(where + " (unknown step)");
    }
    QVERIFY2(seen == r.socket.sent.size(), "unexpected: " + r.socket.sent.value(seen).toUtf8());
}

} // namespace

Q_DECLARE_METATYPE(DownloadEngine::EndReason)

class TestDownloadEngine final : public QObject {
    Q_OBJECT
private slots:
    void conversation_data() { kaplotest::addDataRows(QStringLiteral("engine/conversations.txt")); }
    void conversation()
    {
        QFETCH(kaplotest::DataCase, c);
        play(c);
    }

    // kaplo-cli download's exit status from how the run ended: "reason
    // refused interrupted status" a line.
    void exitStatus()
    {
        for (const QString &l :
             kaplotest::dataCases("engine/exitstatus.txt").value(0).lines("rows")) {
            const QStringList f = l.split(u' ');
            const auto reason = DownloadEngine::EndReason(kEnds.indexOf(f[0]));
            QVERIFY2(DownloadEngine::exitStatus(reason, f[1] == u"yes", f[2] == u"yes") ==
                         f[3].toInt(),
                     qPrintable(l));
        }
    }

    void timeoutSetting()
    {
        QCOMPARE(DownloadEngine::timeoutSeconds(QStringLiteral(" 30 ")), 30);
        QCOMPARE(DownloadEngine::timeoutSeconds(QStringLiteral("0")), 1);
        QCOMPARE(DownloadEngine::timeoutSeconds(QStringLiteral("abc")),
                 DownloadEngine::DefaultTimeout);
        QCOMPARE(DownloadEngine::timeoutSeconds(QStringLiteral("99999999999")), 2147483);
    }
};

KAPLO_TEST(TestDownloadEngine)
#include "tst_downloadengine.moc"
