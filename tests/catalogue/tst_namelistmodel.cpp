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
};

KAPLO_TEST(TestNameListModel)
#include "tst_namelistmodel.moc"
