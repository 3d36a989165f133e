// Received bytes cut into lines, with the cap on a line's length.
#include "engine/linebuffer.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QTest>

class TestLineBuffer final : public QObject {
    Q_OBJECT
private slots:
    void cutting_data() { kaplotest::addDataRows(QStringLiteral("engine/linebuffer.txt")); }
    void cutting()
    {
        QFETCH(kaplotest::DataCase, c);
        const int maxLine = c.text("max").toInt();
        QList<QByteArray> reads;
        for (const QString &r : c.lines("reads"))
            reads << r.toUtf8().replace("\\r", "\r").replace("\\n", "\n");
        if (c.text("big").toInt() > 0)
            reads << QByteArray(c.text("big").toInt(), 'x');
        LineBuffer buf(maxLine);
        QStringList got;
        for (const QByteArray &r : reads) {
            buf.append(r);
            QVERIFY(buf.size() <= 3 * (maxLine + 2)); // memory does not grow with a line
            QByteArrayView line;
            bool over = false;
            while (buf.takeLine(line, &over))
                got << (over ? "^" : "") + QString::fromUtf8(line).replace(u'\r', "\\r");
        }
        QCOMPARE(got.join(u'|'), c.text("lines"));
    }

    void blockLines()
    {
        QVERIFY(LineBuffer::isBlockEnd("."));
        QVERIFY(!LineBuffer::isBlockEnd(".."));
        QVERIFY(!LineBuffer::isBlockEnd(""));
        QCOMPARE(LineBuffer::unstuffed(".."), QByteArrayView("."));
        QCOMPARE(LineBuffer::unstuffed(".M"), QByteArrayView("M"));
        QCOMPARE(LineBuffer::unstuffed("M."), QByteArrayView("M."));
    }
};

KAPLO_TEST(TestLineBuffer)
#include "tst_linebuffer.moc"
