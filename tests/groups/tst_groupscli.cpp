#include "groupfixture.h"

#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QTest>

class TestGroupsCli : public QObject {
    Q_OBJECT
private slots:
    // Each case of tests/data/groups/cli.txt runs kaplo-cli groups over the
    // groups of "names", one command line a line: all but the last must
    // succeed; the last one's exit status, what its stdout is and what its
    // stderr holds are compared. A refusal (exit 1, or 2 for a wrong
    // argument) leaves the file as it was.
    void commands_data() { kaplotest::addDataRows("groups/cli.txt"); }
    void commands()
    {
        QFETCH(kaplotest::DataCase, c);
        GroupFixture f(c.text("names").split(' ', Qt::SkipEmptyParts));
        const QStringList runs = c.lines("run");
        for (int i = 0; i < runs.size(); ++i) {
            QStringList args;
            for (const QString &word : runs[i].split(' '))
                args << kaplotest::unescape(word);
            const QByteArray bytes = fileBytes(f.path);
            QProcess p;
            p.start(QStringLiteral(KAPLO_CLI_PATH),
                    QStringList{"groups", "--settings", f.path} + args);
            QVERIFY(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            const bool last = i == runs.size() - 1;
            QCOMPARE(QString::number(p.exitCode()) + ' ' + runs[i],
                     (last ? c.text("exit") : "0") + ' ' + runs[i]);
            QVERIFY2(!last || err.contains(c.text("stderr")), qPrintable(err));
            QVERIFY(!last || !c.has("stdout") ||
                    p.readAllStandardOutput() == c.bytes("stdout") + "\n");
            QVERIFY(p.exitCode() == 0 || fileBytes(f.path) == bytes);
        }
    }
};

KAPLO_TEST(TestGroupsCli)
#include "tst_groupscli.moc"
