#pragma once

#include "decode/decodedbytesink.h"
#include "engine/articlelinehandler.h"
#include "output/outputfiles.h"
#include "output/yencparts.h"

#include <QDate>
#include <QString>
#include <QStringView>

#include <optional>

struct AppContext;
struct RunState;
class RunLog;

// Article lines as they arrive: outside an attachment every line is scanned
// for the Lines, Subject, From and Date headers and for the start of an
// attachment (a uuencode "begin" line, a base64 MIME part or a "=ybegin"
// line of yEnc); inside one,
// every line goes to its line decoder, whose bytes go to the output file.
// The header block is not told from the body, so part headers inside a
// multipart body are found like the article's own and one article can hold
// several attachments.
class ArticleParser final : public ArticleLineHandler, private DecodedByteSink {
public:
    ArticleParser(AppContext &ctx, RunState &state, RunLog &log);

    void articleLine(QStringView line) override;
    // Body lines straight from the received bytes (the same decoding as
    // text; nothing else of the line is read as text). A yEnc body is
    // binary and is only ever read this way.
    bool rawArticleLine(QByteArrayView line) override;
    void overlongLine(QStringView head) override;
    // Lists the yEnc files still incomplete in the summary log.
    void endOfRun() override;
    // CloseOutFile: clears Label1, Label8 and Label2, closes the output file,
    // ends the attachment. A write that did not reach the file sets runError.
    void closeOutFile() override;
    void closeOutFileOnly() override;

    // Opens the attachment's file just before its first bytes: the fallback
    // date, the captions, OpenOutFile.
    void StartOutFile();
    // Opens the output file for fileName (which may become 不明.tmp), counts
    // it and logs its path; a failure ends the attachment or the program.
    void OpenOutFile(QString &fileName);

    const OutputFiles &outputFiles() const { return m_out; }

    // The pieces of the scan, for their own tests.
    static QString posterDirFor(const QString &from);
    static QString fallbackDate(QDate today);
    // The number after " key" ("size=") in a yEnc keyword line: decimal
    // digits up to a space or the end, below 2^62; none otherwise.
    static std::optional<qint64> yencNumber(QByteArrayView line, QByteArrayView key);
    // The same for 1 to 8 hexadecimal digits ("pcrc32=").
    static std::optional<quint32> yencHex(QByteArrayView line, QByteArrayView key);
    // The largest yEnc file taken; a bigger size= is refused.
    static constexpr qint64 MaxYencSize = qint64(64) << 30;

private:
    void scanLine(QStringView line);
    void bodyLine(QStringView line);
    void bodyLine(QByteArrayView line);
    bool logOn() const;
    void writeFailed();
    void showOutFile();

    // yEnc: the "=ybegin" line, the body lines, "=ypart", "=yend".
    void startYenc(QStringView line);
    void yencLine(QByteArrayView line);
    void yencPart(QByteArrayView line);
    void yencEnd(QByteArrayView line);
    void yencWrite(const char *data, qsizetype size);
    // How much of `size` decoded bytes fits in the part's range; then the
    // counting, and the end of the attachment when some did not fit.
    qsizetype yencRoom(qsizetype size) const;
    void yencTook(qsizetype take, qsizetype size);
    void startYencFile();
    // Ends the attachment with a log line saying why.
    void yencFail(const QString &why);
    // The attachment's file has been closed: its bytes join the record of
    // a multi-part file, which may now be complete.
    void endYenc();
    // A line in the article's log record and, for a problem, in Label3.
    void yencNote(const QString &text, bool problem);
    bool loadParts();
    YencParts::Key yencKey() const;

    bool accepting() const override;
    void write(const char *data, qsizetype size) override;
    // yEnc lines are decoded straight into the output file's buffer.
    char *lend(qsizetype size) override;
    void written(qsizetype size) override;
    void reject() override;

    AppContext &m_ctx;
    RunState &m_state;
    RunLog &m_log;
    OutputFiles m_out;

    // The yEnc attachment being received.
    struct Yenc {
        bool active = false;
        bool closing = false;  // "=yend" came, or the attachment was refused
        bool multi = false;    // "part=" given: a "=ypart" line comes first
        bool partSeen = false; // its "=ypart" line has come
        qint64 size = 0;       // of the whole file
        qint64 total = 0;
        qint64 part = 0;
        qint64 begin = 1; // this part's bytes, 1-based, both ends included
        qint64 end = 0;
        qint64 written = 0;
        quint32 crc = 0; // of the bytes written, when "=yend" came
        bool hasFileCrc = false;
        quint32 fileCrc = 0; // "crc32=" of the whole file
        QString name;
    } m_y;
    YencParts m_parts;
};
