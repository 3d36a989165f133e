#include "core/appcontext.h"
#include "options/ui/frmoptions.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Fixture {
    QTemporaryDir tmp;
    SettingsStore store{tmp.filePath("k.ini")};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};

    Fixture()
    {
        for (const char *kv : {"SERVERNAME=news.example", "SERVERPORT=563", "SSL=TRUE", "USER=reader",
                               "PASS=old pw", "MODEREADER=TRUE"})
            store.write("SERVER", QString(kv).section('=', 0, 0), QString(kv).section('=', 1));
        ctx.settings.load(store);
    }
    // The server section as a second store reads it, KEY=VALUE.
    QStringList stored()
    {
        QStringList out;
        SettingsStore s(store.path());
        for (const char *key : {"SERVERNAME", "SERVERPORT", "SSL", "USER", "PASS", "MODEREADER",
                                "TIMEOUT", "CAFILE"})
            out << QString(key) + '=' + s.read("SERVER", key, "<absent>");
        return out;
    }
};

template <typename W> W *child(QWidget &parent, const char *name)
{
    return parent.findChild<W *>(name);
}

} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT
private slots:
    // The dialog shows the running values; Cancel keeps them, OK stores
    // the boxes as typed.
    void okStoresCancelKeeps()
    {
        Fixture f;
        const QStringList before = f.stored();
        for (const bool ok : {false, true}) {
            frmOptions dlg(f.ctx, nullptr);
            QStringList shown;
            for (const char *box : {"Text1", "Text2", "Text3", "Text4", "Text5"})
                shown << child<QLineEdit>(dlg, box)->text();
            QCOMPARE(shown, (QStringList{"news.example", "563", "reader", "old pw", "120"}));
            QVERIFY(child<QCheckBox>(dlg, "Check1")->isChecked() && child<QCheckBox>(dlg, "Check2")->isChecked());
            QCOMPARE(child<QLineEdit>(dlg, "Text4")->echoMode(), QLineEdit::Password);
            child<QLineEdit>(dlg, "Text1")->setText("other.example");
            child<QLineEdit>(dlg, "Text2")->setText("119abc");
            child<QCheckBox>(dlg, "Check1")->setChecked(false);
            child<QLineEdit>(dlg, "Text3")->setText("other");
            child<QLineEdit>(dlg, "Text4")->setText("new pw");
            child<QPushButton>(dlg, ok ? "cmdOK" : "cmdCancel")->click();
            QCOMPARE(dlg.result(), int(ok ? QDialog::Accepted : QDialog::Rejected));
            if (!ok)
                QCOMPARE(f.stored(), before);
        }
        QCOMPARE(f.stored(), (QStringList{"SERVERNAME=other.example", "SERVERPORT=119abc", "SSL=FALSE",
                                          "USER=other", "PASS=new pw", "MODEREADER=TRUE",
                                          "TIMEOUT=120", "CAFILE="}));
        QCOMPARE(f.ctx.settings.serverPort + f.ctx.settings.ssl + f.ctx.settings.pass,
                 QStringLiteral("119abcFALSEnew pw"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // The timeout must be a whole number of at least 1 second; the CA file
    // empty or a file holding a PEM certificate; a failed write is told.
    // Whatever is refused, the dialog stays and nothing changes.
    void refusals_data()
    {
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QByteArray>("ca"); // "-": no such file
        QTest::addColumn<QString>("message"); // empty: accepted
        const QString notNumber = "数字を入れてください";
        const QString noPem = "証明書ファイル(PEM)を読めません";
        QTest::newRow("timeout 30") << "30" << QByteArray() << "";
        QTest::newRow("timeout 0") << "0" << QByteArray() << notNumber;
        QTest::newRow("timeout 1.5") << "1.5" << QByteArray() << notNumber;
        QTest::newRow("timeout empty") << "" << QByteArray() << notNumber;
        QTest::newRow("pem") << "120" << QByteArray("-----BEGIN CERTIFICATE-----\nMIIB\n") << "";
        QTest::newRow("not pem") << "120" << QByteArray("hello\n") << noPem;
        QTest::newRow("missing") << "120" << QByteArray("-") << noPem;
        QTest::newRow("failed write") << "120" << QByteArray() << "(write)";
    }
    void refusals()
    {
        QFETCH(QString, timeout);
        QFETCH(QByteArray, ca);
        QFETCH(QString, message);
        Fixture f;
        const QString caFile = ca.isEmpty() ? QString() : f.tmp.filePath("ca.pem");
        if (ca != "-" && !ca.isEmpty()) {
            QFile file(caFile);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ca) == ca.size());
        }
        const QStringList before = f.stored();
        frmOptions dlg(f.ctx, nullptr);
        child<QLineEdit>(dlg, "Text1")->setText("other.example");
        child<QLineEdit>(dlg, "Text5")->setText(timeout);
        child<QLineEdit>(dlg, "Text6")->setText(caFile);
        f.store.failWritesForTesting(message == "(write)");
        child<QPushButton>(dlg, "cmdOK")->click();
        if (message == "(write)")
            message = f.store.errorString();
        QCOMPARE(f.prompter.shown, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dlg.result(), int(message.isEmpty() ? QDialog::Accepted : 0));
        f.store.failWritesForTesting(false);
        if (message.isEmpty()) {
            QCOMPARE(f.stored().mid(6), (QStringList{"TIMEOUT=" + timeout, "CAFILE=" + caFile}));
            QCOMPARE(f.ctx.settings.timeout + f.ctx.settings.caFile, timeout + caFile);
        } else {
            QCOMPARE(f.stored(), before);
            QCOMPARE(f.ctx.settings.serverName + f.ctx.settings.timeout, QStringLiteral("news.example120"));
        }
    }
};

KAPLO_TEST(TestFrmOptions)
#include "tst_frmoptions.moc"
