#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

// CP932 (Shift_JIS as Windows defines it): the encoding of the socket's
// bytes, the log files and newsgroups.dat.
namespace Cp932 {

// Text to CP932 bytes. A character CP932 cannot write becomes "?" and sets
// *lossy when given.
QByteArray encode(QStringView text, bool *lossy = nullptr);

// Complete CP932 bytes to text (no state kept).
QString decode(QByteArrayView bytes);

// The single-byte CP932 code of a character (0..255), or -1 when CP932
// writes it in two bytes or not at all. The decoders' tables are indexed by it.
int singleByteCode(QChar c);

// The character of a CP932 code: one byte (< 0x100) or a lead/trail pair
// (hi * 256 + lo). A code CP932 does not define gives U+FFFD.
QChar fromCode(int code);

// A decoder that keeps its state between reads: a lead byte at the end of
// one read waits for the trail byte of the next. Pure ASCII input takes a
// fast path.
class StreamDecoder {
public:
    StreamDecoder();
    QString decode(QByteArrayView bytes);
    void reset();

private:
    QStringDecoder m_decoder;
    bool m_pending = false; // the last read ended inside a double-byte character
};

} // namespace Cp932
