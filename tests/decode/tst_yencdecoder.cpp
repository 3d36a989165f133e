#include "decode/recordingsink.h"
#include "decode/yencdecoder.h"
#include "support/testregistry.h"
#include "support/yencencode.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>
#include <memory>

// The decoding rules one byte at a time, as plainly as they read.
static QByteArray reference(const QByteArray &line)
{
    QByteArray out;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uchar c = uchar(line[i]);
        if (c == '=') {
            if (++i < line.size())
                out += char(uchar(line[i]) - 106);
        } else if (c != '\r' && c != '\n' && c != 0) {
            out += char(c - 42);
        }
    }
    return out;
}

class TestYencDecoder : public QObject {
    Q_OBJECT
private slots:
    // Every loop against the reference: lines with "=" (single, doubled,
    // tripled) at every position, so at the end of each 16- and 32-byte
    // block and of the line, random lines full of "=", CR, LF and NUL, and
    // every byte value as an encoder writes it, across the 4096-byte pieces.
    // Input and output are allocated to the byte (size + 32 out), so a
    // sanitizer build sees any access outside them.
    void againstReference()
    {
        QList<QByteArray> lines;
        for (int n = 1; n <= 72; ++n)
            for (int at = 0; at < n; ++at)
                for (int k = 1; k <= 3; ++k)
                    lines << QByteArray(n, 'k').replace(at, k, QByteArray(k, '=')).left(n);
        QByteArray all;
        for (int i = 0; i < 256 * 40; ++i)
            all += char((i * 7 + i / 256) & 0xFF);
        lines << yencEncode(all);
        QRandomGenerator rng(19);
        const char specials[] = {'=', '=', '=', '\r', '\n', '\0', '}', '@'};
        for (int r = 0; r < 20000; ++r) {
            QByteArray l(rng.bounded(300), Qt::Uninitialized);
            const int density = 1 + rng.bounded(32); // one special byte in `density`
            for (char &c : l)
                c = rng.bounded(density) == 0 ? specials[rng.bounded(8)] : char(rng.bounded(256));
            lines << l;
        }
        for (const auto loop :
             {YencDecoder::Loop::Bytes, YencDecoder::Loop::Ssse3, YencDecoder::Loop::Avx2}) {
            for (const QByteArray &l : lines) {
                const std::unique_ptr<char[]> in(new char[size_t(l.size())]);
                std::memcpy(in.get(), l.constData(), size_t(l.size()));
                const std::unique_ptr<char[]> out(new char[size_t(l.size()) + 32]);
                const qsizetype n = YencDecoder::decodeWith(loop, in.get(), l.size(), out.get());
                if (n < 0)
                    break; // not on this processor
                QVERIFY2(QByteArray(out.get(), n) == reference(l),
                         qPrintable(QStringLiteral("loop %1, line ").arg(int(loop)) + l.toHex()));
            }
        }
        for (const QByteArray &l : lines) {
            RecordingSink sink;
            YencDecoder::decodeLine(l, sink);
            QCOMPARE(sink.bytes, reference(l));
        }
    }
};

KAPLO_TEST(TestYencDecoder)
#include "tst_yencdecoder.moc"
