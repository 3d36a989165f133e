#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// CP932 (Shift_JIS as Windows defines it): the encoding of the socket's
// bytes, the log files and newsgroups.dat.
//
// The double-byte table comes from the platform's "windows-31j" converter
// (ICU: Microsoft's table, NEC and IBM extensions included). Single bytes are
// ours: ICU's table swaps the control codes 0x1A, 0x1C and 0x7F, while
// Windows maps 0x00..0x7F to U+0000..U+007F unchanged, and so do we. A byte
// or pair CP932 does not define (0x80, 0xA0, 0xFD..0xFF, a lead byte without
// a valid trail byte, an unassigned pair) decodes to U+FFFD.
namespace Cp932 {

// Whether the platform's converter is present. Without it every non-ASCII
// byte decodes to U+FFFD and every non-ASCII character encodes to "?".
bool available();

// Text to CP932 bytes. A character CP932 lacks but that has a customary
// CP932 stand-in (U+301C WAVE DASH -> 0x8160, U+2212 MINUS SIGN -> 0x817C,
// and the other JIS X 0208 characters Microsoft's table maps elsewhere) is
// written as that stand-in; any other character CP932 lacks becomes "?".
// *lossy, when given, tells whether any character was not written as itself.
// `missing` is written in place of "?" when given (one character CP932
// lacks, a surrogate pair included, gives it once).
QByteArray encode(QStringView text, bool *lossy = nullptr, QByteArrayView missing = "?");
// "〓" (GETA MARK) in CP932: what the logs write for a character CP932 lacks.
inline constexpr char kGetaMark[] = "\x81\xAC";

// Complete CP932 bytes to text (no state kept; a lead byte at the very end
// gives U+FFFD).
QString decode(QByteArrayView bytes);

// The single-byte CP932 code of a character (0..255), or -1 when CP932
// writes it in two bytes or not at all. The decoders' tables are indexed by it.
int singleByteCode(QChar c);

// The CP932 code of a character: its single byte (< 0x100), its lead/trail
// pair as hi * 256 + lo, or -1 when CP932 lacks it.
int code(char32_t c);

// The character of a CP932 code: one byte (< 0x100) or a lead/trail pair
// (hi * 256 + lo). A code CP932 does not define gives U+FFFD.
QChar fromCode(int code);

// A decoder that keeps its state between reads: a lead byte at the end of
// one read waits for the trail byte of the next. Pure ASCII input takes a
// fast path.
//
// With utf8Lines set, a line (up to LF) whose bytes are well-formed UTF-8 is
// read as UTF-8 and any other line as CP932, as without it. The bytes of a
// line from its first non-ASCII byte on wait for the line's LF (or for
// flush()); a line whose waiting part passes kMaxHeldBytes is read as CP932.
class StreamDecoder {
public:
    static constexpr qsizetype kMaxHeldBytes = 64 * 1024;

    StreamDecoder();
    void setUtf8Lines(bool on);
    bool utf8Lines() const { return m_utf8Lines; }
    QString decode(QByteArrayView bytes);
    // The same, appended to out: a buffer kept between reads is reused,
    // with no new allocation per read.
    void appendTo(QByteArrayView bytes, QString &out);
    // Ends the stream: a lead byte still waiting gives U+FFFD.
    QString flush();
    void reset();

private:
    void appendLines(QByteArrayView bytes, QString &out);
    void releaseHeld(QString &out);

    int m_lead = -1; // a lead byte left from the last read, or -1
    bool m_utf8Lines = false;
    // utf8Lines: the current line from its first non-ASCII byte, undecided
    QByteArray m_held;
    // utf8Lines: the current line is read as CP932 to its end (too long)
    bool m_cp932Line = false;
};

} // namespace Cp932
