#include "catalogue/namefiltermodel.h"
#include "catalogue/namelistmodel.h"

#include "support/testregistry.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

QStringList shown(const NameListModel &m)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.data(m.index(r)).toString();
    return out;
}

} // namespace

class TestNameListModel : public QObject {
    Q_OBJECT
private slots:
    void sortedWhateverTheOrder()
    {
        NameListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char *n : {"fj.b", "Alt.x", "alt.a", "comp.z"})
            m.add(QString::fromLatin1(n));
        QCOMPARE(m.rowCount(), 0);
        m.flush();
        QCOMPARE(shown(m), (QStringList{"alt.a", "Alt.x", "comp.z", "fj.b"}));
        m.add("b.b");
        m.add("zz");
        m.add("alt.a");
        m.flush();
        QCOMPARE(shown(m), (QStringList{"alt.a", "alt.a", "Alt.x", "b.b", "comp.z", "fj.b", "zz"}));
        m.clear();
        QCOMPARE(m.rowCount(), 0);
    }

    // A view's current row and selection follow their names as new names
    // are merged in.
    void persistentRowsFollowTheirNames()
    {
        NameListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.setNames({"d", "b", "f"});
        const QPersistentModelIndex b = m.index(0);
        const QPersistentModelIndex f = m.index(2);
        QCOMPARE(b.data().toString(), QStringLiteral("b"));
        m.add("e");
        m.add("a");
        m.add("c");
        m.add("b");
        m.flush();
        QCOMPARE(shown(m), (QStringList{"a", "b", "b", "c", "d", "e", "f"}));
        QCOMPARE(b.row(), 1);
        QCOMPARE(f.data().toString(), QStringLiteral("f"));
    }

    // The ASCII shortcut orders as the general case-insensitive comparison
    // does, ties broken by the exact text.
    void orderMatchesCaseInsensitiveCompare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("case only") << "Alt.a"
                                   << "alt.a";
        QTest::newRow("case decides nothing") << "ALT.b"
                                              << "alt.a";
        QTest::newRow("prefix") << "alt"
                                << "ALT.x";
        QTest::newRow("punctuation vs letters") << "a_b"
                                                << "A.b";
        QTest::newRow("digits") << "g10"
                                << "G9";
        QTest::newRow("equal") << "same"
                               << "same";
        QTest::newRow("non-ASCII after a case difference") << "Ab.日本"
                                                           << "ab.本";
        QTest::newRow("accented") << "caf\u00c9"
                                  << "caf\u00e9x";
        QTest::newRow("accented case only") << "\u00c9"
                                            << "\u00e9";
        QTest::newRow("empty") << ""
                               << "a";
    }
    void orderMatchesCaseInsensitiveCompare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        const auto reference = [](const QString &x, const QString &y) {
            const int c = x.compare(y, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : x < y;
        };
        QCOMPARE(NameListModel::lessThan(a, b), reference(a, b));
        QCOMPARE(NameListModel::lessThan(b, a), reference(b, a));
    }

    // Many batches in random order end as one sorted list.
    void batchesMatchOneSort()
    {
        NameListModel m;
        QRandomGenerator rng(42);
        QStringList all;
        for (int batch = 0; batch < 20; ++batch) {
            for (int i = 0; i < 500; ++i) {
                const QString name =
                    QStringLiteral("g%1.X%2").arg(rng.bounded(100)).arg(rng.bounded(1000));
                all << name;
                m.add(name);
            }
            m.flush();
        }
        std::stable_sort(all.begin(), all.end(), NameListModel::lessThan);
        QCOMPARE(shown(m), all);
    }

    // The filter keeps the names holding every word, in any case, follows
    // the list as it grows and maps its rows back to the list's.
    void filter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("none") << "" << QStringList{"alt.Bin", "fj.binaries", "fj.comp", "z.x"};
        QTest::newRow("blank") << "  " << QStringList{"alt.Bin", "fj.binaries", "fj.comp", "z.x"};
        QTest::newRow("any case") << "bin" << QStringList{"alt.Bin", "fj.binaries"};
        QTest::newRow("every word") << "fj bin" << QStringList{"fj.binaries"};
        QTest::newRow("nothing") << "nope" << QStringList{};
    }
    void filter()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        NameListModel list;
        list.setNames({"z.x", "fj.comp", "fj.binaries"});
        NameFilterModel f(list);
        QAbstractItemModelTester tester(&f);
        f.setFilter(text.left(2)); // typed on from a shorter text
        f.setFilter(text);
        list.add(QStringLiteral("alt.Bin")); // the list grows under the filter
        list.flush();
        const auto rows = [&] {
            QStringList out;
            for (int r = 0; r < f.rowCount(); ++r) {
                out << f.index(r, 0).data().toString();
                if (list.at(f.sourceRow(r)) != out.last())
                    out << QStringLiteral("<row mismatch>");
            }
            return out;
        };
        QCOMPARE(rows(), shown);
        QCOMPARE(f.sourceRow(f.rowCount()), -1);
        // From a text that is not part of this one: all names are looked at.
        f.setFilter(QStringLiteral("zzz"));
        f.setFilter(text);
        QCOMPARE(rows(), shown);
    }
};

KAPLO_TEST(TestNameListModel)
#include "tst_namelistmodel.moc"
