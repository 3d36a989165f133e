#include "catalogue/cataloguefixture.h"

#include "catalogue/ui/form3.h"
#include "groups/ui/form2.h"
#include "support/fakesocket.h"
#include "support/testregistry.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// A window over a fake socket the test can feed.
struct Window {
    Window(CatalogueFixture &f, CatalogueSession &s, QLineEdit *target)
    {
        auto sock = std::make_unique<FakeSocket>();
        socket = sock.get();
        form = std::make_unique<Form3>(*f.ctx, s, target, nullptr, std::move(sock));
        form->show();
    }
    template <typename W> W *child(const char *name)
    {
        return form->findChild<W *>(QString::fromLatin1(name));
    }
    QStringList rows(const char *list)
    {
        QStringList out;
        const QAbstractItemModel *m = child<QListView>(list)->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toString();
        return out;
    }
    void clickRow(const char *list, int row)
    {
        auto *v = child<QListView>(list);
        const QRect rect = v->visualRect(v->model()->index(row, 0));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void click(const char *button)
    {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }

    FakeSocket *socket = nullptr;
    std::unique_ptr<Form3> form;
};

} // namespace

class TestForm3 : public QObject {
    Q_OBJECT
private slots:
    void controls()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Window w(f, s, nullptr);
        QCOMPARE(w.form->windowTitle(), QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟの一覧"));
        const struct {
            const char *name;
            const char *caption;
            const char *tip;
        } buttons[] = {
            {"cmdALL", "全て取込", "全てのﾆｭｰｽｸﾞﾙｰﾌﾟを取込みます"},
            {"cmdNew", "新しいグループ", "新しいﾆｭｰｽｸﾞﾙｰﾌﾟを取込みます"},
            {"cmdOK", "OK", "ﾆｭｰｽｸﾞﾙｰﾌﾟ名の設定をします"},
            {"cmdCancel", "ｷｬﾝｾﾙ", "設定を行いません"},
        };
        for (const auto &b : buttons) {
            auto *p = w.child<QPushButton>(b.name);
            QVERIFY2(p, b.name);
            QCOMPARE(p->text(), QString::fromUtf8(b.caption));
            QCOMPARE(p->toolTip(), QString::fromUtf8(b.tip));
        }
        QVERIFY(w.child<QListView>("List1"));
        QCOMPARE(w.child<QListView>("List1")->toolTip(), QString());
        QCOMPARE(w.child<QListView>("List2")->toolTip(),
                 QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟを取込むとここに表示されます"));
        QCOMPARE(w.child<QLabel>("Label1")->text(), QString());
        QCOMPARE(w.child<QLabel>("lblList1")->text(), QStringLiteral("全てのﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(w.child<QLabel>("lblList2")->text(), QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // Typing in the filter narrows both lists (every word, any case); a
    // click or a double click in the narrowed list chooses the name shown,
    // the double click as OK does; clearing the filter shows all again.
    void filterAndDoubleClick()
    {
        CatalogueFixture f;
        f.writeCatalog("fj.binaries\r\nfj.comp.misc\r\njapan.binaries.misc\r\nalt.test\r\n");
        CatalogueSession s;
        QLineEdit txtName;
        Window w(f, s, &txtName);
        auto *filter = w.child<QLineEdit>("txtFilter");
        QTest::keyClicks(filter, QStringLiteral("BIN"));
        QCOMPARE(w.rows("List1"), (QStringList{"fj.binaries", "japan.binaries.misc"}));
        QTest::keyClicks(filter, QStringLiteral(" misc"));
        QCOMPARE(w.rows("List1"), QStringList{"japan.binaries.misc"});
        filter->clear();
        QCOMPARE(w.rows("List1").size(), 4);
        QTest::keyClicks(filter, QStringLiteral("comp"));
        w.clickRow("List1", 0);
        QCOMPARE(s.chosenName, QStringLiteral("fj.comp.misc"));
        // A new-groups fetch while filtered: List2 narrowed too.
        w.click("cmdNew");
        w.socket->feed("200 hi\r\n");
        w.socket->feed("231 new\r\nnew.comp.x\r\nnew.other\r\n.\r\n");
        QCOMPARE(w.rows("List2"), QStringList{"new.comp.x"});
        QCOMPARE(w.rows("List1"), (QStringList{"fj.comp.misc", "new.comp.x"}));
        auto *list2 = w.child<QListView>("List2");
        const QPoint at = list2->visualRect(list2->model()->index(0, 0)).center();
        QTest::mouseClick(list2->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list2->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(txtName.text(), QStringLiteral("new.comp.x"));
        QCOMPARE(w.form->result(), int(QDialog::Accepted));
    }

    // A fetch that fails leaves the list that was shown: before the listing
    // and part way through it.
    void failedFetchKeepsTheList()
    {
        CatalogueFixture f;
        f.writeCatalog("a.one\r\nb.two\r\n");
        CatalogueSession s;
        Window w(f, s, nullptr);
        w.click("cmdALL");
        w.socket->fail(QStringLiteral("接続が拒否されました"));
        QCOMPARE(w.rows("List1"), (QStringList{"a.one", "b.two"}));
        w.click("cmdALL");
        w.socket->feed("200 hi\r\n");
        QCOMPARE(w.rows("List1"), (QStringList{"a.one", "b.two"}));
        w.socket->feed("215 list\r\nc.three 2 1 y\r\n");
        QCOMPARE(w.rows("List1"), QStringList{"c.three"});
        w.socket->fail(QStringLiteral("reset"));
        QCOMPARE(w.rows("List1"), (QStringList{"a.one", "b.two"}));
    }

    // The saved catalogue shows sorted; a new-groups fetch fills List2, a
    // click there and OK hands the name to the text box.
    void fetchChooseAndHandBack()
    {
        CatalogueFixture f;
        f.writeCatalog("zz.top\r\nalt.a\r\n");
        CatalogueSession s;
        QLineEdit txtName(QStringLiteral("before"));
        Window w(f, s, &txtName);
        QCOMPARE(w.rows("List1"), (QStringList{"alt.a", "zz.top"}));
        QVERIFY(w.rows("List2").isEmpty());

        w.click("cmdNew");
        QCOMPARE(w.socket->connectCount, 1);
        w.socket->feed("200 hi\r\n");
        w.socket->feed("231 new\r\nnew.b\r\nnew.a\r\n");
        QCOMPARE(w.child<QLabel>("Label1")->text(), QStringLiteral("2"));
        w.socket->feed(".\r\n");
        QCOMPARE(f.prompter.shown.last(), QStringLiteral("一覧取込を完了しました"));
        QCOMPARE(w.rows("List1"), (QStringList{"alt.a", "new.a", "new.b", "zz.top"}));
        QCOMPARE(w.rows("List2"), (QStringList{"new.a", "new.b"}));
        QVERIFY(!QApplication::overrideCursor());

        w.clickRow("List1", 3);
        QCOMPARE(s.chosenName, QStringLiteral("zz.top"));
        w.clickRow("List2", 1);
        QCOMPARE(s.chosenName, QStringLiteral("new.b"));
        w.click("cmdOK");
        QCOMPARE(txtName.text(), QStringLiteral("new.b"));
        QCOMPARE(w.form->result(), int(QDialog::Accepted));
        QVERIFY(!w.form->isVisible());
    }

    void okWithoutChoiceStaysOpen()
    {
        CatalogueFixture f;
        CatalogueSession s;
        QLineEdit txtName(QStringLiteral("before"));
        Window w(f, s, &txtName);
        w.click("cmdOK");
        QCOMPARE(f.prompter.shown, QStringList{"ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません"});
        QVERIFY(w.form->isVisible());
        QCOMPARE(txtName.text(), QStringLiteral("before"));
    }

    // Cancel hands nothing back and ends a fetch under way; the choice made
    // is still there when the window opens again.
    void cancelKeepsChoiceForNextOpening()
    {
        CatalogueFixture f;
        f.writeCatalog("a\r\nb\r\n");
        CatalogueSession s;
        QLineEdit txtName(QStringLiteral("before"));
        {
            Window w(f, s, &txtName);
            w.clickRow("List1", 1);
            w.click("cmdALL");
            QVERIFY(!w.socket->closed);
            w.click("cmdCancel");
            QVERIFY(w.socket->closed);
            QCOMPARE(w.form->result(), int(QDialog::Rejected));
            QCOMPARE(txtName.text(), QStringLiteral("before"));
        }
        Window again(f, s, &txtName);
        // The all-groups fetch that was cut off saved nothing.
        QCOMPARE(again.rows("List1"), (QStringList{"a", "b"}));
        again.click("cmdOK");
        QCOMPARE(txtName.text(), QStringLiteral("b"));
    }

    // A socket error's description shows in Label1.
    void errorInLabel()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Window w(f, s, nullptr);
        w.click("cmdALL");
        w.socket->fail(QStringLiteral("サーバーが見つかりません"));
        QCOMPARE(w.child<QLabel>("Label1")->text(), QStringLiteral("サーバーが見つかりません"));
    }

    // The group settings dialog's list button, wired as the main window
    // wires it: the name chosen lands in txtName.
    void fromForm2()
    {
        CatalogueFixture f;
        f.writeCatalog("fj.binaries\r\n");
        CatalogueSession s;
        Form2 dlg(*f.ctx);
        dlg.openCatalogue = [&](QLineEdit *txtName) {
            Form3 list(*f.ctx, s, txtName, &dlg, std::make_unique<FakeSocket>());
            list.exec();
        };
        QTimer::singleShot(0, [] {
            auto *list = qobject_cast<Form3 *>(QApplication::activeModalWidget());
            QVERIFY(list);
            list->chooser().List1_Click(0);
            list->cmdOK_Click();
        });
        dlg.cmd一覧_Click();
        QCOMPARE(dlg.findChild<QLineEdit *>("txtName")->text(), QStringLiteral("fj.binaries"));
    }
};

KAPLO_TEST(TestForm3)
#include "tst_form3.moc"
