#include "groups/groupfixture.h"
#include "options/ui/dirlistbox.h"
#include "options/ui/frmoptions.h"
#include "options/ui/frmoptions1.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

// The server and save options dialogs driven as a user drives them
// (tests/data/options/dialogs.txt).
class TestOptionsDialogs : public QObject {
    Q_OBJECT
private slots:
    void dialog_data() { kaplotest::addDataRows("options/dialogs.txt"); }
    void dialog()
    {
        QFETCH(kaplotest::DataCase, c);
        GroupFixture f;
        QVERIFY(QDir(f.dir.path()).mkpath("save/sub"));
        const QString dir = QDir::cleanPath(f.dir.filePath("save"));
        const auto expand = [&](QString s) {
            return s.replace("<dir>", dir)
                .replace("<home>", QDir::cleanPath(QDir::homePath()))
                .replace("<pem>", KAPLO_TEST_DATA "/options/ca.pem")
                .replace("<notpem>", KAPLO_TEST_DATA "/options/not.pem");
        };
        for (const QString &kv : QStringList{"SAVE/DIR=<dir>"} + c.lines("saved"))
            f.store->write(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0),
                           expand(kv.section('=', 1)));
        f.reload();
        for (const QString &e : c.lines("outside")) // another program, after start-up
            QVERIFY(kaplotest::editFile(f.path, e.section(' ', 0, 0).toUtf8(),
                                        e.section(' ', 1).toUtf8()));
        const QByteArray before = fileBytes(f.path);
        const std::unique_ptr<QDialog> dlg(c.text("dialog") == "server"
                                               ? static_cast<QDialog *>(new frmOptions(*f.ctx))
                                               : new frmOptions1(*f.ctx));
        dlg->show();
        if (auto *password = dlg->findChild<QLineEdit *>("Text4"))
            QCOMPARE(password->echoMode(), QLineEdit::Password);
        auto *dir1 = dlg->findChild<DirListBox *>("Dir1");
        for (const QString &shown : c.lines("shows")) {
            const QString name = shown.section('=', 0, 0), want = expand(shown.section('=', 1));
            QObject *w = dlg->findChild<QObject *>(name);
            QString value = w ? w->property("text").toString() : "<missing>";
            if (auto *button = qobject_cast<QAbstractButton *>(w); button && button->isCheckable())
                value = QString::number(button->isChecked());
            if (name == "Dir1")
                value = dir1->path();
            QCOMPARE(name + '=' + value, name + '=' + want);
        }
        for (const QString &step : c.lines("do")) {
            const QString name = step.section(' ', 0, 0), arg = step.section(' ', 1);
            QWidget *w = dlg->findChild<QWidget *>(name);
            QVERIFY2(w || step == "fail writes", qPrintable(step));
            if (auto *box = qobject_cast<QCheckBox *>(w))
                box->setCheckState(
                    Qt::CheckState(QStringList{"off", "partial", "on"}.indexOf(arg)));
            else if (auto *radio = qobject_cast<QRadioButton *>(w))
                radio->setChecked(true);
            else if (auto *text = qobject_cast<QLineEdit *>(w))
                text->setText(expand(step.section(" = ", 1)));
            else if (auto *button = qobject_cast<QPushButton *>(w))
                QTest::mouseClick(button, Qt::LeftButton);
            else if (step == "fail writes")
                f.store->failWritesForTesting(true);
            else if (name == "Dir1") { // click|double-click|enter NAME
                const QListWidgetItem *item =
                    dir1->findItems(arg.section(' ', 1), Qt::MatchExactly).value(0);
                QVERIFY2(item, qPrintable(step));
                const QPoint at = dir1->visualItemRect(item).center();
                QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
                if (arg.startsWith("double-click"))
                    emit dir1->itemDoubleClicked(dir1->currentItem());
                if (arg.startsWith("enter"))
                    QTest::keyClick(dir1, Qt::Key_Return);
                QCOMPARE(dlg->result(), 0); // Enter is not taken as OK
            }
        }
        f.store->failWritesForTesting(false);
        QStringList prompts = c.lines("prompts");
        prompts.replaceInStrings("(write error)", f.store->errorString());
        QCOMPARE(f.prompter.shown, prompts);
        const QString result = dlg->isVisible()                     ? "open"
                               : dlg->result() == QDialog::Accepted ? "accepted"
                                                                    : "rejected";
        QCOMPARE(result, c.has("result") ? c.text("result") : "open");
        if (result != "accepted")
            QCOMPARE(fileBytes(f.path), before);
        SettingsStore again(f.path);
        for (const QString &kv : c.lines("stored"))
            QCOMPARE(kv.section('=', 0, 0) + '=' +
                         again.read(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0),
                                    "<absent>"),
                     expand(kv));
        // The running copy is what the file holds.
        RunningSettings fromDisk;
        fromDisk.load(again);
        for (const RunningSettings::Key &k : RunningSettings::keys())
            if (k.member)
                QCOMPARE(f.ctx->settings.*k.member, fromDisk.*k.member);
    }
};

KAPLO_TEST(TestOptionsDialogs)
#include "tst_dialogs.moc"
