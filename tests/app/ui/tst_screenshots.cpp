#include "app/ui/form1.h"
#include "core/appcontext.h"
#include "screenshots/screenshots.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Rig {
    Rig()
    {
        const QString save = dir.filePath(QStringLiteral("save"));
        QDir().mkpath(save);
        store.write(QStringLiteral("SERVER"), QStringLiteral("SERVERNAME"),
                    QStringLiteral("news.example.net"));
        store.write(QStringLiteral("SAVE"), QStringLiteral("DIR"), save);
        store.write(QStringLiteral("GROUP"), QStringLiteral("GROUPNAME1"),
                    QStringLiteral("fj.binaries"));
        QFile cat(QDir(save).filePath(QStringLiteral("newsgroups.dat")));
        if (cat.open(QIODevice::WriteOnly))
            cat.write("fj.binaries\r\nfj.comp.misc\r\n");
        form = std::make_unique<Form1>(ctx, QString());
    }
    QByteArray settingsBytes() const
    {
        QFile f(store.path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};
    std::unique_ptr<Form1> form;
};

} // namespace

class TestScreenshots : public QObject {
    Q_OBJECT
private slots:
    // Every window is drawn into its own picture, and drawing them asks
    // nothing, changes no setting and leaves the selection as it was.
    void everyWindowDrawn()
    {
        Rig rig;
        const QByteArray before = rig.settingsBytes();
        const QString out = rig.dir.filePath(QStringLiteral("shots"));
        QString error;
        const QStringList files = Screenshots::save(*rig.form, out, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        QStringList names;
        for (const QString &f : files) {
            names << QFileInfo(f).completeBaseName();
            const QImage image(f);
            QVERIFY2(!image.isNull(), qPrintable(f));
            QVERIFY(image.width() > 100 && image.height() > 50);
        }
        names.sort();
        QCOMPARE(names,
                 QStringList({"form1", "form2", "form3", "frmabout", "frmoptions", "frmoptions1",
                              "frmoptions2", "logprompt", "msg-savedir", "msg-server"}));
        QCOMPARE(rig.prompter.shown, QStringList());
        QCOMPARE(rig.settingsBytes(), before);
        QCOMPARE(rig.ctx.selectedGroup, 0);
    }

    void unwritableFolder()
    {
        Rig rig;
        // A file where the folder should be.
        const QString blocked = rig.dir.filePath(QStringLiteral("blocked"));
        QFile f(blocked);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QString error;
        const QStringList files = Screenshots::save(*rig.form, blocked, &error);
        QVERIFY(files.isEmpty());
        QVERIFY(error.contains(blocked));
    }
};

KAPLO_TEST(TestScreenshots)
#include "tst_screenshots.moc"
