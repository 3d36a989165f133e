#include "engine/downloadengine.h"

#include "core/appcontext.h"
#include "decode/charsets.h"
#include "engine/articlelinehandler.h"
#include "engine/nntpsocket.h"
#include "settings/grouptable.h"
#include "settings/textvalue.h"

#include <QLocale>

#include <algorithm>
#include <limits>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool beginsWith(QStringView line, char16_t c)
{
    return !line.isEmpty() && line.front() == c;
}

// 480: the server wants us to authenticate (RFC 4643 section 2.2). Without
// a user name to give nothing that follows can succeed.
bool authRequired(QStringView line)
{
    return line.startsWith(u"480");
}

// A whole number field of a reply: optional sign and digits, nothing else.
bool integerField(QStringView text, qint64 &value)
{
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && !text.isEmpty() && !text.front().isSpace();
}

// An article number as a reply names it (RFC 3977 section 6.1.4): digits
// only, within 2^63-1. Anything else is not taken for one.
bool articleNumber(QStringView text, qint64 &value)
{
    const std::optional<qint64> v = TextValue::digitsNumber(text);
    if (v)
        value = *v;
    return v.has_value();
}

// The second field of a reply ("220 n <message-id>", "223 n <message-id>").
QStringView secondField(QStringView line)
{
    const qsizetype s = line.indexOf(u' ');
    if (s < 0)
        return {};
    QStringView rest = line.sliced(s + 1);
    const qsizetype e = rest.indexOf(u' ');
    return e < 0 ? rest : rest.first(e);
}

const QString kCompleted = GroupTable::completedKey();
const QString kNextLine = QStringLiteral("NEXT\r\n");
const QString kArticleLine = QStringLiteral("ARTICLE\r\n");

// A status line that multi-line text follows (220, 221, 222: an article,
// its head or its body).
bool textFollows(QByteArrayView status)
{
    return status.size() >= 3 && status[0] == '2' && status[1] == '2' && status[2] >= '0' &&
           status[2] <= '2';
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// The next-article number of column 1: its leading number (0 when it has
// none) as an integer, and the same number written the shortest way for the
// ARTICLE command. Whole numbers are read exactly, whatever their size.
void leadingArticleNumber(QStringView text, qint64 &value, QString &written)
{
    bool fraction = false;
    value = TextValue::leadingInteger(text, &fraction);
    written = fraction ? QString::number(TextValue::leadingNumber(text), 'g',
                                         QLocale::FloatingPointShortest)
                       : QString::number(value);
}

} // namespace

DownloadEngine::DownloadEngine(AppContext &ctx, NntpSocket &socket, QObject *parent)
    : QObject(parent), m_ctx(ctx), m_socket(socket)
{
    // Raw 8-bit headers that are well-formed UTF-8 are read as UTF-8.
    m_socket.setUtf8Lines(true);
    connect(&m_socket, &NntpSocket::dataArrival, this, &DownloadEngine::Winsock1_DataArrival);
    connect(&m_socket, &NntpSocket::error, this, &DownloadEngine::Winsock1_Error);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &DownloadEngine::serverSilent);
    m_lastFlush.setSingleShot(true);
    m_lastFlush.setInterval(1000);
    connect(&m_lastFlush, &QTimer::timeout, this, &DownloadEngine::flushLast);
    m_goodbye.setSingleShot(true);
    m_goodbye.setInterval(GoodbyeMs);
    connect(&m_goodbye, &QTimer::timeout, this, &DownloadEngine::closeConnection);
}

DownloadEngine::~DownloadEngine() = default;

QString DownloadEngine::startCaption()
{
    return QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始");
}

QString DownloadEngine::stopCaption()
{
    return QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中止");
}

int DownloadEngine::exitStatus(EndReason reason, bool groupRefused, bool interrupted)
{
    if (interrupted)
        return 130;
    switch (reason) {
    case EndReason::Finished:
    case EndReason::Limit:
        // A group the server refused an article of waits for a later run.
        return groupRefused ? 1 : 0;
    case EndReason::Fatal:
    case EndReason::LocalError:
        return 2;
    case EndReason::Error:
    case EndReason::Refused:
        return 1;
    case EndReason::Stopped:
    case EndReason::None:
        break;
    }
    return 130;
}

QString DownloadEngine::fileCountCaption(qint64 fileCount)
{
    return QStringLiteral("ﾌｧｲﾙ数=") + TextValue::groupedNumber(fileCount);
}

QString DownloadEngine::byteCountCaption(qint64 byteCount)
{
    return QStringLiteral("ﾌｧｲﾙｻｲｽﾞ=") + TextValue::groupedNumber(byteCount) +
           QStringLiteral("ﾊﾞｲﾄ");
}

int DownloadEngine::timeoutSeconds(const QString &setting)
{
    bool ok = false;
    const qint64 v = setting.trimmed().toLongLong(&ok);
    if (!ok)
        return DefaultTimeout;
    // A timer counts milliseconds in an int.
    return static_cast<int>(std::clamp<qint64>(v, 1, std::numeric_limits<int>::max() / 1000));
}

int DownloadEngine::pipelineDepth(const QString &setting)
{
    bool ok = false;
    const int v = setting.trimmed().toInt(&ok);
    if (!ok || v < 1)
        return DefaultPipeline;
    return std::min(v, MaxPipeline);
}

QString DownloadEngine::silenceText(int seconds)
{
    return QStringLiteral("サーバーから応答がありません (") + QString::number(seconds) +
           QStringLiteral("秒)");
}

QString DownloadEngine::processingText()
{
    return QStringLiteral("処理中");
}

QString DownloadEngine::completeText()
{
    return QStringLiteral("処理完了");
}

QString DownloadEngine::invalidGroupText()
{
    return QStringLiteral("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ");
}

QString DownloadEngine::interruptedText()
{
    return QStringLiteral("処理中断");
}

// --- the group table row of the run ---------------------------------------

bool DownloadEngine::rowExists() const
{
    return m_state.groupIndex >= 1 && m_state.groupIndex <= m_ctx.groups.count();
}

QString DownloadEngine::column(int col) const
{
    return rowExists() ? m_ctx.groups.text(m_state.groupIndex - 1, col) : QString();
}

void DownloadEngine::setColumn(int col, const QString &text)
{
    if (rowExists())
        m_ctx.groups.setText(m_state.groupIndex - 1, col, text);
}

QString DownloadEngine::groupSection() const
{
    const int row = m_ctx.groups.rowOfId(m_groupRowId);
    return row >= 0 ? GroupTable::sectionOf(row) : QString();
}

bool DownloadEngine::writeGroupValue(const QString &key, const QString &value)
{
    const QString section = groupSection();
    return section.isEmpty() || m_ctx.store.writeSoon(section, key, value);
}

bool DownloadEngine::logEnabled() const
{
    return m_ctx.settings.logOn();
}

// --- run control ------------------------------------------------------------

void DownloadEngine::Command1_Click()
{
    m_state.runDate = m_state.now().toString(QStringLiteral("yyMMdd"));
    if (!m_running)
        startRun();
    else
        stopRun();
    if (!m_inEvent)
        emit statusChanged();
}

void DownloadEngine::startRun()
{
    RunState &st = m_state;
    const RunningSettings &set = m_ctx.settings;

    st.label3.clear();
    // One run per settings file: with another one going on nothing is sent,
    // and no LAST of this run could go astray.
    if (!m_ctx.runLock.tryLock()) {
        st.label3 = m_ctx.runLock.busyMessage();
        m_endReason = EndReason::Refused;
        return;
    }
    // The groups and LAST as the file has them, whatever another program
    // wrote since they were read.
    m_ctx.reloadIfChangedOnDisk();
    m_goodbye.stop();
    m_closing = false;
    m_timeout = timeoutSeconds(set.timeout);
    m_auth.reset(NntpAuth::Settings::from(set));
    m_socket.setTls(set.tls());
    m_socket.setCaFile(set.caFile);
    m_socket.connectToHost(set.serverName, TextValue::portNumber(set.serverPort));

    st.engineState = EngineState::Greeting;
    st.sendPending = false;
    st.inBody = false;
    st.inArticle = false;
    st.openPending = false;
    st.runError.clear();
    st.fatalError.clear();
    m_articleAtLast = false;
    m_limitStop = false;
    m_groupRefused = false;
    m_askedNumber = 0;
    m_window = pipelineDepth(set.pipeline);
    m_ahead.clear();
    m_aheadPairs = 0;
    m_dropReplies = 0;
    m_dropBlock = false;
    m_articleBytes = 0;
    m_articles = 0;
    // What is left of an earlier connection belongs to it.
    m_lines.clear();
    m_silence.start(m_timeout * 1000);

    st.runGroupCount = m_ctx.groups.count();
    st.groupIndex = 1;

    if (logEnabled() && !m_log.openSummary(RunLog::summaryPath(set.saveDir, st.runDate)))
        st.label3 = QStringLiteral("ログファイルを開けません: ") +
                    RunLog::summaryPath(set.saveDir, st.runDate);
    if (m_ctx.logMode && !m_log.openTrace(RunLog::tracePath(set.saveDir, st.runDate)))
        st.label3 = QStringLiteral("ログファイルを開けません: ") +
                    RunLog::tracePath(set.saveDir, st.runDate);

    m_running = true;
    ++m_runSerial;
    m_endReason = EndReason::None;

    for (int r = 0; r < m_ctx.groups.count(); ++r)
        m_ctx.groups.setText(r, GroupTable::State, QString());

    st.fileCount = 0;
    st.byteCount = 0;
    // Nothing of an earlier run stays on screen.
    st.label1.clear();
    st.label2Shown = false;
    st.label8.clear();
    st.label6 = fileCountCaption(0);
    st.label7 = byteCountCaption(0);
    m_runStart = st.now();
    m_receivedBytes = 0;

    st.stopTime = QDateTime();
    if (set.limitKind() == LimitKind::Time) {
        // "06:30" is a duration: six and a half hours from now.
        if (const auto t = TextValue::parseTime(set.seigenTime))
            st.stopTime = st.now().addSecs(t->msecsSinceStartOfDay() / 1000);
    }
    emit runningChanged(true);
}

void DownloadEngine::closeLogs()
{
    // Whatever the settings say now: a log opened at the start is closed.
    m_log.closeSummary();
    m_log.closeTrace();
}

void DownloadEngine::endRun(EndReason reason)
{
    m_silence.stop();
    m_lastFlush.stop();
    if (!m_ctx.store.flush()) {
        m_state.label3 = QStringLiteral("取込番号を保存できません: ") + m_ctx.store.errorString();
        if (reason != EndReason::Fatal)
            reason = EndReason::LocalError;
    }
    if (reason == EndReason::Finished || reason == EndReason::Stopped ||
        reason == EndReason::Limit) {
        // Goodbye (RFC 3977 section 5.4): the connection is closed when the
        // server answers, or after a short wait. Replies to the commands
        // still in flight come first, and the rest of an article cut short.
        m_dropBlock = m_dropBlock || m_state.inArticle;
        m_ahead.clear();
        m_aheadPairs = 0;
        m_dropReplies = 0;
        m_socket.send(QStringLiteral("QUIT") + kCrLf);
        m_closing = true;
        m_goodbye.start();
    } else {
        m_socket.close();
    }
    m_ctx.runLock.unlock();
    m_running = false;
    m_endReason = reason;
    summarise(reason);
    emit runningChanged(false);
}

void DownloadEngine::summarise(EndReason reason)
{
    RunState &st = m_state;
    // A row the run was working on when it ended is not complete.
    for (int r = 0; r < m_ctx.groups.count(); ++r) {
        if (m_ctx.groups.text(r, GroupTable::State) == processingText())
            m_ctx.groups.setText(r, GroupTable::State, interruptedText());
    }
    using End = RunSummary::End;
    m_lastRun.end = reason == EndReason::Finished  ? End::Finished
                    : reason == EndReason::Stopped ? End::Stopped
                    : reason == EndReason::Limit   ? End::Limit
                                                   : End::Error;
    m_lastRun.reason = m_lastRun.end == End::Error ? st.label3 : QString();
    m_lastRun.files = st.fileCount;
    m_lastRun.bytes = st.byteCount;
    m_lastRun.msecs = m_runStart.isValid() ? m_runStart.msecsTo(st.now()) : 0;
    st.label1.clear();
    st.label2Shown = false;
    st.label6 = fileCountCaption(st.fileCount);
    st.label7 = byteCountCaption(st.byteCount);
    st.label8 = m_lastRun.text();
}

void DownloadEngine::stopRun()
{
    if (m_handler)
        m_handler->endOfRun();
    closeLogs();
    setColumn(GroupTable::State, interruptedText());
    if (m_handler)
        m_handler->closeOutFile();
    if (!m_state.fatalError.isEmpty()) {
        endFatal(m_state.fatalError);
        return;
    }
    const bool failed = !m_state.runError.isEmpty();
    if (failed)
        m_state.label3 = m_state.runError;
    endRun(failed ? EndReason::LocalError : (m_limitStop ? EndReason::Limit : EndReason::Stopped));
    m_limitStop = false;
    emit runEnded();
}

void DownloadEngine::FinishRun()
{
    if (m_handler)
        m_handler->endOfRun();
    closeLogs();
    if (m_handler)
        m_handler->closeOutFile();
    if (!m_state.fatalError.isEmpty()) {
        endFatal(m_state.fatalError);
        return;
    }
    const bool failed = !m_state.runError.isEmpty();
    if (failed)
        m_state.label3 = m_state.runError;
    endRun(failed ? EndReason::LocalError : EndReason::Finished);
    m_state.engineState = EngineState::Ended;
    emit runEnded();
}

void DownloadEngine::Winsock1_Error(const QString &description)
{
    if (!m_running) {
        // The server closing after its answer to QUIT is the usual goodbye.
        closeConnection();
        return;
    }
    endWithError(description);
    emit statusChanged();
}

void DownloadEngine::endWithError(const QString &description, EndReason reason)
{
    m_state.label3 = description;
    closeLogs();
    // The output file is closed as it stands; the captions stay.
    if (m_handler)
        m_handler->closeOutFileOnly();
    endRun(reason);
    emit runEnded();
}

void DownloadEngine::endFatal(const QString &message)
{
    closeLogs();
    if (m_handler)
        m_handler->closeOutFileOnly();
    endRun(EndReason::Fatal);
    emit fatalError(message);
}

bool DownloadEngine::handlerStopped(quint64 serial)
{
    if (!alive(serial))
        return true;
    if (!m_state.fatalError.isEmpty()) {
        endFatal(m_state.fatalError);
        return true;
    }
    if (!m_state.runError.isEmpty()) {
        const QString text = m_state.runError;
        m_state.runError.clear();
        endWithError(text, EndReason::LocalError);
        return true;
    }
    return false;
}

bool DownloadEngine::LimitCheck()
{
    const RunningSettings &set = m_ctx.settings;
    bool reached = false;
    const LimitKind limit = set.limitKind();
    if (limit == LimitKind::Time) {
        reached = m_state.stopTime.isValid() && m_state.now() >= m_state.stopTime;
    } else if (limit == LimitKind::Files) {
        reached =
            TextValue::isNumeric(set.seigenFile) &&
            static_cast<double>(m_state.fileCount) >= TextValue::leadingNumber(set.seigenFile);
    } else if (limit == LimitKind::Size) {
        reached = TextValue::isNumeric(set.seigenSize) &&
                  static_cast<double>(m_state.byteCount) >=
                      TextValue::leadingNumber(set.seigenSize) * 1024.0 * 1024.0;
    }
    if (!reached || !m_running)
        return false;
    m_limitStop = true;
    Command1_Click();
    return true;
}

// --- the conversation ---------------------------------------------------------

void DownloadEngine::serverSilent()
{
    if (m_running)
        Winsock1_Error(silenceText(m_timeout));
}

void DownloadEngine::flushLast()
{
    if (m_running && !m_ctx.store.flush()) {
        endWithError(QStringLiteral("取込番号を保存できません: ") + m_ctx.store.errorString(),
                     EndReason::LocalError);
        emit statusChanged();
    }
}

void DownloadEngine::closeConnection()
{
    m_goodbye.stop();
    if (!m_closing)
        return;
    m_closing = false;
    m_socket.close();
    emit connectionClosed();
}

QStringView DownloadEngine::decodeLine(QByteArrayView bytes)
{
    // Complete lines: no character is split between two of them. A line
    // whose bytes are well-formed UTF-8 (with some beyond ASCII) is read as
    // UTF-8, any other as CP932.
    m_lineText.resize(0);
    if (m_socket.utf8Lines() && !isAscii(bytes) && Charsets::isUtf8(bytes)) {
        m_lineText = QString::fromUtf8(bytes);
        return m_lineText;
    }
    m_lineDecoder.reset();
    m_lineDecoder.appendTo(bytes, m_lineText);
    return m_lineText;
}

void DownloadEngine::Winsock1_DataArrival()
{
    if (!m_running) {
        m_socket.readBytes(m_chunk);
        if (!m_closing)
            return; // nothing of ours is connected
        m_lines.append(m_chunk);
        QByteArrayView raw;
        while (m_closing && m_lines.takeLine(raw))
            closingLine(raw);
        return;
    }
    const quint64 serial = m_runSerial;
    RunState &st = m_state;
    m_silence.start(m_timeout * 1000);
    m_socket.readBytes(m_chunk);
    m_receivedBytes += m_chunk.size();
    m_lines.append(m_chunk);

    // The window repaints once per event, however many lines it brought.
    struct Notify {
        DownloadEngine *e;
        bool outer;
        ~Notify()
        {
            e->m_inEvent = outer;
            emit e->statusChanged();
        }
    } notify{this, m_inEvent};
    m_inEvent = true;

    // Received lines stay bytes: only lines read as text (replies, header
    // lines, the trace log) are converted, one at a time.
    QByteArrayView raw;
    bool overlong = false;
    while (m_lines.takeLine(raw, &overlong)) {
        if (m_ctx.logMode && !st.inBody && !m_dropBlock)
            m_log.trace(decodeLine(raw));
        if (m_dropReplies > 0) {
            dropReplyLine(raw);
            continue;
        }
        if (st.inArticle) {
            m_articleBytes += raw.size() + 2;
            if (LineBuffer::isBlockEnd(raw)) {
                ++m_articles;
                endOfArticle();
                if (handlerStopped(serial))
                    return;
                if (LimitCheck())
                    return;
                // One command at a time: lines still waiting are taken at
                // the next event. With commands sent ahead the next reply
                // is already on its way, and NEXT goes out no more.
                if (m_ahead.empty())
                    break;
                sendStep();
                if (!alive(serial))
                    return;
                continue;
            }
            // Dot-stuffing (RFC 3977 section 3.1.1): a line that begins
            // with "." came with one more in front.
            const QByteArrayView bytes = LineBuffer::unstuffed(raw);
            if (m_handler) {
                if (overlong)
                    m_handler->overlongLine(decodeLine(bytes));
                else if (!st.inBody || !m_handler->rawArticleLine(bytes))
                    m_handler->articleLine(decodeLine(bytes));
                if (handlerStopped(serial))
                    return;
            }
            continue;
        }
        if (st.sendPending)
            continue;
        handleReply(decodeLine(raw));
        if (!alive(serial))
            return;
        // The command the reply calls for may have been sent ahead: then
        // its reply is among the lines still waiting.
        if (st.sendPending && !m_ahead.empty()) {
            sendStep();
            if (!alive(serial))
                return;
        }
    }
    sendStep();
    if (alive(serial))
        fillWindow();
}

void DownloadEngine::sendCommand(const QString &line)
{
    if (!m_ahead.empty()) {
        const char ahead = m_ahead.front();
        if ((ahead == 'N' && line == kNextLine) || (ahead == 'A' && line == kArticleLine)) {
            // Already sent: its reply is the next one to come.
            m_ahead.pop_front();
            if (ahead == 'A')
                --m_aheadPairs;
            return;
        }
        // The conversation turns away from the commands sent ahead (the
        // group ended, an article is missing, the server wants a password):
        // their replies come before this command's and are dropped. An
        // ARTICLE behind a failed NEXT returns the current article again.
        m_dropReplies += static_cast<qsizetype>(m_ahead.size());
        m_ahead.clear();
        m_aheadPairs = 0;
    }
    m_socket.send(line);
}

void DownloadEngine::fillWindow()
{
    RunState &st = m_state;
    // Only while an article arrives: the server's current article is then
    // st.currentNumber, and each pair fetches the next one after it. Never
    // more pairs than numbers are left up to the group's last.
    if (m_window <= 1 || !st.inArticle || st.sendPending || m_dropReplies > 0 || m_auth.busy() ||
        m_auth.hasCommand() || st.currentNumber < 0 || st.lastNumber <= st.currentNumber)
        return;
    // Before the first article ends its size is guessed: a quarter of the
    // byte window.
    const qint64 size =
        m_articles > 0 ? std::max<qint64>(1, m_articleBytes / m_articles) : WindowBytes / 4;
    const qint64 want = std::min({qint64(m_window - 1), std::max<qint64>(1, WindowBytes / size),
                                  st.lastNumber - st.currentNumber});
    while (m_aheadPairs < want) {
        m_socket.send(kNextLine);
        m_socket.send(kArticleLine);
        m_ahead.push_back('N');
        m_ahead.push_back('A');
        ++m_aheadPairs;
    }
}

void DownloadEngine::dropReplyLine(QByteArrayView raw)
{
    if (m_dropBlock) {
        if (LineBuffer::isBlockEnd(raw)) {
            m_dropBlock = false;
            --m_dropReplies;
        }
        return;
    }
    if (textFollows(raw))
        m_dropBlock = true;
    else
        --m_dropReplies;
}

void DownloadEngine::closingLine(QByteArrayView raw)
{
    if (m_dropBlock) {
        m_dropBlock = !LineBuffer::isBlockEnd(raw);
        return;
    }
    if (raw.startsWith("205"))
        closeConnection();
    else if (textFollows(raw))
        m_dropBlock = true;
}

void DownloadEngine::handleReply(QStringView line)
{
    RunState &st = m_state;
    switch (st.engineState) {
    case EngineState::Idle:
    case EngineState::Ended:
        return; // ignored
    case EngineState::Greeting: {
        // The greeting's code is not examined. MODE READER and AUTHINFO, when
        // set, go before the first GROUP.
        st.engineState = EngineState::Group;
        const NntpAuth::Reply r = m_auth.begin();
        st.sendPending = r == NntpAuth::Reply::Pass;
        if (r == NntpAuth::Reply::Fail)
            endWithError(m_auth.failure());
        return;
    }
    case EngineState::Group:
    case EngineState::Article:
    case EngineState::Stat:
    case EngineState::Next:
        break;
    }
    switch (m_auth.reply(line)) {
    case NntpAuth::Reply::Pass:
        break;
    case NntpAuth::Reply::Taken:
        return;
    case NntpAuth::Reply::Resume:
        // The state is the one that sent the command: it sends it again
        // (or, after the greeting, the first GROUP).
        st.sendPending = true;
        return;
    case NntpAuth::Reply::Fail:
        endWithError(m_auth.failure());
        return;
    }
    if (authRequired(line)) {
        endWithError(line.toString());
        return;
    }
    switch (st.engineState) {
    case EngineState::Group:
        if (beginsWith(line, u'2'))
            groupSelected(line);
        else
            nextRow(invalidGroupText());
        break;
    case EngineState::Article:
        if (beginsWith(line, u'2'))
            articleFollows(line);
        else if (beginsWith(line, u'4'))
            noSuchArticle();
        else if (beginsWith(line, u'5'))
            articleRefused(line);
        else // waiting would wait for ever
            endWithError(line.toString());
        break;
    case EngineState::Stat:
        statSent(line);
        break;
    case EngineState::Next:
        nextSent(line);
        break;
    case EngineState::Idle:
    case EngineState::Greeting:
    case EngineState::Ended:
        break;
    }
}

void DownloadEngine::nextSent(QStringView line)
{
    RunState &st = m_state;
    if (beginsWith(line, u'4')) {
        nextRow(completeText());
    } else if (beginsWith(line, u'2')) {
        // "223 n <message-id>": a number that does not pass the current
        // one would fetch the same articles again and again.
        qint64 n = 0;
        if (!articleNumber(secondField(line), n) || n <= st.currentNumber) {
            if (m_ctx.logMode)
                m_log.trace(QStringLiteral("NEXTで次の記事に進みません (") +
                            QString::number(st.currentNumber) +
                            QStringLiteral("): ｸﾞﾙｰﾌﾟを終了します"));
            nextRow(completeText());
            return;
        }
        st.currentNumber = n;
        m_askedNumber = n;
        st.engineState = EngineState::Article;
        st.nextArticleCommand = QStringLiteral("ARTICLE");
        m_articleAtLast = false;
        st.sendPending = true;
    } else {
        endWithError(line.toString());
    }
}

void DownloadEngine::nextRow(const QString &status)
{
    RunState &st = m_state;
    setColumn(GroupTable::State, status);
    st.groupIndex += 1;
    if (st.groupIndex <= st.runGroupCount) {
        st.engineState = EngineState::Group;
        st.sendPending = true;
    } else {
        FinishRun();
    }
}

void DownloadEngine::groupSelected(QStringView line)
{
    RunState &st = m_state;
    // "211 count first last name" (RFC 3977 section 6.1.1): the numbers lie
    // between the second, third and fourth spaces.
    const qsizetype s1 = line.indexOf(u' ');
    const qsizetype s2 = s1 < 0 ? -1 : line.indexOf(u' ', s1 + 1);
    const qsizetype s3 = s2 < 0 ? -1 : line.indexOf(u' ', s2 + 1);
    const qsizetype s4 = s3 < 0 ? -1 : line.indexOf(u' ', s3 + 1);
    qint64 first = 0;
    qint64 last = 0;
    if (s3 < 0 || !integerField(line.mid(s2 + 1, s3 - s2 - 1), first) ||
        !integerField(s4 < 0 ? line.mid(s3 + 1) : line.mid(s3 + 1, s4 - s3 - 1), last)) {
        nextRow(invalidGroupText());
        return;
    }

    st.engineState = EngineState::Article;
    st.nextArticleCommand = QStringLiteral("ARTICLE");
    m_articleAtLast = false;
    // A bare ARTICLE fetches the group's first article.
    st.currentNumber = first;
    m_askedNumber = first;
    const QString next = column(GroupTable::Last);
    if (!next.isEmpty()) {
        qint64 v = 0;
        QString written;
        leadingArticleNumber(next, v, written);
        if (v < first) {
            // Numbers below the low-water mark are gone: straight to the first.
            st.nextArticleCommand = QStringLiteral("ARTICLE ") + QString::number(first);
        } else {
            st.currentNumber = v;
            m_askedNumber = v;
            st.nextArticleCommand = QStringLiteral("ARTICLE ") + written;
            // The article LAST names was saved whole by an earlier run: the
            // run goes on after it (STAT, then NEXT) without saving it again.
            if (m_ctx.store.read(groupSection(), kCompleted, QString()) == next) {
                st.nextArticleCommand = QStringLiteral("STAT ") + written;
                st.engineState = EngineState::Stat;
            }
        }
    }
    st.firstNumber = first;
    st.lastNumber = last;
    setColumn(GroupTable::Lowest, QString::number(first));
    setColumn(GroupTable::Highest, QString::number(last));
    if (last == 0)
        st.engineState = EngineState::Next; // empty: the 4xx to NEXT ends it
    setColumn(GroupTable::State, processingText());
    st.sendPending = true;
}

void DownloadEngine::articleFollows(QStringView line)
{
    RunState &st = m_state;
    st.subject.clear();
    st.from.clear();
    // "220 n <message-id>" (RFC 3977 section 6.2.1.2). A number that cannot
    // be an article's does not become LAST: the number asked for stands.
    qint64 n = 0;
    if (!articleNumber(secondField(line), n))
        n = m_askedNumber;
    st.currentNumber = n;
    st.articleNumberText = QString::number(n);
    setColumn(GroupTable::Last, st.articleNumberText);
    if (logEnabled()) {
        m_log.summary(QStringLiteral("\"") + column(GroupTable::Name) + QStringLiteral("\"\t") +
                      st.articleNumberText);
    }
    st.inArticle = true;
    // The article being fetched is the one the next run begins with.
    // Written at most once a second while articles stream in, and by the
    // timer within a second while one long article arrives; every end of
    // the run puts the last one on disk (endRun).
    if (!writeGroupValue(QStringLiteral("LAST"), st.articleNumberText)) {
        endWithError(QStringLiteral("取込番号を保存できません: ") + m_ctx.store.errorString(),
                     EndReason::LocalError);
        return;
    }
    if (!m_lastFlush.isActive())
        m_lastFlush.start();
}

void DownloadEngine::articleRefused(QStringView line)
{
    // The server cannot serve this article (a 5xx): the group ends here and
    // its LAST names the article, so the next run tries it again; the run
    // goes on with the next group.
    RunState &st = m_state;
    const QString reply = line.toString();
    // The number as the command named it ("ARTICLE n"), else the one NEXT named.
    const QString number = st.nextArticleCommand.startsWith(QLatin1String("ARTICLE "))
                               ? st.nextArticleCommand.mid(8)
                               : QString::number(m_askedNumber);
    m_groupRefused = true;
    st.label3 = reply;
    setColumn(GroupTable::Last, number);
    if (logEnabled()) {
        m_log.summary(QStringLiteral("\"") + column(GroupTable::Name) + QStringLiteral("\"\t") +
                      number + QStringLiteral("\t") + reply);
        m_log.endRecord();
    }
    if (!writeGroupValue(QStringLiteral("LAST"), number)) {
        endWithError(QStringLiteral("取込番号を保存できません: ") + m_ctx.store.errorString(),
                     EndReason::LocalError);
        return;
    }
    nextRow(interruptedText());
}

void DownloadEngine::statSent(QStringView line)
{
    RunState &st = m_state;
    if (beginsWith(line, u'2')) {
        // The completed article is the current one: on to the next.
        st.engineState = EngineState::Next;
        st.sendPending = true;
    } else if (st.currentNumber >= st.lastNumber) {
        nextRow(completeText());
    } else {
        noSuchArticle();
    }
}

void DownloadEngine::noSuchArticle()
{
    RunState &st = m_state;
    if (m_articleAtLast) {
        // The last article is missing too: nothing is left in this group.
        nextRow(completeText());
        return;
    }
    st.engineState = EngineState::Article;
    if (st.currentNumber < std::numeric_limits<qint64>::max())
        st.currentNumber += 1;
    st.sendPending = true;
    m_articleAtLast = st.currentNumber > st.lastNumber;
    st.nextArticleCommand = QStringLiteral("ARTICLE ") +
                            QString::number(m_articleAtLast ? st.lastNumber : st.currentNumber);
    if (st.currentNumber < st.firstNumber) {
        // Whatever lies below the low-water mark is gone.
        st.currentNumber = st.firstNumber;
        st.nextArticleCommand = QStringLiteral("ARTICLE ") + QString::number(st.firstNumber);
        m_articleAtLast = false;
    }
    m_askedNumber = m_articleAtLast ? st.lastNumber : st.currentNumber;
}

void DownloadEngine::endOfArticle()
{
    RunState &st = m_state;
    if (logEnabled())
        m_log.endRecord();
    st.engineState = EngineState::Next;
    st.sendPending = true;
    st.inArticle = false;
    st.from.clear();
    st.dateText.clear();
    st.openPending = false;
    st.subject.clear();
    if (m_handler)
        m_handler->closeOutFile();
    // Saved whole: the next run does not save it again.
    if (st.runError.isEmpty() && st.fatalError.isEmpty() &&
        writeGroupValue(kCompleted, st.articleNumberText) && !m_lastFlush.isActive())
        m_lastFlush.start();
    st.mimeState = MimeState::None;
    st.pendingFileName.clear();
    st.nameParameters.clear();
    st.label6 = fileCountCaption(st.fileCount);
    st.label7 = byteCountCaption(st.byteCount);
}

void DownloadEngine::sendStep()
{
    RunState &st = m_state;
    if (m_auth.hasCommand()) {
        sendCommand(m_auth.takeCommand());
        return;
    }
    if (!st.sendPending || m_auth.busy())
        return;
    switch (st.engineState) {
    case EngineState::Group:
        sendGroup();
        break;
    case EngineState::Article:
    case EngineState::Stat:
        st.sendPending = false;
        st.inArticle = false;
        sendCommand(st.nextArticleCommand + kCrLf);
        break;
    case EngineState::Next:
        st.sendPending = false;
        sendCommand(kNextLine);
        break;
    case EngineState::Idle:
    case EngineState::Greeting:
    case EngineState::Ended:
        break;
    }
}

void DownloadEngine::sendGroup()
{
    // The next row to download, skipping the ones set not to; past the last
    // one the run is finished.
    RunState &st = m_state;
    st.sendPending = false;
    for (;;) {
        if (st.groupIndex > st.runGroupCount || !rowExists()) {
            FinishRun();
            return;
        }
        if (GroupTable::takesPart(column(GroupTable::Download))) {
            if (GroupTable::validName(column(GroupTable::Name)))
                break;
            // A name that could end the command or add one is never sent.
            setColumn(GroupTable::State, invalidGroupText());
        }
        st.groupIndex += 1;
    }
    m_groupRowId = m_ctx.groups.rowId(st.groupIndex - 1);
    const GroupTable::Row &row = m_ctx.groups.row(st.groupIndex - 1);
    st.groupName = row[GroupTable::Name];
    st.groupUserDir = row[GroupTable::UserDir];
    st.groupDateDir = row[GroupTable::DateDir];
    st.groupRewrite = row[GroupTable::Rewrite];
    st.groupSubject = row[GroupTable::Subject];
    sendCommand(QStringLiteral("GROUP ") + st.groupName + kCrLf);
}
