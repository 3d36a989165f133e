#include "groupfixture.h"

#include "support/testdata.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QTest>

namespace {

// kaplo-cli groups: the exit status, then stdout and stderr.
QStringList kaploCli(const QString &settings, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KAPLO_SETTINGS"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KAPLO_CLI_PATH), QStringList{"groups", "--settings", settings} + args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {QStringLiteral("crashed")};
    return {QString::number(p.exitCode()), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestGroupsCli : public QObject {
    Q_OBJECT
private slots:
    // What the commands leave is what a fresh start-up loads and `list` shows.
    void roundTrip()
    {
        GroupFixture f;
        const QList<QStringList> steps = {
            {"add", "fj.binaries", "--last", "1200", "--subject", "yes", "--download", "no"},
            {"add", "alt.binaries.日本", "--rewrite", "yes", "--datedir", "YES"},
            {"add", "first", "--at", "1", "--userdir", "yes"},
            {"move", "3", "up"},
            {"set", "1", "last", "77"},
            {"set", "3", "name", "fj.renamed"},
            {"set", "3", "download", "yes"},
            {"remove", "2"},
            {"add", "alt.binaries.日本", "--at", "2", "--rewrite", "yes", "--datedir", "YES"}};
        for (const QStringList &args : steps)
            QCOMPARE(kaploCli(f.path, args).value(0) + ' ' + args.join(' '), "0 " + args.join(' '));
        QCOMPARE(kaploCli(f.path, {"list"}),
                 (QStringList{"0",
                              "1\tfirst\t77\tYES\tNO\tNO\tYES\tNO\n"
                              "2\talt.binaries.日本\t\tYES\tNO\tYES\tNO\tYES\n"
                              "3\tfj.renamed\t1200\tYES\tYES\tNO\tNO\tNO\n",
                              ""}));
    }

    // Refusals (tests/data/groups/cli-refusals.txt): the window's message or
    // the usage on stderr, exit 1 or 2, the file unchanged.
    void refusalsChangeNothing_data() { kaplotest::addDataRows("groups/cli-refusals.txt"); }
    void refusalsChangeNothing()
    {
        QFETCH(kaplotest::DataCase, c);
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        const QByteArray bytes = f.fileBytes();
        QStringList args = c.lines("args");
        args.replaceInStrings("\\r", "\r")
            .replaceInStrings("\\n", "\n")
            .replaceInStrings("\\t", "\t");
        const QStringList r = kaploCli(f.path, args);
        QCOMPARE(r.value(0), c.text("exit"));
        QVERIFY2(r.value(2).contains(c.text("stderr")), qPrintable(r.value(2)));
        QCOMPARE(f.fileBytes(), bytes);
    }
};

KAPLO_TEST(TestGroupsCli)
#include "tst_groupscli.moc"
