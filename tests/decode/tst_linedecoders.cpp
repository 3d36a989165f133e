// The uu and base64 line decoders: rows from tests/data/decode/lines.txt.
#include "decode/base64decoder.h"
#include "decode/cp932.h"
#include "decode/recordingsink.h"
#include "decode/uudecoder.h"
#include "decode/yencdecoder.h"
#include "support/escapes.h"
#include "support/testregistry.h"

#include <QtTest>

class TestLineDecoders : public QObject {
    Q_OBJECT
private slots:
    void lines_data() { kaplotest::addDataRows(QStringLiteral("decode/lines.txt")); }
    void lines()
    {
        QFETCH(kaplotest::DataCase, c);
        const bool uu = c.has("uu");
        const QString line = kaplotest::unescape(c.text(uu ? "uu" : "base64"));
        const auto decode = [uu](auto text, RecordingSink &sink) {
            uu ? UuDecoder::decodeLine(text, sink) : Base64Decoder::decodeLine(text, sink);
        };
        RecordingSink sink;
        decode(QStringView(line), sink);
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
            decode(QByteArrayView(raw), fromBytes);
            QCOMPARE(fromBytes.bytes, sink.bytes);
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
};

KAPLO_TEST(TestLineDecoders)
#include "tst_linedecoders.moc"
