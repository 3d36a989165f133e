#include "support/articles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace testarticles {

namespace {

// Runs a tool with `input` on its standard input; its standard output, or an
// error text in `error`.
QByteArray run(const QString &program, const QStringList &args, const QByteArray &input,
               QString *error)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        *error = program + QStringLiteral(": cannot start: ") + p.errorString();
        return {};
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(5000);
        *error = program + QStringLiteral(": timed out");
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") +
                 QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return {};
    }
    return p.readAllStandardOutput();
}

// python3-yenc loads in Debian's own python only.
QString systemPython()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

QByteArray python(const QByteArray &script, const QByteArray &input, QString *error)
{
    return run(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script)}, input,
               error);
}

// Lines without their ends (LF or CR LF); a final line end adds no line.
QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (text.endsWith('\n') || text.isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    return lines;
}

QByteArray joinCrLf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

QList<QByteArray> headerLines(const Headers &h)
{
    QList<QByteArray> lines;
    if (!h.newsgroups.isEmpty())
        lines << "Newsgroups: " + h.newsgroups;
    lines << "From: " + h.from << "Subject: " + h.subject;
    if (!h.date.isEmpty())
        lines << "Date: " + h.date;
    lines << h.extra;
    return lines;
}

// Our headers in front of a MIME entity's own header block.
QByteArray withHeaders(const Headers &h, const QByteArray &entity)
{
    return joinCrLf(headerLines(h) + splitLines(entity));
}

// The value of a uuencoded line's count character.
int uuCount(const QByteArray &line)
{
    return line.isEmpty() ? 0 : (line.at(0) - 0x20) & 0x3F;
}

// The data lines of uuencode's output (between "begin" and "end", the zero
// line included).
QList<QByteArray> uuLines(const QByteArray &data, QString *error)
{
    const QByteArray out =
        run(QStringLiteral("uuencode"), {QStringLiteral("placeholder")}, data, error);
    if (!error->isEmpty())
        return {};
    QList<QByteArray> lines = splitLines(out);
    if (lines.size() < 3 || !lines.first().startsWith("begin ") || lines.last() != "end") {
        *error = QStringLiteral("uuencode: unexpected output");
        return {};
    }
    return lines.mid(1, lines.size() - 2);
}

constexpr int uuBytesPerLine = 45;

} // namespace

QString missingTools()
{
    QStringList missing;
    for (const char *tool : {"uuencode", "mpack", "python3", "nkf"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    }
    return missing.isEmpty()
               ? QString()
               : QStringLiteral("missing encoders (scripts/setup.sh installs them): ") +
                     missing.join(QStringLiteral(", "));
}

QByteArray testData(qsizetype size, quint32 seed)
{
    // xorshift32: every byte value occurs, and no outside state is used.
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = seed ? seed : 0x9E3779B9u;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x >> 24);
    }
    return data;
}

QByteArray assemble(const Headers &headers, const QByteArray &body)
{
    return joinCrLf(headerLines(headers) << QByteArray() << splitLines(body));
}

Built uuencoded(const Headers &headers, const QList<Attachment> &files, const UuOptions &options)
{
    Built b;
    if (files.isEmpty()) {
        b.error = QStringLiteral("no files");
        return b;
    }
    QList<QByteArray> body = splitLines(options.textBefore);
    for (qsizetype f = 0; f < files.size(); ++f) {
        QByteArray data = files[f].data;
        QList<QByteArray> lines;
        // Change one byte of each line that shows "end" and encode again.
        for (int attempt = 0;; ++attempt) {
            lines = uuLines(data, &b.error);
            if (!b.error.isEmpty())
                return b;
            bool changed = false;
            for (qsizetype i = 0; options.avoidEnd && i + 1 < lines.size(); ++i) {
                const qsizetype at = lines[i].indexOf("end");
                if (at < 0)
                    continue;
                const qsizetype byte = i * uuBytesPerLine + qMax<qsizetype>(0, (at - 1) / 4) * 3;
                data[qMin(byte, data.size() - 1)] ^= 0x01;
                changed = true;
            }
            if (!changed)
                break;
            if (attempt == 100) {
                b.error = QStringLiteral("cannot keep \"end\" out of the encoded lines");
                return b;
            }
        }

        QByteArray payload = data;
        if (options.damage != UuDamage::None && f == options.damageFile) {
            const int l = options.damageLine;
            if (l < 0 || l + 1 >= lines.size()) {
                b.error = QStringLiteral("damageLine is not a data line");
                return b;
            }
            qsizetype before = 0;
            for (int i = 0; i < l; ++i)
                before += uuCount(lines[i]);
            const int n = uuCount(lines[l]);
            if (options.damage == UuDamage::WrongLength) {
                lines[l] += 'M';
                payload = data.left(before);
            } else {
                const qsizetype pos = 1 + qsizetype(options.damageGroup) * 4;
                if (options.damageGroup < 0 || pos >= lines[l].size()) {
                    b.error = QStringLiteral("damageGroup is not in the line");
                    return b;
                }
                lines[l][pos] = 'a';
                payload = data.left(before + qMin(n, options.damageGroup * 3));
            }
        }
        if (f > 0)
            body << splitLines(options.textBetween);
        body << "begin 644 " + files[f].name << lines << "end";
        b.payloads << payload;
        b.names << files[f].name;
    }
    body << splitLines(options.textAfter);
    b.article = joinCrLf(headerLines(headers) << QByteArray() << body);
    return b;
}

Built mimeBase64(const Headers &headers, const QList<Attachment> &files, const MimeOptions &options)
{
    Built b;
    if (files.isEmpty()) {
        b.error = QStringLiteral("no files");
        return b;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        b.error = dir.errorString();
        return b;
    }
    QJsonArray list;
    for (qsizetype i = 0; i < files.size(); ++i) {
        for (char c : files[i].name) {
            if (uchar(c) >= 0x80) {
                b.error = QStringLiteral("mimeBase64: names must be ASCII (use encodedWord())");
                return b;
            }
        }
        const QString path = dir.filePath(QString::number(i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(files[i].data) != files[i].data.size()) {
            b.error = f.errorString();
            return b;
        }
        f.close();
        list << QJsonObject{{"path", path}, {"name", QString::fromLatin1(files[i].name)}};
        b.payloads << files[i].data;
        b.names << (options.unnamed ? QByteArray() : files[i].name);
    }
    const QJsonObject plan{{"files", list},
                           {"multipart", options.textPart || files.size() > 1},
                           {"textPart", options.textPart},
                           {"text", QString::fromUtf8(options.text)},
                           {"unnamed", options.unnamed}};
    static const QByteArray script = R"(
import sys, json, email.policy
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
plan = json.load(sys.stdin)
parts = []
for f in plan['files']:
    with open(f['path'], 'rb') as fh:
        p = MIMEApplication(fh.read())
    if not plan['unnamed']:
        p.set_param('name', f['name'])
        p.add_header('Content-Disposition', 'attachment', filename=f['name'])
    parts.append(p)
if plan['multipart']:
    m = MIMEMultipart()
    if plan['textPart']:
        t = plan['text']
        m.attach(MIMEText(t, 'plain', 'us-ascii' if t.isascii() else 'utf-8'))
    for p in parts:
        m.attach(p)
else:
    m = parts[0]
sys.stdout.buffer.write(m.as_bytes(policy=email.policy.compat32.clone(linesep='\r\n')))
)";
    const QByteArray entity = python(script, QJsonDocument(plan).toJson(), &b.error);
    if (!b.error.isEmpty())
        return b;
    b.article = withHeaders(headers, entity);
    return b;
}

Built mpackBase64(const Headers &headers, const Attachment &file)
{
    Built b;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        b.error = dir.errorString();
        return b;
    }
    // mpack names the part after the file; the real name is put in after.
    const QByteArray placeholder = "kaplo-placeholder.bin";
    const QString path = dir.filePath(QString::fromLatin1(placeholder));
    const QString out = dir.filePath(QStringLiteral("out"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(file.data) != file.data.size()) {
        b.error = f.errorString();
        return b;
    }
    f.close();
    run(QStringLiteral("mpack"),
        {QStringLiteral("-s"), QStringLiteral("x"), QStringLiteral("-o"), out, path}, {}, &b.error);
    if (!b.error.isEmpty())
        return b;
    QFile o(out);
    if (!o.open(QIODevice::ReadOnly)) {
        b.error = QStringLiteral("mpack wrote nothing: ") + o.errorString();
        return b;
    }
    QList<QByteArray> lines = splitLines(o.readAll());
    const qsizetype blank = lines.indexOf(QByteArray());
    for (qsizetype i = blank - 1; i >= 0; --i) {
        const QByteArray lower = lines[i].toLower();
        if (lower.startsWith("message-id:") || lower.startsWith("subject:"))
            lines.removeAt(i);
    }
    QByteArray entity = joinCrLf(lines);
    entity.replace(placeholder, file.name);
    b.article = withHeaders(headers, entity);
    b.payloads << file.data;
    b.names << file.name;
    return b;
}

QByteArray encodedWord(const QString &text, char form, const QByteArray &charset)
{
    static const QByteArray script = R"(
import sys, email.charset, email.header
c = email.charset.Charset(sys.argv[2])
c.header_encoding = email.charset.QP if sys.argv[1] == 'Q' else email.charset.BASE64
sys.stdout.write(email.header.Header(sys.stdin.buffer.read().decode('utf-8'), c).encode())
)";
    QString error;
    const QByteArray out =
        run(QStringLiteral("python3"),
            {QStringLiteral("-c"), QString::fromUtf8(script),
             QString(QChar::fromLatin1(form == 'Q' ? 'Q' : 'B')), QString::fromLatin1(charset)},
            text.toUtf8(), &error);
    if (!error.isEmpty())
        qWarning("encodedWord: %s", qPrintable(error));
    return out;
}

QByteArray nkfWord(const QString &text, const char *charsetOption)
{
    QString error;
    const QByteArray out =
        run(QStringLiteral("nkf"), {QString::fromLatin1(charsetOption), QStringLiteral("-M")},
            text.toUtf8(), &error);
    if (!error.isEmpty())
        qWarning("nkfWord: %s", qPrintable(error));
    return out.trimmed();
}

Built todaysMime(const TodaysMessage &message, const QList<Attachment> &files)
{
    Built b;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        b.error = dir.errorString();
        return b;
    }
    QJsonArray list;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = dir.filePath(QString::number(i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(files[i].data) != files[i].data.size()) {
            b.error = f.errorString();
            return b;
        }
        f.close();
        list << QJsonObject{{"path", path}, {"name", QString::fromUtf8(files[i].name)}};
        b.payloads << files[i].data;
        b.names << files[i].name;
    }
    const QJsonObject plan{{"files", list},
                           {"newsgroups", QString::fromLatin1(message.newsgroups)},
                           {"subject", message.subject},
                           {"from", message.from},
                           {"utf8", message.rawUtf8}};
    static const QByteArray script = R"(
import sys, json, email.policy
from email.message import EmailMessage
plan = json.load(sys.stdin)
m = EmailMessage()
m['Newsgroups'] = plan['newsgroups']
m['From'] = plan['from']
m['Subject'] = plan['subject']
m['Date'] = 'Sat, 06 Dec 1997 12:34:56 +0900'
m.set_content('Some text about the files.\n')
for f in plan['files']:
    with open(f['path'], 'rb') as fh:
        m.add_attachment(fh.read(), maintype='application', subtype='octet-stream',
                         filename=f['name'])
policy = email.policy.default.clone(linesep='\r\n', utf8=plan['utf8'])
sys.stdout.buffer.write(m.as_bytes(policy=policy))
)";
    b.article = python(script, QJsonDocument(plan).toJson(), &b.error);
    return b;
}

QByteArray rawJis(const QString &text)
{
    QString error;
    const QByteArray out = python(
        "import sys; "
        "sys.stdout.buffer.write(sys.stdin.buffer.read().decode('utf-8').encode('iso-2022-jp'))",
        text.toUtf8(), &error);
    if (!error.isEmpty())
        qWarning("rawJis: %s", qPrintable(error));
    return out;
}

QByteArray shiftJis(const QString &text)
{
    QStringEncoder enc("windows-31j");
    QByteArray out = enc(text);
    if (enc.hasError())
        qWarning("shiftJis: text has characters outside code page 932");
    return out;
}

QString yencMissing()
{
    QString error;
    run(systemPython(), {QStringLiteral("-c"), QStringLiteral("import _yenc, yenc")}, {}, &error);
    return error.isEmpty()
               ? QString()
               : QStringLiteral("python3-yenc is missing (scripts/setup.sh installs it)");
}

YencBuilt yencoded(const Headers &headers, const QByteArray &name, const QByteArray &data,
                   const YencOptions &options)
{
    YencBuilt b;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data"));
    QFile f(path);
    if (!dir.isValid() || !f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        b.error = QStringLiteral("cannot write the data");
        return b;
    }
    f.close();
    const QJsonObject plan{{"path", path},
                           {"name", QString::fromLatin1(name)},
                           {"parts", options.parts},
                           {"damage", options.damagePart},
                           {"dots", options.leadingDots},
                           {"partLine", options.singlePartLine}};
    // Each part separated from the next by a NUL byte.
    static const QByteArray script = R"(
import sys, json, yenc
plan = json.load(sys.stdin)
data = open(plan['path'], 'rb').read()
n = plan['parts']
whole = yenc.Encoder(); whole.feed(data); crc = whole.getCrc32()
step = -(-len(data) // n)
out = []
for k in range(n):
    chunk = data[k * step:(k + 1) * step]
    e = yenc.Encoder(); e.feed(chunk); e.terminate()
    body = e.getEncoded()
    if plan['dots']:
        body = body.replace(b'\r\n=n', b'\r\n.')
        if body.startswith(b'=n'):
            body = b'.' + body[2:]
    if k == plan['damage']:
        lines = body.split(b'\r\n')
        line = bytearray(lines[1])
        for i in range(5, len(line)):
            if line[i] not in b'=.\r\n\0' and line[i - 1] != ord('='):
                line[i] = ord('a') if line[i] != ord('a') else ord('b')
                break
        lines[1] = bytes(line)
        body = b'\r\n'.join(lines)
    name = plan['name'].encode('latin-1')
    if n > 1 or plan['partLine']:
        head = b'=ybegin part=%d total=%d line=128 size=%d name=%s\r\n=ypart begin=%d end=%d\r\n' % (
            k + 1, n, len(data), name, k * step + 1, k * step + len(chunk))
        tail = b'=yend size=%d part=%d pcrc32=%s' % (len(chunk), k + 1, e.getCrc32().encode())
        if k == n - 1:
            tail += b' crc32=' + crc.encode()
    else:
        head = b'=ybegin line=128 size=%d name=%s\r\n' % (len(data), name)
        tail = b'=yend size=%d crc32=%s' % (len(data), crc.encode())
    out.append(head + body + tail + b'\r\n')
sys.stdout.buffer.write(b'\0'.join(out))
)";
    QString error;
    const QByteArray all = run(systemPython(), {QStringLiteral("-c"), QString::fromUtf8(script)},
                               QJsonDocument(plan).toJson(), &error);
    if (!error.isEmpty()) {
        b.error = error;
        return b;
    }
    for (const QByteArray &part : all.split('\0')) {
        Headers h = headers;
        if (options.parts > 1)
            h.subject += " (" + QByteArray::number(b.articles.size() + 1) + "/" +
                         QByteArray::number(options.parts) + ")";
        b.articles << joinCrLf(headerLines(h) << QByteArray()) + part;
    }
    b.payload = data;
    return b;
}

} // namespace testarticles
