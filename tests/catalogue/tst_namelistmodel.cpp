#include "catalogue/namelistmodel.h"

#include "support/testregistry.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QTest>

class TestNameListModel : public QObject {
    Q_OBJECT
private slots:
    // A batch merges into the sorted list; a view's rows follow their names.
    void mergesBatches()
    {
        NameListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.setNames({"d", "b", "f"});
        const QPersistentModelIndex b = m.index(0);
        const QPersistentModelIndex f = m.index(2);
        for (const char *n : {"e", "a", "c", "b"})
            m.add(n);
        QCOMPARE(m.rowCount(), 3);
        m.flush();
        QCOMPARE(QStringList(m.names().begin(), m.names().end()),
                 (QStringList{"a", "b", "b", "c", "d", "e", "f"}));
        QCOMPARE(b.row(), 1);
        QCOMPARE(f.data().toString(), QStringLiteral("f"));
    }

    // The ASCII shortcut orders as the general case-insensitive comparison
    // does, ties broken by the exact text.
    void orderMatchesCaseInsensitiveCompare()
    {
        const auto reference = [](const QString &x, const QString &y) {
            const int c = x.compare(y, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : x < y;
        };
        const QStringList names{"Alt.a",  "alt.a",  "ALT.b",   "alt",   "ALT.x",     "a_b",
                                "A.b",    "A",      "_",       "Z",     "[",         "g10",
                                "G9",     "same",   "Ab.日本", "ab.本", "caf\u00c9", "caf\u00e9x",
                                "\u00c9", "\u00e9", ""};
        for (const QString &a : names)
            for (const QString &b : names)
                QVERIFY2(NameListModel::lessThan(a, b) == reference(a, b), qPrintable(a + " " + b));
    }
};

KAPLO_TEST(TestNameListModel)
#include "tst_namelistmodel.moc"
