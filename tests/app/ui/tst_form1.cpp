#include "app/appcontext.h"
#include "app/ui/form1.h"
#include "app/ui/frmabout.h"
#include "app/ui/twips.h"
#include "app/ui/widgetprompter.h"
#include "engine/downloadengine.h"
#include "support/scriptedprompter.h"
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
#include <QPushButton>
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
            QCOMPARE(list->header()->sectionSize(c), Twips::toPixels(c == 0 ? 2880 : 800));
        }
        QVERIFY(!list->rootIsDecorated());
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(rig.ctx.groupCount, 3);
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

        // Moved to row 1 with the keyboard (no click): the edit still writes
        // the row being edited, and that row becomes the selected group.
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(rig.ctx.selectedGroup, 2);
        QTest::keyClick(list, Qt::Key_F2);
        editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(rig.ctx.selectedGroup, 1);
        editor->setText(QString());
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(rig.storedName(1), QString());
        QCOMPARE(rig.storedName(2), QStringLiteral("japan.binaries.新"));
        QCOMPARE(rig.storedName(3), QStringLiteral("fj.comp.misc"));
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
