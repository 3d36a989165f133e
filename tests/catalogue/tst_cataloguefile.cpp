#include "catalogue/cataloguefixture.h"

#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

// The saved catalogue, newsgroups.dat.
class TestCatalogueFile : public QObject {
    Q_OBJECT
private slots:
    void parse_data() { kaplotest::addDataRows("catalogue/parse.txt"); }
    void parse()
    {
        QFETCH(kaplotest::DataCase, c);
        const auto unescaped = [](QString s) {
            return s.replace("\\r", "\r").replace("\\n", "\n");
        };
        const QString fields = unescaped(c.text("fields"));
        QCOMPARE(CatalogueFile::parse(unescaped(c.text("text"))),
                 fields.isEmpty() ? QStringList{} : fields.split('|'));
    }

    // The old catalogue survives a failed write (the file-size limit stands
    // in for a full disk, and holds for root too), the user is told, and
    // TIME stays at the last catalogue that reached the disk.
    void writeFailureKeepsOldFile()
    {
        CatalogueFixture f;
        f.writeCatalog("old\r\n");
        f.store->write("SERVER", "TIME", "200101 000000");
        CatalogueSession s;
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        QVERIFY(c.Form_Load());
        for (int i = 0; i < 1000; ++i)
            c.addName(QStringLiteral("group.number.%1").arg(i), false);
        rlimit old = {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = c.SaveGroups();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!saved);
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY(f.prompter.shown.first().startsWith("ﾌｧｲﾙに書き込めません: "));
        QCOMPARE(f.catalogBytes(), QByteArray("old\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("200101 000000"));
        QCOMPARE(s.sinceValue, QStringLiteral("200101 000000"));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"KAPLO.ini", "newsgroups.dat"}));
        // The settings file refusing TIME is told; the catalogue stands.
        f.store->failWritesForTesting(true);
        QVERIFY(c.SaveGroups());
        QCOMPARE(f.prompter.shown.size(), 2);
        QCOMPARE(f.storedTime(), QStringLiteral("200101 000000"));
        QVERIFY(f.catalogBytes().startsWith("group.number.0\r\n"));
    }
};

KAPLO_TEST(TestCatalogueFile)
#include "tst_cataloguefile.moc"
