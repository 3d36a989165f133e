#include "engine/articleparser.h"

#include "app/appcontext.h"
#include "decode/base64decoder.h"
#include "decode/iso2022.h"
#include "decode/uudecoder.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "output/naming.h"
#include "settings/textvalue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

inline char16_t upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

// Whether keyword (ASCII, upper case or not) stands at position `at` of the
// line, ignoring the case of ASCII letters. Keywords are ASCII, and no
// character outside ASCII upper-cases to an ASCII letter, so this is the
// same as comparing both upper-cased.
bool matchesAt(QStringView line, qsizetype at, QLatin1StringView keyword)
{
    if (at < 0 || line.size() - at < keyword.size())
        return false;
    for (qsizetype i = 0; i < keyword.size(); ++i) {
        if (upper(line[at + i].unicode()) != upper(keyword[i].unicode()))
            return false;
    }
    return true;
}

QStringView leftTrimSpaces(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    return s.mid(i);
}

QString trimSpaces(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' '))
        ++b;
    while (e > b && s[e - 1] == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}

// "end" anywhere in the line. Encoded uu lines hold no lower-case letter,
// so the search for its "e" almost always runs through at memchr's speed.
bool containsEnd(QByteArrayView line)
{
    if (line.size() < 3)
        return false;
    const char *p = line.data();
    const char *const last = p + line.size() - 2; // where "end" may begin, exclusive
    while (p < last) {
        p = static_cast<const char *>(std::memchr(p, 'e', size_t(last - p)));
        if (!p)
            return false;
        if (p[1] == 'n' && p[2] == 'd')
            return true;
        ++p;
    }
    return false;
}

QString logField(const QString &value)
{
    return QStringLiteral("\t\"") + value + QLatin1Char('"');
}

} // namespace

ArticleParser::ArticleParser(AppContext &ctx, RunState &state, RunLog &log)
    : m_ctx(ctx), m_state(state), m_log(log)
{
}

bool ArticleParser::beginsWith(QStringView line, QLatin1StringView keyword)
{
    return matchesAt(line, 0, keyword);
}

qsizetype ArticleParser::indexOf(QStringView line, QLatin1StringView keyword)
{
    for (qsizetype i = 0; i + keyword.size() <= line.size(); ++i) {
        if (matchesAt(line, i, keyword))
            return i;
    }
    return -1;
}

QString ArticleParser::cleanDate(const QString &decoded)
{
    QString t = decoded;
    if (const qsizetype i = t.indexOf(QLatin1Char(',')); i >= 0)
        t = t.mid(i + 1);
    for (const char *cut : {"+", "-", "GMT", "PDT"}) {
        if (const qsizetype i = t.indexOf(QLatin1StringView(cut)); i >= 0)
            t.truncate(i);
    }
    return trimSpaces(t);
}

QString ArticleParser::posterDirFor(const QString &from)
{
    QString dir;
    const auto take = [&dir](const QString &candidate) {
        dir = DirNameCheck(candidate) ? candidate : FileNameChange(candidate);
    };
    // (Nick)
    qsizetype a = from.indexOf(QLatin1Char('('));
    qsizetype b = from.indexOf(QLatin1Char(')'));
    if (a >= 0 && a + 1 < b)
        take(from.mid(a + 1, b - a - 1));
    // "Nick"
    if (dir.isEmpty()) {
        a = from.indexOf(QLatin1Char('"'));
        b = a >= 0 ? from.indexOf(QLatin1Char('"'), a + 1) : -1;
        if (a >= 0 && a + 1 < b)
            take(from.mid(a + 1, b - a - 1));
    }
    // Nick <address>
    if (dir.isEmpty()) {
        a = from.indexOf(QLatin1Char('<'));
        b = from.indexOf(QLatin1Char('>'));
        if (a >= 1 && a + 1 < b)
            take(from.left(a));
    }
    if (dir.isEmpty()) {
        take(from);
        if (dir.isEmpty())
            dir = QStringLiteral("投稿者不明");
    }
    return trimSpaces(dir);
}

QString ArticleParser::fallbackDate(QDate today)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return QString::number(today.day()) + QLatin1Char(' ') +
           QLatin1StringView(months[today.month() - 1]) + QLatin1Char(' ') +
           QString::number(today.year()) + QStringLiteral(" 00:00:00");
}

bool ArticleParser::logOn() const
{
    return m_ctx.settings.log == QLatin1StringView("TRUE") && m_log.summaryOpen();
}

void ArticleParser::articleLine(QStringView line)
{
    if (m_state.inBody)
        bodyLine(line);
    else
        scanLine(line);
}

void ArticleParser::overlongLine(QStringView head)
{
    RunState &s = m_state;
    if (!s.inBody) {
        // A header line is read as far as it came.
        scanLine(head);
        return;
    }
    // Longer than any encoded line: a bad line, so the attachment ends.
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    reject();
}

void ArticleParser::scanLine(QStringView line)
{
    RunState &s = m_state;

    if (beginsWith(line, QLatin1StringView("Lines:"))) {
        const QStringView rest = line.mid(6);
        if (TextValue::isNumeric(rest)) {
            const double v = std::nearbyint(TextValue::leadingNumber(rest));
            if (v >= std::numeric_limits<qint32>::min() &&
                v <= std::numeric_limits<qint32>::max()) {
                s.linesValue = static_cast<qint32>(v);
                s.bodyLineCount = 0;
            }
        }
    }
    if (s.subject.isEmpty() && beginsWith(line, QLatin1StringView("Subject:"))) {
        s.subject = Iso_2022(leftTrimSpaces(line.mid(8)).toString());
        if (logOn())
            m_log.summary(logField(s.subject));
    }
    if (s.from.isEmpty() && beginsWith(line, QLatin1StringView("From:"))) {
        s.from = Iso_2022(leftTrimSpaces(line.mid(5)).toString());
        if (logOn())
            m_log.summary(logField(s.from));
        if (s.groupUserDir == QLatin1StringView("YES"))
            s.posterDir = posterDirFor(s.from);
    }
    if (s.dateText.isEmpty() && beginsWith(line, QLatin1StringView("Date:"))) {
        s.dateText = cleanDate(Iso_2022(leftTrimSpaces(line.mid(5)).toString()));
        if (logOn())
            m_log.summary(logField(s.dateText));
    }
    // "begin " and a three-character mode starting with 6, then a space.
    if (const qsizetype p = indexOf(line, QLatin1StringView("begin ")); p >= 0) {
        const qsizetype m = p + 6;
        if (line.size() > m + 3 && line[m] == QLatin1Char('6') && line[m + 1] != QLatin1Char(' ') &&
            line[m + 2] != QLatin1Char(' ') && line[m + 3] == QLatin1Char(' ')) {
            s.pendingFileName = FileNameCheck(line.mid(m + 4).toString());
            if (!s.pendingFileName.isEmpty() && s.pendingFileName[0] > QLatin1Char(' ')) {
                s.bodyEncoding = 0;
                s.openPending = true;
                s.inBody = true;
            }
        }
    }
    if (beginsWith(line, QLatin1StringView("Content-Type:")))
        s.mimeState = 1;
    if (const qsizetype p = indexOf(line, QLatin1StringView("name=")); p >= 0)
        s.pendingFileName = FileNameCheck(line.mid(p + 5).toString());
    // RFC 2231 names (name*=, filename*0*=, …), often on folded lines of
    // their own, count once the part header ends, over any plain name=.
    if (line.contains(u'*'))
        s.nameParameters.scanLine(line);
    if (line.isEmpty() && !s.nameParameters.isEmpty()) {
        if (const std::optional<QString> name = s.nameParameters.fileName())
            s.pendingFileName = FileNameCheck(*name);
        s.nameParameters.clear();
    }
    if (beginsWith(line, QLatin1StringView("Content-Transfer-Encoding:")))
        s.mimeState = s.mimeState == 1 ? 2 : 0;
    if (indexOf(line, QLatin1StringView("base64")) >= 0)
        s.mimeState = s.mimeState == 2 ? 3 : 0;
    if (s.mimeState == 2 && indexOf(line, QLatin1StringView("7bit")) >= 0)
        s.mimeState = 0;
    if (s.mimeState == 2 && indexOf(line, QLatin1StringView("8bit")) >= 0)
        s.mimeState = 0;
    if (line.isEmpty() && s.mimeState == 3) {
        if (s.pendingFileName.isEmpty())
            s.pendingFileName = QStringLiteral("ﾌｧｲﾙ名不明(") + s.subject + QLatin1Char(')');
        s.mimeState = 0;
        s.openPending = true;
        s.inBody = true;
        s.bodyEncoding = 1;
    }
}

void ArticleParser::bodyLine(QStringView line)
{
    RunState &s = m_state;
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    s.label2Shown = true;
    if (s.bodyEncoding == 1) {
        Base64Decoder::decodeLine(line, *this);
        return;
    }
    if (line.contains(u"end"))
        closeOutFile();
    UuDecoder::decodeLine(line, *this);
}

bool ArticleParser::rawArticleLine(QByteArrayView line)
{
    if (!m_state.inBody)
        return false;
    bodyLine(line);
    return true;
}

void ArticleParser::bodyLine(QByteArrayView line)
{
    RunState &s = m_state;
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    s.label2Shown = true;
    if (s.bodyEncoding == 1) {
        Base64Decoder::decodeLine(line, *this);
        return;
    }
    if (containsEnd(line))
        closeOutFile();
    UuDecoder::decodeLine(line, *this);
}

void ArticleParser::StartOutFile()
{
    RunState &s = m_state;
    auto date = TextValue::parseDate(s.dateText);
    if (!date) {
        s.dateText = fallbackDate(s.now().date());
        date = TextValue::parseDate(s.dateText);
    }
    s.label1 = s.pendingFileName;
    s.label8 = (date ? date->toString(QStringLiteral("yy/MM/dd")) : QString()) + QLatin1Char(' ') +
               s.from + QLatin1Char(' ') + s.subject;
    OpenOutFile(s.pendingFileName);
    s.openPending = false;
}

void ArticleParser::OpenOutFile(QString &fileName)
{
    RunState &s = m_state;
    OutFileRequest r;
    r.saveDir = m_ctx.settings.saveDir;
    r.groupLevel = m_ctx.settings.groupDir == QLatin1StringView("TRUE");
    r.groupName = s.groupName;
    r.dateLevel = s.groupDateDir == QLatin1StringView("YES");
    r.runDate = s.runDate;
    r.posterLevel = s.groupUserDir == QLatin1StringView("YES");
    r.posterDir = s.posterDir;
    r.subjectPrefix = s.groupSubject == QLatin1StringView("YES");
    r.subject = s.subject;
    r.rewrite = s.groupRewrite != QLatin1StringView("NO");

    const OpenResult res = m_out.OpenOutFile(r, fileName, [this](const QString &fullPath) {
        if (logOn())
            m_log.summary(logField(fullPath));
    });
    switch (res.status) {
    case OpenResult::Status::Opened:
        ++s.fileCount;
        return;
    case OpenResult::Status::AttachmentEnded: {
        // The name could not be settled (no free number, the old file cannot
        // be deleted): this attachment is not written; the run goes on, and
        // the summary log and Label3 say which one and why.
        const QString why = res.description == QLatin1StringView("Overflow")
                                ? QStringLiteral("連番が32767を超えます")
                                : res.description;
        s.label3 = QStringLiteral("ﾌｧｲﾙを作成できません: ") + fileName + QStringLiteral(" (") +
                   why + QLatin1Char(')');
        if (logOn())
            m_log.summary(QStringLiteral("\t") + s.label3);
        s.inBody = false;
        return;
    }
    case OpenResult::Status::PathTooLong:
        s.fatalError = OutputFiles::pathTooLongMessage();
        break;
    case OpenResult::Status::Failed:
        if (logOn()) {
            m_log.summary(QStringLiteral("OpenOutFile ") + res.description);
            m_log.endRecord();
        }
        s.fatalError = res.description;
        break;
    }
    s.inBody = false;
    s.openPending = false;
}

void ArticleParser::closeOutFile()
{
    RunState &s = m_state;
    s.label1.clear();
    s.label8.clear();
    s.label2Shown = false;
    if (!m_out.CloseOutFile())
        writeFailed();
    s.inBody = false;
    s.openPending = false;
}

void ArticleParser::closeOutFileOnly()
{
    // The run is ending through its error path already.
    m_out.CloseOutFile();
}

void ArticleParser::writeFailed()
{
    // The partial file stays; the run ends through its error path, so the
    // group's LAST still names this article.
    // Only bytes that reached the file are counted.
    m_state.byteCount = std::max<qint64>(0, m_state.byteCount - m_out.lostBytes());
    m_state.runError = QStringLiteral("ﾌｧｲﾙに書き込めません: ") + m_out.path() +
                       QStringLiteral(" (") + m_out.errorString() + QLatin1Char(')');
    m_state.inBody = false;
    m_state.openPending = false;
}

bool ArticleParser::accepting() const
{
    return m_state.inBody;
}

void ArticleParser::write(const char *data, qsizetype size)
{
    if (m_state.openPending)
        StartOutFile();
    if (!m_out.isOpen())
        return;
    if (m_out.write(data, size))
        m_state.byteCount += size;
    else
        writeFailed();
}

void ArticleParser::reject()
{
    closeOutFile();
}
