#include "core/appcontext.h"
#include "schedule/fakedialup.h"
#include "schedule/ui/frmoptions2.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestFrmOptions2 : public QObject {
    Q_OBJECT
private slots:
    void loadEditAndOk()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("KAPLO.ini")));
        QVERIFY(store.write(QStringLiteral("REMOTE"), QStringLiteral("ADDRESS"),
                            QStringLiteral("Old ISP")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        FakeDialUp dial;
        dial.names = {QStringLiteral("ISP"), QStringLiteral("プロバイダ")};

        frmOptions2 dlg(ctx, dial);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("接続の設定"));
        QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("接続名"));
        QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("接続監視ｲﾝﾀｰﾊﾞﾙ(秒)"));
        auto *combo = dlg.findChild<QComboBox *>(QStringLiteral("Combo1"));
        auto *text1 = dlg.findChild<QLineEdit *>(QStringLiteral("Text1"));
        auto *ok = dlg.findChild<QPushButton *>(QStringLiteral("cmdOK"));
        auto *cancel = dlg.findChild<QPushButton *>(QStringLiteral("cmdCancel"));
        QVERIFY(combo && text1 && ok && cancel);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(cancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QStringLiteral("なし"));
        QCOMPARE(combo->itemText(2), QStringLiteral("プロバイダ"));
        QCOMPARE(combo->currentText(), QStringLiteral("Old ISP"));
        QCOMPARE(text1->maxLength(), 5);
        QCOMPARE(text1->text(), QStringLiteral("5"));

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        if (const QByteArray shots = qgetenv("KAPLO_SCREENSHOTS"); !shots.isEmpty())
            dlg.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/frmOptions2.png"));
        text1->setText(QStringLiteral("abc"));
        ok->click();
        QCOMPARE(prompter.shown, QStringList{QStringLiteral("数字を入れてください")});
        QVERIFY(dlg.isVisible());
        QCOMPARE(ctx.settings.interval, QStringLiteral("5"));

        combo->setCurrentIndex(1);
        text1->setText(QStringLiteral("1.5"));
        ok->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(ctx.settings.address, QStringLiteral("ISP"));
        QCOMPARE(ctx.settings.interval, QStringLiteral("1.5"));
        QCOMPARE(store.read(QStringLiteral("REMOTE"), QStringLiteral("INTERVAL"), QString()),
                 QStringLiteral("1.5"));
    }

    void cancelChangesNothing()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("KAPLO.ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        FakeDialUp dial;
        frmOptions2 dlg(ctx, dial);
        dlg.findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("X"));
        dlg.findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("9"));
        dlg.show();
        dlg.findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(ctx.settings.address, QStringLiteral("なし"));
        QCOMPARE(ctx.settings.interval, QStringLiteral("5"));
        QVERIFY(!store.contains(QStringLiteral("REMOTE"), QStringLiteral("ADDRESS")));
    }
};

KAPLO_TEST(TestFrmOptions2)
#include "tst_frmoptions2.moc"
