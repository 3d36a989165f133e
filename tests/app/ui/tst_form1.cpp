#include "app/ui/form1.h"
#include "app/ui/frmabout.h"
#include "app/ui/grouplistview.h"
#include "app/ui/widgetprompter.h"
#include "core/appcontext.h"
#include "core/ui/twips.h"
#include "engine/downloadengine.h"
#include "groups/groupcommands.h"
#include "schedule/scheduler.h"
#include "support/scriptedprompter.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

// A configured store with three groups, and the main window over it.
struct Rig {
    explicit Rig(const QString &commandLine = QString(), int port = 119)
    {
        const QString save = dir.filePath(QStringLiteral("save"));
        QDir().mkpath(save);
        store.write(QStringLiteral("SERVER"), QStringLiteral("SERVERNAME"),
                    port == 119 ? QStringLiteral("news.example.net") : QStringLiteral("127.0.0.1"));
        store.write(QStringLiteral("SERVER"), QStringLiteral("SERVERPORT"), QString::number(port));
        store.write(QStringLiteral("SAVE"), QStringLiteral("DIR"), save);
        const char *names[] = {"fj.binaries", "japan.binaries.misc", "fj.comp.misc"};
        for (int i = 0; i < 3; ++i)
            store.write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME%1").arg(i + 1),
                        QString::fromUtf8(names[i]));
        form = std::make_unique<Form1>(ctx, commandLine);
    }
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};
    std::unique_ptr<Form1> form;

    template <class T> T *child(const char *name) const
    {
        return form->findChild<T *>(QString::fromLatin1(name));
    }
    QString storedName(int position) const
    {
        return store.read(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME%1").arg(position),
                          QStringLiteral("?"));
    }
};

// Runs `check` on the modal window once it is open, then closes it.
void whenModal(std::function<void(QWidget *)> check)
{
    QTimer::singleShot(0, [check] {
        QWidget *w = QApplication::activeModalWidget();
        QVERIFY(w);
        check(w);
        w->close();
    });
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void controlsAndCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char *n, const char *c, QRect r) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromUtf8(c) << r;
        };
        row("Command2", "ﾆｭｰｽ ｸﾞﾙｰﾌﾟ追加", {10080, 120, 1695, 375});
        row("Command3", "ﾆｭｰｽ ｸﾞﾙｰﾌﾟ削除", {10080, 600, 1695, 375});
        row("cmdNewsUp", "ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↑", {10080, 1200, 1695, 375});
        row("cmdNewsDown", "ﾆｭｰｽ ｸﾞﾙｰﾌﾟ↓", {10080, 1680, 1695, 375});
        row("cmdStartNo", "ﾆｭｰｽｸﾞﾙｰﾌﾟ設定", {10080, 2280, 1695, 375});
        row("Command1", "ﾀﾞｳﾝﾛｰﾄﾞ開始", {10080, 2880, 1695, 375});
        row("cmdAuto", "指定時間に開始", {10080, 3960, 1695, 375});
        row("Text1", "01:30", {10080, 4440, 495, 270});
        row("Label4", "←例(02:30)", {10680, 4440, 1095, 255});
        row("Label5", "", {10080, 4800, 1695, 375});
        row("Check1", "毎日指定時に開始", {10080, 5280, 1455, 375});
        row("Label6", "", {120, 6840, 2895, 255});
        row("Label7", "", {3120, 6840, 3135, 255});
        row("Label8", "", {120, 7200, 11655, 255});
        row("Label1", "", {120, 7560, 3615, 255});
        row("Label2", "", {3840, 7560, 1695, 255});
        row("Label3", "", {5640, 7560, 6135, 255});
        row("ListView1", "", {120, 120, 9735, 6615});
        row("Progress1", "", {6360, 6870, 3495, 195});
        row("lblRate", "", {9960, 6840, 1815, 255});
    }
    void controlsAndCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *w = rig.form->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QVERIFY(w->isVisible());
        QCOMPARE(w->geometry(),
                 Twips::rect(twips.left(), twips.top(), twips.width(), twips.height()));
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            text = b->text();
        else if (auto *l = qobject_cast<QLabel *>(w))
            text = l->text();
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            text = e->text();
        QCOMPARE(text, caption);
    }

    void windowAndDetails()
    {
        Rig rig;
        Form1 &f = *rig.form;
        QCOMPARE(f.windowTitle(), QStringLiteral("KAPLO"));
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.centralWidget()->size(), Twips::size(11880, 7875));
        QCOMPARE(rig.child<QLineEdit>("Text1")->maxLength(), 5);
        auto *check1 = rig.child<QCheckBox>("Check1");
        QVERIFY(!check1->isChecked());
        QCOMPARE(check1->toolTip(),
                 QStringLiteral("毎日指定した時間になるとダウンロードを開始します"));
        auto *label5 = rig.child<QLabel>("Label5");
        QCOMPARE(label5->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(label5->font().pointSizeF(), 14.25);
        QCOMPARE(rig.child<QLabel>("Label2")->alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
        QCOMPARE(rig.child<QTreeView>("ListView1")->font().family(),
                 QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(rig.child<QTreeView>("ListView1")->font().pointSizeF(), 9.0);
        // Without the Windows font the list falls back to a Japanese one.
        if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic")) &&
            !QFontDatabase::families().contains(QStringLiteral("ＭＳ Ｐゴシック")))
            QCOMPARE(QFontInfo(rig.child<QTreeView>("ListView1")->font()).family(),
                     QStringLiteral("IPAPGothic"));
        QVERIFY(!rig.child<QTimer>("Timer1")->isActive());

        // Tab order among the controls that take focus.
        const QStringList order = {"Command2",   "Command3", "cmdNewsUp", "cmdNewsDown",
                                   "cmdStartNo", "Command1", "ListView1", "cmdAuto",
                                   "Text1",      "Check1"};
        QStringList seen;
        QWidget *w = rig.child<QWidget>("Command2");
        for (int i = 0; i < 200 && seen.size() < order.size(); ++i, w = w->nextInFocusChain()) {
            if (order.contains(w->objectName()) && !seen.contains(w->objectName()))
                seen << w->objectName();
        }
        QCOMPARE(seen, order);
    }

    void menus()
    {
        Rig rig;
        QStringList titles;
        for (QAction *a : rig.form->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("設定(&S)"),
                                      QStringLiteral("ﾍﾙﾌﾟ(&H)")}));
        const auto entries = [&](const char *menu) {
            QStringList l;
            for (QAction *a : rig.child<QMenu>(menu)->actions())
                l << a->objectName() + QLatin1Char('=') + a->text();
            return l;
        };
        QCOMPARE(entries("mnuFile"), QStringList{QStringLiteral("mnuExit=KAPLOの終了(&X)")});
        QCOMPARE(entries("mnuSetting"), (QStringList{QStringLiteral("mnuServer=ﾆｭｰｽｻｰﾊﾞｰ(&N)"),
                                                     QStringLiteral("mnuDir=保存ﾃﾞｨﾚｸﾄﾘ(&D)"),
                                                     QStringLiteral("mnuConnect=接続(&C)")}));
        QCOMPARE(entries("mnuHelp"), QStringList{QStringLiteral("mnuVersion=ﾊﾞｰｼﾞｮﾝ情報(&A)")});
    }

    void listHeadersAndRows()
    {
        Rig rig;
        auto *list = rig.child<QTreeView>("ListView1");
        const char *headers[] = {"ﾆｭｰｽｸﾞﾙｰﾌﾟ", "取込番号", "最小番号",    "最大番号",      "状態",
                                 "ﾀﾞｳﾝﾛｰﾄﾞ",   "題名付加", "日付ﾃﾞｨﾚｸﾄﾘ", "投稿者ﾃﾞｨﾚｸﾄﾘ", "上書"};
        QCOMPARE(list->model()->columnCount(), 10);
        for (int c = 0; c < 10; ++c) {
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(),
                     QString::fromUtf8(headers[c]));
            // At least the designed width, and the whole header text.
            const int w = list->header()->sectionSize(c);
            QVERIFY(w >= Twips::toPixels(c == 0 ? 2880 : 800));
            QVERIFY2(w >= list->header()->sectionSizeHint(c), headers[c]);
        }
        for (const QString &t : {DownloadEngine::completeText(), DownloadEngine::interruptedText(),
                                 DownloadEngine::invalidGroupText()})
            QVERIFY(list->header()->sectionSize(4) > list->fontMetrics().horizontalAdvance(t));
        QVERIFY(!list->rootIsDecorated());
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(rig.ctx.groups.count(), 3);
        QCOMPARE(list->model()->index(1, 0).data().toString(),
                 QStringLiteral("japan.binaries.misc"));
    }

    // Clicking a row selects its group; F2 or a click on the selected row
    // edits the name; the end of the edit stores it, a cancelled edit nothing.
    void selectAndRenameInPlace()
    {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *list = rig.child<QTreeView>("ListView1");
        const QRect r1 = list->visualRect(list->model()->index(1, 3));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r1.center());
        QCOMPARE(rig.ctx.selectedGroup, 2);

        // The open in-place editor (closed ones linger until deleted).
        const auto openEditor = [list]() -> QLineEdit * {
            for (QLineEdit *e : list->findChildren<QLineEdit *>())
                if (e->isVisible())
                    return e;
            return nullptr;
        };
        QTest::keyClick(list, Qt::Key_F2);
        QLineEdit *editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("japan.binaries.misc"));
        editor->setText(QStringLiteral("japan.binaries.新"));
        QTest::keyClick(editor, Qt::Key_Return); // commits from the event loop
        QTRY_COMPARE(rig.ctx.groups.text(1, 0), QStringLiteral("japan.binaries.新"));
        QCOMPARE(rig.storedName(2), QStringLiteral("japan.binaries.新"));

        // Cancelled: row and store keep the name.
        QTest::keyClick(list, Qt::Key_F2);
        editor = openEditor();
        QVERIFY(editor);
        editor->setText(QStringLiteral("discarded"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!openEditor());
        QCOMPARE(rig.ctx.groups.text(1, 0), QStringLiteral("japan.binaries.新"));
        QCOMPARE(rig.storedName(2), QStringLiteral("japan.binaries.新"));

        // Moved to row 1 with the keyboard (no click): the selected group
        // follows, and the edit writes that row.
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(rig.ctx.selectedGroup, 1);
        QTest::keyClick(list, Qt::Key_F2);
        editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(rig.ctx.selectedGroup, 1);
        editor->setText(QStringLiteral("fj.first"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rig.storedName(1), QStringLiteral("fj.first"));
        QCOMPARE(rig.storedName(2), QStringLiteral("japan.binaries.新"));
        QCOMPARE(rig.storedName(3), QStringLiteral("fj.comp.misc"));
    }

    // The buttons act on the highlighted row however it was reached:
    // mouse, arrow keys, Home/End and the move commands themselves.
    void selectionFollowsTheCurrentRow()
    {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *list = rig.child<QTreeView>("ListView1");
        const auto highlighted = [list] {
            const QModelIndexList rows = list->selectionModel()->selectedRows();
            return rows.size() == 1 ? rows.first().row() + 1 : 0;
        };
        const auto names = [&rig] {
            QStringList l;
            for (int r = 0; r < rig.ctx.groups.count(); ++r)
                l << rig.ctx.groups.text(r, 0);
            return l;
        };
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 2)).center());
        QCOMPARE(rig.ctx.selectedGroup, 1);
        const std::pair<Qt::Key, int> keys[] = {
            {Qt::Key_Down, 2}, {Qt::Key_End, 3}, {Qt::Key_Home, 1}, {Qt::Key_Down, 2}};
        for (const auto &[key, expected] : keys) {
            QTest::keyClick(list, key);
            QCOMPARE(rig.ctx.selectedGroup, expected);
            QCOMPARE(highlighted(), expected);
        }
        // The settings button opens the highlighted row's group.
        QString opened;
        whenModal([&](QWidget *w) { opened = w->findChild<QLineEdit *>("txtName")->text(); });
        QTest::mouseClick(rig.child<QPushButton>("cmdStartNo"), Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("japan.binaries.misc"));

        // Up moves the highlighted row; the highlight and SelectedGroup go with it.
        QTest::mouseClick(rig.child<QPushButton>("cmdNewsUp"), Qt::LeftButton);
        QCOMPARE(names(), (QStringList{"japan.binaries.misc", "fj.binaries", "fj.comp.misc"}));
        QCOMPARE(rig.ctx.selectedGroup, 1);
        QCOMPARE(highlighted(), 1);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::mouseClick(rig.child<QPushButton>("cmdNewsDown"), Qt::LeftButton);
        QCOMPARE(names(), (QStringList{"japan.binaries.misc", "fj.comp.misc", "fj.binaries"}));
        QCOMPARE(rig.ctx.selectedGroup, 3);
        QCOMPARE(highlighted(), 3);

        // Delete takes the highlighted row; the row moving up is highlighted.
        QTest::keyClick(list, Qt::Key_Up);
        QTest::mouseClick(rig.child<QPushButton>("Command3"), Qt::LeftButton);
        QCOMPARE(names(), (QStringList{"japan.binaries.misc", "fj.binaries"}));
        QCOMPARE(rig.storedName(2), QStringLiteral("fj.binaries"));
        QCOMPARE(highlighted(), 2);
        // Deleting the last row leaves nothing highlighted and nothing selected.
        QTest::mouseClick(rig.child<QPushButton>("Command3"), Qt::LeftButton);
        QCOMPARE(names(), QStringList{"japan.binaries.misc"});
        QCOMPARE(highlighted(), 0);
        QVERIFY(rig.prompter.shown.isEmpty());
        QTest::mouseClick(rig.child<QPushButton>("Command3"), Qt::LeftButton);
        QCOMPARE(rig.prompter.shown, QStringList{GroupCommands::noDeleteSelectionMessage()});
        QCOMPARE(names(), QStringList{"japan.binaries.misc"});
    }

    // The list takes what the window gains or loses; the buttons keep to the
    // right edge, the status lines to the bottom; the smallest window fits a
    // 1366x768 screen at 150 %.
    void resizing()
    {
        Rig rig;
        Form1 &f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QWidget *client = f.centralWidget();
        const auto geo = [&](const char *n) { return rig.child<QWidget>(n)->geometry(); };
        const QRect list0 = geo("ListView1"), button0 = geo("Command1"), label30 = geo("Label3"),
                    label60 = geo("Label6"), rate0 = geo("lblRate");
        f.resize(f.size() + QSize(200, 150));
        QTRY_COMPARE(client->size(), Form1::designClientSize() + QSize(200, 150));
        QCOMPARE(geo("ListView1").size(), list0.size() + QSize(200, 150));
        QCOMPARE(geo("Command1"), button0.translated(200, 0));
        QCOMPARE(geo("Label3"),
                 QRect(label30.topLeft() + QPoint(0, 150), label30.size() + QSize(200, 0)));
        QCOMPARE(geo("Label6"), label60.translated(0, 150));
        QCOMPARE(geo("lblRate"), rate0.translated(200, 150));

        f.resize(1, 1);
        QTRY_COMPARE(client->size(), Form1::minimumClientSize());
        const QRect area(QPoint(), client->size());
        for (QWidget *w : client->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(area.contains(w->geometry()), qPrintable(w->objectName()));
            QVERIFY2(w->height() > 0 && w->width() > 0, qPrintable(w->objectName()));
        }
        // The scheduled start's controls stay above the status lines.
        QVERIFY(geo("Check1").bottom() < geo("Label6").top());
        QVERIFY(geo("ListView1").bottom() < geo("Label6").top());
        QVERIFY(geo("Label6").bottom() < geo("Label8").top());
        QVERIFY(geo("Label8").bottom() < geo("Label1").top());
        const QSize smallest = f.minimumSizeHint().expandedTo(f.minimumSize());
        QVERIFY(smallest.width() * 1.5 <= 1366);
        QVERIFY((smallest.height() + 40) * 1.5 <= 768); // a title bar of 40 px
    }

    // Column widths the user drags are kept for the next start.
    void draggedColumnWidthsAreKept()
    {
        QList<int> widths;
        {
            Rig rig;
            auto *list = rig.child<QTreeView>("ListView1");
            list->header()->resizeSection(0, 321);
            list->header()->resizeSection(4, 99);
            widths = rig.child<GroupListView>("ListView1")->columnWidths();
            rig.form.reset(); // closing writes what is waiting
            Form1 again(rig.ctx, QString());
            QCOMPARE(again.findChild<GroupListView *>("ListView1")->columnWidths(), widths);
        }
        QCOMPARE(widths.at(0), 321);
        QCOMPARE(widths.at(4), 99);
    }

    // Every end of a run: the status area says how it ended, the row is not
    // left "処理中", nothing of the article stays; the rate goes.
    void endOfRunStatus_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("label8");
        QTest::addColumn<QString>("label3");
        QTest::newRow("finished") << "finished"
                                  << "処理完了  ﾌｧｲﾙ数=0"
                                  << "";
        QTest::newRow("stopped") << "stopped"
                                 << "中止しました  ﾌｧｲﾙ数=0"
                                 << "";
        QTest::newRow("limit") << "limit"
                               << "制限に達したため終了しました  ﾌｧｲﾙ数=0"
                               << "";
        QTest::newRow("refused reply") << "reply"
                                       << "ｴﾗｰで終了しました (502 no permission)  ﾌｧｲﾙ数=0"
                                       << "502 no permission";
        QTest::newRow("dropped") << "dropped"
                                 << "ｴﾗｰで終了しました ("
                                 << "*";
    }
    void endOfRunStatus()
    {
        QFETCH(QString, how);
        QFETCH(QString, label8);
        QFETCH(QString, label3);
        ScriptedServer server;
        const quint16 port = server.start();
        QVERIFY(port);
        Rig rig(QString(), port);
        // The article's end is pushed later: commands sent ahead would be
        // answered before it, which no server does.
        rig.ctx.settings.pipeline = QStringLiteral("1");
        if (how == QLatin1String("limit")) {
            rig.ctx.settings.seigen = QStringLiteral("1");
            rig.ctx.settings.seigenTime = QStringLiteral("00:00");
        }
        server.reply("GROUP fj.binaries", {"211 2 1 2 fj.binaries\r\n"});
        server.reply("ARTICLE", {"220 1 <a@x>\r\nLines: 4\r\n\r\nbody\r\n"});
        server.reply("NEXT",
                     {how == QLatin1String("reply") ? "502 no permission\r\n" : "421 none\r\n"});
        server.reply("GROUP japan.binaries.misc", {"411 none\r\n"});
        server.reply("GROUP fj.comp.misc", {"411 none\r\n"});
        server.setChunkPause(0);
        if (how == QLatin1String("dropped"))
            server.closeAfter("ARTICLE");
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *command1 = rig.child<QPushButton>("Command1");
        QTest::mouseClick(command1, Qt::LeftButton);
        QCOMPARE(rig.child<QLabel>("Label8")->text(), QString());
        QTRY_VERIFY(server.received().contains(QStringLiteral("ARTICLE")));
        if (how == QLatin1String("stopped")) {
            QTRY_COMPARE(rig.ctx.groups.text(0, GroupTable::State),
                         DownloadEngine::processingText());
            QTest::mouseClick(command1, Qt::LeftButton);
        } else if (how != QLatin1String("dropped")) {
            server.push({".\r\n"});
        }
        QTRY_COMPARE(command1->text(), Form1::startCaption());
        QTRY_VERIFY2(rig.child<QLabel>("Label8")->text().startsWith(label8),
                     qPrintable(rig.child<QLabel>("Label8")->text()));
        QVERIFY(rig.child<QLabel>("Label8")->text().contains(QStringLiteral("所要時間=")));
        if (label3 == QLatin1String("*"))
            QVERIFY(!rig.child<QLabel>("Label3")->text().isEmpty());
        else
            QCOMPARE(rig.child<QLabel>("Label3")->text(), label3);
        for (int r = 0; r < rig.ctx.groups.count(); ++r)
            QVERIFY(rig.ctx.groups.text(r, GroupTable::State) != DownloadEngine::processingText());
        QVERIFY(rig.child<QLabel>("Label1")->text().isEmpty());
        QVERIFY(rig.child<QLabel>("Label2")->text().isEmpty());
        QVERIFY(rig.child<QLabel>("lblRate")->text().isEmpty());
        QCOMPARE(rig.child<QProgressBar>("Progress1")->value(), 0);
        QVERIFY(rig.form->lastNotification().isEmpty()); // started by hand, not minimised
    }

    // While armed, Label5 names the time and cmdAuto cancels; a run started
    // by the schedule ends with a notification.
    void scheduledStart()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int port = probe.serverPort();
        probe.close();
        Rig rig(QString(), port);
        rig.ctx.settings.address = QStringLiteral("なし");
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *cmdAuto = rig.child<QPushButton>("cmdAuto");
        auto *label5 = rig.child<QLabel>("Label5");
        const QString now = QStringLiteral("06:30");
        rig.child<QLineEdit>("Text1")->setText(now);
        QTest::mouseClick(cmdAuto, Qt::LeftButton);
        QCOMPARE(label5->text(), now + QStringLiteral(" に開始します"));
        QCOMPARE(cmdAuto->text(), QStringLiteral("タイマ解除"));
        QVERIFY(cmdAuto->isEnabled());
        QVERIFY(!rig.child<QPushButton>("Command1")->isEnabled());
        // The text fits its box.
        QVERIFY(QRect(QPoint(), label5->size())
                    .contains(label5->fontMetrics().boundingRect(
                        label5->rect(), Qt::TextWordWrap | Qt::AlignCenter, label5->text())));
        QTest::mouseClick(cmdAuto, Qt::LeftButton);
        QVERIFY(label5->text().isEmpty());
        QCOMPARE(cmdAuto->text(), QStringLiteral("指定時間に開始"));
        QVERIFY(rig.child<QPushButton>("Command1")->isEnabled());
        QVERIFY(!rig.form->scheduler().armed());

        QTest::mouseClick(cmdAuto, Qt::LeftButton);
        // The minute comes: the run starts, and fails.
        rig.form->scheduler().Timer1_Timer(QDateTime(QDate::currentDate(), QTime(6, 30)), now);
        QTRY_VERIFY(rig.form->lastNotification().startsWith(QStringLiteral("ｴﾗｰで終了しました")));
        QVERIFY(label5->text().isEmpty());
        QCOMPARE(cmdAuto->text(), QStringLiteral("指定時間に開始"));
    }

    // "DOWNLOAD": the first activation starts a run, through the engine and
    // its socket; the refused connection ends it with the error in Label3.
    void automaticStartRunsOnce()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int port = probe.serverPort();
        probe.close(); // nothing listens there now
        Rig rig(QStringLiteral("DOWNLOAD"), port);
        int started = 0;
        connect(&rig.form->engine(), &DownloadEngine::runningChanged, [&](bool on) {
            if (on)
                ++started;
        });
        rig.form->show();
        QTRY_COMPARE(started, 1);
        QTRY_VERIFY(!rig.child<QLabel>("Label3")->text().isEmpty());
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始"));
        QVERIFY(rig.child<QPushButton>("Command2")->isEnabled());

        // A dialog closing later does not start another run.
        whenModal([](QWidget *) {});
        rig.child<QAction>("mnuVersion")->trigger();
        QTest::qWait(50);
        QCOMPARE(started, 1);
    }

    // Another run holds the settings file: the button shows why in Label3
    // and nothing starts.
    void startRefusedWhileAnotherRunHoldsTheFile()
    {
        Rig rig;
        RunLock other(rig.store.path());
        QVERIFY(other.tryLock());
        QSignalSpy running(&rig.form->engine(), &DownloadEngine::runningChanged);
        QTest::mouseClick(rig.child<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(rig.child<QLabel>("Label3")->text(),
                 RunLock::busyMessage(QCoreApplication::applicationPid()));
        QCOMPARE(running.count(), 0);
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始"));
        QVERIFY(rig.child<QPushButton>("Command2")->isEnabled());
    }

    void runningSwitchesTheButtons()
    {
        Rig rig;
        const char *six[] = {"Command2",  "Command3",    "cmdStartNo",
                             "cmdNewsUp", "cmdNewsDown", "cmdAuto"};
        rig.form->setRunning(true);
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ中止"));
        QVERIFY(rig.child<QPushButton>("Command1")->isEnabled());
        for (const char *n : six)
            QVERIFY2(!rig.child<QPushButton>(n)->isEnabled(), n);
        rig.form->setRunning(false);
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ開始"));
        for (const char *n : six)
            QVERIFY2(rig.child<QPushButton>(n)->isEnabled(), n);
    }

    void aboutBox()
    {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("KAPLOのﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblTitle"))->text(),
                 QStringLiteral("KAPLO"));
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.6.8"));
        for (const char *n : {"Text1", "Text2"}) {
            auto *e = about.findChild<QLineEdit *>(QString::fromLatin1(n));
            QVERIFY(e && e->isReadOnly() && !e->text().isEmpty());
        }
        auto *ok = about.findChild<QPushButton *>(QStringLiteral("cmdOK"));
        QVERIFY(ok->isDefault());
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(!about.findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        QCOMPARE(about.size(), Twips::size(5730, 2115));

        // Esc closes it as OK does.
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }

    void versionMenuShowsTheAboutBoxModally()
    {
        Rig rig;
        QString title;
        whenModal([&](QWidget *w) { title = w->windowTitle(); });
        rig.child<QAction>("mnuVersion")->trigger();
        QCOMPARE(title, QStringLiteral("KAPLOのﾊﾞｰｼﾞｮﾝ情報"));
    }

    // The checks run when the window is first shown and again when one of
    // the program's own windows gives the activation back.
    void activationAfterOwnDialog()
    {
        Rig rig;
        QStringList dialogs;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                dialogs << w->objectName();
                // The server dialog closes with a server set.
                if (w->objectName() == QLatin1String("frmOptions"))
                    rig.ctx.settings.serverName = QStringLiteral("news.example.org");
                w->close();
            }
        });
        closer.start(10);
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QTest::qWait(50);
        QVERIFY(rig.prompter.shown.isEmpty());
        QVERIFY(dialogs.isEmpty());

        rig.ctx.settings.serverName = RunningSettings::defaultServerName();
        rig.child<QAction>("mnuVersion")->trigger();
        QTRY_COMPARE(rig.prompter.shown,
                     QStringList{QStringLiteral("ﾆｭｰｽｻｰﾊﾞｰが設定されていません")});
        QTRY_COMPARE(dialogs,
                     (QStringList{QStringLiteral("frmAbout"), QStringLiteral("frmOptions")}));
        // The pass after the server dialog finds nothing to ask.
        QTest::qWait(100);
        QCOMPARE(rig.prompter.shown.size(), 1);
        QCOMPARE(dialogs.size(), 2);
    }

    void widgetPrompterBoxes()
    {
        WidgetPrompter p;
        QString title, text;
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        });
        p.message(QStringLiteral("ログモードです"));
        QCOMPARE(title, QStringLiteral("KAPLO"));
        QCOMPARE(text, QStringLiteral("ログモードです"));

        QTimer::singleShot(0, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
            box->button(QMessageBox::Cancel)->click();
        });
        QVERIFY(!p.confirm(QStringLiteral("?")));

        QTimer::singleShot(0, [] {
            auto *dlg = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("KAPLO"));
            QCOMPARE(dlg->labelText(), QStringLiteral("LOG=L"));
            QCOMPARE(dlg->textValue(), QStringLiteral("X"));
            dlg->setTextValue(QStringLiteral("L"));
            dlg->accept();
        });
        QCOMPARE(p.input(QStringLiteral("LOG=L"), QStringLiteral("X")),
                 std::optional<QString>(QStringLiteral("L")));

        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QCOMPARE(p.input(QStringLiteral("LOG=L"), QStringLiteral("X")), std::nullopt);
    }
};

KAPLO_TEST(TestForm1)
#include "tst_form1.moc"
