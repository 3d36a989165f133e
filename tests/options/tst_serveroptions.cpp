#include "options/serveroptions.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"
#include "support/testregistry.h"

#include <QTemporaryDir>
#include <QTest>

class TestServerOptions : public QObject {
    Q_OBJECT
private slots:
    void okWithUnchangedTextRewritesTheSameValues()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        const QString server = QStringLiteral("SERVER");
        QVERIFY(store.write(server, QStringLiteral("SERVERNAME"), QStringLiteral("news.example")));
        RunningSettings running;
        running.load(store);
        // SERVERPORT has never been stored: OK writes the default it shows.
        QVERIFY(!store.contains(server, QStringLiteral("SERVERPORT")));
        QVERIFY(ServerOptions::fromRunning(running).apply(running, store));
        SettingsStore reread(store.path());
        QCOMPARE(reread.read(server, QStringLiteral("SERVERNAME"), QString()),
                 QStringLiteral("news.example"));
        QVERIFY(reread.contains(server, QStringLiteral("SERVERPORT")));
        QCOMPARE(reread.read(server, QStringLiteral("SERVERPORT"), QString()),
                 QStringLiteral("119"));
    }

    void valuesAreStoredUnchecked_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");
        QTest::newRow("empty name") << ""
                                    << "119";
        QTest::newRow("letters in port") << "news"
                                         << "119abc";
        QTest::newRow("no number") << "news"
                                   << "abc";
        QTest::newRow("blanks kept") << " news "
                                     << " 563";
        QTest::newRow("japanese") << "ﾆｭｰｽ"
                                  << "";
    }
    void valuesAreStoredUnchecked()
    {
        QFETCH(QString, name);
        QFETCH(QString, port);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        RunningSettings running;
        running.load(store);
        QVERIFY((ServerOptions{name, port}.apply(running, store)));
        QCOMPARE(running.serverName, name);
        QCOMPARE(running.serverPort, port);
        SettingsStore reread(store.path());
        QCOMPARE(reread.read(QStringLiteral("SERVER"), QStringLiteral("SERVERNAME"),
                             QStringLiteral("?")),
                 name);
        QCOMPARE(reread.read(QStringLiteral("SERVER"), QStringLiteral("SERVERPORT"),
                             QStringLiteral("?")),
                 port);
    }

    // How a connection reads the port text the dialog stored.
    void portNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("plain") << "119" << 119;
        QTest::newRow("letters after") << "119abc" << 119;
        QTest::newRow("no digits") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blank before") << " 563" << 563;
        QTest::newRow("fraction rounds") << "1.6" << 2;
    }
    void portNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(TextValue::portNumber(text), port);
    }

    void failedWriteLeavesRunningCopy()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        RunningSettings running;
        running.load(store);
        store.failWritesForTesting(true);
        QString error;
        QVERIFY(!(
            ServerOptions{QStringLiteral("a"), QStringLiteral("1")}.apply(running, store, &error)));
        QVERIFY(!error.isEmpty());
        QCOMPARE(running.serverName, RunningSettings::defaultServerName());
        QCOMPARE(running.serverPort, QStringLiteral("119"));
    }
};

KAPLO_TEST(TestServerOptions)
#include "tst_serveroptions.moc"
