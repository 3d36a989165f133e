#include "options/settingsconfig.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsConfig : public QObject {
    Q_OBJECT
private slots:
    void defaultsOfAnEmptyStore_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("port") << "SERVER"
                              << "SERVERPORT"
                              << "119";
        QTest::newRow("catalogue time") << "SERVER"
                                        << "TIME"
                                        << "450815 120000";
        QTest::newRow("timeout") << "SERVER"
                                 << "TIMEOUT"
                                 << "120";
        QTest::newRow("pipeline") << "SERVER"
                                  << "PIPELINE"
                                  << "64";
        QTest::newRow("seigen") << "SAVE"
                                << "SEIGEN"
                                << "0";
        QTest::newRow("seigentime") << "SAVE"
                                    << "SEIGENTIME"
                                    << "06:30";
        QTest::newRow("seigenfile") << "SAVE"
                                    << "SEIGENFILE"
                                    << "500";
        QTest::newRow("seigensize") << "SAVE"
                                    << "SEIGENSIZE"
                                    << "50";
        QTest::newRow("address") << "REMOTE"
                                 << "ADDRESS"
                                 << "なし";
        QTest::newRow("interval") << "REMOTE"
                                  << "INTERVAL"
                                  << "5";
        QTest::newRow("unknown") << "SAVE"
                                 << "NOSUCH"
                                 << "";
    }
    void defaultsOfAnEmptyStore()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        QCOMPARE(SettingsConfig::currentValue(store, section, key), value);
        QCOMPARE(SettingsConfig::isKnown(section, key), key != QLatin1String("NOSUCH"));
    }

    void everyKnownKeyReadsBackWhatWasStored()
    {
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        for (const auto &k : SettingsConfig::knownKeys())
            QVERIFY(store.write(k.section, k.key, k.section + k.key));
        for (const auto &k : SettingsConfig::knownKeys())
            QCOMPARE(SettingsConfig::currentValue(store, k.section, k.key), k.section + k.key);
        QVERIFY(SettingsConfig::isSecret(QStringLiteral("SERVER"), QStringLiteral("PASS")));
        QVERIFY(!SettingsConfig::isSecret(QStringLiteral("SERVER"), QStringLiteral("USER")));
    }

    void check_data()
    {
        QTest::addColumn<QStringList>("saved"); // SAVE values already stored, KEY=VALUE
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("result");  // what is stored
        QTest::addColumn<QString>("refusal"); // empty: accepted

        const QStringList none;
        const QStringList byTime{QStringLiteral("SEIGEN=1")};
        const QStringList byFiles{QStringLiteral("SEIGEN=2")};
        const QStringList bySize{QStringLiteral("SEIGEN=3")};

        // Limit boxes: checked only when their limit is the stored one.
        QTest::newRow("time, no limit") << none << "SAVE"
                                        << "SEIGENTIME"
                                        << "abc"
                                        << "abc"
                                        << "";
        QTest::newRow("time, files limit") << byFiles << "SAVE"
                                           << "SEIGENTIME"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("time, time limit, bad") << byTime << "SAVE"
                                               << "SEIGENTIME"
                                               << "abc"
                                               << "abc"
                                               << "時間の形式はHH:MMです。";
        QTest::newRow("time, time limit, empty") << byTime << "SAVE"
                                                 << "SEIGENTIME"
                                                 << ""
                                                 << ""
                                                 << "時間を設定してください";
        QTest::newRow("time, time limit, ok") << byTime << "SAVE"
                                              << "SEIGENTIME"
                                              << "7:45"
                                              << "7:45"
                                              << "";
        QTest::newRow("files, files limit, bad") << byFiles << "SAVE"
                                                 << "SEIGENFILE"
                                                 << "x"
                                                 << "x"
                                                 << "ﾌｧｲﾙの数には数値を入力してください";
        QTest::newRow("files, size limit, bad") << bySize << "SAVE"
                                                << "SEIGENFILE"
                                                << "x"
                                                << "x"
                                                << "";
        QTest::newRow("size, size limit, empty") << bySize << "SAVE"
                                                 << "SEIGENSIZE"
                                                 << ""
                                                 << ""
                                                 << "ﾌｧｲﾙｻｲｽﾞを入れてください";
        // Choosing a limit checks the stored box of that limit.
        QTest::newRow("limit files, box empty")
            << QStringList{QStringLiteral("SEIGENFILE=")} << "SAVE"
            << "SEIGEN"
            << "2"
            << "2"
            << "ﾌｧｲﾙの数を入れてください";
        QTest::newRow("limit files, box default") << none << "SAVE"
                                                  << "SEIGEN"
                                                  << "2"
                                                  << "2"
                                                  << "";
        QTest::newRow("limit none, boxes bad")
            << QStringList{QStringLiteral("SEIGENTIME=x"), QStringLiteral("SEIGENFILE=")} << "SAVE"
            << "SEIGEN"
            << "0"
            << "0"
            << "";
        QTest::newRow("limit 4")
            << none << "SAVE"
            << "SEIGEN"
            << "4"
            << "4"
            << "0(なし)、1(時間指定)、2(ﾌｧｲﾙ数)、3(ﾄｰﾀﾙﾌｧｲﾙｻｲｽﾞ)のいずれかを指定"
               "してください";
        // Flags: the two forms readers compare with.
        QTest::newRow("flag lower case") << none << "SAVE"
                                         << "LOG"
                                         << "true"
                                         << "TRUE"
                                         << "";
        QTest::newRow("flag other") << none << "SAVE"
                                    << "REWRITE"
                                    << "yes"
                                    << "yes"
                                    << "TRUE か FALSE を指定してください";
        // The save directory as the directory list would give it.
        QTest::newRow("dir trailing separator") << none << "SAVE"
                                                << "DIR"
                                                << "/srv/news/"
                                                << "/srv/news"
                                                << "";
        QTest::newRow("dir root") << none << "SAVE"
                                  << "DIR"
                                  << "/"
                                  << "/"
                                  << "";
        QTest::newRow("dir dots") << none << "SAVE"
                                  << "DIR"
                                  << "/srv/./a/../news"
                                  << "/srv/news"
                                  << "";
        QTest::newRow("dir relative")
            << none << "SAVE"
            << "DIR"
            << "rel" << QDir::current().filePath(QStringLiteral("rel")) << "";
        QTest::newRow("dir empty") << none << "SAVE"
                                   << "DIR"
                                   << ""
                                   << ""
                                   << "保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません";
        // The server dialog checks nothing.
        QTest::newRow("port letters") << none << "SERVER"
                                      << "SERVERPORT"
                                      << "abc"
                                      << "abc"
                                      << "";
        QTest::newRow("name empty") << none << "SERVER"
                                    << "SERVERNAME"
                                    << ""
                                    << ""
                                    << "";
        QTest::newRow("interval letters") << none << "REMOTE"
                                          << "INTERVAL"
                                          << "x"
                                          << "x"
                                          << "数字を入れてください";
        QTest::newRow("interval number") << none << "REMOTE"
                                         << "INTERVAL"
                                         << "10"
                                         << "10"
                                         << "";
        QTest::newRow("address free") << none << "REMOTE"
                                      << "ADDRESS"
                                      << ""
                                      << ""
                                      << "";
        // Seconds of server silence: a whole number, at least 1.
        for (const char *bad : {"0", "-5", "1.5", "abc", ""})
            QTest::addRow("timeout '%s'", bad) << none << "SERVER"
                                               << "TIMEOUT" << bad << bad << "数字を入れてください";
        // NEXT/ARTICLE pairs in flight: 1 to 64.
        for (const char *bad : {"0", "65", "2.5", "x"})
            QTest::addRow("pipeline '%s'", bad)
                << none << "SERVER"
                << "PIPELINE" << bad << bad << "数字を入れてください";
        QTest::newRow("pipeline ok") << none << "SERVER"
                                     << "PIPELINE"
                                     << " 1 "
                                     << "1"
                                     << "";
        QTest::newRow("timeout ok") << none << "SERVER"
                                    << "TIMEOUT"
                                    << " 30 "
                                    << "30"
                                    << "";
        // A private authority's PEM file, or nothing.
        QTest::newRow("cafile missing") << none << "SERVER"
                                        << "CAFILE"
                                        << "/nonexistent/ca.pem"
                                        << "/nonexistent/ca.pem"
                                        << "証明書ファイル(PEM)を読めません";
        QTest::newRow("cafile empty") << none << "SERVER"
                                      << "CAFILE"
                                      << " "
                                      << ""
                                      << "";
        QTest::newRow("catalogue time ok") << none << "SERVER"
                                           << "TIME"
                                           << "240229 235959"
                                           << "240229 235959"
                                           << "";
        QTest::newRow("catalogue time no blank") << none << "SERVER"
                                                 << "TIME"
                                                 << "240229235959"
                                                 << "240229235959"
                                                 << "TIMEの形式はYYMMDD HHMMSSです。";
        QTest::newRow("catalogue time month 13") << none << "SERVER"
                                                 << "TIME"
                                                 << "241301 000000"
                                                 << "241301 000000"
                                                 << "TIMEの形式はYYMMDD HHMMSSです。";
    }
    void check()
    {
        QFETCH(QStringList, saved);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, result);
        QFETCH(QString, refusal);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath(QStringLiteral("k.ini")));
        for (const QString &kv : saved) {
            const qsizetype eq = kv.indexOf(QLatin1Char('='));
            QVERIFY(store.write(QStringLiteral("SAVE"), kv.left(eq), kv.mid(eq + 1)));
        }
        const SettingsConfig::Checked c = SettingsConfig::check(store, section, key, value);
        QCOMPARE(c.refusal.value_or(QString()), refusal);
        if (refusal.isEmpty())
            QCOMPARE(c.value, result);
    }
};

KAPLO_TEST(TestSettingsConfig)
#include "tst_settingsconfig.moc"
