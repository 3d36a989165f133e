#include "engine/articleparser.h"

#include "core/appcontext.h"
#include "decode/ascii.h"
#include "decode/base64decoder.h"
#include "decode/cp932.h"
#include "decode/iso2022.h"
#include "decode/uudecoder.h"
#include "decode/yencdecoder.h"
#include "engine/runlog.h"
#include "engine/runstate.h"
#include "output/naming.h"
#include "settings/grouptable.h"
#include "settings/runningsettings.h"
#include "settings/textvalue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <zlib.h>

namespace {

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

bool beginsWith(QStringView line, QLatin1StringView keyword)
{
    return Ascii::matchesAt(line, 0, keyword);
}

qsizetype indexOf(QStringView line, QLatin1StringView keyword)
{
    for (qsizetype i = 0; i + keyword.size() <= line.size(); ++i) {
        if (Ascii::matchesAt(line, i, keyword))
            return i;
    }
    return -1;
}

QString cleanDate(const QString &decoded)
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

} // namespace

ArticleParser::ArticleParser(AppContext &ctx, RunState &state, RunLog &log)
    : m_ctx(ctx), m_state(state), m_log(log)
{
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
    return m_ctx.settings.logOn() && m_log.summaryOpen();
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
    if (line.startsWith(u"=ybegin ")) {
        startYenc(line);
        return;
    }

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
        if (GroupTable::flagOn(s.groupUserDir))
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
                s.bodyEncoding = BodyEncoding::Uuencode;
                s.openPending = true;
                s.inBody = true;
            }
        }
    }
    if (beginsWith(line, QLatin1StringView("Content-Type:")))
        s.mimeState = MimeState::ContentType;
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
        s.mimeState =
            s.mimeState == MimeState::ContentType ? MimeState::TransferEncoding : MimeState::None;
    if (indexOf(line, QLatin1StringView("base64")) >= 0)
        s.mimeState =
            s.mimeState == MimeState::TransferEncoding ? MimeState::Base64 : MimeState::None;
    if (s.mimeState == MimeState::TransferEncoding && indexOf(line, QLatin1StringView("7bit")) >= 0)
        s.mimeState = MimeState::None;
    if (s.mimeState == MimeState::TransferEncoding && indexOf(line, QLatin1StringView("8bit")) >= 0)
        s.mimeState = MimeState::None;
    if (line.isEmpty() && s.mimeState == MimeState::Base64) {
        if (s.pendingFileName.isEmpty())
            s.pendingFileName = QStringLiteral("ﾌｧｲﾙ名不明(") + s.subject + QLatin1Char(')');
        s.mimeState = MimeState::None;
        s.openPending = true;
        s.inBody = true;
        s.bodyEncoding = BodyEncoding::Base64;
    }
}

void ArticleParser::bodyLine(QStringView line)
{
    RunState &s = m_state;
    if (s.bodyEncoding == BodyEncoding::Yenc) {
        // Only where no bytes were given: the characters are taken as bytes.
        yencLine(line.toLatin1());
        return;
    }
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    s.label2Shown = true;
    if (s.bodyEncoding == BodyEncoding::Base64) {
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
    if (s.bodyEncoding == BodyEncoding::Yenc) {
        yencLine(line);
        return;
    }
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    s.label2Shown = true;
    if (s.bodyEncoding == BodyEncoding::Base64) {
        Base64Decoder::decodeLine(line, *this);
        return;
    }
    if (containsEnd(line))
        closeOutFile();
    UuDecoder::decodeLine(line, *this);
}

void ArticleParser::StartOutFile()
{
    showOutFile();
    OpenOutFile(m_state.pendingFileName);
    m_state.openPending = false;
}

void ArticleParser::showOutFile()
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
}

void ArticleParser::OpenOutFile(QString &fileName)
{
    RunState &s = m_state;
    OutFileRequest r;
    r.saveDir = m_ctx.settings.saveDir;
    r.groupLevel = m_ctx.settings.groupDirOn();
    r.groupName = s.groupName;
    r.dateLevel = GroupTable::flagOn(s.groupDateDir);
    r.runDate = s.runDate;
    r.posterLevel = GroupTable::flagOn(s.groupUserDir);
    r.posterDir = s.posterDir;
    r.subjectPrefix = GroupTable::flagOn(s.groupSubject);
    r.subject = s.subject;
    r.rewrite = GroupTable::overwrites(s.groupRewrite);

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
    endYenc();
    s.inBody = false;
    s.openPending = false;
}

void ArticleParser::closeOutFileOnly()
{
    // The run is ending through its error path already.
    m_out.CloseOutFile();
    endYenc();
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
    if (m_state.bodyEncoding == BodyEncoding::Yenc) {
        yencWrite(data, size);
        return;
    }
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

// --- yEnc -------------------------------------------------------------------

namespace {

// Where " key" (key ends in "=") stands in the line, or at its start after
// "=ybegin"/"=ypart"/"=yend": the position of its value, -1 when absent.
qsizetype yencValueAt(QByteArrayView line, QByteArrayView key)
{
    for (qsizetype at = line.indexOf(key); at >= 0; at = line.indexOf(key, at + 1)) {
        if (at > 0 && line[at - 1] == ' ')
            return at + key.size();
    }
    return -1;
}

QString hex8(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

} // namespace

std::optional<qint64> ArticleParser::yencNumber(QByteArrayView line, QByteArrayView key)
{
    qsizetype i = yencValueAt(line, key);
    if (i < 0)
        return std::nullopt;
    qint64 v = 0;
    const qsizetype first = i;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        if (v > (qint64(1) << 62) / 10) // the next digit would pass 2^62
            return std::nullopt;
        v = v * 10 + (line[i] - '0');
        if (v >= (qint64(1) << 62))
            return std::nullopt;
    }
    if (i == first || (i < line.size() && line[i] != ' '))
        return std::nullopt;
    return v;
}

std::optional<quint32> ArticleParser::yencHex(QByteArrayView line, QByteArrayView key)
{
    qsizetype i = yencValueAt(line, key);
    if (i < 0)
        return std::nullopt;
    quint32 v = 0;
    const qsizetype first = i;
    for (; i < line.size() && i - first < 9; ++i) {
        const char c = line[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        v = (v << 4) | quint32(d);
    }
    if (i == first || i - first > 8 || (i < line.size() && line[i] != ' '))
        return std::nullopt;
    return v;
}

void ArticleParser::yencNote(const QString &text, bool problem)
{
    if (logOn())
        m_log.summary(logField(text));
    if (problem)
        m_state.label3 = text;
}

bool ArticleParser::loadParts()
{
    if (m_parts.loaded())
        return true;
    if (!m_parts.load(m_ctx.settings.saveDir)) {
        yencNote(QStringLiteral("yEnc: 途中のﾌｧｲﾙの記録を読めません (") + YencParts::recordName() +
                     QStringLiteral(")。途中のﾌｧｲﾙは最初からになります"),
                 true);
    }
    return true;
}

YencParts::Key ArticleParser::yencKey() const
{
    return {m_y.name, m_y.size, m_y.total, m_state.from, m_state.groupName};
}

void ArticleParser::startYenc(QStringView line)
{
    RunState &s = m_state;
    // The keywords are ASCII; name= is the rest of the line, whatever it
    // holds.
    const qsizetype n = line.indexOf(u" name=");
    const QByteArray head = (n < 0 ? line : line.left(n)).toLatin1();
    const std::optional<qint64> size = yencNumber(head, "size=");
    if (!size || *size <= 0) {
        yencNote(QStringLiteral("yEnc: size=が正しくありません"), false);
        return;
    }
    if (*size > MaxYencSize) {
        yencNote(QStringLiteral("yEnc: size=が大きすぎます (") + QString::number(*size) +
                     QLatin1Char(')'),
                 false);
        return;
    }
    QString name = n < 0 ? QString() : FileNameCheck(line.mid(n + 6).toString());
    if (name.isEmpty() || name[0] <= QLatin1Char(' '))
        name = unknownFileName();

    m_y = Yenc();
    m_y.active = true;
    m_y.size = *size;
    m_y.end = *size;
    m_y.name = name;
    m_y.crc = static_cast<quint32>(::crc32(0L, Z_NULL, 0));
    if (const auto part = yencNumber(head, "part=")) {
        m_y.multi = true;
        m_y.part = *part;
        m_y.total = yencNumber(head, "total=").value_or(0);
    }
    s.pendingFileName = name;
    s.bodyEncoding = BodyEncoding::Yenc;
    s.openPending = true;
    s.inBody = true;
}

void ArticleParser::yencLine(QByteArrayView line)
{
    RunState &s = m_state;
    if (s.bodyLineCount < std::numeric_limits<qint32>::max())
        ++s.bodyLineCount;
    s.label2Shown = true;
    if (line.startsWith("=y")) {
        if (line.startsWith("=ypart ")) {
            yencPart(line);
        } else if (line.startsWith("=yend")) {
            yencEnd(line);
        } else {
            yencFail(QStringLiteral("yEnc: =yendがありません"));
            if (line.startsWith("=ybegin "))
                scanLine(Cp932::decode(line));
        }
        return;
    }
    if (m_y.multi && !m_y.partSeen) {
        yencFail(QStringLiteral("yEnc: =ypartがありません"));
        return;
    }
    YencDecoder::decodeLine(line, *this);
}

void ArticleParser::yencPart(QByteArrayView line)
{
    if (!m_y.multi || m_y.partSeen) {
        yencFail(QStringLiteral("yEnc: 余分な=ypart行です"));
        return;
    }
    const auto begin = yencNumber(line, "begin=");
    const auto end = yencNumber(line, "end=");
    if (!begin || !end || *begin < 1 || *begin > *end || *end > m_y.size) {
        yencFail(QStringLiteral("yEnc: =ypartの範囲が正しくありません (") +
                 QString::fromLatin1(line.sliced(7)) + QStringLiteral(" size=") +
                 QString::number(m_y.size) + QLatin1Char(')'));
        return;
    }
    m_y.partSeen = true;
    m_y.begin = *begin;
    m_y.end = *end;
    // Bytes the file already holds are not written again: a part posted
    // twice is skipped, and so is one that overlaps another.
    loadParts();
    if (YencParts::Entry *e = m_parts.find(yencKey())) {
        if (!YencParts::insideSaveDir(e->path, m_ctx.settings.saveDir)) {
            m_parts.remove(e);
        } else if (YencParts::overlaps(*e, *begin, *end)) {
            yencFail(QStringLiteral("yEnc: 受信済みの範囲と重なる部分です (") +
                     QString::number(*begin) + QLatin1Char('-') + QString::number(*end) +
                     QStringLiteral(") ") + e->path);
        }
    }
}

void ArticleParser::startYencFile()
{
    RunState &s = m_state;
    if (!m_y.multi) {
        StartOutFile();
        if (m_out.isOpen())
            m_out.startCrc();
        return;
    }
    loadParts();
    bool continued = false;
    if (YencParts::Entry *e = m_parts.find(yencKey())) {
        // The file an earlier part of this one went into: no name check,
        // no counting, no duplicate handling.
        if (YencParts::insideSaveDir(e->path, m_ctx.settings.saveDir) &&
            m_out.openExisting(e->path)) {
            showOutFile();
            if (logOn())
                m_log.summary(logField(e->path));
            s.openPending = false;
            continued = true;
        } else {
            m_parts.remove(e);
        }
    }
    if (!continued) {
        StartOutFile();
        if (m_out.isOpen())
            m_parts.add(yencKey(), m_out.path(), s.runDate);
    }
    if (m_out.isOpen() && !m_out.seek(m_y.begin - 1))
        writeFailed();
    if (m_out.isOpen())
        m_out.startCrc();
}

void ArticleParser::yencWrite(const char *data, qsizetype size)
{
    RunState &s = m_state;
    if (s.openPending)
        startYencFile();
    if (!m_out.isOpen() || !s.inBody)
        return;
    const qsizetype take = yencRoom(size);
    if (take > 0 && !m_out.write(data, take)) {
        writeFailed();
        return;
    }
    yencTook(take, size);
}

qsizetype ArticleParser::yencRoom(qsizetype size) const
{
    const qint64 room = m_y.end - m_y.begin + 1 - m_y.written;
    return size < room ? size : static_cast<qsizetype>(room);
}

void ArticleParser::yencTook(qsizetype take, qsizetype size)
{
    m_state.byteCount += take;
    m_y.written += take;
    if (take < size)
        yencFail(QStringLiteral("yEnc: size=を超えるﾃﾞｰﾀです ") + m_out.path());
}

char *ArticleParser::lend(qsizetype size)
{
    // The first bytes of a part open its file through write().
    if (m_state.bodyEncoding != BodyEncoding::Yenc || m_state.openPending || !m_state.inBody ||
        !m_out.isOpen())
        return nullptr;
    char *room = m_out.reserve(size);
    if (!room && !m_out.isOpen())
        writeFailed();
    return room;
}

void ArticleParser::written(qsizetype size)
{
    const qsizetype take = yencRoom(size);
    m_out.commit(take);
    yencTook(take, size);
}

void ArticleParser::yencEnd(QByteArrayView line)
{
    const qint64 expected = m_y.end - m_y.begin + 1;
    const QString path = m_out.isOpen() ? m_out.path() : m_y.name;
    if (m_out.isOpen())
        m_y.crc = m_out.crc();
    const auto size = yencNumber(line, "size=");
    if (m_y.written != expected || (size && *size != expected)) {
        yencNote(QStringLiteral("サイズ不一致 (size=") +
                     (size ? QString::number(*size) : QString::number(expected)) +
                     QStringLiteral(" 受信=") + QString::number(m_y.written) +
                     QStringLiteral(") ") + path,
                 true);
    }
    const auto pcrc = yencHex(line, "pcrc32=");
    const auto crc = yencHex(line, "crc32=");
    // A single-part file: crc32 is this part's too.
    const auto partCrc = pcrc ? pcrc : (m_y.multi ? std::nullopt : crc);
    if (partCrc && *partCrc != m_y.crc) {
        yencNote(QStringLiteral("CRC不一致 (") +
                     (pcrc ? QStringLiteral("pcrc32=") : QStringLiteral("crc32=")) +
                     hex8(*partCrc) + QStringLiteral(" 計算値=") + hex8(m_y.crc) +
                     QStringLiteral(") ") + path,
                 true);
    }
    if (m_y.multi && crc) {
        m_y.hasFileCrc = true;
        m_y.fileCrc = *crc;
    }
    m_y.closing = true;
    closeOutFile();
}

void ArticleParser::yencFail(const QString &why)
{
    yencNote(why, false);
    m_y.closing = true;
    closeOutFile();
}

void ArticleParser::endYenc()
{
    if (!m_y.active)
        return;
    m_y.active = false;
    if (!m_y.closing && m_state.inBody && m_state.runError.isEmpty()) {
        // The article ended (or the run stopped) before "=yend".
        yencNote(QStringLiteral("yEnc: =yendがありません ") + m_y.name, false);
    }
    if (!m_y.multi || !m_parts.loaded())
        return;
    YencParts::Entry *e = m_parts.find(yencKey());
    if (e && m_y.written > 0) {
        if (m_y.hasFileCrc) {
            e->hasCrc = true;
            e->crc = m_y.fileCrc;
        }
        if (!m_parts.addRange(*e, m_y.begin, m_y.begin + m_y.written - 1, m_state.runDate)) {
            yencNote(QStringLiteral("yEnc: 部分が多すぎるため追跡をやめます ") + e->path, true);
            m_parts.remove(e);
            e = nullptr;
        }
        if (e && YencParts::complete(*e)) {
            quint32 c = 0;
            if (!e->hasCrc) {
                yencNote(QStringLiteral("完成 ") + e->path, false);
            } else if (YencParts::fileCrc(e->path, e->key.size, &c) && c == e->crc) {
                yencNote(QStringLiteral("完成 (CRC一致) ") + e->path, false);
            } else {
                yencNote(QStringLiteral("CRC不一致 (crc32=") + hex8(e->crc) +
                             QStringLiteral(" 計算値=") + hex8(c) + QStringLiteral(") ") + e->path,
                         true);
            }
            e->done = true;
        }
    }
    if (m_parts.dirty() && !m_parts.save())
        yencNote(QStringLiteral("yEnc: 途中のﾌｧｲﾙの記録を書けません (") + YencParts::recordName() +
                     QLatin1Char(')'),
                 true);
}

void ArticleParser::endOfRun()
{
    if (m_y.active) {
        m_out.CloseOutFile();
        endYenc();
    }
    if (logOn()) {
        loadParts();
        for (const YencParts::Entry &e : m_parts.entries()) {
            if (e.done)
                continue;
            m_log.summary(logField(QStringLiteral("未完成 ") + e.path + QStringLiteral(" (") +
                                   QString::number(YencParts::held(e)) + QLatin1Char('/') +
                                   QString::number(e.key.size) + QStringLiteral("ﾊﾞｲﾄ)")));
            m_log.endRecord();
        }
    }
    // The next run may save elsewhere: it reads the record again.
    m_parts.unload();
}
