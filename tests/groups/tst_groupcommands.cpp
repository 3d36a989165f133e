#include "groupfixture.h"

#include "groups/groupcommands.h"
#include "groups/groupdialog.h"
#include "settings/runlock.h"
#include "support/testregistry.h"

#include <QCoreApplication>
#include <QTest>

namespace {

const QStringList kThree{QStringLiteral("a.one"), QStringLiteral("b.two"),
                         QStringLiteral("c.three")};

// Marks columns 2 to 4 of every row as a run would have left them.
void fillRunColumns(GroupTable &t)
{
    for (int r = 0; r < t.count(); ++r) {
        t.setText(r, GroupTable::Lowest, QString::number(r + 10));
        t.setText(r, GroupTable::Highest, QString::number(r + 20));
        t.setText(r, GroupTable::State, QStringLiteral("処理完了"));
    }
}

} // namespace

class TestGroupCommands : public QObject {
    Q_OBJECT
private slots:
    void addWithNothingSelectedAppendsAndOpensTheDialog()
    {
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        int shown = 0;
        GroupDialog::Values inDialog;
        commands.showGroupDialog = [&] {
            ++shown;
            QCOMPARE(f.ctx->selectedGroup, 4);
            // The row is in the store before the dialog opens.
            QCOMPARE(f.storedNames().size(), 4);
            inDialog = GroupDialog::load(*f.ctx);
        };
        QVERIFY(commands.add());
        QCOMPARE(shown, 1);
        QCOMPARE(inDialog.name, QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(inDialog.last, QString());
        QCOMPARE(f.ctx->groups.count(), 4);
        const QStringList expected = kThree + QStringList{QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ")};
        QCOMPARE(f.rowNames(), expected);
        QCOMPARE(f.storedRows(), f.rows());
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void addWithRowSelectedInsertsThere()
    {
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        commands.select(2);
        QVERIFY(commands.add());
        QCOMPARE(f.ctx->selectedGroup, 2);
        const QStringList expected{kThree[0], QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ"), kThree[1],
                                   kThree[2]};
        QCOMPARE(f.rowNames(), expected);
        // Every field followed its row to the new position.
        QCOMPARE(f.ctx->groups.text(2, GroupTable::Last), QStringLiteral("200"));
        QCOMPARE(f.ctx->groups.text(3, GroupTable::Subject), QStringLiteral("YES"));
        QCOMPARE(f.storedRows(), f.rows());
    }

    void addTakesDefaultsFromTheCurrentSaveFlags_data()
    {
        QTest::addColumn<QString>("saveFlag");
        QTest::addColumn<QString>("groupFlag");
        QTest::newRow("FALSE") << "FALSE"
                               << "NO";
        QTest::newRow("TRUE") << "TRUE"
                              << "YES";
        QTest::newRow("lower-case false") << "false"
                                          << "YES";
        QTest::newRow("empty") << ""
                               << "YES";
    }
    void addTakesDefaultsFromTheCurrentSaveFlags()
    {
        QFETCH(QString, saveFlag);
        QFETCH(QString, groupFlag);
        GroupFixture f;
        // Changed after start-up, as the save dialog does.
        f.ctx->settings.dateDir = saveFlag;
        f.ctx->settings.userDir = saveFlag;
        f.ctx->settings.rewrite = saveFlag;
        GroupCommands commands(*f.ctx);
        QVERIFY(commands.add());
        const GroupTable::Row &row = f.ctx->groups.row(0);
        QCOMPARE(row[GroupTable::DateDir], groupFlag);
        QCOMPARE(row[GroupTable::UserDir], groupFlag);
        QCOMPARE(row[GroupTable::Rewrite], groupFlag);
        QCOMPARE(row[GroupTable::Subject], QStringLiteral("NO"));
        QCOMPARE(row[GroupTable::Download], QStringLiteral("YES"));
        QCOMPARE(f.storedRows(), f.rows());
    }

    void refusedMoveChangesNothing_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("message");
        const QString top = QStringLiteral("これより上には移動できません");
        const QString bottom = QStringLiteral("これより下には移動できません");
        const QString none = QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
        QTest::newRow("first up") << 3 << 1 << true << top;
        QTest::newRow("last down") << 3 << 3 << false << bottom;
        QTest::newRow("empty list down") << 0 << 0 << false << bottom;
        QTest::newRow("empty list up") << 0 << 0 << true << none;
        QTest::newRow("nothing selected down") << 3 << 0 << false << none;
        QTest::newRow("nothing selected up") << 3 << 0 << true << none;
        QTest::newRow("past the end up") << 3 << 4 << true << none;
        QTest::newRow("single row up") << 1 << 1 << true << top;
        QTest::newRow("single row down") << 1 << 1 << false << bottom;
    }
    void refusedMoveChangesNothing()
    {
        QFETCH(int, rows);
        QFETCH(int, selected);
        QFETCH(bool, up);
        QFETCH(QString, message);
        GroupFixture f(kThree.mid(0, rows));
        fillRunColumns(f.ctx->groups);
        const auto rowsBefore = f.rows();
        const QByteArray bytes = f.fileBytes();
        GroupCommands commands(*f.ctx);
        commands.select(selected);
        QVERIFY(!(up ? commands.moveUp() : commands.moveDown()));
        QCOMPARE(f.prompter.shown, QStringList{message});
        QCOMPARE(f.rows(), rowsBefore);
        QCOMPARE(f.ctx->selectedGroup, selected);
        QCOMPARE(f.fileBytes(), bytes);
    }

    void moveCarriesTheRowAndEmptiesItsRunColumns()
    {
        GroupFixture f(kThree);
        fillRunColumns(f.ctx->groups);
        GroupCommands commands(*f.ctx);
        commands.select(2);
        const GroupTable::Row b = f.ctx->groups.row(1);
        const GroupTable::Row c = f.ctx->groups.row(2);
        QVERIFY(commands.moveDown());
        QCOMPARE(f.ctx->selectedGroup, 3);
        QCOMPARE(f.rowNames(), (QStringList{kThree[0], kThree[2], kThree[1]}));
        GroupTable::Row moved = b;
        moved[GroupTable::Lowest] = moved[GroupTable::Highest] = moved[GroupTable::State] = "";
        QCOMPARE(f.ctx->groups.row(2), moved);
        // The row that made way keeps what the run showed.
        QCOMPARE(f.ctx->groups.row(1), c);
        QCOMPARE(f.ctx->groups.text(0, GroupTable::Lowest), QStringLiteral("10"));
        QCOMPARE(f.storedRows(), GroupFixture::stored(f.rows()));

        // The selection follows the row: up twice brings it to the top.
        QVERIFY(commands.moveUp());
        QVERIFY(commands.moveUp());
        QCOMPARE(f.ctx->selectedGroup, 1);
        QCOMPARE(f.rowNames(), (QStringList{kThree[1], kThree[0], kThree[2]}));
        QCOMPARE(f.storedRows(), GroupFixture::stored(f.rows()));
        QVERIFY(!commands.moveUp());
        QCOMPARE(f.prompter.shown, QStringList{QStringLiteral("これより上には移動できません")});
    }

    void deleteKeepsTheSelection_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("afterFirst");
        QTest::addColumn<QStringList>("afterSecond");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("row 3 of 3")
            << 3 << QStringList{kThree[0], kThree[1]} << QStringList{kThree[0], kThree[1]}
            << QStringList{QStringLiteral("削除するﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません")};
        QTest::newRow("row 2 of 3")
            << 2 << QStringList{kThree[0], kThree[2]} << QStringList{kThree[0]} << QStringList{};
    }
    void deleteKeepsTheSelection()
    {
        QFETCH(int, selected);
        QFETCH(QStringList, afterFirst);
        QFETCH(QStringList, afterSecond);
        QFETCH(QStringList, messages);
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        commands.select(selected);
        QVERIFY(commands.deleteGroup());
        QCOMPARE(f.rowNames(), afterFirst);
        QCOMPARE(f.ctx->selectedGroup, selected);
        QCOMPARE(f.storedRows(), f.rows());
        commands.deleteGroup();
        QCOMPARE(f.rowNames(), afterSecond);
        QCOMPARE(f.ctx->selectedGroup, selected);
        QCOMPARE(f.ctx->groups.count(), afterSecond.size());
        QCOMPARE(f.prompter.shown, messages);
        QCOMPARE(f.storedRows(), f.rows());
        // No section of a removed position survives.
        QVERIFY(!f.store->contains(QStringLiteral("GROUP3"), QStringLiteral("LAST")));
        QVERIFY(!f.store->contains(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME3")));
    }

    void deleteWithNothingSelected()
    {
        GroupFixture f(kThree);
        const QByteArray bytes = f.fileBytes();
        GroupCommands commands(*f.ctx);
        QVERIFY(!commands.deleteGroup());
        QCOMPARE(f.prompter.shown,
                 QStringList{QStringLiteral("削除するﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません")});
        QCOMPARE(f.rowNames(), kThree);
        QCOMPARE(f.fileBytes(), bytes);
    }

    void openSettingsNeedsAValidSelection_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("opens");
        QTest::newRow("none") << 0 << false;
        QTest::newRow("first") << 1 << true;
        QTest::newRow("last") << 3 << true;
        QTest::newRow("past the end") << 4 << false;
        QTest::newRow("negative") << -1 << false;
    }
    void openSettingsNeedsAValidSelection()
    {
        QFETCH(int, selected);
        QFETCH(bool, opens);
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        int shown = 0;
        commands.showGroupDialog = [&] { ++shown; };
        commands.select(selected);
        QCOMPARE(commands.openSettings(), opens);
        QCOMPARE(shown, opens ? 1 : 0);
        QCOMPARE(f.prompter.shown,
                 opens ? QStringList{}
                       : QStringList{QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません")});
    }

    void renameStoresTheTextAsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("duplicate") << kThree[0];
        QTest::newRow("japanese") << QStringLiteral("fj.日本語");
    }
    void renameStoresTheTextAsTyped()
    {
        QFETCH(QString, text);
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        commands.select(2);
        QVERIFY(commands.rename(text));
        QCOMPARE(f.ctx->groups.text(1, GroupTable::Name), text);
        QVERIFY(f.store->contains(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME2")));
        QCOMPARE(f.store->read(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME2"), "x"), text);
        // The group's own section is not touched.
        QCOMPARE(f.store->read(QStringLiteral("GROUP2"), QStringLiteral("LAST"), "x"),
                 QStringLiteral("200"));
    }

    // An in-place edit to a name with a blank or a control character is
    // refused: the row shows the stored name again.
    void renameRefusesABadName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("CR LF") << QStringLiteral("a\r\nQUIT");
        QTest::newRow("blanks") << QStringLiteral(" fj.日本語 ");
        QTest::newRow("TAB") << QStringLiteral("a\tb");
    }
    void renameRefusesABadName()
    {
        QFETCH(QString, text);
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        const QByteArray bytes = f.fileBytes();
        QVERIFY(
            f.ctx->groups.setData(f.ctx->groups.index(1, GroupTable::Name), text, Qt::EditRole));
        QVERIFY(!commands.rename(2, text));
        QCOMPARE(f.ctx->groups.text(1, GroupTable::Name), kThree[1]);
        QCOMPARE(f.fileBytes(), bytes);
        QCOMPARE(f.prompter.shown, QStringList{GroupCommands::invalidNameMessage()});
    }

    // While another process runs on the same settings file, no command
    // changes it: the run writes LAST by row position.
    void refusedWhileAnotherRunHoldsTheFile_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *c : {"delete", "up", "down", "add", "rename", "settings"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void refusedWhileAnotherRunHoldsTheFile()
    {
        QFETCH(QString, command);
        GroupFixture f(kThree);
        RunLock other(f.path); // as another process's run
        QVERIFY(other.tryLock());
        GroupCommands commands(*f.ctx);
        int shown = 0;
        commands.showGroupDialog = [&] { ++shown; };
        commands.select(2);
        const auto rowsBefore = f.rows();
        const QByteArray bytes = f.fileBytes();
        const auto run = [&] {
            if (command == QLatin1String("delete"))
                return commands.deleteGroup();
            if (command == QLatin1String("up"))
                return commands.moveUp();
            if (command == QLatin1String("down"))
                return commands.moveDown();
            if (command == QLatin1String("add"))
                return commands.add();
            if (command == QLatin1String("rename"))
                return commands.rename(QStringLiteral("lost"));
            return commands.openSettings();
        };
        QVERIFY(!run());
        QCOMPARE(shown, 0);
        QCOMPARE(f.fileBytes(), bytes);
        QCOMPARE(f.rows(), rowsBefore);
        QCOMPARE(f.prompter.shown,
                 QStringList{RunLock::busyMessage(QCoreApplication::applicationPid())});
        // Once the run is over the same command goes through.
        other.unlock();
        f.prompter.shown.clear();
        QVERIFY(run());
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // The list's end-of-edit names the edited row; that row's store name
    // follows it even when another row was clicked last.
    void inPlaceEditStoresTheEditedRow()
    {
        GroupFixture f(kThree);
        GroupCommands commands(*f.ctx);
        QObject::connect(&f.ctx->groups, &GroupTable::nameEdited,
                         [&](int row, const QString &text) { commands.rename(row + 1, text); });
        commands.select(3);
        QVERIFY(f.ctx->groups.setData(f.ctx->groups.index(0, GroupTable::Name),
                                      QStringLiteral("renamed"), Qt::EditRole));
        QCOMPARE(f.storedNames(), (QStringList{QStringLiteral("renamed"), kThree[1], kThree[2]}));
        QCOMPARE(f.storedRows(), f.rows());
    }

    // A store that cannot be written (a full disk) leaves the file as it was,
    // the rows and the selection as they were, and the user is told why.
    void failedWriteLeavesFileAndRowsAlone_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("selected");
        QTest::newRow("delete") << "delete" << 2;
        QTest::newRow("delete last") << "delete" << 3;
        QTest::newRow("move up") << "up" << 2;
        QTest::newRow("move down") << "down" << 1;
        QTest::newRow("add") << "add" << 2;
        QTest::newRow("add at end") << "add" << 0;
        QTest::newRow("rename") << "rename" << 2;
    }
    void failedWriteLeavesFileAndRowsAlone()
    {
        QFETCH(QString, command);
        QFETCH(int, selected);
        GroupFixture f(kThree);
        fillRunColumns(f.ctx->groups);
        GroupCommands commands(*f.ctx);
        int shown = 0;
        commands.showGroupDialog = [&] { ++shown; };
        commands.select(selected);
        const auto rowsBefore = f.rows();
        const QByteArray bytes = f.fileBytes();
        f.store->failWritesForTesting(true);
        bool ok = true;
        if (command == QLatin1String("delete"))
            ok = commands.deleteGroup();
        else if (command == QLatin1String("up"))
            ok = commands.moveUp();
        else if (command == QLatin1String("down"))
            ok = commands.moveDown();
        else if (command == QLatin1String("add"))
            ok = commands.add();
        else
            ok = commands.rename(QStringLiteral("lost"));
        QVERIFY(!ok);
        QCOMPARE(f.fileBytes(), bytes);
        QCOMPARE(f.rows(), rowsBefore);
        QCOMPARE(f.ctx->selectedGroup, selected);
        QCOMPARE(f.ctx->groups.count(), 3);
        QCOMPARE(shown, 0);
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY(!f.store->errorString().isEmpty());
        QCOMPARE(f.prompter.shown.first(), f.store->errorString());
        // The store's memory agrees with the file, and the next try works.
        QCOMPARE(f.storedRows(), GroupFixture::stored(f.rows()));
        f.store->failWritesForTesting(false);
        f.prompter.shown.clear();
        if (command == QLatin1String("delete"))
            QVERIFY(commands.deleteGroup());
        else if (command == QLatin1String("rename"))
            QVERIFY(commands.rename(QStringLiteral("kept")));
        else if (command == QLatin1String("add"))
            QVERIFY(commands.add());
        else
            QVERIFY(command == QLatin1String("up") ? commands.moveUp() : commands.moveDown());
        QCOMPARE(f.storedRows(), GroupFixture::stored(f.rows()));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // Names past a gap are not loaded; the next delete drops them from the
    // store, so the file again holds exactly the rows.
    void deleteDropsNamesPastAGap()
    {
        GroupFixture f(kThree);
        f.store->write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME5"),
                       QStringLiteral("beyond"));
        f.reload();
        GroupCommands commands(*f.ctx);
        commands.select(1);
        QVERIFY(commands.deleteGroup());
        QVERIFY(!f.store->contains(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME5")));
        QCOMPARE(f.storedRows(), f.rows());
    }
};

KAPLO_TEST(TestGroupCommands)
#include "tst_groupcommands.moc"
