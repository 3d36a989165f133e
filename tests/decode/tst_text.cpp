// Header text: CP932, ISO-2022-JP, encoded words. Rows from tests/data/decode
// and tests/data/jis (made by real encoders and glibc's iconv).
#include "decode/cp932.h"
#include "decode/encodedword.h"
#include "decode/iso2022.h"
#include "support/escapes.h"
#include "support/testregistry.h"

#include <QHash>
#include <QTest>

#include <functional>

// The text of the bytes (hex) split across three reads wherever the splits
// fall, or what differs from `whole`.
static QString stream(const QByteArray &hex, bool utf8Lines, const QString &whole)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    for (int a = 0; a <= bytes.size(); ++a) {
        for (int b = a; b <= bytes.size(); ++b) {
            Cp932::StreamDecoder s;
            s.setUtf8Lines(utf8Lines);
            QString got = s.decode(bytes.left(a));
            got += s.decode(bytes.mid(a, b - a));
            s.appendTo(bytes.mid(b), got);
            got += s.flush();
            if (got != whole)
                return QStringLiteral("split at %1 and %2: ").arg(a).arg(b) + got;
        }
    }
    return whole;
}

class TestText : public QObject {
    Q_OBJECT
private slots:
    void rows_data()
    {
        for (const char *c : {"fn", "in", "out"})
            QTest::addColumn<QString>(c);
        // The rows of tests/data/decode/NAME.txt go through the function NAME.
        for (const char *fn : {"jistosjis", "iso2022", "b64encode", "qencode", "cp932decode",
                               "utf8lines", "cp932encode", "singlebyte"})
            kaplotest::addTextRows(fn, QStringLiteral("decode/%1.txt").arg(fn));
        kaplotest::addTextRows("iso2022", "jis/encoded_words.txt");
    }
    void rows()
    {
        QFETCH(QString, fn);
        QFETCH(QString, in);
        QFETCH(QString, out);
        const QByteArray hex = in.toLatin1();
        const QMap<QString, std::function<QString()>> run{
            {"jistosjis", [&] { return JisToSJis(in); }},
            {"iso2022", [&] { return Iso_2022(in); }},
            {"b64encode", [&] { return B64EnCode(in); }},
            {"qencode", [&] { return QEnCode(in); }},
            {"singlebyte",
             [&] { return QString::number(Cp932::singleByteCode(QChar(in.toInt(nullptr, 16)))); }},
            {"cp932decode",
             [&] { return stream(hex, false, Cp932::decode(QByteArray::fromHex(hex))); }},
            {"utf8lines", [&] { return stream(hex, true, out); }},
            {"cp932encode",
             [&] {
                 // "lossy" when a character was missing; the logs' form has
                 // "〓" where "?" stood for one.
                 bool lost = false;
                 const QByteArray e = Cp932::encode(in, &lost).toHex();
                 QByteArray geta = Cp932::encode(in, nullptr, Cp932::kGetaMark).toHex();
                 if (lost)
                     geta.replace("81ac", "3f");
                 return QString::fromLatin1(e + (lost ? " lossy" : "") +
                                            (geta != e ? " and a geta form of " + geta : ""));
             }},
        };
        QCOMPARE(run[fn](), out);
    }

    // Every code CP932 defines decodes to one character, which encodes to a
    // code of the same character; codes without duplicates come back exact.
    void everyCodeRoundTrips()
    {
        QVERIFY2(Cp932::available(), "no windows-31j converter (Qt built without ICU?)");
        int defined = 0, exact = 0;
        for (int code = 0; code <= 0xFFFF; ++code) {
            const QChar c = Cp932::fromCode(code);
            if (c.unicode() == 0xFFFD)
                continue;
            ++defined;
            const int back = Cp932::code(c.unicode());
            QVERIFY2(back >= 0, qPrintable(QString::number(code, 16)));
            QCOMPARE(Cp932::fromCode(back), c);
            exact += back == code;
            const QByteArray hex = QByteArray::number(code, 16);
            QCOMPARE(
                Cp932::decode(QByteArray::fromHex(hex.rightJustified(code < 0x100 ? 2 : 4, '0'))),
                QString(c));
        }
        // 128 ASCII, 63 kana, 6,879 JIS X 0208, 83 NEC row 13, 374 NEC-selected
        // and 388 IBM extensions, 1,880 user-defined.
        QCOMPARE(defined, 9795);
        QCOMPARE(defined - exact, 398);
    }

    // A line too long to wait for is read as CP932; reset drops a lead.
    void streamEdges()
    {
        Cp932::StreamDecoder s;
        s.setUtf8Lines(true);
        const QByteArray utf8 =
            QByteArray("\xc3\xa9").repeated(Cp932::StreamDecoder::kMaxHeldBytes);
        QString got = s.decode(utf8);
        got += s.decode("\n\xc3\xa9\n");
        QCOMPARE(got, Cp932::decode(utf8) + QStringLiteral("\né\n"));
        QCOMPARE(s.decode(QByteArray::fromHex("4182")), QStringLiteral("A"));
        s.reset();
        QCOMPARE(s.decode("a0"), QStringLiteral("a0"));
        QCOMPARE(s.flush(), QString());
    }

    // Every JIS X 0208 character, against glibc's iconv (fixture made by
    // tests/data/jis/make_fixtures.py). A wrong Shift_JIS formula shows up
    // as thousands of mismatches.
    void everyJisX0208CharacterMatchesIconv()
    {
        // Where JIS converters and Microsoft's CP932 table part ways, the
        // character comes from CP932 (the code goes through Shift_JIS).
        const QHash<char16_t, char16_t> cp932 = {
            {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D},
            {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
        };
        int checked = 0;
        for (const QByteArray &line :
             kaplotest::dataFile(QStringLiteral("jis/jis0208.txt")).split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const int jis = line.left(4).toInt(nullptr, 16);
            const char16_t iconv = char16_t(line.mid(7, 4).toInt(nullptr, 16));
            const QString got = JisToSJis(QStringLiteral("\x1b$B") + QChar(jis >> 8) +
                                          QChar(jis & 0xFF) + QStringLiteral("\x1b(B"));
            QVERIFY2(got == QChar(cp932.value(iconv, iconv)), line.constData());
            ++checked;
        }
        QCOMPARE(checked, 6879);
    }
};

KAPLO_TEST(TestText)
#include "tst_text.moc"
