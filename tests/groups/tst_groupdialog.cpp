#include "groupfixture.h"

#include "groups/groupcommands.h"
#include "groups/groupdialog.h"
#include "support/testregistry.h"

#include <QTest>

class TestGroupDialog : public QObject {
    Q_OBJECT
private slots:
    void loadShowsStoredFlags_data()
    {
        QTest::addColumn<QString>("download");
        QTest::addColumn<QString>("flag"); // SUBJECT, DATEDIR and USERDIR
        QTest::addColumn<QString>("rewrite");
        QTest::addColumn<bool>("check4");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("option1");
        QTest::newRow("plain yes") << "YES"
                                   << "YES"
                                   << "YES" << true << true << true;
        QTest::newRow("plain no") << "NO"
                                  << "NO"
                                  << "NO" << false << false << false;
        QTest::newRow("empty") << ""
                               << ""
                               << "" << true << false << false;
        QTest::newRow("lower case") << "no"
                                    << "yes"
                                    << "no" << true << false << true;
        QTest::newRow("other text") << "x"
                                    << "x"
                                    << "x" << true << false << true;
        QTest::newRow("blank padded") << " NO"
                                      << "YES "
                                      << "NO " << true << false << true;
    }
    void loadShowsStoredFlags()
    {
        QFETCH(QString, download);
        QFETCH(QString, flag);
        QFETCH(QString, rewrite);
        QFETCH(bool, check4);
        QFETCH(bool, checked);
        QFETCH(bool, option1);
        GroupTable::Row row;
        row[GroupTable::Name] = QStringLiteral("fj.test");
        row[GroupTable::Last] = QStringLiteral("42");
        row[GroupTable::Download] = download;
        row[GroupTable::Subject] = row[GroupTable::DateDir] = row[GroupTable::UserDir] = flag;
        row[GroupTable::Rewrite] = rewrite;
        const GroupDialog::Values v = GroupDialog::fromRow(row);
        QCOMPARE(v.name, QStringLiteral("fj.test"));
        QCOMPARE(v.last, QStringLiteral("42"));
        QCOMPARE(v.download, check4);
        QCOMPARE(v.subject, checked);
        QCOMPARE(v.dateDir, checked);
        QCOMPARE(v.userDir, checked);
        QCOMPARE(v.overwrite, option1);
    }

    // A row with DOWNLOAD and REWRITE stored empty: OK writes what the
    // dialog showed, "YES" and "NO".
    void okStoresWhatTheDialogShowed()
    {
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        f.store->write(QStringLiteral("GROUP2"), QStringLiteral("DOWNLOAD"), QString());
        f.store->write(QStringLiteral("GROUP2"), QStringLiteral("REWRITE"), QString());
        f.reload();
        QCOMPARE(f.ctx->groups.text(1, GroupTable::Rewrite), QString());
        f.ctx->selectedGroup = 2;
        const GroupDialog::Values v = GroupDialog::load(*f.ctx);
        QVERIFY(v.download);
        QVERIFY(!v.overwrite);
        QVERIFY(GroupDialog::accept(*f.ctx, v));
        const QString s = QStringLiteral("GROUP2");
        QCOMPARE(f.store->read(s, QStringLiteral("DOWNLOAD"), "x"), QStringLiteral("YES"));
        QCOMPARE(f.store->read(s, QStringLiteral("REWRITE"), "x"), QStringLiteral("NO"));
        QCOMPARE(f.store->read(s, QStringLiteral("SUBJECT"), "x"), QStringLiteral("NO"));
        QCOMPARE(f.store->read(s, QStringLiteral("LAST"), "x"), QStringLiteral("200"));
        QCOMPARE(f.storedRows(), f.rows());
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // A run's "completed" mark survives an OK that keeps LAST, and goes when
    // the user sets LAST, so that the article is fetched again.
    void settingLastClearsTheCompletedMark()
    {
        GroupFixture f({QStringLiteral("a")});
        const QString s = QStringLiteral("GROUP1");
        f.store->write(s, GroupTable::completedKey(), QStringLiteral("100"));
        f.ctx->selectedGroup = 1;
        GroupDialog::Values v = GroupDialog::load(*f.ctx);
        QCOMPARE(v.last, QStringLiteral("100"));
        QVERIFY(GroupDialog::accept(*f.ctx, v));
        QCOMPARE(f.store->read(s, GroupTable::completedKey(), "x"), QStringLiteral("100"));
        v.last = QStringLiteral("90");
        QVERIFY(GroupDialog::accept(*f.ctx, v));
        QCOMPARE(f.store->read(s, GroupTable::completedKey(), "x"), QString());
    }

    void okWritesEveryField()
    {
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        f.ctx->selectedGroup = 1;
        GroupDialog::Values v;
        v.name = QStringLiteral("fj.binaries.新");
        v.last = QString();
        v.download = false;
        v.subject = true;
        v.dateDir = true;
        v.userDir = false;
        v.overwrite = true;
        QVERIFY(GroupDialog::accept(*f.ctx, v));
        const GroupTable::Row &row = f.ctx->groups.row(0);
        QCOMPARE(row[GroupTable::Name], v.name);
        QCOMPARE(row[GroupTable::Last], QString());
        QCOMPARE(row[GroupTable::Download], QStringLiteral("NO"));
        QCOMPARE(row[GroupTable::Subject], QStringLiteral("YES"));
        QCOMPARE(row[GroupTable::DateDir], QStringLiteral("YES"));
        QCOMPARE(row[GroupTable::UserDir], QStringLiteral("NO"));
        QCOMPARE(row[GroupTable::Rewrite], QStringLiteral("YES"));
        // An empty number is stored empty (start from the first article).
        QVERIFY(f.store->contains(QStringLiteral("GROUP1"), QStringLiteral("LAST")));
        QCOMPARE(f.storedRows(), f.rows());
        // The other row is untouched.
        QCOMPARE(f.ctx->groups.text(1, GroupTable::Name), QStringLiteral("b"));
    }

    void fetchNumber_data()
    {
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("digits") << "12345" << true;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("blanks only") << "   " << false;
        QTest::newRow("one blank") << " " << false;
        QTest::newRow("digits then letters") << "12abc" << false;
        QTest::newRow("blank inside") << "12 34" << false;
        QTest::newRow("comma") << "1,000" << false;
        QTest::newRow("sign") << "+5" << false;
        QTest::newRow("negative") << "-1" << false;
        QTest::newRow("fraction") << "1.5" << false;
        QTest::newRow("exponent") << "1e3" << false;
        QTest::newRow("full-width digits") << "１２" << false;
        QTest::newRow("leading zeros") << "007" << true;
        QTest::newRow("2^63-1") << "9223372036854775807" << true;
        QTest::newRow("2^63") << "9223372036854775808" << false;
    }
    void fetchNumber()
    {
        QFETCH(QString, last);
        QFETCH(bool, accepted);
        GroupFixture f({QStringLiteral("a")});
        f.ctx->selectedGroup = 1;
        const auto rowsBefore = f.rows();
        const QByteArray bytes = f.fileBytes();
        GroupDialog::Values v = GroupDialog::load(*f.ctx);
        v.name = QStringLiteral("changed");
        v.last = last;
        QCOMPARE(GroupDialog::accept(*f.ctx, v), accepted);
        if (accepted) {
            QVERIFY(f.prompter.shown.isEmpty());
            QCOMPARE(f.ctx->groups.text(0, GroupTable::Last), last);
            QCOMPARE(f.storedRows(), f.rows());
        } else {
            QCOMPARE(f.prompter.shown,
                     QStringList{
                         QStringLiteral("次回取込番号に無効な文字(空白など)が設定されています")});
            QCOMPARE(f.rows(), rowsBefore);
            QCOMPARE(f.fileBytes(), bytes);
        }
    }

    // A name that could end or add a command line, or that holds a blank,
    // is refused by OK with the dialog's message.
    void groupName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("dotted") << "fj.binaries.misc" << true;
        QTest::newRow("japanese") << "alt.日本" << true;
        QTest::newRow("CR LF inside") << "a.b\r\nQUIT" << false;
        QTest::newRow("LF at the end") << "a.b\n" << false;
        QTest::newRow("TAB") << "a\tb" << false;
        QTest::newRow("NUL") << QString(QStringLiteral("a")) + QChar(0) + "b" << false;
        QTest::newRow("blank inside") << "a b" << false;
        QTest::newRow("leading blank") << " a.b" << false;
        QTest::newRow("full-width blank") << "a\u3000b" << false;
        QTest::newRow("empty") << "" << false;
    }
    void groupName()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        GroupFixture f({QStringLiteral("a")});
        f.ctx->selectedGroup = 1;
        const QByteArray bytes = f.fileBytes();
        GroupDialog::Values v = GroupDialog::load(*f.ctx);
        v.name = name;
        QCOMPARE(GroupDialog::accept(*f.ctx, v), accepted);
        if (accepted) {
            QCOMPARE(f.storedNames(), QStringList{name});
        } else {
            QCOMPARE(f.prompter.shown,
                     QStringList{
                         QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名に無効な文字(空白など)が設定されています")});
            QCOMPARE(f.fileBytes(), bytes);
            QCOMPARE(f.ctx->groups.text(0, GroupTable::Name), QStringLiteral("a"));
        }
    }

    void failedWriteLeavesTheRow()
    {
        GroupFixture f({QStringLiteral("a")});
        f.ctx->selectedGroup = 1;
        const auto rowsBefore = f.rows();
        const QByteArray bytes = f.fileBytes();
        GroupDialog::Values v = GroupDialog::load(*f.ctx);
        v.name = QStringLiteral("changed");
        f.store->failWritesForTesting(true);
        QVERIFY(!GroupDialog::accept(*f.ctx, v));
        QCOMPARE(f.rows(), rowsBefore);
        QCOMPARE(f.fileBytes(), bytes);
        QCOMPARE(f.prompter.shown, QStringList{f.store->errorString()});
        QCOMPARE(f.storedRows(), f.rows());
    }

    void addThenCancelKeepsThePlaceholder()
    {
        GroupFixture f({QStringLiteral("a")});
        GroupCommands commands(*f.ctx);
        commands.showGroupDialog = [] {}; // ｷｬﾝｾﾙ: nothing written
        QVERIFY(commands.add());
        QCOMPARE(f.rowNames(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ")}));
        QCOMPARE(f.storedNames(), f.rowNames());
        QCOMPARE(f.storedRows(), f.rows());
    }
};

KAPLO_TEST(TestGroupDialog)
#include "tst_groupdialog.moc"
