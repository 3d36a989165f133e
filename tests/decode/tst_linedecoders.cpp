// The uu and base64 line decoders: rows from tests/data/decode/lines.txt, and
// random lines against the decoders written out one byte at a time.
#include "decode/base64decoder.h"
#include "decode/cp932.h"
#include "decode/decodetables.h"
#include "decode/recordingsink.h"
#include "decode/uudecoder.h"
#include "decode/yencdecoder.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

int value(const std::array<std::int8_t, 256> &t, QChar c)
{
    return c.unicode() < 256 ? int(t[c.unicode()]) : -1;
}

// Four characters of the alphabet give three bytes, one at a time; a bad
// one closes the file.
bool group(const std::array<std::int8_t, 256> &t, QStringView g, int take, RecordingSink &sink)
{
    const int a = value(t, g[0]), b = value(t, g[1]), c = value(t, g[2]), d = value(t, g[3]);
    if (a < 0 || b < 0 || c < 0 || d < 0) {
        sink.reject();
        return false;
    }
    const char bytes[3] = {char((a << 2) | (b >> 4)), char(((b & 15) << 4) | (c >> 2)),
                           char(((c & 3) << 6) | d)};
    for (int i = 0; i < take; ++i)
        sink.write(bytes + i, 1);
    return true;
}

void referenceUu(QStringView line, RecordingSink &sink)
{
    if (line.isEmpty())
        return;
    const auto &t = DecodeTables::instance().uu;
    const int n = value(t, line[0]);
    if (line.size() != 4 * ((n + 2) / 3) + 1)
        sink.reject();
    for (int count = 0, pos = 1; count < n && sink.inBody; count += 3, pos += 4) {
        if (!group(t, line.mid(pos, 4), qMin(3, n - count), sink))
            break;
    }
}

void referenceBase64(QStringView line, RecordingSink &sink)
{
    if (line.size() % 4 != 0)
        sink.reject();
    for (qsizetype pos = 0; pos < line.size() && sink.inBody; pos += 4) {
        const bool last = pos + 4 >= line.size();
        const int take = !last || !line.endsWith(u'=') ? 3 : line.endsWith(u"==") ? 1 : 2;
        if (!group(DecodeTables::instance().base64, line.mid(pos, 4), take, sink))
            break;
    }
}

using Decode = void (*)(QStringView, DecodedByteSink &);

} // namespace

class TestLineDecoders : public QObject {
    Q_OBJECT
private slots:
    void lines_data() { kaplotest::addDataRows(QStringLiteral("decode/lines.txt")); }
    void lines()
    {
        QFETCH(kaplotest::DataCase, c);
        const bool uu = c.has("uu");
        const QString line = kaplotest::unescape(c.text(uu ? "uu" : "base64"));
        const Decode decode =
            uu ? Decode(UuDecoder::decodeLine) : Decode(Base64Decoder::decodeLine);
        RecordingSink sink;
        decode(line, sink);
        QCOMPARE(sink.bytes.toHex(), c.bytes("writes"));
        QCOMPARE(sink.events.contains(QStringLiteral("close")), c.text("closes") == u"yes");
        QCOMPARE(sink.events.contains(QStringLiteral("open")), !sink.bytes.isEmpty());
        QVERIFY(sink.writeCalls <= 1);
        // The same line as received bytes leaves the same trace (a character
        // of two bytes makes another length, so those rows differ).
        bool lossy = false;
        const QByteArray raw = Cp932::encode(line, &lossy);
        if (!lossy && raw.size() == line.size()) {
            RecordingSink fromBytes;
            if (uu)
                UuDecoder::decodeLine(QByteArrayView(raw), fromBytes);
            else
                Base64Decoder::decodeLine(QByteArrayView(raw), fromBytes);
            QCOMPARE(fromBytes.events, sink.events);
        }
    }

    // A closed attachment takes nothing more: the decoders do not even write.
    void closedTakesNothing()
    {
        RecordingSink sink;
        sink.inBody = false;
        UuDecoder::decodeLine(QStringLiteral("#0V%T"), sink);
        UuDecoder::decodeLine(QByteArrayView("#0V%T"), sink);
        Base64Decoder::decodeLine(QStringLiteral("QUJD"), sink);
        Base64Decoder::decodeLine(QByteArrayView("QUJD"), sink);
        YencDecoder::decodeLine("kkkk", sink);
        QCOMPARE(sink.writeCalls, 0);
        QCOMPARE(sink.events, QStringList());
    }

    // Random lines, some hostile, some longer than one write's piece,
    // against the reference; the file opening may be pending or fail.
    void matchesByteByByte_data()
    {
        QTest::addColumn<bool>("uu");
        QTest::newRow("uu") << true;
        QTest::newRow("base64") << false;
    }
    void matchesByteByByte()
    {
        QFETCH(bool, uu);
        QRandomGenerator rng(uu ? 4711 : 1997);
        const QString alphabet =
            uu ? QStringLiteral(
                     "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_ ")
               : QStringLiteral(
                     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
        const QString hostile = QStringLiteral("abz -*.~\x7f\u00e9\uff71\u65e5");
        for (int round = 0; round < 5000; ++round) {
            const int n = rng.bounded(64);
            qsizetype len = uu ? 4 * ((n + 2) / 3) + 1 : 4 * rng.bounded(30);
            if (!uu && round % 100 == 0)
                len = 4 * rng.bounded(800, 2000);
            if (rng.bounded(8) == 0)
                len += rng.bounded(-2, 3);
            QString line = uu ? QString(QChar(n == 0 ? '`' : n + 0x20)) : QString();
            if (uu && rng.bounded(20) == 0)
                line[0] = hostile[rng.bounded(int(hostile.size()))];
            while (line.size() < len) {
                line += rng.bounded(50) == 0 ? hostile[rng.bounded(int(hostile.size()))]
                                             : alphabet[rng.bounded(int(alphabet.size()))];
            }
            RecordingSink a, b;
            a.openPending = b.openPending = rng.bounded(2) == 0;
            a.openFails = b.openFails = rng.bounded(10) == 0;
            (uu ? Decode(UuDecoder::decodeLine) : Decode(Base64Decoder::decodeLine))(line, a);
            (uu ? referenceUu : referenceBase64)(line, b);
            QCOMPARE(a.events, b.events);
            QCOMPARE(a.inBody, b.inBody);
        }
    }
};

KAPLO_TEST(TestLineDecoders)
#include "tst_linedecoders.moc"
