#include "app/ui/form1.h"
#include "core/appcontext.h"
#include "groups/groupcommands.h"
#include "schedule/scheduler.h"
#include "screenshots/screenshots.h"
#include "support/scriptedprompter.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

// A configured store with three groups, a server that refuses connections,
// and the main window over it.
struct Rig {
    explicit Rig(const QString &commandLine = QString())
    {
        QDir().mkpath(dir.filePath(QStringLiteral("save")));
        QTcpServer probe; // a port nothing listens on once it is closed
        store.write("SERVER", "SERVERNAME", "127.0.0.1");
        store.write("SERVER", "SERVERPORT",
                    QString::number(probe.listen() ? probe.serverPort() : 1));
        store.write("SAVE", "DIR", dir.filePath(QStringLiteral("save")));
        const char *names[] = {"fj.binaries", "japan.binaries.misc", "fj.comp.misc"};
        for (int i = 0; i < 3; ++i)
            store.write("GROUP", QStringLiteral("GROUPNAME%1").arg(i + 1), names[i]);
        form = std::make_unique<Form1>(ctx, commandLine);
    }
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};
    std::unique_ptr<Form1> form;

    template <class T = QWidget> T *child(const char *name) const
    {
        return form->findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *button)
    {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }
    QString names() const
    {
        QStringList l;
        for (int p = 1; p <= 4; ++p)
            l << store.read("GROUP", QStringLiteral("GROUPNAME%1").arg(p), "-");
        return l.join(' ');
    }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    // The buttons act on the highlighted row however it was reached (mouse,
    // keys, the commands themselves); F2 edits its name in place.
    void listAndButtons()
    {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *list = rig.child<QTreeView>("ListView1");
        const auto highlighted = [list] {
            const QModelIndexList rows = list->selectionModel()->selectedRows();
            return rows.size() == 1 ? rows.first().row() + 1 : 0;
        };
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 2)).center());
        QCOMPARE(rig.ctx.selectedGroup, 1);
        for (const auto &[key, row] :
             {std::pair{Qt::Key_Down, 2}, {Qt::Key_End, 3}, {Qt::Key_Home, 1}, {Qt::Key_Down, 2}}) {
            QTest::keyClick(list, key);
            QCOMPARE(rig.ctx.selectedGroup * 10 + highlighted(), row * 11);
        }
        const auto editName = [list](const QString &text) {
            QTest::keyClick(list, Qt::Key_F2);
            QLineEdit *editor = nullptr;
            for (QLineEdit *e : list->findChildren<QLineEdit *>())
                editor = e->isVisible() ? e : editor;
            QVERIFY(editor);
            editor->setText(text);
            QTest::keyClick(editor, Qt::Key_Return);
        };
        editName(QStringLiteral("japan.binaries.新"));
        QTRY_COMPARE(rig.names(), QStringLiteral("fj.binaries japan.binaries.新 fj.comp.misc -"));
        rig.click("cmdNewsDown");
        QCOMPARE(rig.names(), QStringLiteral("fj.binaries fj.comp.misc japan.binaries.新 -"));
        QCOMPARE(rig.ctx.selectedGroup * 10 + highlighted(), 33);
        rig.click("Command3");
        QCOMPARE(highlighted(), 0); // the last row went: nothing to highlight
        QTest::keyClick(list, Qt::Key_Home);
        rig.click("Command3");
        QCOMPARE(rig.names(), QStringLiteral("fj.comp.misc - - -"));
        QCOMPARE(highlighted(), 1); // the row that moved up
        QVERIFY(rig.prompter.shown.isEmpty());
        // Another program changed the file: the edit is not made, the list
        // is the file's again, nothing is highlighted.
        QVERIFY(kaplotest::editFile(rig.store.path(), "=fj.comp.misc", "=fj.other.misc"));
        editName(QStringLiteral("x.y"));
        QTRY_COMPARE(rig.prompter.shown, QStringList{GroupCommands::reloadedMessage()});
        QCOMPARE(rig.names(), QStringLiteral("fj.other.misc - - -"));
        QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("fj.other.misc"));
        QCOMPARE(rig.ctx.selectedGroup * 10 + highlighted(), 0);
    }

    // Every window is drawn into its own picture, and drawing them asks
    // nothing, changes no setting and leaves the selection as it was.
    void everyWindowDrawn()
    {
        Rig rig;
        const auto bytes = [&] {
            QFile f(rig.store.path());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        QString error;
        QStringList names;
        for (const QString &f : Screenshots::save(*rig.form, rig.dir.filePath("shots"), &error)) {
            names << QFileInfo(f).completeBaseName();
            QVERIFY2(QImage(f).width() > 100 && QImage(f).height() > 50, qPrintable(f));
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        names.sort();
        QCOMPARE(names,
                 QStringList({"form1", "form2", "form3", "frmabout", "frmoptions", "frmoptions1",
                              "frmoptions2", "logprompt", "msg-savedir", "msg-server"}));
        QCOMPARE(rig.prompter.shown, QStringList());
        QCOMPARE(bytes(), before);
        QCOMPARE(rig.ctx.selectedGroup, 0);
    }

    // While armed, Label5 names the time. While a run goes on, Command1 stops
    // it and the buttons that change the table or the schedule are disabled.
    // A run started by the schedule ends with a notification and, with Check1
    // ticked, the start is armed again for the next day.
    void scheduledStart()
    {
        Rig rig;
        rig.ctx.settings.address = QStringLiteral("なし");
        rig.form->show();
        rig.child<QLineEdit>("Text1")->setText(QStringLiteral("06:30"));
        const auto shown = [&] {
            return rig.label("Label5") + '|' + rig.child<QPushButton>("cmdAuto")->text() + '|' +
                   QString::number(rig.child("Command1")->isEnabled());
        };
        rig.child<QCheckBox>("Check1")->setChecked(true);
        rig.click("cmdAuto");
        rig.form->scheduler().Timer1_Timer(QDateTime(QDate::currentDate(), QTime(6, 30)),
                                           QStringLiteral("06:30"));
        const char *const buttons[] = {"Command2",  "Command3",    "cmdStartNo",
                                       "cmdNewsUp", "cmdNewsDown", "cmdAuto"};
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), Form1::stopCaption());
        for (const char *b : buttons)
            QVERIFY2(!rig.child(b)->isEnabled(), b);
        QTRY_VERIFY(rig.form->lastNotification().startsWith(QStringLiteral("ｴﾗｰで終了しました")));
        QVERIFY(rig.label("Label8").startsWith(QStringLiteral("ｴﾗｰで終了しました")));
        QCOMPARE(rig.label("Label1") + rig.label("lblRate"), QString());
        QCOMPARE(shown(), QStringLiteral("06:30 に開始します|タイマ解除|0"));
        QCOMPARE(rig.child<QPushButton>("Command1")->text(), Form1::startCaption());
        for (const char *b : buttons)
            QVERIFY2(rig.child(b)->isEnabled(), b);
    }
};

KAPLO_TEST(TestForm1)
#include "tst_form1.moc"
