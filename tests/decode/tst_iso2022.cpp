#include "decode/cp932.h"
#include "decode/iso2022.h"
#include "support/testregistry.h"

#include <QFile>
#include <QHash>
#include <QTest>

namespace {

// Header text as it arrives: CP932 bytes (given in hex) decoded.
QString fromHex(const char *hex)
{
    return Cp932::decode(QByteArray::fromHex(hex));
}

const QString kWordA = QStringLiteral("=?ISO-2022-JP?B?GyRCJCIbKEI=?="); // hiragana a
const QString kWordI = QStringLiteral("=?ISO-2022-JP?Q?=1B$B$$=1B(B?="); // hiragana i

} // namespace

class TestIso2022 : public QObject {
    Q_OBJECT
private slots:
    void jisToSJis_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        // ESC $ B 0x30 0x21 ESC ( B: the first kanji, Shift_JIS 0x889F.
        QTest::newRow("first kanji") << fromHex("1b24423021 1b2842") << QStringLiteral("亜");
        QTest::newRow("plain ascii") << fromHex("48656c6c6f2c2021") << QStringLiteral("Hello, !");
        // CR, LF, TAB and other control characters vanish outside escapes.
        QTest::newRow("control characters vanish") << fromHex("610d0a0962 00 7f 1f63")
                                                   << QStringLiteral("ab\x7f"
                                                                     "c");
        // ESC ( B first: the mode depends only on the number of escapes.
        QTest::newRow("redundant ASCII designation toggles")
            << fromHex("1b2842 2422") << QStringLiteral("あ");
        QTest::newRow("ETX switches like ESC")
            << fromHex("032442 3021 032842 41") << QStringLiteral("亜A");
        QTest::newRow("the two characters after a switch are dropped")
            << fromHex("1b 4142 3021 1b 4344 45") << QStringLiteral("亜E");
        QTest::newRow("shift_jis already present stays")
            << fromHex("82a0 41 b1 889f") << QStringLiteral("あAｱ亜");
        QTest::newRow("odd byte at the end is dropped")
            << fromHex("1b2442 3021 30") << QStringLiteral("亜");
        QTest::newRow("NUL dropped in two-byte mode too")
            << fromHex("1b2442 30 00 21 1b2842") << QStringLiteral("亜");
        // JIS 0x2141 goes via Shift_JIS 0x8160: CP932's FULLWIDTH TILDE.
        QTest::newRow("wave dash via CP932")
            << fromHex("1b2442 2141 1b2842") << QString(QChar(0xFF5E));
        QTest::newRow("row 0x79 reaches the NEC-selected rows")
            << fromHex("1b2442 7921 1b2842") << QStringLiteral("纊");
        // Codes that are no JIS character: one geta mark per pair.
        QTest::newRow("blanks in two-byte mode")
            << fromHex("1b2442 2020 1b2842") << QStringLiteral("〓");
        QTest::newRow("kana in two-byte mode")
            << fromHex("1b2442 b1b1 1b2842") << QStringLiteral("〓");
        QTest::newRow("double-byte characters in two-byte mode")
            << fromHex("1b2442 82a0 889f 1b2842") << QStringLiteral("〓");
        QTest::newRow("row 0x75: no CP932 character")
            << fromHex("1b2442 7521 1b2842") << QStringLiteral("〓");
        QTest::newRow("row 0x7F reaches the user-defined area")
            << fromHex("1b2442 7f7e 1b2842") << QString(QChar(0xE05D));
        QTest::newRow("characters CP932 lacks in two-byte mode")
            << (fromHex("1b2442") + QString::fromUcs4(U"\U0001F600\u00A5") + fromHex("1b2842"))
            << QStringLiteral("〓");
        QTest::newRow("surrogate pair after an escape is dropped whole")
            << (fromHex("1b2442 1b41") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("xy"))
            << QStringLiteral("xy");
        QTest::newRow("surrogate pair in single-byte mode stays")
            << QString::fromUcs4(U"a\U0001F600b") << QString::fromUcs4(U"a\U0001F600b");
    }
    void jisToSJis()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(JisToSJis(text), result);
    }

    void iso2022_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("B word") << kWordA << QStringLiteral("あ");
        QTest::newRow("B word, lower-case prefix")
            << QStringLiteral("=?iso-2022-jp?b?GyRCJCIbKEI=?=") << QStringLiteral("あ");
        QTest::newRow("B word, mixed-case prefix")
            << QStringLiteral("=?Iso-2022-Jp?b?GyRCJCIbKEI=?=") << QStringLiteral("あ");
        QTest::newRow("text around the word")
            << (QStringLiteral("Re: ") + kWordA + QStringLiteral(" (2)"))
            << QStringLiteral("Re: あ (2)");
        QTest::newRow("only the first of two B words")
            << (kWordA + u' ' + kWordA) << (QStringLiteral("あ ") + kWordA);
        QTest::newRow("Q word before an earlier B word")
            << (kWordA + u' ' + kWordI) << (kWordA + QStringLiteral(" い"));
        // A Q marker without its end: the text stays, no B word is tried.
        QTest::newRow("unterminated Q word") << (kWordA + QStringLiteral(" =?ISO-2022-JP?Q?x"))
                                             << (kWordA + QStringLiteral(" =?ISO-2022-JP?Q?x"));
        QTest::newRow("unterminated B word") << QStringLiteral("=?ISO-2022-JP?B?GyRCJCIbKEI=")
                                             << QStringLiteral("=?ISO-2022-JP?B?GyRCJCIbKEI=");
        QTest::newRow("invalid B word decodes to nothing")
            << QStringLiteral("a =?ISO-2022-JP?B?GyRC*CIbKEI=?= b") << QStringLiteral("a  b");
        QTest::newRow("unknown charset stays apart from control characters")
            << QStringLiteral("\t=?X-NONE?B?gqA=?= =?X-NONE?Q?caf=E9?=\r\n")
            << QStringLiteral("=?X-NONE?B?gqA=?= =?X-NONE?Q?caf=E9?=");
        // Other charsets, decoded when no ISO-2022-JP word is present, by
        // the same rule: one word, the first Q word, else the first B word.
        QTest::newRow("UTF-8 B word")
            << QStringLiteral("Re: =?UTF-8?B?5YaZ55yf?= (2)") << QStringLiteral("Re: 写真 (2)");
        QTest::newRow("UTF-8 Q word, underscore is a blank")
            << QStringLiteral("=?utf-8?q?Caf=C3=A9_cr=C3=A8me?=") << QStringLiteral("Café crème");
        QTest::newRow("Shift_JIS B word")
            << QStringLiteral("=?SHIFT_JIS?B?jsqQXg==?=") << QStringLiteral("写真");
        QTest::newRow("EUC-JP B word")
            << QStringLiteral("=?EUC-JP?B?vMy/vw==?=") << QStringLiteral("写真");
        QTest::newRow("ISO-8859-1 Q word")
            << QStringLiteral("=?ISO-8859-1?Q?caf=E9?=") << QStringLiteral("café");
        QTest::newRow("GB2312") << QStringLiteral("=?GB2312?B?1tDOxA==?=")
                                << QStringLiteral("中文");
        QTest::newRow("Big5") << QStringLiteral("=?Big5?B?pKSk5Q==?=") << QStringLiteral("中文");
        QTest::newRow("KS C 5601")
            << QStringLiteral("=?ks_c_5601-1987?B?x9GxuQ==?=") << QStringLiteral("한국");
        QTest::newRow("language suffix")
            << QStringLiteral("=?UTF-8*ja?B?5YaZ55yf?=") << QStringLiteral("写真");
        QTest::newRow("ISO-2022-JP with a language suffix")
            << QStringLiteral("=?ISO-2022-JP*ja?B?GyRCJCIbKEI=?=") << QStringLiteral("あ");
        QTest::newRow("only the first of two UTF-8 B words")
            << QStringLiteral("=?UTF-8?B?5YaZ?= =?UTF-8?B?55yf?=")
            << QStringLiteral("写 =?UTF-8?B?55yf?=");
        QTest::newRow("Q word before an earlier B word, across charsets")
            << QStringLiteral("=?UTF-8?B?5YaZ?= =?ISO-8859-1?Q?=E9?=")
            << QStringLiteral("=?UTF-8?B?5YaZ?= é");
        QTest::newRow("an unknown charset is passed over")
            << QStringLiteral("=?X-NONE?B?gqA=?= =?UTF-8?B?5YaZ?=")
            << QStringLiteral("=?X-NONE?B?gqA=?= 写");
        QTest::newRow("an ISO-2022-JP word keeps the others literal")
            << (QStringLiteral("=?UTF-8?Q?=E5=86=99?= ") + kWordA)
            << QStringLiteral("=?UTF-8?Q?=E5=86=99?= あ");
        QTest::newRow("invalid UTF-8 B word decodes to nothing")
            << QStringLiteral("a=?UTF-8?B?5Ya*?=b") << QStringLiteral("ab");
        QTest::newRow("bad UTF-8 bytes")
            << QStringLiteral("=?UTF-8?Q?a=FFb?=") << QStringLiteral("a\uFFFDb");
        QTest::newRow("decoded control characters and escapes are dropped")
            << QStringLiteral("=?UTF-8?Q?a=0D=0A=00b=09?=") << QStringLiteral("ab");
        QTest::newRow("Qt's locale encoding is no charset")
            << QStringLiteral("=?System?Q?a?=") << QStringLiteral("=?System?Q?a?=");
        QTest::newRow("charset with a comma is no charset")
            << QStringLiteral("=?UTF-8,swaplfnl?Q?a?=") << QStringLiteral("=?UTF-8,swaplfnl?Q?a?=");
        QTest::newRow("raw JIS outside the word is converted too")
            << (fromHex("1b2442 2422 1b2842 20") + kWordI) << QStringLiteral("あ い");
        // Upper-casing "ß" would give "SS" and shift every later position.
        QTest::newRow("positions do not shift")
            << (QStringLiteral("ßſ ") + kWordA) << QStringLiteral("ßſ あ");
        QTest::newRow("marker with a non-ASCII look-alike is no marker")
            << QStringLiteral("=?IſO-2022-JP?B?GyRCJCIbKEI=?=")
            << QStringLiteral("=?IſO-2022-JP?B?GyRCJCIbKEI=?=");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("empty B word") << QStringLiteral("x=?ISO-2022-JP?B?"
                                                        "?=y")
                                      << QStringLiteral("xy");
    }
    void iso2022()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        const QString before = text;
        QCOMPARE(Iso_2022(text), result);
        QCOMPARE(text, before);
    }

    // Every JIS X 0208 character, against glibc's iconv (fixture made by
    // tests/data/jis/make_fixtures.py). A wrong Shift_JIS formula shows up
    // as thousands of mismatches.
    void everyJisX0208CharacterMatchesIconv()
    {
        QFile f(QStringLiteral(KAPLO_TEST_DATA "/jis/jis0208.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        // Where JIS converters and Microsoft's CP932 table part ways, the
        // character comes from CP932 (the code goes through Shift_JIS).
        const QHash<int, QPair<char16_t, char16_t>> cp932Differs = {
            {0x2141, {0x301C, 0xFF5E}}, {0x2142, {0x2016, 0x2225}}, {0x215D, {0x2212, 0xFF0D}},
            {0x2171, {0x00A2, 0xFFE0}}, {0x2172, {0x00A3, 0xFFE1}}, {0x224C, {0x00AC, 0xFFE2}},
        };
        int checked = 0;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const QList<QByteArray> parts = line.split(' ');
            QCOMPARE(parts.size(), 2);
            const int jis = parts[0].toInt(nullptr, 16);
            char16_t want = static_cast<char16_t>(parts[1].mid(2).toInt(nullptr, 16));
            const auto diff = cp932Differs.constFind(jis);
            if (diff != cp932Differs.cend()) {
                QCOMPARE(want, diff->first);
                want = diff->second;
            }
            QString in = fromHex("1b2442");
            in += QChar(jis >> 8);
            in += QChar(jis & 0xFF);
            in += fromHex("1b2842");
            const QString got = JisToSJis(in);
            if (got != QString(QChar(want)))
                QFAIL(qPrintable(QStringLiteral("JIS %1: got %2, want U+%3")
                                     .arg(jis, 4, 16)
                                     .arg(got)
                                     .arg(int(want), 4, 16, QLatin1Char('0'))));
            ++checked;
        }
        QCOMPARE(checked, 6879);
    }

    // Subjects and file names as real encoders write them (Python's
    // email.header, nkf), read back.
    void realEncoders_data()
    {
        QTest::addColumn<QString>("encoded");
        QTest::addColumn<QString>("decoded");
        QFile f(QStringLiteral(KAPLO_TEST_DATA "/jis/encoded_words.txt"));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            QFAIL("encoded_words.txt is missing");
        int n = 0;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).chopped(1);
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const QStringList parts = line.split(u'\t');
            if (parts.size() != 3)
                QFAIL(qPrintable(line));
            QTest::addRow("%d %s", ++n, qPrintable(parts[0])) << parts[1] << parts[2];
        }
    }
    void realEncoders()
    {
        QFETCH(QString, encoded);
        QFETCH(QString, decoded);
        QCOMPARE(Iso_2022(encoded), decoded);
    }
};

KAPLO_TEST(TestIso2022)
#include "tst_iso2022.moc"
