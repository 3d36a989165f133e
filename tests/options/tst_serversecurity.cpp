// TLS, user name, password and MODE READER in the server options and in
// kaplo-cli config.
#include "options/serveroptions.h"
#include "options/settingsconfig.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kServer = QStringLiteral("SERVER");

QString stored(const SettingsStore &store, const char *key)
{
    return SettingsStore(store.path()).read(kServer, QString::fromLatin1(key), "<absent>");
}

constexpr QFileDevice::Permissions kAllBits =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

} // namespace

class TestServerSecurity final : public QObject {
    Q_OBJECT
private slots:
    // The dialog's values reach the file together with the server's name,
    // and the file stays the owner's alone.
    void storedWithTheServer()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        RunningSettings running;
        running.load(store);
        ServerOptions o = ServerOptions::fromRunning(running);
        QVERIFY(!o.ssl && !o.modeReader && o.user.isEmpty() && o.pass.isEmpty());
        o.serverName = QStringLiteral("news.example");
        o.serverPort = QStringLiteral("563");
        o.ssl = true;
        o.user = QStringLiteral("ユーザー one");
        o.pass = QStringLiteral("p w=\"x\";#");
        o.modeReader = true;
        QVERIFY(o.apply(running, store));
        QCOMPARE(stored(store, "SSL"), QStringLiteral("TRUE"));
        QCOMPARE(stored(store, "USER"), o.user);
        QCOMPARE(stored(store, "PASS"), o.pass);
        QCOMPARE(stored(store, "MODEREADER"), QStringLiteral("TRUE"));
        QCOMPARE(running.ssl, QStringLiteral("TRUE"));
        QCOMPARE(running.pass, o.pass);
        QCOMPARE(running.modeReader, QStringLiteral("TRUE"));
        QCOMPARE(QFile::permissions(store.path()) & kAllBits,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        RunningSettings reread;
        reread.load(SettingsStore(store.path()));
        const ServerOptions back = ServerOptions::fromRunning(reread);
        QVERIFY(back.ssl && back.modeReader);
        QCOMPARE(back.user, o.user);
        QCOMPARE(back.pass, o.pass);

        // Unticked and emptied.
        o.ssl = false;
        o.modeReader = false;
        o.user.clear();
        o.pass.clear();
        QVERIFY(o.apply(running, store));
        QCOMPARE(stored(store, "SSL"), QStringLiteral("FALSE"));
        QCOMPARE(stored(store, "PASS"), QString());
        QCOMPARE(stored(store, "MODEREADER"), QStringLiteral("FALSE"));
    }

    // A box is ticked only for the exact text the connection obeys.
    void flagsAreExact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("on");
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("lower case") << "true" << false;
        QTest::newRow("blank after") << "TRUE " << false;
        QTest::newRow("FALSE") << "FALSE" << false;
    }
    void flagsAreExact()
    {
        QFETCH(QString, text);
        QFETCH(bool, on);
        RunningSettings running;
        running.ssl = text;
        running.modeReader = text;
        const ServerOptions o = ServerOptions::fromRunning(running);
        QCOMPARE(o.ssl, on);
        QCOMPARE(o.modeReader, on);
    }

    void failedWriteChangesNothing()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        RunningSettings running;
        running.load(store);
        ServerOptions o = ServerOptions::fromRunning(running);
        o.ssl = true;
        o.user = QStringLiteral("u");
        o.pass = QStringLiteral("p");
        store.failWritesForTesting(true);
        QVERIFY(!o.apply(running, store));
        QCOMPARE(running.ssl, QStringLiteral("FALSE"));
        QCOMPARE(running.user, QString());
        QCOMPARE(running.pass, QString());
        QCOMPARE(stored(store, "SSL"), QStringLiteral("<absent>"));
    }

    void configChecks_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("SSL lower case") << "SSL"
                                        << " true "
                                        << "TRUE";
        QTest::newRow("SSL false") << "SSL"
                                   << "False"
                                   << "FALSE";
        QTest::newRow("SSL other") << "SSL"
                                   << "yes"
                                   << "";
        QTest::newRow("MODEREADER") << "MODEREADER"
                                    << "true"
                                    << "TRUE";
        QTest::newRow("MODEREADER other") << "MODEREADER"
                                          << "1"
                                          << "";
        QTest::newRow("USER as given") << "USER"
                                       << " a b "
                                       << " a b ";
        QTest::newRow("USER line end") << "USER"
                                       << "a\r\nQUIT"
                                       << "";
        QTest::newRow("PASS as given") << "PASS"
                                       << "p;w#\""
                                       << "p;w#\"";
        QTest::newRow("PASS line end") << "PASS"
                                       << "pw\n"
                                       << "";
    }
    void configChecks()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, stored);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        QVERIFY(SettingsConfig::isKnown(kServer, key));
        const SettingsConfig::Checked c = SettingsConfig::check(store, kServer, key, value);
        QCOMPARE(c.refusal.has_value(), stored.isEmpty());
        if (!stored.isEmpty())
            QCOMPARE(c.value, stored);
    }

#ifdef KAPLO_CLI_PATH
    void cliSetsTheFlags()
    {
        QTemporaryDir tmp;
        const QString ini = tmp.filePath(QStringLiteral("k.ini"));
        const auto run = [&](const QStringList &args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("KAPLO_SETTINGS"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(KAPLO_CLI_PATH),
                    QStringList{QStringLiteral("config")} + args +
                        QStringList{QStringLiteral("--settings"), ini});
            p.waitForFinished(60000);
            return p.exitCode();
        };
        QCOMPARE(run({"set", "SERVER", "SSL", "true"}), 0);
        QCOMPARE(run({"set", "SERVER", "PASS", "secret"}), 0);
        QCOMPARE(run({"set", "SERVER", "MODEREADER", "maybe"}), 1);
        SettingsStore store(ini);
        QCOMPARE(store.read(kServer, QStringLiteral("SSL"), QString()), QStringLiteral("TRUE"));
        QCOMPARE(store.read(kServer, QStringLiteral("PASS"), QString()), QStringLiteral("secret"));
        QVERIFY(!store.contains(kServer, QStringLiteral("MODEREADER")));
        QCOMPARE(QFile::permissions(ini) & kAllBits,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
#endif
};

KAPLO_TEST(TestServerSecurity)
#include "tst_serversecurity.moc"
