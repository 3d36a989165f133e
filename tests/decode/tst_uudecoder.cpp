#include "decode/cp932.h"
#include "decode/decodetables.h"
#include "decode/recordingsink.h"
#include "decode/uudecoder.h"
#include "support/testregistry.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// One uuencoded line of up to 45 bytes, as uuencode writes it (zero as a
// grave accent).
QString uuLine(const QByteArray &data)
{
    const auto ch = [](int v) { return QChar(v == 0 ? '`' : v + 0x20); };
    QString s(ch(int(data.size())));
    for (qsizetype i = 0; i < data.size(); i += 3) {
        const uchar a = uchar(data[i]);
        const uchar b = i + 1 < data.size() ? uchar(data[i + 1]) : 0;
        const uchar c = i + 2 < data.size() ? uchar(data[i + 2]) : 0;
        s += ch(a >> 2);
        s += ch(((a & 3) << 4) | (b >> 4));
        s += ch(((b & 15) << 2) | (c >> 6));
        s += ch(c & 63);
    }
    return s;
}

QByteArray bytesOf(int n, int seed = 0)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b += char((i * 37 + seed * 11 + 5) & 0xFF);
    return b;
}

// The decoder exactly as described, one byte at a time, as the reference
// the line-at-a-time decoder must match.
void referenceDecode(QStringView line, RecordingSink &sink)
{
    if (line.isEmpty())
        return;
    const auto &t = DecodeTables::instance().uu;
    const auto val = [&](QChar c) { return c.unicode() < 256 ? int(t[c.unicode()]) : -1; };
    const int n = val(line[0]);
    if (line.size() != 4 * ((n + 2) / 3) + 1)
        sink.reject();
    qsizetype pos = 1;
    for (int count = 0; count < n && sink.inBody; count += 3, pos += 4) {
        const int a = val(line[pos]), b = val(line[pos + 1]), c = val(line[pos + 2]),
                  d = val(line[pos + 3]);
        if (a < 0 || b < 0 || c < 0 || d < 0) {
            sink.reject();
            break;
        }
        const char bytes[3] = {char((a << 2) | (b >> 4)), char(((b & 15) << 4) | (c >> 2)),
                               char(((c & 3) << 6) | d)};
        for (int i = 0; i < qMin(3, n - count); ++i)
            sink.write(bytes + i, 1);
    }
}

} // namespace

class TestUuDecoder : public QObject {
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("closed");

        const QByteArray b45 = bytesOf(45);
        QTest::newRow("M line, 45 bytes") << uuLine(b45) << b45 << false;
        QTest::newRow("real uuencode: Cat")
            << QStringLiteral("#0V%T") << QByteArray("Cat") << false;
        const QByteArray b10 = bytesOf(10, 3);
        QTest::newRow("N=10 is 17 long, writes 10 not 12") << uuLine(b10) << b10 << false;
        QTest::newRow("N=0 grave accent keeps the file open")
            << QStringLiteral("`") << QByteArray() << false;
        QTest::newRow("N=0 space keeps the file open")
            << QStringLiteral(" ") << QByteArray() << false;
        QTest::newRow("empty line") << QString() << QByteArray() << false;
        QTest::newRow("62-character M line")
            << uuLine(b45) + QLatin1Char('M') << QByteArray() << true;
        QTest::newRow("trailing blank removed in transit")
            << uuLine(b45).left(60) << QByteArray() << true;
        QString third = uuLine(b45);
        third[9] = QLatin1Char('a'); // first character of group three
        QTest::newRow("lower case in group three") << third << b45.left(6) << true;
        QString katakana = uuLine(b45);
        katakana[1] = QChar(0xFF71); // half-width katakana: outside the alphabet
        QTest::newRow("half-width katakana in group one") << katakana << QByteArray() << true;
        QString kanji = uuLine(b45);
        kanji[60] = QChar(0x65E5);
        QTest::newRow("double-byte character in the last group") << kanji << b45.left(42) << true;
        QTest::newRow("space and grave accent are both zero")
            << QStringLiteral("#`   ") << QByteArray(3, '\0') << false;
        QTest::newRow("count character outside the alphabet, length 1")
            << QStringLiteral("a") << QByteArray() << false;
        QTest::newRow("end line") << QStringLiteral("end") << QByteArray() << true;
    }
    void lines()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, written);
        QFETCH(bool, closed);
        RecordingSink sink;
        UuDecoder::decodeLine(line, sink);
        QCOMPARE(sink.bytes, written);
        QCOMPARE(sink.events.contains(QStringLiteral("close")), closed);
        // The same line as received bytes leaves the same trace (a character
        // of two bytes makes another length, so those rows differ).
        bool lossy = false;
        const QByteArray raw = Cp932::encode(line, &lossy);
        if (!lossy && raw.size() == line.size()) {
            RecordingSink fromBytes;
            UuDecoder::decodeLine(QByteArrayView(raw), fromBytes);
            QCOMPARE(fromBytes.events, sink.events);
        }
        // The file opens only for bytes.
        QCOMPARE(sink.events.contains(QStringLiteral("open")), !written.isEmpty());
        QVERIFY(sink.writeCalls <= 1); // one write per line
    }

    void aClosedBlockStaysClosed()
    {
        RecordingSink sink;
        const QByteArray b = bytesOf(45);
        UuDecoder::decodeLine(uuLine(b), sink);
        UuDecoder::decodeLine(uuLine(b) + QLatin1Char('x'), sink);
        UuDecoder::decodeLine(uuLine(b), sink);
        QCOMPARE(sink.bytes, b);
        QCOMPARE(sink.events, (QStringList{QStringLiteral("open"),
                                           QStringLiteral("w:") + QString::fromLatin1(b.toHex()),
                                           QStringLiteral("close")}));
    }

    void firstLineRejectedOpensNothing()
    {
        RecordingSink sink;
        UuDecoder::decodeLine(QStringLiteral("Mxyz"), sink);
        UuDecoder::decodeLine(uuLine(bytesOf(45)), sink);
        QCOMPARE(sink.events, QStringList{QStringLiteral("close")});
    }

    void fileThatCannotOpenIsNotClosedAgain()
    {
        // Opening ended the attachment: the bad group after it is not reached.
        RecordingSink sink;
        sink.openFails = true;
        QString line = uuLine(bytesOf(45));
        line[9] = QLatin1Char('a');
        UuDecoder::decodeLine(line, sink);
        QCOMPARE(sink.events, QStringList{QStringLiteral("open")});
        QVERIFY(sink.bytes.isEmpty());
    }

    // Whole lines at once must leave the same trace as byte-by-byte writes.
    void matchesByteByByte()
    {
        QRandomGenerator rng(4711);
        const QString alphabet =
            QStringLiteral("`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRS"
                           "TUVWXYZ[\\]^_ ");
        const QString hostile = QStringLiteral("abz~\x7f\u00e9\uff71\u65e5");
        for (int round = 0; round < 5000; ++round) {
            const int n = rng.bounded(64);
            const qsizetype len =
                4 * ((n + 2) / 3) + 1 + (rng.bounded(8) == 0 ? rng.bounded(-2, 3) : 0);
            QString line(QChar(n == 0 ? '`' : n + 0x20));
            while (line.size() < len) {
                line += rng.bounded(40) == 0 ? hostile[rng.bounded(int(hostile.size()))]
                                             : alphabet[rng.bounded(int(alphabet.size()))];
            }
            if (rng.bounded(20) == 0)
                line[0] = hostile[rng.bounded(int(hostile.size()))];
            RecordingSink a, b;
            a.openPending = b.openPending = rng.bounded(2) == 0;
            a.openFails = b.openFails = rng.bounded(10) == 0;
            UuDecoder::decodeLine(line, a);
            referenceDecode(line, b);
            QCOMPARE(a.events, b.events);
            QCOMPARE(a.inBody, b.inBody);
        }
    }
};

KAPLO_TEST(TestUuDecoder)
#include "tst_uudecoder.moc"
