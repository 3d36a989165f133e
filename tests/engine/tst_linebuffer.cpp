// Received bytes cut into lines, with the cap on a line's length.
#include "engine/linebuffer.h"
#include "support/testregistry.h"

#include <QTest>

class TestLineBuffer final : public QObject {
    Q_OBJECT
private slots:
    void cutting_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("maxLine");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<bool>>("cut");
        using L = QList<QByteArray>;
        using B = QList<bool>;
        QTest::newRow("split mid-line")
            << L{"ab", "c\r\nde", "f\n"} << 8 << L{"abc", "def"} << B{false, false};
        QTest::newRow("empty lines") << L{"\n\r\n"} << 8 << L{"", ""} << B{false, false};
        QTest::newRow("CR inside") << L{"a\rb\n"} << 8 << L{"a\rb"} << B{false};
        QTest::newRow("exactly the cap, CR LF")
            << L{"0123\r\n0123\n"} << 4 << L{"0123", "0123"} << B{false, false};
        QTest::newRow("one over the cap") << L{"01234\n"} << 4 << L{"0123"} << B{true};
        QTest::newRow("one over, CR LF") << L{"01234\r\n"} << 4 << L{"0123"} << B{true};
        QTest::newRow("cut in one read")
            << L{"0123456789\r\nok\n"} << 4 << L{"0123", "ok"} << B{true, false};
        QTest::newRow("cut across reads")
            << L{"01", "23", "45", "6\r", "\nx\n"} << 4 << L{"0123", "x"} << B{true, false};
        QTest::newRow("two cut lines in one read")
            << L{"aaaaaa\nb\ncccccc\n"} << 4 << L{"aaaa", "b", "cccc"} << B{true, false, true};
        QTest::newRow("long partial line") << L{QByteArray(1 << 20, 'x')} << 16 << L{} << B{};
    }
    void cutting()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, maxLine);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<bool>, cut);
        LineBuffer buf(maxLine);
        QList<QByteArray> got;
        QList<bool> gotCut;
        for (const QByteArray &c : chunks) {
            buf.append(c);
            // Memory does not grow with a line.
            QVERIFY(buf.size() <= 3 * (maxLine + 2));
            QByteArrayView line;
            bool over = false;
            while (buf.takeLine(line, &over)) {
                got << line.toByteArray();
                gotCut << over;
            }
        }
        QCOMPARE(got, lines);
        QCOMPARE(gotCut, cut);
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
