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

class TestForm3 : public QObject {
    Q_OBJECT
private slots:
    // OK without a choice is told and stays. Typing in the filter narrows
    // both lists (every word, any case); a click in the narrowed list
    // chooses the name shown, a double click hands it back as OK does. A
    // socket error shows in Label1; Cancel ends a fetch under way.
    void window()
    {
        CatalogueFixture f;
        f.writeCatalog("fj.binaries\r\nfj.comp.misc\r\njapan.binaries.misc\r\nalt.test\r\n");
        CatalogueSession s;
        QLineEdit txtName("before");
        for (const bool cancel : {false, true}) {
            auto *socket = new FakeSocket;
            Form3 form(*f.ctx, s, &txtName, nullptr, std::unique_ptr<FakeSocket>(socket));
            form.show();
            const auto click = [&](const char *name) {
                QTest::mouseClick(form.findChild<QPushButton *>(name), Qt::LeftButton);
            };
            const auto list = [&](const char *name, int clickRow = -1, bool twice = false) {
                auto *view = form.findChild<QListView *>(name);
                const QPoint at = view->visualRect(view->model()->index(clickRow, 0)).center();
                if (clickRow >= 0)
                    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
                if (twice)
                    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
                QStringList rows;
                for (int r = 0; r < view->model()->rowCount(); ++r)
                    rows << view->model()->index(r, 0).data().toString();
                return rows;
            };
            if (cancel) {
                click("cmdALL");
                socket->fail("サーバーが見つかりません");
                QCOMPARE(form.findChild<QLabel *>("Label1")->text(),
                         QStringLiteral("サーバーが見つかりません"));
                click("cmdALL");
                click("cmdCancel");
                QVERIFY(socket->closed);
                QCOMPARE(form.result(), int(QDialog::Rejected));
                QCOMPARE(txtName.text(), QStringLiteral("new.comp.x"));
                continue;
            }
            click("cmdOK");
            QCOMPARE(f.prompter.shown, QStringList{"ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません"});
            QVERIFY(form.isVisible());
            auto *filter = form.findChild<QLineEdit *>("txtFilter");
            QTest::keyClicks(filter, "BIN misc");
            QCOMPARE(list("List1"), QStringList{"japan.binaries.misc"});
            filter->setText("comp");
            list("List1", 0);
            QCOMPARE(s.chosenName, QStringLiteral("fj.comp.misc"));
            click("cmdNew");
            socket->feed("200 hi\r\n");
            socket->feed("231 new\r\nnew.comp.x\r\nnew.other\r\n.\r\n");
            QCOMPARE(list("List2"), QStringList{"new.comp.x"});
            QCOMPARE(list("List1"), (QStringList{"fj.comp.misc", "new.comp.x"}));
            QVERIFY(!QApplication::overrideCursor());
            list("List2", 0, true);
            QCOMPARE(txtName.text(), QStringLiteral("new.comp.x"));
            QCOMPARE(form.result(), int(QDialog::Accepted));
        }
    }
};

KAPLO_TEST(TestForm3)
#include "tst_form3.moc"
