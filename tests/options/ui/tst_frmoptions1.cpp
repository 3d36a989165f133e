#include "core/appcontext.h"
#include "options/ui/dirlistbox.h"
#include "options/ui/frmoptions1.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSave = QStringLiteral("SAVE");

struct Fixture {
    QTemporaryDir tmp;
    QTemporaryDir saveDir;
    SettingsStore store{tmp.filePath(QStringLiteral("k.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};

    explicit Fixture(const QList<std::pair<const char *, QString>> &saved = {})
    {
        QDir(saveDir.path()).mkdir(QStringLiteral("sub"));
        put("DIR", QDir::cleanPath(saveDir.path()));
        for (const auto &[k, v] : saved)
            put(k, v);
        ctx.settings.load(store);
    }
    void put(const char *key, const QString &value)
    {
        store.write(kSave, QString::fromLatin1(key), value);
    }
    QString stored(const char *key)
    {
        return SettingsStore(store.path())
            .read(kSave, QString::fromLatin1(key), QStringLiteral("<absent>"));
    }
    QString dir() const { return QDir::cleanPath(saveDir.path()); }
};

template <typename W> W *child(QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

int rowOf(DirListBox *list, const QString &name)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text() == name)
            return i;
    }
    return -1;
}

} // namespace

class TestFrmOptions1 : public QObject {
    Q_OBJECT
private slots:
    void captions()
    {
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘの設定"));
        const QList<std::pair<const char *, const char *>> texts = {
            {"Check1", "日付別にﾃﾞｨﾚｸﾄﾘを作成"},
            {"Check2", "投稿者の名前でﾃﾞｨﾚｸﾄﾘ作成"},
            {"Check3", "ﾛｸﾞﾌｧｲﾙの作成"},
            {"Check4", "ﾆｭｰｽｸﾞﾙｰﾌﾟ別にﾃﾞｨﾚｸﾄﾘ作成"},
            {"Option1", "上書き"},
            {"Option2", "ﾌｧｲﾙ名に番号を自動付与"},
            {"Option3", "なし"},
            {"Option4", "時間指定"},
            {"Option5", "ﾀﾞｳﾝﾛｰﾄﾞのﾌｧｲﾙ数"},
            {"Option6", "ﾀﾞｳﾝﾛｰﾄﾞしたﾄｰﾀﾙﾌｧｲﾙｻｲｽﾞ"},
            {"cmdOK", "OK"},
            {"cmdCancel", "ｷｬﾝｾﾙ"},
        };
        for (const auto &[name, text] : texts)
            QCOMPARE(child<QAbstractButton>(dlg, name)->text(), QString::fromUtf8(text));
        QCOMPARE(child<QGroupBox>(dlg, "Frame1")->title(), QStringLiteral("重複するﾌｧｲﾙ名の処理"));
        QCOMPARE(child<QGroupBox>(dlg, "Frame2")->title(),
                 QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞの制限(指定した値を超えたら停止)"));
        QCOMPARE(child<QLabel>(dlg, "Label1")->text(), QStringLiteral("時間"));
        QCOMPARE(child<QLabel>(dlg, "Label2")->text(), QStringLiteral("MB"));
        QCOMPARE(child<QComboBox>(dlg, "Drive1")->itemData(0).toString(), QDir::rootPath());
    }

    void loadsTheRunningValues()
    {
        Fixture f({{"DATEDIR", QStringLiteral("TRUE")},
                   {"USERDIR", QStringLiteral("true")},
                   {"LOG", QStringLiteral("TRUE")},
                   {"GROUPDIR", QStringLiteral("FALSE")},
                   {"REWRITE", QStringLiteral("TRUE")},
                   {"SEIGEN", QStringLiteral("2")},
                   {"SEIGENTIME", QStringLiteral("07:15")},
                   {"SEIGENFILE", QStringLiteral("12")},
                   {"SEIGENSIZE", QStringLiteral("")}});
        frmOptions1 dlg(f.ctx, nullptr);
        QCOMPARE(child<DirListBox>(dlg, "Dir1")->path(), f.dir());
        QCOMPARE(child<QComboBox>(dlg, "Drive1")->currentData().toString(),
                 QStorageInfo(f.dir()).rootPath());
        QVERIFY(child<QCheckBox>(dlg, "Check1")->isChecked());
        QVERIFY(!child<QCheckBox>(dlg, "Check2")->isChecked());
        QVERIFY(child<QCheckBox>(dlg, "Check3")->isChecked());
        QVERIFY(!child<QCheckBox>(dlg, "Check4")->isChecked());
        QVERIFY(child<QRadioButton>(dlg, "Option1")->isChecked());
        QVERIFY(child<QRadioButton>(dlg, "Option5")->isChecked());
        // The design-time texts give way to the running values.
        QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), QStringLiteral("07:15"));
        QCOMPARE(child<QLineEdit>(dlg, "Text2")->text(), QStringLiteral("12"));
        QCOMPARE(child<QLineEdit>(dlg, "Text3")->text(), QString());
    }

    void defaultsReplaceTheDesignTexts()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        ScriptedPrompter prompter;
        AppContext ctx(store, prompter);
        ctx.settings.load(store);
        frmOptions1 dlg(ctx, nullptr);
        QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), QStringLiteral("06:30"));
        QCOMPARE(child<QLineEdit>(dlg, "Text2")->text(), QStringLiteral("500"));
        QCOMPARE(child<QLineEdit>(dlg, "Text3")->text(), QStringLiteral("50"));
        QVERIFY(child<QRadioButton>(dlg, "Option3")->isChecked());
        QVERIFY(child<QRadioButton>(dlg, "Option2")->isChecked());
    }

    void missingDirectoryKeepsTheStartingLocation()
    {
        Fixture f({{"LOG", QStringLiteral("TRUE")}});
        f.ctx.settings.saveDir = f.dir() + QStringLiteral("/gone/deeper");
        frmOptions1 dlg(f.ctx, nullptr);
        QCOMPARE(child<DirListBox>(dlg, "Dir1")->path(), QDir::cleanPath(QDir::homePath()));
        QVERIFY(child<QCheckBox>(dlg, "Check3")->isChecked());
        QCOMPARE(child<QLineEdit>(dlg, "Text2")->text(), QStringLiteral("500"));
    }

    void okStoresTheOpenedDirectoryNotTheHighlightedOne()
    {
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        auto *dir1 = child<DirListBox>(dlg, "Dir1");
        const int sub = rowOf(dir1, QStringLiteral("sub"));
        QVERIFY(sub >= 0);
        // A single click only highlights.
        QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {},
                          dir1->visualItemRect(dir1->item(sub)).center());
        QCOMPARE(dir1->currentRow(), sub);
        QCOMPARE(dir1->path(), f.dir());
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.stored("DIR"), f.dir());
        QCOMPARE(f.ctx.settings.saveDir, f.dir());
    }

    void openingByDoubleClickOrEnter_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("double-click") << false;
        QTest::newRow("enter") << true;
    }
    void openingByDoubleClickOrEnter()
    {
        QFETCH(bool, byKey);
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        auto *dir1 = child<DirListBox>(dlg, "Dir1");
        const int sub = rowOf(dir1, QStringLiteral("sub"));
        if (byKey) {
            dir1->setCurrentRow(sub);
            QTest::keyClick(dir1, Qt::Key_Return);
            // Enter opened the folder; the dialog did not take it as OK.
            QCOMPARE(dlg.result(), 0);
        } else {
            emit dir1->itemDoubleClicked(dir1->item(sub));
        }
        QCOMPARE(dir1->path(), f.dir() + QStringLiteral("/sub"));
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(f.stored("DIR"), f.dir() + QStringLiteral("/sub"));
    }

    void driveChangeOpensTheRootWhichIsStoredWhole()
    {
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        auto *drive1 = child<QComboBox>(dlg, "Drive1");
        auto *dir1 = child<DirListBox>(dlg, "Dir1");
        // Move away from the root first so that choosing it is a change.
        drive1->setCurrentIndex(drive1->count() > 1 ? 1 : 0);
        dir1->setPath(f.dir());
        drive1->setCurrentIndex(0);
        dlg.Drive1_Change();
        QCOMPARE(dir1->path(), QDir::rootPath());
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(f.stored("DIR"), QStringLiteral("/"));
    }

    void validationMessageKeepsEverything_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("message");
        // Switching from time to files: the time box does not matter.
        QTest::newRow("files empty, time bad") << "Option5"
                                               << "nonsense"
                                               << ""
                                               << "1"
                                               << "ﾌｧｲﾙの数を入れてください";
        QTest::newRow("time empty") << "Option4"
                                    << ""
                                    << "1"
                                    << "1"
                                    << "時間を設定してください";
    }
    void validationMessageKeepsEverything()
    {
        QFETCH(QString, option);
        QFETCH(QString, time);
        QFETCH(QString, files);
        QFETCH(QString, size);
        QFETCH(QString, message);
        Fixture f({{"SEIGEN", QStringLiteral("1")}});
        const QString before = f.stored("SEIGEN");
        frmOptions1 dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check3")->setChecked(true);
        child<QRadioButton>(dlg, option.toLatin1().constData())->setChecked(true);
        child<QLineEdit>(dlg, "Text1")->setText(time);
        child<QLineEdit>(dlg, "Text2")->setText(files);
        child<QLineEdit>(dlg, "Text3")->setText(size);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(f.prompter.shown, QStringList{message});
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(f.stored("SEIGEN"), before);
        QCOMPARE(f.stored("LOG"), QStringLiteral("<absent>"));
        QCOMPARE(f.ctx.settings.log, QStringLiteral("FALSE"));
        QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), time);
    }

    void limitNoneStoresZeroWithInvalidBoxes()
    {
        Fixture f({{"SEIGEN", QStringLiteral("3")}});
        frmOptions1 dlg(f.ctx, nullptr);
        child<QRadioButton>(dlg, "Option3")->setChecked(true);
        child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("xx"));
        child<QLineEdit>(dlg, "Text2")->clear();
        child<QLineEdit>(dlg, "Text3")->setText(QStringLiteral("?"));
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(f.prompter.shown.isEmpty());
        QCOMPARE(f.stored("SEIGEN"), QStringLiteral("0"));
        QCOMPARE(f.stored("SEIGENTIME"), QStringLiteral("xx"));
        QCOMPARE(f.stored("SEIGENFILE"), QString());
        QCOMPARE(f.stored("SEIGENSIZE"), QStringLiteral("?"));
        QCOMPARE(f.ctx.settings.seigen, QStringLiteral("0"));
    }

    void unknownLimitOpensUnselectedAndIsKept()
    {
        Fixture f({{"SEIGEN", QStringLiteral("9")}});
        frmOptions1 dlg(f.ctx, nullptr);
        for (const char *o : {"Option3", "Option4", "Option5", "Option6"})
            QVERIFY(!child<QRadioButton>(dlg, o)->isChecked());
        child<QCheckBox>(dlg, "Check4")->setChecked(true);
        child<QLineEdit>(dlg, "Text2")->clear(); // not validated: no limit selected
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.stored("SEIGEN"), QStringLiteral("9"));
        QCOMPARE(f.ctx.settings.seigen, QStringLiteral("9"));
        QCOMPARE(f.stored("GROUPDIR"), QStringLiteral("TRUE"));
        QCOMPARE(f.stored("SEIGENFILE"), QString());
    }

    void okStoresEveryControl()
    {
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check1")->setChecked(true);
        child<QCheckBox>(dlg, "Check2")
            ->setCheckState(Qt::PartiallyChecked); // counts as not ticked
        child<QCheckBox>(dlg, "Check3")->setChecked(false);
        child<QCheckBox>(dlg, "Check4")->setChecked(true);
        child<QRadioButton>(dlg, "Option1")->setChecked(true);
        child<QRadioButton>(dlg, "Option4")->setChecked(true);
        child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("1:05"));
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.stored("DATEDIR"), QStringLiteral("TRUE"));
        QCOMPARE(f.stored("USERDIR"), QStringLiteral("FALSE"));
        QCOMPARE(f.stored("LOG"), QStringLiteral("FALSE"));
        QCOMPARE(f.stored("GROUPDIR"), QStringLiteral("TRUE"));
        QCOMPARE(f.stored("REWRITE"), QStringLiteral("TRUE"));
        QCOMPARE(f.stored("SEIGEN"), QStringLiteral("1"));
        QCOMPARE(f.stored("SEIGENTIME"), QStringLiteral("1:05"));
        QCOMPARE(f.ctx.settings.rewrite, QStringLiteral("TRUE"));
        QCOMPARE(f.ctx.settings.derivedDateDir(), QStringLiteral("YES"));
    }

    void failedWriteIsReportedAndDialogStays()
    {
        Fixture f;
        frmOptions1 dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check3")->setChecked(true);
        f.store.failWritesForTesting(true);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(f.prompter.shown, QStringList{f.store.errorString()});
        QCOMPARE(f.ctx.settings.log, QStringLiteral("FALSE"));
        QCOMPARE(f.stored("LOG"), QStringLiteral("<absent>"));
    }

    void cancelChangesNothing()
    {
        Fixture f;
        const QByteArray before = [&] {
            QFile file(f.store.path());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        frmOptions1 dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check1")->setChecked(true);
        child<QPushButton>(dlg, "cmdCancel")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QFile file(f.store.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(f.ctx.settings.dateDir, QStringLiteral("FALSE"));
    }
};

KAPLO_TEST(TestFrmOptions1)
#include "tst_frmoptions1.moc"
