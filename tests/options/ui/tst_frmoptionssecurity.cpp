// frmOptions' controls for secure and authenticated servers.
#include "core/appcontext.h"
#include "options/ui/frmoptions.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kServer = QStringLiteral("SERVER");

struct Fixture {
    QTemporaryDir tmp;
    SettingsStore store{tmp.filePath(QStringLiteral("k.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};

    explicit Fixture(const QList<std::pair<const char *, QString>> &saved = {})
    {
        for (const auto &[k, v] : saved)
            store.write(kServer, QString::fromLatin1(k), v);
        ctx.settings.load(store);
    }
    QString stored(const char *key)
    {
        return SettingsStore(store.path())
            .read(kServer, QString::fromLatin1(key), QStringLiteral("<absent>"));
    }
};

template <typename W> W *child(QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(QString::fromLatin1(name));
    if (!w)
        qWarning("no control %s", name);
    return w;
}

} // namespace

class TestFrmOptionsSecurity : public QObject {
    Q_OBJECT
private slots:
    void controlsBelowTheServer()
    {
        Fixture f;
        frmOptions dlg(f.ctx, nullptr);
        auto *check1 = child<QCheckBox>(dlg, "Check1");
        auto *check2 = child<QCheckBox>(dlg, "Check2");
        auto *text3 = child<QLineEdit>(dlg, "Text3");
        auto *text4 = child<QLineEdit>(dlg, "Text4");
        QVERIFY(check1 && check2 && text3 && text4);
        QCOMPARE(check1->text(), QStringLiteral("SSL/TLSで接続する (通常ポート563)"));
        QCOMPARE(child<QLabel>(dlg, "Label3")->text(), QStringLiteral("ユーザー名:"));
        QCOMPARE(child<QLabel>(dlg, "Label4")->text(), QStringLiteral("パスワード:"));
        QCOMPARE(check2->text(), QStringLiteral("MODE READERを送る"));
        QCOMPARE(text4->echoMode(), QLineEdit::Password);
        QVERIFY(!check1->isChecked() && !check2->isChecked());
        QVERIFY(text3->text().isEmpty() && text4->text().isEmpty());

        // In order under the port, the buttons under them all, nothing cut.
        const int port = child<QLineEdit>(dlg, "Text2")->geometry().bottom();
        QVERIFY(port < check1->geometry().top());
        QVERIFY(check1->geometry().bottom() < text3->geometry().top());
        QVERIFY(text3->geometry().bottom() < text4->geometry().top());
        QVERIFY(text4->geometry().bottom() < check2->geometry().top());
        QVERIFY(check2->geometry().bottom() < child<QPushButton>(dlg, "cmdOK")->geometry().top());
        QVERIFY(dlg.rect().contains(child<QPushButton>(dlg, "cmdCancel")->geometry()));
        QVERIFY(check1->sizeHint().width() <= check1->width() + 4);
    }

    void loadsAndStores()
    {
        Fixture f({{"SSL", QStringLiteral("TRUE")},
                   {"USER", QStringLiteral("reader")},
                   {"PASS", QStringLiteral("old pw")},
                   {"MODEREADER", QStringLiteral("TRUE")}});
        {
            frmOptions dlg(f.ctx, nullptr);
            QVERIFY(child<QCheckBox>(dlg, "Check1")->isChecked());
            QVERIFY(child<QCheckBox>(dlg, "Check2")->isChecked());
            QCOMPARE(child<QLineEdit>(dlg, "Text3")->text(), QStringLiteral("reader"));
            QCOMPARE(child<QLineEdit>(dlg, "Text4")->text(), QStringLiteral("old pw"));
            // Cancel keeps everything.
            child<QCheckBox>(dlg, "Check1")->setChecked(false);
            child<QLineEdit>(dlg, "Text4")->setText(QStringLiteral("typed"));
            child<QPushButton>(dlg, "cmdCancel")->click();
        }
        QCOMPARE(f.ctx.settings.ssl, QStringLiteral("TRUE"));
        QCOMPARE(f.ctx.settings.pass, QStringLiteral("old pw"));
        QCOMPARE(f.stored("PASS"), QStringLiteral("old pw"));

        frmOptions dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check1")->setChecked(false);
        child<QLineEdit>(dlg, "Text3")->setText(QStringLiteral("other"));
        child<QLineEdit>(dlg, "Text4")->setText(QStringLiteral("new pw"));
        child<QCheckBox>(dlg, "Check2")->setChecked(false);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(f.stored("SSL"), QStringLiteral("FALSE"));
        QCOMPARE(f.stored("USER"), QStringLiteral("other"));
        QCOMPARE(f.stored("PASS"), QStringLiteral("new pw"));
        QCOMPARE(f.stored("MODEREADER"), QStringLiteral("FALSE"));
        QCOMPARE(f.ctx.settings.ssl, QStringLiteral("FALSE"));
        QCOMPARE(f.ctx.settings.user, QStringLiteral("other"));
        QCOMPARE(f.ctx.settings.pass, QStringLiteral("new pw"));
        QCOMPARE(f.ctx.settings.modeReader, QStringLiteral("FALSE"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // A failed write leaves the password and the flags as they were.
    void failedWriteKeepsAll()
    {
        Fixture f;
        frmOptions dlg(f.ctx, nullptr);
        child<QCheckBox>(dlg, "Check1")->setChecked(true);
        child<QLineEdit>(dlg, "Text4")->setText(QStringLiteral("pw"));
        f.store.failWritesForTesting(true);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(f.ctx.settings.ssl, QStringLiteral("FALSE"));
        QCOMPARE(f.ctx.settings.pass, QString());
        QCOMPARE(f.stored("PASS"), QStringLiteral("<absent>"));
    }
};

KAPLO_TEST(TestFrmOptionsSecurity)
#include "tst_frmoptionssecurity.moc"
