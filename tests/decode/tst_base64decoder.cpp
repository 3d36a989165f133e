#include "decode/base64decoder.h"
#include "decode/cp932.h"
#include "decode/decodetables.h"
#include "decode/recordingsink.h"
#include "support/testregistry.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray bytesOf(int n, int seed = 0)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b += char((i * 29 + seed * 13 + 7) & 0xFF);
    return b;
}

QString b64(const QByteArray &b)
{
    return QString::fromLatin1(b.toBase64());
}

// The decoder exactly as described, one byte at a time.
void referenceDecode(QStringView line, RecordingSink &sink)
{
    const qsizetype len = line.size();
    if (len % 4 != 0)
        sink.reject();
    const auto &t = DecodeTables::instance().base64;
    const auto val = [&](QChar c) { return c.unicode() < 256 ? int(t[c.unicode()]) : -1; };
    for (qsizetype pos = 0; pos < len && sink.inBody; pos += 4) {
        const int a = val(line[pos]), b = val(line[pos + 1]), c = val(line[pos + 2]),
                  d = val(line[pos + 3]);
        if (a < 0 || b < 0 || c < 0 || d < 0) {
            sink.reject();
            break;
        }
        const char bytes[3] = {char((a << 2) | (b >> 4)), char(((b & 15) << 4) | (c >> 2)),
                               char(((c & 3) << 6) | d)};
        int take = 3;
        if (pos > len - 4 - 1) {
            if (line.endsWith(u"=="))
                take = 1;
            else if (line.endsWith(u'='))
                take = 2;
        }
        for (int i = 0; i < take; ++i)
            sink.write(bytes + i, 1);
    }
}

} // namespace

class TestBase64Decoder : public QObject {
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("closed");

        const QByteArray b57 = bytesOf(57);
        QTest::newRow("76 characters, 57 bytes") << b64(b57) << b57 << false;
        QTest::newRow("== tail: one byte") << b64(bytesOf(55)) << bytesOf(55) << false;
        QTest::newRow("= tail: two bytes") << b64(bytesOf(56)) << bytesOf(56) << false;
        QTest::newRow("a four-character line with ==")
            << QStringLiteral("QQ==") << QByteArray("A") << false;
        QTest::newRow("= inside a line is zero bits")
            << QStringLiteral("QQ==QUJD") << QByteArray("A\0\0ABC", 6) << false;
        QTest::newRow("75 characters") << b64(b57).left(75) << QByteArray() << true;
        QString space = b64(b57);
        space[41] = QLatin1Char(' ');
        QTest::newRow("space in group eleven") << space << b57.left(30) << true;
        QString hyphen = b64(b57);
        hyphen[4] = QLatin1Char('-');
        QTest::newRow("hyphen in group two") << hyphen << b57.left(3) << true;
        QString kanji = b64(b57);
        kanji[0] = QChar(0x65E5);
        QTest::newRow("double-byte character first") << kanji << QByteArray() << true;
        QTest::newRow("empty line") << QString() << QByteArray() << false;
        QTest::newRow("MIME boundary") << QStringLiteral("--=_boundary") << QByteArray() << true;
        // A long line is written in pieces; the trace is the same.
        const QByteArray big = bytesOf(20000, 9);
        QString bigBad = b64(big);
        bigBad[bigBad.size() - 8] = QLatin1Char('*');
        QTest::newRow("long line") << b64(big) << big << false;
        QTest::newRow("long line, bad near its end") << bigBad << big.left(big.size() - 5) << true;
    }
    void lines()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, written);
        QFETCH(bool, closed);
        RecordingSink sink;
        Base64Decoder::decodeLine(line, sink);
        QCOMPARE(sink.bytes, written);
        QCOMPARE(sink.events.contains(QStringLiteral("close")), closed);
        // The same line as received bytes leaves the same trace (a character
        // of two bytes makes another length, so those rows differ).
        bool lossy = false;
        const QByteArray raw = Cp932::encode(line, &lossy);
        if (!lossy && raw.size() == line.size()) {
            RecordingSink fromBytes;
            Base64Decoder::decodeLine(QByteArrayView(raw), fromBytes);
            QCOMPARE(fromBytes.events, sink.events);
        }
        QCOMPARE(sink.events.contains(QStringLiteral("open")), !written.isEmpty());
    }

    void wholeFileRoundTrips()
    {
        // Lines as MIME writes them, the last one short and padded.
        for (int size : {0, 1, 2, 3, 56, 57, 58, 1000, 4096}) {
            const QByteArray data = bytesOf(size, size);
            const QString text = b64(data);
            RecordingSink sink;
            for (qsizetype i = 0; i < text.size(); i += 76)
                Base64Decoder::decodeLine(QStringView(text).mid(i, 76), sink);
            QCOMPARE(sink.bytes, data);
            QVERIFY(sink.inBody);
        }
    }

    void matchesByteByByte()
    {
        QRandomGenerator rng(1997);
        const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
        const QString hostile = QStringLiteral(" -*.\x7f\u00e9\uff71\u65e5");
        for (int round = 0; round < 3000; ++round) {
            qsizetype len = 4 * rng.bounded(30);
            if (round % 100 == 0)
                len = 4 * rng.bounded(800, 2000); // beyond one write's piece
            if (rng.bounded(8) == 0)
                len += rng.bounded(1, 4);
            QString line;
            while (line.size() < len) {
                line += rng.bounded(60) == 0 ? hostile[rng.bounded(int(hostile.size()))]
                                             : alphabet[rng.bounded(int(alphabet.size()))];
            }
            RecordingSink a, b;
            a.openPending = b.openPending = rng.bounded(2) == 0;
            a.openFails = b.openFails = rng.bounded(10) == 0;
            Base64Decoder::decodeLine(line, a);
            referenceDecode(line, b);
            QCOMPARE(a.events, b.events);
            QCOMPARE(a.inBody, b.inBody);
        }
    }
};

KAPLO_TEST(TestBase64Decoder)
#include "tst_base64decoder.moc"
