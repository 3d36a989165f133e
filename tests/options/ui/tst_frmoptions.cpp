#include "core/appcontext.h"
#include "options/ui/frmoptions.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QFile>
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

    Fixture()
    {
        store.write(kServer, QStringLiteral("SERVERNAME"), QStringLiteral("news.example"));
        store.write(kServer, QStringLiteral("SERVERPORT"), QStringLiteral("563"));
        ctx.settings.load(store);
    }
    QString stored(const char *key)
    {
        return SettingsStore(store.path()).read(kServer, QString::fromLatin1(key), QString());
    }
};

template <typename W> W *child(QWidget &parent, const char *name)
{
    return parent.findChild<W *>(QString::fromLatin1(name));
}

} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT
private slots:
    void loadsTheRunningValues()
    {
        Fixture f;
        frmOptions dlg(f.ctx, nullptr);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰの設定"));
        QCOMPARE(child<QLabel>(dlg, "Label1")->text(), QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰ名:"));
        QCOMPARE(child<QLabel>(dlg, "Label2")->text(), QStringLiteral("ﾆｭｰｽ ｻｰﾊﾞｰのﾎﾟｰﾄ番号:"));
        QCOMPARE(child<QPushButton>(dlg, "cmdOK")->text(), QStringLiteral("OK"));
        QCOMPARE(child<QPushButton>(dlg, "cmdCancel")->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        QCOMPARE(child<QLineEdit>(dlg, "Text1")->text(), QStringLiteral("news.example"));
        QCOMPARE(child<QLineEdit>(dlg, "Text2")->text(), QStringLiteral("563"));
        QCOMPARE(child<QLabel>(dlg, "Label5")->text(), QStringLiteral("ﾀｲﾑｱｳﾄ(秒):"));
        QCOMPARE(child<QLineEdit>(dlg, "Text5")->text(), QStringLiteral("120"));
    }

    // The timeout must be a whole number of at least 1 second.
    void timeoutIsValidated_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ok") << "30" << true;
        QTest::newRow("one") << "1" << true;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("fraction") << "1.5" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters") << "abc" << false;
    }
    void timeoutIsValidated()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        Fixture f;
        frmOptions dlg(f.ctx, nullptr);
        child<QLineEdit>(dlg, "Text5")->setText(text);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result() == int(QDialog::Accepted), accepted);
        QCOMPARE(f.prompter.shown,
                 accepted ? QStringList() : QStringList{QStringLiteral("数字を入れてください")});
        QCOMPARE(f.stored("TIMEOUT"), accepted ? text : QString());
        QCOMPARE(f.ctx.settings.timeout, accepted ? text : QStringLiteral("120"));
    }

    // The CA file under the TLS box: empty, or a file holding a PEM certificate.
    void caFileIsValidated_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no such file
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("none") << QByteArray() << false << true;
        QTest::newRow("pem") << QByteArray("-----BEGIN CERTIFICATE-----\nMIIB\n") << true << true;
        QTest::newRow("not pem") << QByteArray("hello\n") << true << false;
        QTest::newRow("missing") << QByteArray() << true << false;
    }
    void caFileIsValidated()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, named);
        QFETCH(bool, accepted);
        Fixture f;
        QString path;
        if (named) {
            path = f.tmp.filePath(QStringLiteral("ca.pem"));
            if (!content.isEmpty()) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(content);
            }
        }
        frmOptions dlg(f.ctx, nullptr);
        QCOMPARE(child<QLabel>(dlg, "Label6")->text(),
                 QStringLiteral("追加の認証局(PEMファイル):"));
        child<QLineEdit>(dlg, "Text6")->setText(path);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result() == int(QDialog::Accepted), accepted);
        QCOMPARE(f.prompter.shown,
                 accepted ? QStringList()
                          : QStringList{QStringLiteral("証明書ファイル(PEM)を読めません")});
        QCOMPARE(f.stored("CAFILE"), accepted ? path : QString());
        QCOMPARE(f.ctx.settings.caFile, accepted ? path : QString());
    }

    void okStoresAsTypedCancelChangesNothing()
    {
        Fixture f;
        {
            frmOptions dlg(f.ctx, nullptr);
            child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("other.example"));
            child<QLineEdit>(dlg, "Text2")->setText(QStringLiteral("119abc"));
            child<QPushButton>(dlg, "cmdCancel")->click();
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
        }
        QCOMPARE(f.ctx.settings.serverName, QStringLiteral("news.example"));
        QCOMPARE(f.stored("SERVERPORT"), QStringLiteral("563"));

        frmOptions dlg(f.ctx, nullptr);
        child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("other.example"));
        child<QLineEdit>(dlg, "Text2")->setText(QStringLiteral("119abc"));
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(f.prompter.shown.isEmpty());
        QCOMPARE(f.ctx.settings.serverName, QStringLiteral("other.example"));
        QCOMPARE(f.ctx.settings.serverPort, QStringLiteral("119abc"));
        QCOMPARE(f.stored("SERVERNAME"), QStringLiteral("other.example"));
        QCOMPARE(f.stored("SERVERPORT"), QStringLiteral("119abc"));
    }

    void failedWriteIsReportedAndDialogStays()
    {
        Fixture f;
        frmOptions dlg(f.ctx, nullptr);
        child<QLineEdit>(dlg, "Text1")->setText(QStringLiteral("other.example"));
        f.store.failWritesForTesting(true);
        child<QPushButton>(dlg, "cmdOK")->click();
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(f.prompter.shown, QStringList{f.store.errorString()});
        QCOMPARE(f.ctx.settings.serverName, QStringLiteral("news.example"));
        QCOMPARE(f.stored("SERVERNAME"), QStringLiteral("news.example"));
    }
};

KAPLO_TEST(TestFrmOptions)
#include "tst_frmoptions.moc"
