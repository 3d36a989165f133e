// The download engine's conversation, run control, limits, logs and
// authentication, played from the transcripts of
// tests/data/engine/conversations.txt (its head describes them).
#include "enginerig.h"

#include "decode/cp932.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QRegularExpression>
#include <QTest>

namespace {

using kaplotest::unescape; // "\r", "\n", "\t", "\\", "\xHH" in a transcript's text

QString yesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

const QStringList kEnds{"None",  "Finished", "Stopped",    "Limit",
                        "Error", "Fatal",    "LocalError", "Refused"};
const QMap<QString, int> kColumns{{"last", GroupTable::Last},
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
        const QRegularExpression last("\\[" + GroupTable::sectionOf(row) +
                                      "\\][^[]*\\nLAST=([^\\n]*)");
        const QRegularExpressionMatch m = last.match(QString::fromUtf8(r.fileBytes("KAPLO.ini")));
        return m.hasMatch() ? m.captured(1).trimmed() : QStringLiteral("<none>");
    }
    if (key == u"file")
        return Cp932::decode(r.fileBytes(arg));
    if (kColumns.contains(key))
        return r.cell(row, kColumns[key]);
    const QMap<QString, QString> values{
        {"running", yesNo(r.engine->running())},
        {"end", kEnds.value(int(r.engine->endReason()))},
        {"refused", yesNo(r.engine->groupRefused())},
        {"engine", QString(u"-SGATNE"[int(st.engineState)])}, // EngineState
        {"current", QString::number(st.currentNumber)},
        {"label1", st.label1},
        {"label3", st.label3},
        {"label6", st.label6},
        {"label8", st.label8},
        {"elapsed", QString::number(r.engine->lastRun().msecs)},
        {"closed", yesNo(r.socket.closed)},
        {"closing", yesNo(r.engine->closing())},
        {"connects", QString::number(r.socket.connectCount)},
        {"tls", yesNo(r.socket.tls())},
        {"ended", QString::number(r.ended->count())},
        {"closes", QString::number(r.handler->closes)},
        {"closesOnly", QString::number(r.handler->closesOnly)},
        {"lines", r.handler->lines.join(u'\n')},
        {"overlong", QString::number(r.handler->overlong.value(0))},
        {"logs", yesNo(r.engine->log().summaryOpen()) + u' ' + yesNo(r.engine->log().traceOpen())},
    };
    return values.value(key, QStringLiteral("<no such key %1>").arg(key));
}

void play(const kaplotest::DataCase &c)
{
    EngineRig r;
    for (const QString &s : c.lines("settings"))
        r.set(s.section(u'=', 0, 0), unescape(s.section(u'=', 1)));
    for (const QString &g : c.lines("groups")) {
        QStringList f = g.split(u' ');
        f.replaceInStrings(QRegularExpression(QStringLiteral("^-$")), QString());
        r.addGroup(f[0], f.value(1), f.value(2, QStringLiteral("YES")));
    }
    // What article processing does with the lines it is given: "count N"
    // (each line a new file of N bytes), "error LINE TEXT", "fatal TEXT",
    // "body PREFIX" (an attachment's body begins).
    RunState &st = r.engine->state();
    const QString hook = c.text("hook").section(u' ', 0, 0);
    const QString arg = unescape(c.text("hook").section(u' ', 1));
    r.handler->onLine = [&](QStringView l) {
        if (hook == u"count") {
            st.fileCount += 1;
            st.byteCount += arg.toLongLong();
        } else if (hook == u"error" && l == arg.section(u' ', 0, 0)) {
            st.runError = arg.section(u' ', 1);
        } else if (hook == u"fatal") {
            st.fatalError = arg;
        } else if (hook == u"body" && l.startsWith(arg)) {
            st.inBody = true;
        }
    };
    QSignalSpy fatal(r.engine.get(), &DownloadEngine::fatalError);
    qsizetype seen = 0; // commands matched by "C" lines
    int n = 0;
    for (const QString &line : c.lines("run")) {
        ++n;
        if (line.isEmpty() || QTest::currentTestFailed())
            continue;
        const QString op = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        const QString text = unescape(rest);
        const QByteArray where = "run line " + QByteArray::number(n) + ": " + line.toUtf8();
        if (op == u"C") {
            QVERIFY2(seen < r.socket.sent.size(), where + " (not sent)");
            QCOMPARE(r.socket.sent[seen++], text + QStringLiteral("\r\n"));
            continue;
        }
        if (op == u"?") { // KEY~: contains, KEY!: lacks
            QString key = rest.section(u' ', 0, 0);
            const QChar how = key.endsWith(u'~') || key.endsWith(u'!') ? key.back() : u'=';
            key.remove(QRegularExpression(QStringLiteral("[~!]$")));
            const bool takesArg =
                kColumns.contains(key) || QStringList{"stored", "ondisk", "file"}.contains(key);
            const QString want = unescape(rest.section(u' ', takesArg ? 2 : 1));
            const QString got = observe(r, key, takesArg ? rest.section(u' ', 1, 1) : QString());
            QVERIFY2(how == u'=' ? got == want : got.contains(want) == (how == u'~'),
                     where + "\n  got: " + got.toUtf8());
            continue;
        }
        // Everything the client sent so far was expected.
        QVERIFY2(seen == r.socket.sent.size(),
                 where + "\n  unexpected: " + r.socket.sent.value(seen).toUtf8());
        const QMap<QString, std::function<void()>> steps{
            {"S", [&] { r.socket.feed(text + QStringLiteral("\r\n")); }},
            {"R", [&] { r.socket.feed(text); }},
            {"start",
             [&] {
                 r.engine->Command1_Click();
                 r.socket.feed(QStringLiteral("200 news.example ready\r\n"));
             }},
            {"click", [&] { r.engine->Command1_Click(); }},
            {"fail", [&] { r.socket.fail(rest); }},
            {"set", [&] { r.set(rest.section(u'=', 0, 0), unescape(rest.section(u'=', 1))); }},
            {"logmode", [&] { r.ctx->logMode = true; }},
            {"clock", [&] { r.clock = r.clock.addSecs(rest.toInt()); }},
            {"wait", [&] { QTRY_VERIFY_WITH_TIMEOUT(!r.engine->running(), 5000); }},
            {"sleep", [&] { QTest::qWait(rest.toInt()); }},
            {"insert", [&] { r.ctx->groups.insertRow(0, GroupTable::newRow(rest, {})); }},
            {"remove", [&] { r.ctx->groups.removeRow(rest.toInt()); }},
            {"failwrites", [&] { r.store->failWritesForTesting(true); }},
            {"save", [&] { QVERIFY(r.ctx->groups.saveAll(*r.store)); }},
            {"outside",
             [&] {
                 QVERIFY(kaplotest::editFile(r.store->path(), rest.section(u' ', 0, 0).toUtf8(),
                                             rest.section(u' ', 1).toUtf8()));
             }},
            {"label", [&] { st.label1 = rest; }},
            {"fatal", [&] { QCOMPARE(fatal.value(0).value(0).toString(), rest); }},
        };
        QVERIFY2(steps.contains(op), where + " (unknown step)");
        steps[op]();
    }
    QVERIFY2(seen == r.socket.sent.size(), "unexpected: " + r.socket.sent.value(seen).toUtf8());
}

} // namespace

class TestDownloadEngine final : public QObject {
    Q_OBJECT
private slots:
    void conversation_data() { kaplotest::addDataRows(QStringLiteral("engine/conversations.txt")); }
    void conversation()
    {
        QFETCH(kaplotest::DataCase, c);
        play(c);
    }

    // kaplo-cli download's exit status from how the run ended ("END REFUSED
    // INTERRUPTED STATUS"), and the timeout setting read ("TEXT SECONDS").
    void numbers()
    {
        const QList<kaplotest::DataCase> cases = kaplotest::dataCases("engine/exitstatus.txt");
        for (const QString &l : cases.value(0).lines("rows")) {
            const QStringList f = l.split(u' ');
            const auto reason = DownloadEngine::EndReason(kEnds.indexOf(f[0]));
            QVERIFY2(DownloadEngine::exitStatus(reason, f[1] == u"yes", f[2] == u"yes") ==
                         f[3].toInt(),
                     qPrintable(l));
        }
        for (const QString &l : cases.value(1).lines("rows"))
            QVERIFY2(DownloadEngine::timeoutSeconds(unescape(l.section(u' ', 0, -2))) ==
                         l.section(u' ', -1).toInt(),
                     qPrintable(l));
    }
};

KAPLO_TEST(TestDownloadEngine)
#include "tst_downloadengine.moc"
