#include "catalogue/cataloguefixture.h"

#include "support/testregistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

class TestCatalogueFile : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("CR LF lines") << "a.b\r\nc.d\r\n" << QStringList{"a.b", "c.d"};
        QTest::newRow("no final line end") << "a.b\r\nc.d" << QStringList{"a.b", "c.d"};
        QTest::newRow("LF and CR alone") << "a\nb\rc" << QStringList{"a", "b", "c"};
        QTest::newRow("comma splits") << "a.b,c.d\r\n" << QStringList{"a.b", "c.d"};
        QTest::newRow("comma at the end") << "a," << QStringList{"a", ""};
        QTest::newRow("spaces before skipped") << "   a.b\r\n  x y\r\n"
                                               << QStringList{"a.b", "x y"};
        QTest::newRow("quotes stripped") << "\"a.b\"\r\n" << QStringList{"a.b"};
        QTest::newRow("quoted comma kept") << "\"a,b\",c" << QStringList{"a,b", "c"};
        QTest::newRow("after the closing quote dropped") << "\"a\"xyz,b" << QStringList{"a", "b"};
        QTest::newRow("unclosed quote runs to the end") << "\"a\r\nb" << QStringList{"a\r\nb"};
        QTest::newRow("empty line is an empty entry") << "a\r\n\r\nb\r\n"
                                                      << QStringList{"a", "", "b"};
        QTest::newRow("trailing spaces kept") << "a  \r\n" << QStringList{"a  "};
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        QCOMPARE(CatalogueFile::parse(text), fields);
    }

    void roundTrip()
    {
        CatalogueFixture f;
        const std::vector<QString> names{"", "alt.日本語", "fj.binaries", "x y"};
        QString error;
        QVERIFY(CatalogueFile::save(f.catalogPath(), names, &error));
        QCOMPARE(f.catalogBytes(),
                 QByteArray("\r\n") + Cp932::encode(u"alt.日本語") + "\r\nfj.binaries\r\nx y\r\n");
        const CatalogueFile::LoadResult r = CatalogueFile::load(f.catalogPath());
        QCOMPARE(r.status, CatalogueFile::LoadResult::Loaded);
        QCOMPARE(r.names, (QStringList{"", "alt.日本語", "fj.binaries", "x y"}));
    }

    void pathIsDirectoryPlusName()
    {
        QCOMPARE(CatalogueFile::path("/srv/news"), QStringLiteral("/srv/news/newsgroups.dat"));
        QCOMPARE(CatalogueFile::path("/srv/news/"), QStringLiteral("/srv/news//newsgroups.dat"));
    }

    void firstUse()
    {
        CatalogueFixture f;
        CatalogueSession s;
        s.sinceValue = QStringLiteral("990101 000000");
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        QVERIFY(c.Form_Load());
        QCOMPARE(c.list1().count(), 0);
        QCOMPARE(s.sinceValue, QStringLiteral("450815 120000"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void loadsCommaAndQuotesAsEntries()
    {
        CatalogueFixture f;
        f.writeCatalog("z.z\r\na.a,b.b\r\n\"q.q\"\r\n");
        CatalogueSession s;
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        QVERIFY(c.Form_Load());
        QCOMPARE(c.list1().count(), 4);
        QCOMPARE(c.list1().at(0), QStringLiteral("a.a"));
        QCOMPARE(c.list1().at(1), QStringLiteral("b.b"));
        QCOMPARE(c.list1().at(2), QStringLiteral("q.q"));
        QCOMPARE(c.list1().at(3), QStringLiteral("z.z"));
    }

    // Anything but a missing file is told; the window opens with an empty
    // catalogue instead of ending the program.
    void unreadable_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("no save directory") << "nodir";
        QTest::newRow("a directory in its place") << "isdir";
        if (::geteuid() != 0)
            QTest::newRow("no permission") << "perm";
    }
    void unreadable()
    {
        QFETCH(QString, how);
        CatalogueFixture f;
        if (how == "nodir") {
            f.ctx->settings.saveDir = f.dir.filePath("missing");
        } else if (how == "isdir") {
            QVERIFY(QDir().mkdir(f.catalogPath()));
        } else {
            f.writeCatalog("a\r\n");
            QFile::setPermissions(f.catalogPath(), QFileDevice::WriteOwner);
        }
        CatalogueSession s;
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        QVERIFY(!c.Form_Load());
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY(f.prompter.shown.first().startsWith(QStringLiteral("ﾌｧｲﾙを読み込めません: ")));
        QCOMPARE(c.list1().count(), 0);
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
        QVERIFY(f.prompter.shown.first().startsWith(QStringLiteral("ﾌｧｲﾙに書き込めません: ")));
        QCOMPARE(f.catalogBytes(), QByteArray("old\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("200101 000000"));
        QCOMPARE(s.sinceValue, QStringLiteral("200101 000000"));
        // No temporary file is left behind.
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"KAPLO.ini", "newsgroups.dat"}));
    }

    // A folder in the file's place cannot be replaced.
    void writeFailureOverFolder()
    {
        CatalogueFixture f;
        QVERIFY(QDir().mkpath(f.catalogPath() + "/inside"));
        const std::vector<QString> names{"a"};
        QString error;
        QVERIFY(!CatalogueFile::save(f.catalogPath(), names, &error));
        QVERIFY(error.startsWith(QStringLiteral("ﾌｧｲﾙに書き込めません: ")));
        QVERIFY(QFileInfo(f.catalogPath() + "/inside").isDir());
    }

    void saveStoresTime()
    {
        CatalogueFixture f;
        CatalogueSession s;
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        c.now = [] { return QDateTime(QDate(2007, 3, 4), QTime(5, 6, 7)); };
        c.addName("b", false);
        c.addName("A", false);
        QVERIFY(c.SaveGroups());
        QCOMPARE(s.sinceValue, QStringLiteral("070304 050607"));
        QCOMPARE(f.storedTime(), QStringLiteral("070304 050607"));
        QCOMPARE(f.catalogBytes(), QByteArray("A\r\nb\r\n"));
    }

    // The settings file refusing TIME is told; the catalogue stands.
    void timeNotStored()
    {
        CatalogueFixture f;
        CatalogueSession s;
        CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
        f.store->failWritesForTesting(true);
        c.addName("a", false);
        QVERIFY(c.SaveGroups());
        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.catalogBytes(), QByteArray("a\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
    }

    void chooser()
    {
        CatalogueFixture f;
        f.writeCatalog("b\r\na\r\n");
        CatalogueSession s;
        {
            CatalogueChooser c(s, *f.store, f.ctx->settings, f.prompter);
            c.now = [] { return QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)); };
            c.Form_Load();
            QCOMPARE(c.cmdOK_Click(), std::nullopt);
            QCOMPARE(f.prompter.shown, QStringList{"ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません"});
            // OK moves the since-value, without storing it.
            QCOMPARE(s.sinceValue, QStringLiteral("300102 030405"));
            QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
            c.List1_Click(5);
            c.List1_Click(-1);
            QCOMPARE(s.chosenName, QString());
            c.addName("n", true);
            c.flush();
            c.List1_Click(1);
            QCOMPARE(s.chosenName, QStringLiteral("b"));
            c.List2_Click(0);
            QCOMPARE(s.chosenName, QStringLiteral("n"));
        }
        // Kept for the next opening.
        CatalogueChooser again(s, *f.store, f.ctx->settings, f.prompter);
        again.Form_Load();
        QCOMPARE(again.cmdOK_Click(), std::optional<QString>(QStringLiteral("n")));
    }
};

KAPLO_TEST(TestCatalogueFile)
#include "tst_cataloguefile.moc"
