#include "catalogue/cataloguefixture.h"

#include "catalogue/ui/form3.h"
#include "support/fakesocket.h"
#include "support/testregistry.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

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
    template <typename W> W *child(const char *name) { return form->findChild<W *>(name); }
    QStringList rows(const char *list)
    {
        QStringList out;
        const QAbstractItemModel *m = child<QListView>(list)->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toString();
        return out;
    }
    void clickRow(const char *list, int row, bool twice = false)
    {
        auto *v = child<QListView>(list);
        const QPoint at = v->visualRect(v->model()->index(row, 0)).center();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
        if (twice)
            QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
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
    // Typing in the filter narrows both lists (every word, any case); a
    // click in the narrowed list chooses the name shown, a double click
    // hands it back as OK does.
    void filterAndDoubleClick()
    {
        CatalogueFixture f;
        f.writeCatalog("fj.binaries\r\nfj.comp.misc\r\njapan.binaries.misc\r\nalt.test\r\n");
        CatalogueSession s;
        QLineEdit txtName;
        Window w(f, s, &txtName);
        auto *filter = w.child<QLineEdit>("txtFilter");
        QTest::keyClicks(filter, "BIN misc");
        QCOMPARE(w.rows("List1"), QStringList{"japan.binaries.misc"});
        filter->clear();
        QCOMPARE(w.rows("List1").size(), 4);
        QTest::keyClicks(filter, "comp");
        w.clickRow("List1", 0);
        QCOMPARE(s.chosenName, QStringLiteral("fj.comp.misc"));
        w.click("cmdNew");
        w.socket->feed("200 hi\r\n");
        w.socket->feed("231 new\r\nnew.comp.x\r\nnew.other\r\n.\r\n");
        QCOMPARE(w.rows("List2"), QStringList{"new.comp.x"});
        QCOMPARE(w.rows("List1"), (QStringList{"fj.comp.misc", "new.comp.x"}));
        QVERIFY(!QApplication::overrideCursor());
        w.clickRow("List2", 0, true);
        QCOMPARE(txtName.text(), QStringLiteral("new.comp.x"));
        QCOMPARE(w.form->result(), int(QDialog::Accepted));
    }

    // OK without a choice is told and stays; a socket error shows in
    // Label1; Cancel hands nothing back and ends a fetch under way.
    void okAndCancel()
    {
        CatalogueFixture f;
        CatalogueSession s;
        QLineEdit txtName("before");
        Window w(f, s, &txtName);
        w.click("cmdOK");
        QCOMPARE(f.prompter.shown, QStringList{"ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません"});
        QVERIFY(w.form->isVisible());
        w.click("cmdALL");
        w.socket->fail("サーバーが見つかりません");
        QCOMPARE(w.child<QLabel>("Label1")->text(), QStringLiteral("サーバーが見つかりません"));
        w.click("cmdALL");
        w.click("cmdCancel");
        QVERIFY(w.socket->closed);
        QCOMPARE(w.form->result(), int(QDialog::Rejected));
        QCOMPARE(txtName.text(), QStringLiteral("before"));
    }
};

KAPLO_TEST(TestForm3)
#include "tst_form3.moc"
