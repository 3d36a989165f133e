#pragma once

#include "decode/decodedbytesink.h"
#include "engine/articlelinehandler.h"
#include "output/outputfiles.h"

#include <QDate>
#include <QString>
#include <QStringView>

struct AppContext;
struct RunState;
class RunLog;

// Article lines as they arrive: outside an attachment every line is scanned
// for the Lines, Subject, From and Date headers and for the start of an
// attachment (a uuencode "begin" line or a base64 MIME part); inside one,
// every line goes to its line decoder, whose bytes go to the output file.
// The header block is not told from the body, so part headers inside a
// multipart body are found like the article's own and one article can hold
// several attachments.
class ArticleParser final : public ArticleLineHandler, private DecodedByteSink {
public:
    ArticleParser(AppContext &ctx, RunState &state, RunLog &log);

    void articleLine(QStringView line) override;
    // Body lines straight from the received bytes (the same decoding as
    // text; nothing else of the line is read as text).
    bool rawArticleLine(QByteArrayView line) override;
    void overlongLine(QStringView head) override;
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
    static bool beginsWith(QStringView line, QLatin1StringView keyword);
    static qsizetype indexOf(QStringView line, QLatin1StringView keyword);
    static QString cleanDate(const QString &decoded);
    static QString posterDirFor(const QString &from);
    static QString fallbackDate(QDate today);

private:
    void scanLine(QStringView line);
    void bodyLine(QStringView line);
    void bodyLine(QByteArrayView line);
    bool logOn() const;
    void writeFailed();

    bool accepting() const override;
    void write(const char *data, qsizetype size) override;
    void reject() override;

    AppContext &m_ctx;
    RunState &m_state;
    RunLog &m_log;
    OutputFiles m_out;
};
