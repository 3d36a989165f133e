#pragma once

#include <QByteArrayView>
#include <QStringView>

// What the engine hands article text to: every line of an article between
// the 2xx reply to ARTICLE and the final "." line, and the closing of the
// output file at the ends of attachments, articles and runs.
class ArticleLineHandler {
public:
    virtual ~ArticleLineHandler() = default;
    // One article line, without its line end, not the final ".".
    virtual void articleLine(QStringView line) = 0;
    // The same line as the bytes that came, offered first while inBody is
    // set: true when the handler took it (a body line decoded from its
    // bytes; a yEnc body, which is binary, only ever this way); false to
    // have it as text through articleLine().
    virtual bool rawArticleLine(QByteArrayView line)
    {
        Q_UNUSED(line);
        return false;
    }
    // A line longer than any valid one, cut to its head: a header line is
    // read as far as it came, a body line is a bad line for the decoder.
    virtual void overlongLine(QStringView head) = 0;
    // The run is ending (finished or stopped), before its logs close.
    virtual void endOfRun() {}
    // Closes the output file and ends the attachment (clears the captions of
    // Label1, Label8 and Label2, inBody and openPending). Safe with no file open.
    virtual void closeOutFile() = 0;
    // Closes the output file only, leaving captions and flags as they are
    // (a socket error ends the run this way).
    virtual void closeOutFileOnly() = 0;
};
