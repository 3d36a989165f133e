#include "options/saveoptions.h"
#include "options/serveroptions.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"
#include "support/testregistry.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

struct Store {
    QTemporaryDir tmp;
    SettingsStore store{tmp.filePath("k.ini")};
    RunningSettings running;

    explicit Store(const QStringList &saved = {})
    {
        for (const QString &kv : saved)
            store.write(kv.section('/', 0, 0), kv.section('/', 1).section('=', 0, 0), kv.section('=', 1));
        running.load(store);
    }
    // SECTION/KEY as a second store reads the file; "<absent>" when not there.
    QString onDisk(const QString &key) const
    {
        return SettingsStore(store.path()).read(key.section('/', 0, 0), key.section('/', 1), "<absent>");
    }
};

} // namespace

// What OK in the save and server options dialogs stores, in the file and in
// the running copy.
class TestOptionsApply : public QObject {
    Q_OBJECT
private slots:
    void saveOptions()
    {
        Store s;
        SaveOptions o;
        o.dir = "/srv/news/";
        o.dateDir = o.log = o.rewrite = true;
        o.limit = SaveOptions::Limit::Size;
        o.seigenTime = "07:00";
        o.seigenSize = "120";
        QVERIFY(o.apply(s.running, s.store));
        const QStringList expected{"DIR=/srv/news", "DATEDIR=TRUE", "USERDIR=FALSE", "LOG=TRUE",
                                   "GROUPDIR=FALSE", "REWRITE=TRUE", "SEIGEN=3", "SEIGENTIME=07:00",
                                   "SEIGENFILE=", "SEIGENSIZE=120"};
        for (const QString &kv : expected)
            QCOMPARE(s.onDisk("SAVE/" + kv.section('=', 0, 0)), kv.section('=', 1));
        RunningSettings fromDisk;
        fromDisk.load(SettingsStore(s.store.path()));
        const auto round = [](const RunningSettings &r) {
            return QStringList{r.saveDir, r.dateDir, r.userDir, r.log, r.groupDir, r.rewrite,
                               r.seigen, r.seigenTime, r.seigenFile, r.seigenSize};
        };
        QCOMPARE(round(s.running), round(fromDisk));
        const SaveOptions back = SaveOptions::fromRunning(fromDisk);
        QVERIFY(back.dateDir && !back.userDir && back.log && back.rewrite);
        QCOMPARE(back.limit, SaveOptions::Limit::Size);
    }

    // A limit this version does not know is left as it is, stored or not.
    void unknownLimitIsKept()
    {
        for (const bool present : {true, false}) {
            Store s(present ? QStringList{"SAVE/SEIGEN=7"} : QStringList{});
            s.running.seigen = "7";
            const SaveOptions o = SaveOptions::fromRunning(s.running);
            QCOMPARE(o.limit, SaveOptions::Limit::Unselected);
            QVERIFY(o.apply(s.running, s.store));
            QCOMPARE(s.onDisk("SAVE/SEIGEN"), QString(present ? "7" : "<absent>"));
            QCOMPARE(s.running.seigen, QStringLiteral("7"));
        }
    }

    // The server's name and port are stored as typed; OK with nothing
    // changed writes the port shown though it was never stored.
    void serverOptions()
    {
        Store s({"SERVER/SERVERNAME=news.example"});
        QVERIFY(ServerOptions::fromRunning(s.running).apply(s.running, s.store));
        QCOMPARE(s.onDisk("SERVER/SERVERPORT"), QStringLiteral("119"));
        QCOMPARE(s.onDisk("SERVER/SERVERNAME"), QStringLiteral("news.example"));

        ServerOptions o{" ﾆｭｰｽ ", "119abc", true, "ユーザー one", "p w=\"x\";#", true, " 30 ", ""};
        QVERIFY(o.apply(s.running, s.store));
        const QStringList expected{"SERVERNAME= ﾆｭｰｽ ", "SERVERPORT=119abc", "SSL=TRUE",
                                   "USER=ユーザー one", "PASS=p w=\"x\";#", "MODEREADER=TRUE",
                                   "TIMEOUT=30"};
        for (const QString &kv : expected)
            QCOMPARE(s.onDisk("SERVER/" + kv.section('=', 0, 0)), kv.section('=', 1));
        RunningSettings reread;
        reread.load(SettingsStore(s.store.path()));
        const ServerOptions back = ServerOptions::fromRunning(reread);
        QVERIFY(back.ssl && back.modeReader);
        QCOMPARE(QStringList({back.serverName, back.serverPort, back.user, back.pass, back.timeout}),
                 QStringList({o.serverName, o.serverPort, o.user, o.pass, "30"}));
        QCOMPARE(ServerOptions::fromRunning(s.running).pass, o.pass);
        o.ssl = o.modeReader = false;
        o.pass.clear();
        QVERIFY(o.apply(s.running, s.store));
        QCOMPARE(s.onDisk("SERVER/SSL") + s.onDisk("SERVER/MODEREADER") + s.onDisk("SERVER/PASS"),
                 QStringLiteral("FALSEFALSE"));
    }

    // A box is ticked only by the exact text the readers obey.
    void flagsAreExact()
    {
        for (const char *text : {"TRUE", "true", "TRUE ", "FALSE", "YES"}) {
            Store s;
            for (const char *key : {"SSL", "MODEREADER"})
                s.store.write("SERVER", key, text);
            for (const char *key : {"DATEDIR", "USERDIR", "LOG", "GROUPDIR", "REWRITE"})
                s.store.write("SAVE", key, text);
            s.running.load(s.store);
            const ServerOptions server = ServerOptions::fromRunning(s.running);
            const SaveOptions save = SaveOptions::fromRunning(s.running);
            const bool on = QByteArray(text) == "TRUE";
            const QList<bool> all{server.ssl, server.modeReader, save.dateDir, save.userDir,
                                  save.log, save.groupDir, save.rewrite};
            QCOMPARE(all, QList<bool>(7, on));
        }
    }

    // A failed write changes nothing, on disk or in the running copy.
    void failedWriteChangesNothing()
    {
        Store s({"SAVE/LOG=FALSE"});
        SaveOptions save = SaveOptions::fromRunning(s.running);
        save.log = true;
        save.dir = "/elsewhere";
        ServerOptions server = ServerOptions::fromRunning(s.running);
        server.serverName = "a";
        server.ssl = true;
        server.pass = "pw";
        s.store.failWritesForTesting(true);
        QString error;
        QVERIFY(!save.apply(s.running, s.store, &error) && !error.isEmpty());
        QVERIFY(!server.apply(s.running, s.store, &error));
        QCOMPARE(QStringList({s.running.log, s.running.serverName, s.running.ssl, s.running.pass}),
                 QStringList({"FALSE", RunningSettings::defaultServerName(), "FALSE", ""}));
        s.store.failWritesForTesting(false);
        QCOMPARE(s.onDisk("SAVE/LOG") + s.onDisk("SAVE/DIR") + s.onDisk("SERVER/PASS"),
                 QStringLiteral("FALSE<absent><absent>"));
    }

    // How a connection reads the port text the dialog stored.
    void portNumber()
    {
        const QList<std::pair<const char *, int>> rows{
            {"119", 119}, {"119abc", 119}, {"abc", 0}, {"", 0}, {" 563", 563}, {"1.6", 2}};
        for (const auto &[text, port] : rows)
            QCOMPARE(TextValue::portNumber(text), port);
    }
};

KAPLO_TEST(TestOptionsApply)
#include "tst_optionsapply.moc"
