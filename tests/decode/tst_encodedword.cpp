#include "decode/encodedword.h"
#include "support/testregistry.h"

#include <QTest>

namespace {

// Byte-valued text from hex: one character per byte.
QString bytesText(const char *hex)
{
    return QString::fromLatin1(QByteArray::fromHex(hex));
}

} // namespace

class TestEncodedWord : public QObject {
    Q_OBJECT
private slots:
    void b64_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("decoded");
        // ISO-2022-JP hiragana "a": ESC $ B 0x24 0x22 ESC ( B.
        QTest::newRow("encoded letter")
            << QStringLiteral("GyRCJCIbKEI=") << bytesText("1b244224221b2842");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("no padding") << QStringLiteral("YWJj") << QStringLiteral("abc");
        QTest::newRow("== keeps one byte") << QStringLiteral("YQ==") << QStringLiteral("a");
        QTest::newRow("= keeps two bytes") << QStringLiteral("YWI=") << QStringLiteral("ab");
        QTest::newRow("== on an all-padding group") << QStringLiteral("====") << bytesText("00");
        // Only the last group is tested for padding: "=" inside is zero bits.
        QTest::newRow("padding inside is zero bits")
            << QStringLiteral("YQ==YWJj") << bytesText("610000616263");
        QTest::newRow("length not a multiple of 4") << QStringLiteral("YWJjZ") << QString();
        QTest::newRow("asterisk") << QStringLiteral("YW*j") << QString();
        QTest::newRow("bad character in a later group") << QStringLiteral("YWJjYW j") << QString();
        QTest::newRow("full-width letter") << QStringLiteral("YWJＡ") << QString();
        QTest::newRow("kana has a single-byte code but no base64 value")
            << QStringLiteral("YWJｱ") << QString();
        // Bytes of 0x80 and above: read as CP932 (Shift_JIS mislabelled).
        QTest::newRow("shift_jis in a B word")
            << QStringLiteral("gqCCog==") << QStringLiteral("あい");
        QTest::newRow("undefined high byte") << QStringLiteral("gEE=") << QStringLiteral("\uFFFDA");
    }
    void b64()
    {
        QFETCH(QString, word);
        QFETCH(QString, decoded);
        QCOMPARE(B64EnCode(word), decoded);
    }

    void q_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("encoded letter")
            << QStringLiteral("=1B$B$$=1B(B") << bytesText("1b244224241b2842");
        QTest::newRow("underscore stays") << QStringLiteral("a_b") << QStringLiteral("a_b");
        QTest::newRow("escape without digits at the end")
            << QStringLiteral("x=") << QStringLiteral("x");
        QTest::newRow("one digit at the end") << QStringLiteral("x=4") << QStringLiteral("x");
        QTest::newRow("lower-case hex") << QStringLiteral("=3f=3F") << QStringLiteral("??");
        // The value of the leading hex digits, 0 without any.
        QTest::newRow("second char not hex") << QStringLiteral("=4G") << bytesText("04");
        QTest::newRow("first char not hex") << QStringLiteral("=G4z") << bytesText("007a");
        QTest::newRow("an incomplete escape is dropped")
            << QStringLiteral("=4=41") << QStringLiteral("A");
        QTest::newRow("shift_jis in a Q word")
            << QStringLiteral("=82=A0x") << QStringLiteral("あx");
        QTest::newRow("characters that are not bytes are copied")
            << QStringLiteral("a日b") << QStringLiteral("a日b");
    }
    void q()
    {
        QFETCH(QString, word);
        QFETCH(QString, decoded);
        QCOMPARE(QEnCode(word), decoded);
    }
};

KAPLO_TEST(TestEncodedWord)
#include "tst_encodedword.moc"
