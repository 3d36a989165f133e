#pragma once

#include "engine/nameparameters.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The local date and time. The offset from UTC is looked up at most once a
// minute: a local time asked of the system reads the time zone (a stat of
// /etc/localtime) every time, and this is asked once per article.
inline QDateTime localNow()
{
    static qint64 validUntil = 0;
    static int offset = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 ms = utc.toMSecsSinceEpoch();
    if (ms >= validUntil || ms < validUntil - 60000) {
        offset = utc.toLocalTime().offsetFromUtc();
        validUntil = ms + 60000;
    }
    return utc.toOffsetFromUtc(offset);
}

// Where the run's conversation stands: the reply the engine waits for.
enum class EngineState {
    Idle,     // before the first run
    Greeting, // the server's greeting
    Group,    // the reply to GROUP
    Article,  // the reply to ARTICLE
    Stat,     // the reply to STAT (the article saved whole by an earlier run)
    Next,     // the reply to NEXT
    Ended,    // the run ended; later lines are ignored
};

// What the part header being read has said about a MIME attachment.
enum class MimeState {
    None,
    ContentType,      // a Content-Type header was seen
    TransferEncoding, // a Content-Transfer-Encoding header followed it
    Base64,           // that encoding is base64
};

// How the body lines of the current attachment are encoded.
enum class BodyEncoding { Uuencode, Base64, Yenc };

// The state of a download run and of the article being received. The engine
// owns one; article processing, the decoders' sink and the output files read
// and write it between socket events.
struct RunState {
    using Clock = std::function<QDateTime()>;

    // --- run ---
    EngineState engineState = EngineState::Idle;
    bool sendPending = false;
    bool inArticle = false;
    QString nextArticleCommand;
    QString articleNumberText;
    qint64 firstNumber = 0;
    qint64 lastNumber = 0;
    qint64 currentNumber = 0;
    int runGroupCount = 0;
    int groupIndex = 0; // 1-based row of the group being processed
    QString groupName;  // column 0 of row groupIndex when its GROUP was sent
    QString groupSubject, groupDateDir, groupUserDir, groupRewrite;
    qint64 fileCount = 0;
    qint64 byteCount = 0;
    QDateTime stopTime;
    QString runDate; // "YYMMDD" of the run's start

    // --- article ---
    QString subject;
    QString from;
    QString dateText;
    QString posterDir;
    qint32 linesValue = 0;
    qint32 bodyLineCount = 0;
    MimeState mimeState = MimeState::None;
    BodyEncoding bodyEncoding = BodyEncoding::Uuencode;
    bool inBody = false;
    bool openPending = false;
    QString pendingFileName;
    // RFC 2231 file names of the part header being read (to its blank line).
    NameParameters nameParameters;

    // --- captions of the main window ---
    QString label1; // file being written
    QString label3; // error text of the run
    QString label6; // "ﾌｧｲﾙ数=…"
    QString label7; // "ﾌｧｲﾙｻｲｽﾞ=…ﾊﾞｲﾄ"
    QString label8; // date, poster and subject of the attachment
    // Label2 shows bodyLineCount "/" linesValue while this is set; it is
    // formatted when shown, not on every body line.
    bool label2Shown = false;
    QString label2() const
    {
        return label2Shown
                   ? QString::number(bodyLineCount) + QLatin1Char('/') + QString::number(linesValue)
                   : QString();
    }

    // --- ways out of article processing ---
    // Set when the run must end through the error path (a failed write):
    // the text goes to Label3.
    QString runError;
    // Set when the program must end (the output path cannot be opened): the
    // text is shown, then the program ends.
    QString fatalError;

    // Local date and time; tests replace it.
    Clock now = localNow;
};
