#include "core/appcontext.h"
#include "options/ui/dirlistbox.h"
#include "options/ui/frmoptions1.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char *const kKeys[] = {"DIR", "DATEDIR", "USERDIR", "LOG", "GROUPDIR", "REWRITE",
                             "SEIGEN", "SEIGENTIME", "SEIGENFILE", "SEIGENSIZE"};

struct Fixture {
    QTemporaryDir tmp;
    QTemporaryDir saveDir;
    SettingsStore store{tmp.filePath("k.ini")};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};
    std::unique_ptr<frmOptions1> dlg;

    explicit Fixture(const QStringList &saved = {})
    {
        QDir(saveDir.path()).mkdir("sub");
        for (const QString &kv : QStringList{"DIR=" + dir()} + saved)
            store.write("SAVE", kv.section('=', 0, 0), kv.section('=', 1));
        ctx.settings.load(store);
        dlg = std::make_unique<frmOptions1>(ctx, nullptr);
    }
    QString dir() const { return QDir::cleanPath(saveDir.path()); }
    template <typename W = QLineEdit> W *child(const char *name) { return dlg->findChild<W *>(name); }
    // The SAVE section as a second store reads it, KEY=VALUE.
    QStringList stored() const
    {
        QStringList out;
        SettingsStore s(store.path());
        for (const char *key : kKeys)
            out << QString(key) + '=' + s.read("SAVE", key, "<absent>");
        return out;
    }
    QStringList boxes()
    {
        QStringList out;
        for (const char *name : {"Check1", "Check2", "Check3", "Check4"})
            out << QString::number(child<QCheckBox>(name)->isChecked());
        for (const char *name : {"Option1", "Option2", "Option3", "Option4", "Option5", "Option6"})
            out << QString::number(child<QRadioButton>(name)->isChecked());
        return out << child("Text1")->text() << child("Text2")->text() << child("Text3")->text();
    }
    void ok() { child<QPushButton>("cmdOK")->click(); }
};

} // namespace

class TestFrmOptions1 : public QObject {
    Q_OBJECT
private slots:
    // The running values replace what the boxes start with; a limit not
    // known selects no option.
    void shows_data()
    {
        QTest::addColumn<QStringList>("saved");
        QTest::addColumn<QString>("boxes");
        QTest::newRow("defaults") << QStringList{} << "0 0 0 0 0 1 1 0 0 0 06:30 500 50";
        QTest::newRow("stored") << QStringList{"DATEDIR=TRUE", "USERDIR=true", "LOG=TRUE", "REWRITE=TRUE",
                                               "SEIGEN=2", "SEIGENTIME=07:15", "SEIGENFILE=12", "SEIGENSIZE="}
                                << "1 0 1 0 1 0 0 0 1 0 07:15 12 ";
        QTest::newRow("unknown limit") << QStringList{"SEIGEN=9"} << "0 0 0 0 0 1 0 0 0 0 06:30 500 50";
    }
    void shows()
    {
        QFETCH(QStringList, saved);
        QFETCH(QString, boxes);
        Fixture f(saved);
        QCOMPARE(f.boxes().join(' '), boxes);
        QCOMPARE(f.child<DirListBox>("Dir1")->path(), f.dir());
        // OK with nothing changed keeps an unknown limit.
        f.ok();
        QCOMPARE(f.stored().at(6), "SEIGEN=" + f.ctx.settings.seigen);
    }

    void okStoresEveryControl()
    {
        Fixture f({"SEIGEN=3"});
        f.child<QCheckBox>("Check1")->setChecked(true);
        f.child<QCheckBox>("Check2")->setCheckState(Qt::PartiallyChecked); // not ticked
        f.child<QCheckBox>("Check4")->setChecked(true);
        f.child<QRadioButton>("Option1")->setChecked(true);
        f.child<QRadioButton>("Option4")->setChecked(true);
        f.child("Text1")->setText("1:05");
        f.child("Text3")->setText("?"); // the size box counts only for a size limit
        f.ok();
        QCOMPARE(f.dlg->result(), int(QDialog::Accepted));
        QCOMPARE(f.stored(), (QStringList{"DIR=" + f.dir(), "DATEDIR=TRUE", "USERDIR=FALSE", "LOG=FALSE",
                                          "GROUPDIR=TRUE", "REWRITE=TRUE", "SEIGEN=1", "SEIGENTIME=1:05",
                                          "SEIGENFILE=500", "SEIGENSIZE=?"}));
        QCOMPARE(f.ctx.settings.rewrite + f.ctx.settings.seigen, QStringLiteral("TRUE1"));
        QCOMPARE(f.ctx.settings.derivedDateDir(), QStringLiteral("YES"));
    }

    // A refused limit box, a failed write or Cancel: nothing is stored and
    // the boxes keep what was typed.
    void nothingStored_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("message");
        QTest::newRow("files empty, time bad") << "Option5" << "nonsense" << "" << "ﾌｧｲﾙの数を入れてください";
        QTest::newRow("time empty") << "Option4" << "" << "1" << "時間を設定してください";
        QTest::newRow("failed write") << "Option3" << "" << "" << "(write)";
        QTest::newRow("cancel") << "Option3" << "" << "" << "";
    }
    void nothingStored()
    {
        QFETCH(QString, option);
        QFETCH(QString, time);
        QFETCH(QString, files);
        QFETCH(QString, message);
        Fixture f({"SEIGEN=1"});
        const QStringList before = f.stored();
        f.child<QCheckBox>("Check3")->setChecked(true);
        f.child<QRadioButton>(option.toLatin1().constData())->setChecked(true);
        f.child("Text1")->setText(time);
        f.child("Text2")->setText(files);
        f.store.failWritesForTesting(message == "(write)");
        message.isEmpty() ? f.child<QPushButton>("cmdCancel")->click() : f.ok();
        if (message == "(write)")
            message = f.store.errorString();
        QCOMPARE(f.prompter.shown, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(f.dlg->result(), int(message.isEmpty() ? QDialog::Rejected : 0));
        f.store.failWritesForTesting(false);
        QCOMPARE(f.stored(), before);
        QCOMPARE(f.ctx.settings.log + f.ctx.settings.seigen, QStringLiteral("FALSE1"));
        QCOMPARE(f.child("Text1")->text(), time);
    }

    // A single click only highlights; a double click or Enter opens the
    // folder (Enter is not taken as OK); OK stores the folder open.
    void directory_data()
    {
        QTest::addColumn<int>("how"); // 0 click, 1 double click, 2 Enter
        QTest::newRow("click") << 0;
        QTest::newRow("double click") << 1;
        QTest::newRow("enter") << 2;
    }
    void directory()
    {
        QFETCH(int, how);
        Fixture f;
        auto *dir1 = f.child<DirListBox>("Dir1");
        const auto sub = dir1->findItems("sub", Qt::MatchExactly);
        QCOMPARE(sub.size(), 1);
        const QPoint at = dir1->visualItemRect(sub.first()).center();
        QTest::mouseClick(dir1->viewport(), Qt::LeftButton, {}, at);
        if (how == 1)
            emit dir1->itemDoubleClicked(sub.first());
        if (how == 2)
            QTest::keyClick(dir1, Qt::Key_Return);
        QCOMPARE(f.dlg->result(), 0);
        const QString expected = how == 0 ? f.dir() : f.dir() + "/sub";
        QCOMPARE(dir1->path(), expected);
        f.ok();
        QCOMPARE(f.stored().first(), "DIR=" + expected);
        QCOMPARE(f.ctx.settings.saveDir, expected);
    }

    // A drive chosen opens its root, which is stored whole; a directory
    // that is gone leaves the list where it started.
    void driveAndMissingDirectory()
    {
        Fixture f;
        auto *drive1 = f.child<QComboBox>("Drive1");
        drive1->setCurrentIndex(drive1->count() > 1 ? 1 : 0);
        f.child<DirListBox>("Dir1")->setPath(f.dir());
        drive1->setCurrentIndex(0);
        f.dlg->Drive1_Change();
        QCOMPARE(f.child<DirListBox>("Dir1")->path(), QDir::rootPath());
        f.ok();
        QCOMPARE(f.stored().first(), QStringLiteral("DIR=/"));

        f.ctx.settings.saveDir = f.dir() + "/gone/deeper";
        frmOptions1 again(f.ctx, nullptr);
        QCOMPARE(again.findChild<DirListBox *>("Dir1")->path(), QDir::cleanPath(QDir::homePath()));
    }
};

KAPLO_TEST(TestFrmOptions1)
#include "tst_frmoptions1.moc"
