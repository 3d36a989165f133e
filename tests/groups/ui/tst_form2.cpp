#include "groups/groupfixture.h"

#include "core/ui/twips.h"
#include "groups/groupcommands.h"
#include "groups/ui/form2.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <algorithm>

namespace {

template <typename W> W *child(QWidget &w, const char *name)
{
    return w.findChild<W *>(QString::fromUtf8(name));
}

} // namespace

class TestForm2 : public QObject {
    Q_OBJECT
private slots:
    void controlsAsDesigned()
    {
        GroupFixture f({QStringLiteral("a")});
        f.ctx->selectedGroup = 1;
        Form2 dlg(*f.ctx);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟの設定"));
        QCOMPARE(dlg.size(), Twips::size(6135, 3795));

        struct Control {
            const char *name;
            const char *caption;
            const char *tip;
            QRect twips;
        };
        const Control controls[] = {
            {"Label1", "ﾆｭｰｽｸﾞﾙｰﾌﾟ名", "", {120, 120, 1215, 255}},
            {"txtName", "", "ﾆｭｰｽｸﾞﾙｰﾌﾟの名前を設定します", {1440, 120, 4215, 270}},
            {"Label2", "次回取込番号", "", {120, 480, 1215, 255}},
            {"Text1",
             "",
             "最初から取り込む場合は空欄にしてください数値が設定されている場合は次回の取込番号です",
             {1440, 480, 1455, 270}},
            {"cmd一覧", "一覧から設定", "ﾆｭｰｽｸﾞﾙｰﾌﾟ名を一覧から設定します", {4200, 480, 1455, 375}},
            {"Check4", "ﾀﾞｳﾝﾛｰﾄﾞの対象", "", {120, 960, 2415, 180}},
            {"Check1", "ﾌｧｲﾙ名の前に題名を付ける", "", {120, 1200, 3255, 180}},
            {"Check2", "日付別にﾃﾞｨﾚｸﾄﾘを作成", "", {120, 1440, 3255, 180}},
            {"Check3", "投稿者名別にﾃﾞｨﾚｸﾄﾘを作成", "", {120, 1680, 3615, 180}},
            {"Frame1", "重複するﾌｧｲﾙ名の処理", "", {120, 2040, 4215, 975}},
            {"Option1", "上書き", "", {240, 360, 1095, 180}},
            {"Option2", "ﾌｧｲﾙ名に番号を自動付与", "", {240, 600, 2415, 255}},
            {"cmdOK", "OK", "", {3480, 3240, 1095, 375}},
            {"cmdCancel", "ｷｬﾝｾﾙ", "", {4680, 3240, 1095, 375}},
        };
        for (const Control &s : controls) {
            QWidget *w = child<QWidget>(dlg, s.name);
            QVERIFY2(w, s.name);
            const QRect designed =
                Twips::rect(s.twips.x(), s.twips.y(), s.twips.width(), s.twips.height());
            if (s.twips.height() == 180) {
                // Too low for the font: grown to the box's own height, not
                // past the next row, around the designed middle.
                const QRect g = w->geometry();
                QCOMPARE(g.x(), designed.x());
                QCOMPARE(g.width(), designed.width());
                QVERIFY(qAbs(g.center().y() - designed.center().y()) <= 1);
                QCOMPARE(g.height(), std::clamp(w->sizeHint().height(), designed.height(),
                                                Twips::toPixels(240)));
            } else {
                QCOMPARE(w->geometry(), designed);
            }
            QCOMPARE(w->toolTip(), QString::fromUtf8(s.tip));
            QString caption;
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                caption = b->text();
            else if (auto *l = qobject_cast<QLabel *>(w))
                caption = l->text();
            else if (auto *g = qobject_cast<QGroupBox *>(w))
                caption = g->title();
            QCOMPARE(caption, QString::fromUtf8(s.caption));
        }
        QCOMPARE(child<QWidget>(dlg, "Option1")->parentWidget(), child<QWidget>(dlg, "Frame1"));
        QVERIFY(child<QPushButton>(dlg, "cmdOK")->isDefault());

        // Tab order: name, number, the four boxes, the options, OK, Cancel,
        // the list button.
        const char *order[] = {"txtName", "Text1",   "Check4", "Check1",    "Check2", "Check3",
                               "Option1", "Option2", "cmdOK",  "cmdCancel", "cmd一覧"};
        QWidget *w = child<QWidget>(dlg, order[0]);
        for (size_t i = 1; i < std::size(order); ++i) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            QCOMPARE(w->objectName(), QString::fromUtf8(order[i]));
        }
    }

    void loadAndOkOnTheWindow()
    {
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        f.store->write(QStringLiteral("GROUP2"), QStringLiteral("DOWNLOAD"), QString());
        f.store->write(QStringLiteral("GROUP2"), QStringLiteral("REWRITE"), QString());
        f.reload();
        f.ctx->selectedGroup = 2;
        Form2 dlg(*f.ctx);
        dlg.show();
        QCOMPARE(child<QLineEdit>(dlg, "txtName")->text(), QStringLiteral("b"));
        QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), QStringLiteral("200"));
        QCOMPARE(child<QCheckBox>(dlg, "Check4")->checkState(), Qt::Checked);
        QVERIFY(child<QRadioButton>(dlg, "Option2")->isChecked());
        QVERIFY(!child<QRadioButton>(dlg, "Option1")->isChecked());

        // A partly ticked box does not count as ticked.
        child<QCheckBox>(dlg, "Check1")->setTristate(true);
        child<QCheckBox>(dlg, "Check1")->setCheckState(Qt::PartiallyChecked);

        // Letters in the number: the message, the dialog stays, nothing written.
        const QByteArray bytes = f.fileBytes();
        child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("abc"));
        QTest::mouseClick(child<QPushButton>(dlg, "cmdOK"), Qt::LeftButton);
        QCOMPARE(f.prompter.shown, QStringList{QStringLiteral(
                                       "次回取込番号に無効な文字(空白など)が設定されています")});
        QVERIFY(dlg.isVisible());
        QCOMPARE(f.fileBytes(), bytes);

        // The catalogue puts a name into txtName; only OK stores it.
        dlg.openCatalogue = [](QLineEdit *txtName) { txtName->setText(QStringLiteral("fj.new")); };
        QTest::mouseClick(child<QPushButton>(dlg, "cmd一覧"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(dlg, "txtName")->text(), QStringLiteral("fj.new"));
        QCOMPARE(f.fileBytes(), bytes);

        child<QLineEdit>(dlg, "Text1")->setText(QString());
        // Enter presses the default button.
        child<QLineEdit>(dlg, "Text1")->setFocus();
        QTest::keyClick(child<QLineEdit>(dlg, "Text1"), Qt::Key_Return);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const QString s = QStringLiteral("GROUP2");
        QCOMPARE(f.store->read(s, QStringLiteral("DOWNLOAD"), "x"), QStringLiteral("YES"));
        QCOMPARE(f.store->read(s, QStringLiteral("REWRITE"), "x"), QStringLiteral("NO"));
        QCOMPARE(f.store->read(s, QStringLiteral("SUBJECT"), "x"), QStringLiteral("NO"));
        QCOMPARE(f.store->read(s, QStringLiteral("LAST"), "x"), QString());
        QCOMPARE(f.ctx->groups.text(1, GroupTable::Name), QStringLiteral("fj.new"));
        QCOMPARE(f.storedRows(), f.rows());
    }

    void addThenEscapeKeepsThePlaceholder()
    {
        GroupFixture f({QStringLiteral("a")});
        GroupCommands commands(*f.ctx);
        bool opened = false;
        commands.showGroupDialog = [&] {
            Form2 dlg(*f.ctx);
            dlg.show();
            opened = true;
            QCOMPARE(child<QLineEdit>(dlg, "txtName")->text(), QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ"));
            QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), QString());
            child<QLineEdit>(dlg, "txtName")->setText(QStringLiteral("typed"));
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
        };
        QVERIFY(commands.add());
        QVERIFY(opened);
        QCOMPARE(f.rowNames(),
                 (QStringList{QStringLiteral("a"), QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ")}));
        QCOMPARE(f.storedNames(), f.rowNames());
    }

    // In-place editing in a list over the table: a finished edit is stored,
    // a cancelled one leaves row and store as they were.
    void inPlaceEditing()
    {
        GroupFixture f({QStringLiteral("a"), QStringLiteral("b")});
        GroupCommands commands(*f.ctx);
        QObject::connect(&f.ctx->groups, &GroupTable::nameEdited,
                         [&](int row, const QString &text) { commands.rename(row + 1, text); });
        QTableView view;
        view.setModel(&f.ctx->groups);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        auto edit = [&](int row, const QString &text, Qt::Key end) {
            const QModelIndex i = f.ctx->groups.index(row, GroupTable::Name);
            // The editor of an earlier edit goes away first.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            view.edit(i);
            auto *editor = view.findChild<QLineEdit *>();
            QVERIFY(editor);
            editor->selectAll();
            QTest::keyClicks(editor, text);
            QTest::keyClick(editor, end);
            // The delegate commits and closes its editor from the event loop.
            QCoreApplication::processEvents();
        };
        edit(1, QStringLiteral("cancelled"), Qt::Key_Escape);
        QCOMPARE(f.rowNames(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(f.storedNames(), f.rowNames());
        edit(1, QStringLiteral("kept"), Qt::Key_Return);
        QCOMPARE(f.rowNames(), (QStringList{QStringLiteral("a"), QStringLiteral("kept")}));
        QCOMPARE(f.storedNames(), f.rowNames());
    }
};

KAPLO_TEST(TestForm2)
#include "tst_form2.moc"
