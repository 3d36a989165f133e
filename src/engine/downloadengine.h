#pragma once

#include "decode/cp932.h"
#include "engine/linebuffer.h"
#include "engine/nntpauth.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "engine/runsummary.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <deque>

struct AppContext;
class ArticleLineHandler;
class NntpSocket;

// A download run: the NNTP conversation (GROUP, ARTICLE, NEXT over every row
// of the group table), starting and stopping it, the download limits and the
// run's logs. It advances one socket event at a time; everything it knows
// between events is in state().
//
// The window connects to it: runningChanged() switches Command1's caption
// (startCaption()/stopCaption()) and the six editing buttons, statusChanged()
// repaints the captions held in state(), runEnded() re-arms the daily start
// when Check1 is ticked, fatalError() shows the message and ends the program.
class DownloadEngine final : public QObject {
    Q_OBJECT
public:
    // How the latest run ended.
    enum class EndReason {
        None,       // no run has ended yet, or one is going on
        Finished,   // the last row was passed
        Stopped,    // stopped by hand
        Limit,      // stopped by the time, file or size limit
        Error,      // socket error, the server went away, refused or fell silent
        Fatal,      // the program must end (fatalError was emitted)
        LocalError, // an output file or the settings file could not be written
        Refused     // not started: another run holds the settings file (label3 says so)
    };
    // kaplo-cli download's exit status for a run that ended so: 0 done (1 when
    // a group had an article refused), 1 a server or connection error or
    // another run holding the settings file, 2 a local failure, 130 stopped
    // or interrupted by a signal.
    static int exitStatus(EndReason reason, bool groupRefused, bool interrupted);

    DownloadEngine(AppContext &ctx, NntpSocket &socket, QObject *parent = nullptr);
    ~DownloadEngine() override;

    // Article lines go here; without a handler they are dropped. Not owned.
    void setArticleHandler(ArticleLineHandler *handler) { m_handler = handler; }

    RunState &state() { return m_state; }
    const RunState &state() const { return m_state; }
    RunLog &log() { return m_log; }
    // MODE READER and AUTHINFO of the run's connection.
    const NntpAuth &auth() const { return m_auth; }

    bool running() const { return m_running; }
    EndReason endReason() const { return m_endReason; }
    // The latest run that ended (not after fatalError): how, what and how long.
    const RunSummary &lastRun() const { return m_lastRun; }
    // Bytes received from the server in the current (or latest) run.
    qint64 receivedBytes() const { return m_receivedBytes; }
    // The latest run ended a group because the server refused an article.
    bool groupRefused() const { return m_groupRefused; }
    // After a normal end the connection stays open until the server answers
    // QUIT (or briefly does not); connectionClosed() is emitted then.
    bool closing() const { return m_closing; }

    // Seconds of silence from the server after which a run or a catalogue
    // fetch gives up: SERVER/TIMEOUT's whole number, at least 1.
    static int timeoutSeconds(const QString &setting);
    // "サーバーから応答がありません (N秒)"
    static QString silenceText(int seconds);
    static constexpr int DefaultTimeout = 120;
    // How long the answer to QUIT is waited for.
    static constexpr int GoodbyeMs = 2000;
    // NEXT/ARTICLE pairs in flight at most: SERVER/PIPELINE's whole number
    // from 1 (one command at a time) to MaxPipeline, DefaultPipeline
    // otherwise. Within that, the pairs sent ahead are as many as make about
    // WindowBytes of articles by the average size so far (at least one), so
    // a distant server stays busy with small articles and big ones are not
    // asked for far ahead.
    static int pipelineDepth(const QString &setting);
    static constexpr int DefaultPipeline = 64;
    static constexpr int MaxPipeline = 64;
    static constexpr qint64 WindowBytes = 16 * 1024 * 1024;

    static QString startCaption(); // "ﾀﾞｳﾝﾛｰﾄﾞ開始"
    static QString stopCaption();  // "ﾀﾞｳﾝﾛｰﾄﾞ中止"
    QString command1Caption() const { return m_running ? stopCaption() : startCaption(); }
    // Label6 and Label7 as the end of each article sets them.
    static QString fileCountCaption(qint64 fileCount);
    static QString byteCountCaption(qint64 byteCount);

    // Status texts of the group table's column 4.
    static QString processingText();   // "処理中"
    static QString completeText();     // "処理完了"
    static QString invalidGroupText(); // "無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"
    static QString interruptedText();  // "処理中断"

    // The limit check performed after each article: stops the run through
    // Command1_Click when the limit is reached. true when it stopped it.
    bool LimitCheck();

public slots:
    // Starts a run when none is going on, stops the running one otherwise.
    void Command1_Click();
    // The socket's events.
    void Winsock1_DataArrival();
    void Winsock1_Error(const QString &description);

signals:
    void runningChanged(bool running);
    // Captions or counters in state() changed (once per socket event).
    void statusChanged();
    // A run ended, however it ended (not after fatalError).
    void runEnded();
    // Article processing cannot go on and the program must end.
    void fatalError(const QString &message);
    // The connection of the latest run is closed (after the answer to QUIT).
    void connectionClosed();

private:
    void startRun();
    void stopRun();
    void FinishRun();
    void endWithError(const QString &description, EndReason reason = EndReason::Error);
    void endFatal(const QString &message);
    void closeLogs();
    void endRun(EndReason reason);
    // The end of the run as the window shows it (lastRun(), the captions).
    void summarise(EndReason reason);

    QStringView decodeLine(QByteArrayView bytes);
    void articleRefused(QStringView line);
    void statSent(QStringView line);
    void nextSent(QStringView line);
    void serverSilent();
    void flushLast();
    void closeConnection();
    // The section of the group the last GROUP selected, wherever its row is
    // now; empty when the row is gone.
    QString groupSection() const;
    // writeSoon() into groupSection(); nothing to write when the row is gone.
    bool writeGroupValue(const QString &key, const QString &value);
    void handleReply(QStringView line);
    void groupSelected(QStringView line);
    void articleFollows(QStringView line);
    void noSuchArticle();
    void nextRow(const QString &status);
    void endOfArticle();
    void sendStep();
    void sendGroup();
    void sendCommand(const QString &command);
    void fillWindow();
    void dropReplyLine(QByteArrayView raw);
    void closingLine(QByteArrayView raw);
    // After a call into article processing: ends the run when it asked to.
    // true when the run is no longer the one given.
    bool handlerStopped(quint64 serial);
    bool alive(quint64 serial) const { return m_running && m_runSerial == serial; }

    bool rowExists() const;
    QString column(int col) const;
    void setColumn(int col, const QString &text);
    bool logEnabled() const;

    AppContext &m_ctx;
    NntpSocket &m_socket;
    ArticleLineHandler *m_handler = nullptr;
    RunState m_state;
    RunLog m_log;
    NntpAuth m_auth;

    // Received bytes not yet taken as lines, and the line being taken as text.
    LineBuffer m_lines;
    QByteArray m_chunk;
    QString m_lineText;
    Cp932::StreamDecoder m_lineDecoder;

    QTimer m_silence;   // the server has said nothing for SERVER/TIMEOUT
    QTimer m_lastFlush; // LAST goes on disk within a second of an article's start
    QTimer m_goodbye;   // the answer to QUIT is not waited for longer
    int m_timeout = DefaultTimeout;
    bool m_closing = false;
    bool m_groupRefused = false;
    // The article number the ARTICLE in flight asks for (the first article's
    // after a bare GROUP, the one NEXT named): it becomes LAST when the
    // server's reply names none that can be read.
    qint64 m_askedNumber = 0;

    bool m_running = false;
    quint64 m_runSerial = 0;
    EndReason m_endReason = EndReason::None;
    RunSummary m_lastRun;
    QDateTime m_runStart;
    qint64 m_receivedBytes = 0;
    bool m_limitStop = false;
    bool m_inEvent = false; // inside Winsock1_DataArrival

    // The window of pipelined commands (RFC 3977 section 3.5). While an
    // article arrives, up to m_window - 1 NEXT/ARTICLE pairs ahead of it are
    // already sent; m_ahead holds them in order ('N', 'A') until the
    // conversation reaches them. When it turns elsewhere (the group ends, an
    // article is missing, the run stops) their replies are read and dropped:
    // m_dropReplies of them, m_dropBlock while inside one's article text.
    int m_window = DefaultPipeline;
    std::deque<char> m_ahead;
    int m_aheadPairs = 0;
    qint64 m_articleBytes = 0; // received in the articles of this run
    qint64 m_articles = 0;     // articles received whole in this run
    qsizetype m_dropReplies = 0;
    bool m_dropBlock = false;
    // The ARTICLE command in flight names LastNumber because CurrentNumber
    // has passed it.
    bool m_articleAtLast = false;
    // The row whose group the last GROUP command selected (GroupTable::rowId).
    quint64 m_groupRowId = 0;
};
