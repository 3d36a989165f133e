#include "decode/recordingsink.h"
#include "decode/yencdecoder.h"
#include "support/testregistry.h"

#include <QtTest>

namespace {

// yEnc as written by an encoder: +42, "=" and +64 for NUL, LF, CR and "=".
QByteArray encode(const QByteArray &data)
{
    QByteArray out;
    for (const char c : data) {
        const char e = char(uchar(c) + 42);
        if (e == 0 || e == '\n' || e == '\r' || e == '=')
            out += '=', out += char(uchar(e) + 64);
        else
            out += e;
    }
    return out;
}

QByteArray allBytes(int repeat)
{
    QByteArray b;
    for (int r = 0; r < repeat; ++r)
        for (int i = 0; i < 256; ++i)
            b += char((i * 7 + r) & 0xFF);
    return b;
}

} // namespace

class TestYencDecoder : public QObject {
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray every = allBytes(1);
        QTest::newRow("every byte value") << encode(every) << every;
        // Long enough for the 16-byte blocks, with escapes at every offset
        // inside a block and across the 4096-byte pieces.
        const QByteArray many = allBytes(40);
        QTest::newRow("many blocks and pieces") << encode(many) << many;
        QTest::newRow("plain") << QByteArray("r\x8f\x96\x96\x99") << QByteArray("Hello");
        QTest::newRow("escaped escape") << QByteArray("==") << QByteArray(1, char('=' - 106));
        QTest::newRow("dangling escape dropped") << QByteArray("kk=") << QByteArray("AA");
        QTest::newRow("CR, LF, NUL are not data")
            << QByteArray("k\rk\nk\0k", 7) << QByteArray("AAAA");
        QTest::newRow("specials inside a block")
            << QByteArray(20, 'k') + QByteArray("\r=}") + QByteArray(20, 'k')
            << QByteArray(20, 'A') + QByteArray(1, char(('}' - 106) & 0xFF)) + QByteArray(20, 'A');
        QTest::newRow("escape at a piece boundary")
            << QByteArray(4095, 'k') + "=}" + QByteArray(100, 'k')
            << QByteArray(4095, 'A') + QByteArray(1, char('}' - 106)) + QByteArray(100, 'A');
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void lines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, bytes);
        RecordingSink sink;
        YencDecoder::decodeLine(line, sink);
        QCOMPARE(sink.bytes, bytes);
        QVERIFY(!sink.events.contains(QStringLiteral("close")));
    }

    // A closed attachment takes nothing more.
    void stopsWhenClosed()
    {
        RecordingSink sink;
        sink.inBody = false;
        YencDecoder::decodeLine("kkkk", sink);
        QCOMPARE(sink.writeCalls, 0);
    }
};

KAPLO_TEST(TestYencDecoder)
#include "tst_yencdecoder.moc"
