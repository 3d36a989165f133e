#include "decode/decodetables.h"
#include "support/testregistry.h"

#include <QTest>

class TestDecodeTables : public QObject {
    Q_OBJECT
private slots:
    void uuTable()
    {
        const auto &t = DecodeTables::instance().uu;
        // Back-quote and space both stand for 0: encoders write either.
        QCOMPARE(int(t['`']), 0);
        QCOMPARE(int(t[' ']), 0);
        for (int c = '!'; c <= '_'; ++c)
            QCOMPARE(int(t[c]), c - 0x20);
        for (int c = 0; c < 256; ++c) {
            if (c == ' ' || c == '`' || (c >= '!' && c <= '_'))
                continue;
            QVERIFY2(t[c] == -1, qPrintable(QString::number(c, 16)));
        }
    }

    void base64Table()
    {
        const auto &t = DecodeTables::instance().base64;
        const QByteArray alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int v = 0; v < 64; ++v)
            QCOMPARE(int(t[static_cast<unsigned char>(alphabet[v])]), v);
        // "=" is zero bits, so padding inside a line is not an error.
        QCOMPARE(int(t['=']), 0);
        for (int c = 0; c < 256; ++c) {
            if (c == '=' || alphabet.contains(char(c)))
                continue;
            QVERIFY2(t[c] == -1, qPrintable(QString::number(c, 16)));
        }
    }
};

KAPLO_TEST(TestDecodeTables)
#include "tst_decodetables.moc"
