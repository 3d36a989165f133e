#include "groupfixture.h"

#include "support/testregistry.h"

#include <QProcess>
#include <QTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result kaploCli(const QString &settings, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KAPLO_SETTINGS"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KAPLO_CLI_PATH),
            QStringList{QStringLiteral("groups"), QStringLiteral("--settings"), settings} + args);
    Result r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestGroupsCli : public QObject {
    Q_OBJECT
private slots:
    void roundTrip()
    {
        GroupFixture f;
        auto run = [&](const QStringList &args) {
            const Result r = kaploCli(f.path, args);
            if (r.exitCode != 0)
                qWarning() << args << r.exitCode << r.err;
            return r.exitCode;
        };
        QCOMPARE(
            run({"add", "fj.binaries", "--last", "1200", "--subject", "yes", "--download", "no"}),
            0);
        QCOMPARE(run({"add", "alt.binaries.日本", "--rewrite", "yes", "--datedir", "YES"}), 0);
        QCOMPARE(run({"add", "first", "--at", "1", "--userdir", "yes"}), 0);
        QCOMPARE(run({"move", "3", "up"}), 0);
        QCOMPARE(run({"set", "1", "last", "77"}), 0);
        QCOMPARE(run({"set", "3", "name", "fj.renamed"}), 0);
        QCOMPARE(run({"set", "3", "download", "yes"}), 0);

        // What a fresh start-up loads from the file.
        f.reload();
        const QStringList names{"first", "alt.binaries.日本", "fj.renamed"};
        QCOMPARE(f.rowNames(), names);
        const auto rows = f.rows();
        QCOMPARE(rows[0][GroupTable::Last], QStringLiteral("77"));
        QCOMPARE(rows[0][GroupTable::UserDir], QStringLiteral("YES"));
        QCOMPARE(rows[1][GroupTable::Rewrite], QStringLiteral("YES"));
        QCOMPARE(rows[1][GroupTable::DateDir], QStringLiteral("YES"));
        QCOMPARE(rows[1][GroupTable::Last], QString());
        QCOMPARE(rows[2][GroupTable::Last], QStringLiteral("1200"));
        QCOMPARE(rows[2][GroupTable::Subject], QStringLiteral("YES"));
        QCOMPARE(rows[2][GroupTable::Download], QStringLiteral("YES"));
        // Defaults from the SAVE flags (all absent: FALSE, so "NO").
        QCOMPARE(rows[2][GroupTable::Rewrite], QStringLiteral("NO"));

        const Result listed = kaploCli(f.path, {"list"});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out, QStringLiteral("1\tfirst\t77\tYES\tNO\tNO\tYES\tNO\n"
                                            "2\talt.binaries.日本\t\tYES\tNO\tYES\tNO\tYES\n"
                                            "3\tfj.renamed\t1200\tYES\tYES\tNO\tNO\tNO\n"));

        QCOMPARE(run({"remove", "2"}), 0);
        f.reload();
        QCOMPARE(f.rowNames(), (QStringList{"first", "fj.renamed"}));
    }

    // Refusals: the window's message on stderr, exit 1, the file unchanged.
    void refusalsChangeNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString badNumber =
            QStringLiteral("次回取込番号に無効な文字(空白など)が設定されています");
        QTest::newRow("add letters") << QStringList{"add", "x", "--last", "abc"} << 1 << badNumber;
        QTest::newRow("add blanks") << QStringList{"add", "x", "--last", "  "} << 1 << badNumber;
        QTest::newRow("set letters") << QStringList{"set", "1", "last", "12a"} << 1 << badNumber;
        QTest::newRow("move first up") << QStringList{"move", "1", "up"} << 1
                                       << QStringLiteral("これより上には移動できません");
        QTest::newRow("move last down") << QStringList{"move", "2", "down"} << 1
                                        << QStringLiteral("これより下には移動できません");
        QTest::newRow("remove missing") << QStringList{"remove", "3"} << 1
                                        << QStringLiteral("削除するﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
        QTest::newRow("set missing") << QStringList{"set", "0", "name", "y"} << 1
                                     << QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
        QTest::newRow("bad flag") << QStringList{"set", "1", "subject", "maybe"} << 2
                                  << "yes or no";
        QTest::newRow("bad field") << QStringList{"set", "1", "colour", "red"} << 2 << "colour";
        QTest::newRow("bad position") << QStringList{"remove", "two"} << 2 << "two";
        QTest::newRow("add at past end") << QStringList{"add", "x", "--at", "4"} << 2 << "--at";
        QTest::newRow("unknown option")
            << QStringList{"add", "x", "--bogus", "1"} << 2 << "--bogus";
        const QString badName =
            QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名に無効な文字(空白など)が設定されています");
        QTest::newRow("add CR LF") << QStringList{"add", "x\r\nQUIT"} << 1 << badName;
        QTest::newRow("add blank") << QStringList{"add", "x y"} << 1 << badName;
        QTest::newRow("add TAB") << QStringList{"add", "x\ty"} << 1 << badName;
        QTest::newRow("set name LF") << QStringList{"set", "1", "name", "x\n"} << 1 << badName;
        QTest::newRow("set name blank") << QStringList{"set", "2", "name", " x"} << 1 << badName;
        QTest::newRow("set last negative")
            << QStringList{"set", "1", "last", "-1"} << 1 << badNumber;
        QTest::newRow("set last fraction")
            << QStringList{"set", "1", "last", "1.5"} << 1 << badNumber;
        QTest::newRow("set last past 2^63-1")
            << QStringList{"set", "1", "last", "9223372036854775808"} << 1 << badNumber;
        QTest::newRow("add last sign") << QStringList{"add", "x", "--last", "+3"} << 1 << badNumber;
    }
    void refusalsChangeNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        const QByteArray bytes = f.fileBytes();
        const Result r = kaploCli(f.path, args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(f.fileBytes(), bytes);
    }
};

KAPLO_TEST(TestGroupsCli)
#include "tst_groupscli.moc"
