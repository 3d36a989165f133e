#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Test articles built by real encoders: uuencode (sharutils), Python's email
// package and mpack for MIME base64, Python's ISO-2022-JP codec for Japanese
// headers. Each builder returns the article's raw bytes (headers, blank line,
// body; CR LF line ends; no final "." line) ready for InnServer::post(), and
// the payloads a decoder must produce from it, in order, to compare byte for
// byte.
//
//   using namespace testarticles;
//   if (const QString m = missingTools(); !m.isEmpty())
//       QSKIP(qPrintable(m));
//   Headers h{"kaplo.test", encodedWord(u"写真"_s)};
//   Built b = uuencoded(h, {{"a.jpg", testData(10000, 1)}});
//   QVERIFY2(b.ok(), qPrintable(b.error));
//   QVERIFY(inn.post(b.article));
//   ... QCOMPARE(fileContents, b.payloads[0]);
namespace testarticles {

// Raw header values, put into the article as they are.
struct Headers {
    Headers() = default;
    Headers(const QByteArray &newsgroups_, const QByteArray &subject_ = "test article")
        : newsgroups(newsgroups_), subject(subject_)
    {
    }

    QByteArray newsgroups;
    QByteArray subject = "test article";
    QByteArray from = "Tester <tester@example.com>";
    QByteArray date = "Sat, 06 Dec 1997 12:34:56 +0900";
    QList<QByteArray> extra; // whole header lines, e.g. "Lines: 12"
};

struct Attachment {
    // The file name as written in the article, raw bytes: ASCII, an encoded
    // word (encodedWord()), raw JIS (rawJis()) or Shift_JIS (shiftJis()).
    QByteArray name;
    QByteArray data;
};

struct Built {
    QByteArray article;
    QList<QByteArray> payloads; // what a correct decoder writes, per attachment
    QList<QByteArray> names;    // the names as written, per attachment
    QString error;              // why building failed; empty on success
    bool ok() const { return error.isEmpty(); }
};

// Empty when every encoder is installed, else which are missing.
QString missingTools();

// Deterministic bytes of every value (the same size and seed give the same
// data).
QByteArray testData(qsizetype size, quint32 seed = 1);

enum class UuDamage {
    None,
    BadCharacter, // one group gets a lower-case letter (outside the code alphabet)
    WrongLength,  // one line gets an extra character at its end
};

struct UuOptions {
    UuDamage damage = UuDamage::None;
    int damageFile = 0;  // which attachment
    int damageLine = 1;  // which data line of it, from 0
    int damageGroup = 1; // BadCharacter: which four-character group, from 0
    // Body text before, between and after the attachments (lines, LF ends).
    QByteArray textBefore = "Here are the files.\n";
    QByteArray textBetween = "\nand the next one:\n\n";
    QByteArray textAfter = "\n-- \nTester\n";
    // Receiving code treats any body line with "end" in it as the end of
    // the block: change the data (one byte of such a line) until no encoded
    // line has it, so the payload survives whole. The payloads returned are
    // the changed data.
    bool avoidEnd = true;
};

// One article with the files uuencoded one after another (uuencode from
// sharutils; the begin line is "begin 644 NAME" whatever the umask).
// A damaged article's payload is what a strict line decoder writes before it
// meets the damage: the earlier lines, and for BadCharacter the earlier groups
// of the damaged line.
Built uuencoded(const Headers &headers, const QList<Attachment> &files,
                const UuOptions &options = {});

struct MimeOptions {
    // A multipart/mixed message with a text/plain part first (always
    // multipart when there are several files).
    bool textPart = false;
    QByteArray text = "Some text about the files.\n";
    // Parts without any name= or filename= parameter.
    bool unnamed = false;
};

// MIME base64 built by Python's email package: Content-Type (with name=),
// Content-Transfer-Encoding: base64, Content-Disposition (with filename=),
// 76-character lines. Names must be ASCII (encoded words are).
Built mimeBase64(const Headers &headers, const QList<Attachment> &files,
                 const MimeOptions &options = {});

// One file as mpack writes it: multipart/mixed with one base64 part,
// 72-character lines, Content-MD5. mpack's own Subject and Message-ID are
// replaced by ours.
Built mpackBase64(const Headers &headers, const Attachment &file);

struct YencOptions {
    int parts = 1;               // more than one: "=ybegin part= total=" and "=ypart"
    int damagePart = -1;         // this part (from 0) gets one data character changed
    bool leadingDots = false;    // lines that begin with "=n" begin with "." instead
    bool singlePartLine = false; // one part, written as part=1 total=1 with "=ypart"
};

struct YencBuilt {
    QList<QByteArray> articles; // one per part, in part order
    QByteArray payload;         // the file
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Empty when Debian's python3-yenc loads in /usr/bin/python3.
QString yencMissing();

// A file yEnc-encoded by python3-yenc (128-character lines, the running
// CRC32 it computes), cut into options.parts articles of about the same
// size. Every "=yend" has the part's size and pcrc32 (single-part: crc32);
// the last part of several also has the whole file's crc32.
YencBuilt yencoded(const Headers &headers, const QByteArray &name, const QByteArray &data,
                   const YencOptions &options = {});

// ISO-2022-JP text as an RFC 2047 encoded word, 'B' or 'Q' form, as Python's
// email.header writes it (lower-case "=?iso-2022-jp?b?...?="). Long text
// becomes several words separated by a folding line break; pass short text.
// Another charset Python knows may be named ("utf-8", "iso-8859-1").
QByteArray encodedWord(const QString &text, char form = 'B',
                       const QByteArray &charset = "iso-2022-jp");
// The same written by nkf's header mode (-M, B form only): charsetOption
// "-s" gives "=?SHIFT_JIS?B?...?=", "-e" "=?EUC-JP?B?...?=".
QByteArray nkfWord(const QString &text, const char *charsetOption);

// A message as today's clients write it, built by Python's email package
// with its default policy (EmailMessage): Subject and From as UTF-8 encoded
// words, or as raw UTF-8 with rawUtf8; a text part, then one base64 part per
// file (names: UTF-8 text) with its name as an RFC 2231 parameter
// (filename*=utf-8''%XX…, numbered sections on folded lines when long; a
// plain quoted filename= with rawUtf8).
struct TodaysMessage {
    QByteArray newsgroups;
    QString subject;
    QString from;
    bool rawUtf8 = false;
};
Built todaysMime(const TodaysMessage &message, const QList<Attachment> &files);
// ISO-2022-JP bytes with their escape sequences (ESC $ B ... ESC ( B).
QByteArray rawJis(const QString &text);
// Windows code page 932 bytes.
QByteArray shiftJis(const QString &text);

// The article's header block followed by a blank line and `body` (LF or
// CR LF line ends); CR LF line ends in the result.
QByteArray assemble(const Headers &headers, const QByteArray &body);

} // namespace testarticles
