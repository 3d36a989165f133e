#include "decode/cp932.h"
#include "support/testregistry.h"

#include <QStringDecoder>
#include <QTest>

class TestCp932 : public QObject {
    Q_OBJECT
private slots:
    // Without the converter every Japanese header, log and catalogue line
    // would silently turn into U+FFFD.
    void converterIsPresent()
    {
        QVERIFY2(QStringDecoder("windows-31j").isValid(),
                 "the platform has no windows-31j converter (Qt built without ICU?)");
        QVERIFY(Cp932::available());
        QCOMPARE(Cp932::decode(QByteArray::fromHex("82a0")), QStringLiteral("あ"));
    }

    void decodes_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("text");
        QTest::newRow("hiragana a") << QByteArray("82a0") << QStringLiteral("あ");
        QTest::newRow("kanji 0x889F") << QByteArray("889f") << QStringLiteral("亜");
        QTest::newRow("0x5C is a backslash") << QByteArray("5c") << QStringLiteral("\\");
        QTest::newRow("0x7E is a tilde") << QByteArray("7e") << QStringLiteral("~");
        QTest::newRow("0x8160 full-width tilde") << QByteArray("8160") << QString(QChar(0xFF5E));
        QTest::newRow("0x817C full-width minus") << QByteArray("817c") << QString(QChar(0xFF0D));
        // The converter's table swaps these three; Windows does not.
        QTest::newRow("0x1A unchanged") << QByteArray("1a") << QString(QChar(0x1A));
        QTest::newRow("0x1C unchanged") << QByteArray("1c") << QString(QChar(0x1C));
        QTest::newRow("0x7F unchanged") << QByteArray("7f") << QString(QChar(0x7F));
        QTest::newRow("half-width katakana") << QByteArray("b1dd") << QStringLiteral("ｱﾝ");
        QTest::newRow("NEC special circled 1") << QByteArray("8740") << QStringLiteral("①");
        QTest::newRow("NEC-selected IBM row") << QByteArray("ed40") << QStringLiteral("纊");
        QTest::newRow("IBM extension") << QByteArray("fa40") << QStringLiteral("ⅰ");
        QTest::newRow("user-defined area") << QByteArray("f040") << QString(QChar(0xE000));
        QTest::newRow("0x80 undefined") << QByteArray("80") << QString(QChar(0xFFFD));
        QTest::newRow("0xA0 undefined") << QByteArray("a0") << QString(QChar(0xFFFD));
        QTest::newRow("0xFF undefined") << QByteArray("ff41") << QStringLiteral("\uFFFDA");
        QTest::newRow("unassigned pair") << QByteArray("8540") << QString(QChar(0xFFFD));
        QTest::newRow("lead at the end") << QByteArray("4182") << QStringLiteral("A\uFFFD");
        QTest::newRow("lead before an ESC keeps the ESC") << QByteArray("821b41")
                                                          << QStringLiteral("\uFFFD\x1b"
                                                                            "A");
        QTest::newRow("trail byte in ASCII range") << QByteArray("8341") << QStringLiteral("ア");
    }
    void decodes()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, text);
        const QByteArray bytes = QByteArray::fromHex(hex);
        QCOMPARE(Cp932::decode(bytes), text);
        Cp932::StreamDecoder s;
        QString streamed = s.decode(bytes);
        streamed += s.flush();
        QCOMPARE(streamed, text);
    }

    void encodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<bool>("lossy");
        QTest::newRow("ascii") << QStringLiteral("abc\\~") << QByteArray("6162635c7e") << false;
        QTest::newRow("control codes unchanged")
            << QStringLiteral("\x1a\x1c\x7f") << QByteArray("1a1c7f") << false;
        QTest::newRow("hiragana and kana")
            << QStringLiteral("あｱ") << QByteArray("82a0b1") << false;
        // Characters with two codes: the one Windows writes.
        QTest::newRow("small roman one: IBM, not NEC-selected")
            << QStringLiteral("ⅰ") << QByteArray("fa40") << false;
        QTest::newRow("kanji of rows ED/EE: IBM")
            << QStringLiteral("纊") << QByteArray("fa5c") << false;
        QTest::newRow("roman one: NEC row 13")
            << QStringLiteral("Ⅰ") << QByteArray("8754") << false;
        QTest::newRow("not sign: JIS row") << QString(QChar(0xFFE2)) << QByteArray("81ca") << false;
        QTest::newRow("because: JIS row") << QStringLiteral("∵") << QByteArray("81e6") << false;
        // Characters CP932 lacks.
        QTest::newRow("wave dash: stand-in")
            << QString(QChar(0x301C)) << QByteArray("8160") << true;
        QTest::newRow("minus sign: stand-in")
            << QString(QChar(0x2212)) << QByteArray("817c") << true;
        QTest::newRow("yen sign: ?") << QStringLiteral("\u00a5"
                                                       "1")
                                     << QByteArray("3f31") << true;
        QTest::newRow("replacement char: ?") << QString(QChar(0xFFFD)) << QByteArray("3f") << true;
        QTest::newRow("emoji: one ?")
            << QString::fromUcs4(U"a\U0001F600b") << QByteArray("613f62") << true;
        QTest::newRow("lone surrogate: ?") << QString(QChar(0xD800)) << QByteArray("3f") << true;
        QTest::newRow("geta mark") << QStringLiteral("〓") << QByteArray("81ac") << false;
    }
    void encodes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, hex);
        QFETCH(bool, lossy);
        bool lost = !lossy;
        QCOMPARE(Cp932::encode(text, &lost).toHex(), hex);
        QCOMPARE(lost, lossy);
        // The logs' form: "〓" where "?" stood for a missing character.
        QByteArray geta = hex;
        if (lossy)
            geta.replace("3f", "81ac");
        QCOMPARE(Cp932::encode(text, nullptr, Cp932::kGetaMark).toHex(), geta);
    }

    // Every code CP932 defines decodes to one character, which encodes to a
    // code of the same character; codes without duplicates come back exact.
    void everyCodeRoundTrips()
    {
        int defined = 0;
        int exact = 0;
        for (int code = 0; code <= 0xFFFF; ++code) {
            const QChar c = Cp932::fromCode(code);
            if (c.unicode() == 0xFFFD)
                continue;
            ++defined;
            const int back = Cp932::code(c.unicode());
            QVERIFY2(back >= 0, qPrintable(QString::number(code, 16)));
            QCOMPARE(Cp932::fromCode(back), c);
            if (back == code)
                ++exact;
            QByteArray bytes;
            if (code >= 0x100)
                bytes.append(char(code >> 8));
            bytes.append(char(code & 0xFF));
            QCOMPARE(Cp932::decode(bytes), QString(c));
        }
        // 128 ASCII, 63 kana, 6,879 JIS X 0208, 83 NEC row 13, 374 NEC-selected
        // and 388 IBM extensions, 1,880 user-defined.
        QCOMPARE(defined, 9795);
        QCOMPARE(defined - exact, 398);
    }

    void singleByteCodes_data()
    {
        QTest::addColumn<int>("unicode");
        QTest::addColumn<int>("code");
        QTest::newRow("NUL") << 0 << 0;
        QTest::newRow("A") << 0x41 << 0x41;
        QTest::newRow("DEL") << 0x7F << 0x7F;
        QTest::newRow("kana first") << 0xFF61 << 0xA1;
        QTest::newRow("kana last") << 0xFF9F << 0xDF;
        QTest::newRow("U+0080 has none") << 0x80 << -1;
        QTest::newRow("yen sign has none") << 0xA5 << -1;
        QTest::newRow("hiragana is two bytes") << 0x3042 << -1;
        QTest::newRow("full-width A is two bytes") << 0xFF21 << -1;
    }
    void singleByteCodes()
    {
        QFETCH(int, unicode);
        QFETCH(int, code);
        QCOMPARE(Cp932::singleByteCode(QChar(unicode)), code);
    }

    void fromCodeRejectsWhatIsNotACode_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("negative") << -1;
        QTest::newRow("above 16 bits") << 0x10000;
        QTest::newRow("ASCII then lead") << 0x7081;
        QTest::newRow("lead then control") << 0x821F;
        QTest::newRow("kana pair") << 0xB1B1;
        QTest::newRow("trail 0x7F") << 0x827F;
        QTest::newRow("trail 0xFD") << 0x82FD;
    }
    void fromCodeRejectsWhatIsNotACode()
    {
        QFETCH(int, code);
        QCOMPARE(Cp932::fromCode(code), QChar(0xFFFD));
    }

    // A double-byte character split across reads is joined, wherever the
    // split falls.
    void streamJoinsSplitCharacters()
    {
        const QByteArray bytes = QByteArray::fromHex("4182a282a0b1" // A, two hiragana, kana
                                                     "8340"
                                                     "0d0a"
                                                     "889f5c"
                                                     "ed40");
        const QString whole = Cp932::decode(bytes);
        QCOMPARE(whole, QStringLiteral("Aいあｱァ\r\n亜\\纊"));
        for (int a = 0; a <= bytes.size(); ++a) {
            for (int b = a; b <= bytes.size(); ++b) {
                Cp932::StreamDecoder s;
                QString got = s.decode(bytes.left(a));
                got += s.decode(bytes.mid(a, b - a));
                got += s.decode(bytes.mid(b));
                got += s.flush();
                QCOMPARE(got, whole);
            }
        }
    }

    // utf8Lines: each line, split across reads anywhere, is read as UTF-8
    // when it is well-formed UTF-8, else as CP932 exactly as without it.
    void streamUtf8Lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8 line, CP932 line") // 写真 / 写真
            << QByteArray::fromHex("53 e58699e79c9f 0d0a 8eca905e 0a 41")
            << QStringLiteral("S写真\r\n写真\nA");
        QTest::newRow("ASCII and an unfinished CP932 line")
            << QByteArray::fromHex("610a 4182") << QStringLiteral("a\nA\uFFFD");
        QTest::newRow("lead byte before the line end")
            << QByteArray::fromHex("82 0a 82a0") << QStringLiteral("\uFFFD\nあ");
        // Overlong "/", a surrogate, beyond U+10FFFF: not UTF-8.
        QTest::newRow("overlong form") << QByteArray::fromHex("c0af0a") << QStringLiteral("ﾀｯ\n");
        QTest::newRow("surrogate")
            << QByteArray::fromHex("eda080") << Cp932::decode(QByteArray::fromHex("eda080"));
        QTest::newRow("beyond U+10FFFF")
            << QByteArray::fromHex("f4908080") << Cp932::decode(QByteArray::fromHex("f4908080"));
        QTest::newRow("4-byte UTF-8")
            << QByteArray::fromHex("f09f9880") << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("European") << QByteArray::fromHex("436166c3a9") << QStringLiteral("Café");
    }
    void streamUtf8Lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        for (int a = 0; a <= bytes.size(); ++a) {
            Cp932::StreamDecoder s;
            s.setUtf8Lines(true);
            QString got = s.decode(bytes.left(a));
            s.appendTo(bytes.mid(a), got);
            got += s.flush();
            QCOMPARE(got, text);
        }
        // A line too long to wait for is read as CP932.
        Cp932::StreamDecoder s;
        s.setUtf8Lines(true);
        const QByteArray utf8 =
            QByteArray("\xc3\xa9").repeated(Cp932::StreamDecoder::kMaxHeldBytes);
        QString got = s.decode(utf8);
        got += s.decode("\n\xc3\xa9\n");
        QCOMPARE(got, Cp932::decode(utf8) + QStringLiteral("\né\n"));
    }

    void streamResetDropsAWaitingLead()
    {
        Cp932::StreamDecoder s;
        QCOMPARE(s.decode(QByteArray::fromHex("4182")), QStringLiteral("A"));
        s.reset();
        QCOMPARE(s.decode(QByteArray("a0")), QStringLiteral("a0"));
        QCOMPARE(s.flush(), QString());
    }
};

KAPLO_TEST(TestCp932)
#include "tst_cp932.moc"
