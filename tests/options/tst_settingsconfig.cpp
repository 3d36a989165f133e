#include "options/settingsconfig.h"
#include "settings/settingsstore.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QTemporaryDir>
#include <QTest>

// One setting as kaplo-cli config reads and checks it, with the options
// dialogs' rules (tests/data/options/check.txt).
class TestSettingsConfig : public QObject {
    Q_OBJECT
private slots:
    void check_data() { kaplotest::addDataRows("options/check.txt"); }
    void check()
    {
        QFETCH(kaplotest::DataCase, c);
        QTemporaryDir tmp;
        SettingsStore store(tmp.filePath("k.ini"));
        const QString section = c.text("key").section('/', 0, 0);
        const QString key = c.text("key").section('/', 1);
        QVERIFY(SettingsConfig::isKnown(section, key));
        for (const QString &kv : c.lines("saved"))
            QVERIFY(store.write("SAVE", kv.section('=', 0, 0), kv.section('=', 1)));
        const QString value = c.text("value").replace("\\r", "\r").replace("\\n", "\n");
        const SettingsConfig::Checked checked = SettingsConfig::check(store, section, key, value);
        QCOMPARE(checked.refusal.value_or("(accepted)"),
                 c.has("refusal") ? c.text("refusal") : "(accepted)");
        if (!c.has("refusal"))
            QCOMPARE(checked.value, c.has("stored") ? c.text("stored") : value);
    }
};

KAPLO_TEST(TestSettingsConfig)
#include "tst_settingsconfig.moc"
