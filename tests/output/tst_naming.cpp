#include "decode/cp932.h"
#include "decode/iso2022.h"
#include "output/naming.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// Header text as it arrives: CP932 bytes (given in hex) decoded.
QString h(const char *hex)
{
    return Cp932::decode(QByteArray::fromHex(hex));
}

// FileNameCheck written as the plain recursion, to hold the loop to it.
QString recursiveFileNameCheck(const QString &text)
{
    QString name = Iso_2022(text);
    if (name.contains(u'?'))
        name = unknownFileName();
    if (name.startsWith(u'"'))
        name.remove(0, 1);
    if (name.endsWith(u'"'))
        name.chop(1);
    while (name.startsWith(u' '))
        name.remove(0, 1);
    while (name.endsWith(u' '))
        name.chop(1);
    qsizetype p = name.indexOf(u'/');
    if (p >= 0)
        name = recursiveFileNameCheck(name.mid(p + 1));
    p = name.indexOf(u'\\');
    if (p >= 0)
        name = recursiveFileNameCheck(name.mid(p + 1));
    return name;
}

// What every name that becomes one path level must satisfy.
QString levelFault(const QString &level)
{
    if (level.isEmpty() || level == u"." || level == u"..")
        return QStringLiteral("empty, . or ..");
    for (const QChar c : level) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("separator or control character");
    }
    if (level.toUtf8().size() > 255)
        return QStringLiteral("longer than 255 bytes");
    return QString();
}

QStringList hostileNames()
{
    QStringList names = {
        QString(),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral("..."),
        QStringLiteral("../../etc/passwd"),
        QStringLiteral("..\\..\\x"),
        QStringLiteral("/etc/passwd"),
        QStringLiteral("/"),
        QStringLiteral("\\"),
        QStringLiteral("a/../.."),
        QStringLiteral(".hidden"),
        QStringLiteral(" .. "),
        QString::fromUtf16(u"a\0b", 3),
        QString::fromUtf16(u"\0", 1),
        QStringLiteral("a\nb\r\x01\x1f\x7f"),
        QStringLiteral("\x1b$B$\"\x1b(B"),
        QString(QChar(0xD800)),                         // lone surrogate
        QString(300, QChar(u'a')),                      // over 255 bytes
        QString(300, QChar(u'あ')),                     // 900 bytes
        QString::fromUcs4(U"\U0001F600").repeated(100), // 400 bytes
        QString(254, QChar(u'a')) + QStringLiteral("あ"),
        QStringLiteral(".") + QString(300, QChar(u'.')),
        QString(253, QChar(u'x')) + QString(10, QChar(u'.')),
    };
    return names;
}

} // namespace

class TestNaming : public QObject {
    Q_OBJECT
private slots:
    void fileNameCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        // "photo.jpg" in double quotes.
        QTest::newRow("quotes") << h("2270686f746f2e6a706722") << QStringLiteral("photo.jpg");
        // Blanks around: "  photo.jpg  ".
        QTest::newRow("blanks") << h("202070686f746f2e6a70672020") << QStringLiteral("photo.jpg");
        // Quotes, then blanks inside them: "\" a.gif \"".
        QTest::newRow("blanks inside quotes") << h("2220612e6769662022") << QStringLiteral("a.gif");
        // dir/sub\file.gif.
        QTest::newRow("both separators")
            << h("6469722f7375625c66696c652e676966") << QStringLiteral("file.gif");
        // a/b\c: the text after the last separator, whichever comes last.
        QTest::newRow("slash then backslash") << h("612f625c63") << QStringLiteral("c");
        // a\b/c.
        QTest::newRow("backslash then slash") << h("615c622f63") << QStringLiteral("c");
        // dir/: ends in a separator.
        QTest::newRow("trailing slash") << h("6469722f") << QString();
        // a?b.jpg.
        QTest::newRow("question mark") << h("613f622e6a7067") << QStringLiteral("不明.tmp");
        // dir?/x.jpg: the "?" test comes before the path part is removed.
        QTest::newRow("question mark in the directory part")
            << h("6469723f2f782e6a7067") << QStringLiteral("不明.tmp");
        // =?Shift_JIS?B?gqA=?= : a word in another known charset.
        QTest::newRow("other charset")
            << h("3d3f53686966745f4a49533f423f6771413d3f3d") << QStringLiteral("あ");
        // =?X-NONE?B?gqA=?= : a charset no converter knows leaves its "?".
        QTest::newRow("unknown charset")
            << h("3d3f582d4e4f4e453f423f6771413d3f3d") << QStringLiteral("不明.tmp");
        // =?ISO-2022-JP?B?GyRCPEw/PxsoQi5qcGc=?= : 写真.jpg.
        QTest::newRow("encoded word")
            << h("3d3f49534f2d323032322d4a503f423f"         // =?ISO-2022-JP?B?
                 "477952435045772f5078736f516935716347633d" // GyRCPEw/PxsoQi5qcGc=
                 "3f3d")
            << QStringLiteral("写真.jpg");
        // The same word in double quotes.
        QTest::newRow("quoted encoded word")
            << h("22 3d3f49534f2d323032322d4a503f423f"
                 "477952435045772f5078736f516935716347633d 3f3d 22")
            << QStringLiteral("写真.jpg");
        // Raw JIS: ESC $ B <shashin> ESC ( B .jpg
        QTest::newRow("raw JIS") << h("1b2442 3c4c3f3f 1b2842 2e6a7067")
                                 << QStringLiteral("写真.jpg");
        // Shift_JIS already: 写真.jpg.
        QTest::newRow("shift_jis") << h("8eca905e2e6a7067") << QStringLiteral("写真.jpg");
        // =?ISO-2022-JP?B?eC95LmpwZw==?= decodes to x/y.jpg.
        QTest::newRow("separator inside an encoded word")
            << h("3d3f49534f2d323032322d4a503f423f654339354c6d70775a773d3d3f3d")
            << QStringLiteral("y.jpg");
        // x/y"" : each start strips one quote at each end.
        QTest::newRow("one quote per round") << h("782f792222") << QStringLiteral("y");
        // a/.. : may yield "..", guarded later by safeFileName.
        QTest::newRow("dot dot") << h("612f2e2e") << QStringLiteral("..");
        // An ideographic space is not a blank here.
        QTest::newRow("ideographic space stays")
            << h("8140612e6a70678140") << QStringLiteral("　a.jpg　");
        // a.jpg CR LF TAB: control characters vanish.
        QTest::newRow("control characters") << h("612e6a70670d0a09") << QStringLiteral("a.jpg");
        QTest::newRow("empty") << QString() << QString();
    }
    void fileNameCheck()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        const QString before = text;
        QCOMPARE(FileNameCheck(text), name);
        QCOMPARE(recursiveFileNameCheck(text), name);
        QCOMPARE(text, before);
    }

    // The loop gives what the recursion gives, on text built from the
    // pieces that matter.
    void fileNameCheckMatchesTheRecursion()
    {
        const QStringList pieces = {
            QStringLiteral("/"),
            QStringLiteral("\\"),
            QStringLiteral("\""),
            QStringLiteral(" "),
            QStringLiteral("a"),
            QStringLiteral("."),
            QStringLiteral("?"),
            QStringLiteral("\x1b"),
            QStringLiteral("\x03"),
            QStringLiteral("$B"),
            QStringLiteral("(B"),
            QStringLiteral("0!"),
            QStringLiteral("\t"),
            QStringLiteral("あ"),
            QStringLiteral("=?"),
            QStringLiteral("=?ISO-2022-JP?B?eC95LmpwZw==?="), // x/y.jpg
            QStringLiteral("=?iso-2022-jp?q?=2F=22_=5C?="),   // /"_\ .
            QStringLiteral("=?ISO-2022-JP?B?IiAi?="),         // " "
            QStringLiteral("?="),
        };
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 30000; ++i) {
            QString text;
            const int n = rng.bounded(12);
            for (int k = 0; k < n; ++k)
                text += pieces[rng.bounded(pieces.size())];
            QCOMPARE(FileNameCheck(text), recursiveFileNameCheck(text));
        }
    }

    // A hostile name with a million separators: a recursion this deep, or
    // a decode per separator, would not come back.
    void manySeparatorsAreCheap_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("slashes") << QString(1000000, QChar(u'/')) + QStringLiteral("a")
                                 << QStringLiteral("a");
        QTest::newRow("backslashes") << QString(1000000, QChar(u'\\')) << QString();
        QTest::newRow("quote slash")
            << QStringLiteral("\"/").repeated(500000) + QStringLiteral("b\"")
            << QStringLiteral("b");
        QTest::newRow("blank backslash")
            << QStringLiteral(" \\ ").repeated(300000) + QStringLiteral("c") << QStringLiteral("c");
    }
    void manySeparatorsAreCheap()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(FileNameCheck(text), name);
    }

    void dirNameCheck_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("leading full stop") << QStringLiteral(".hidden") << false;
        QTest::newRow("plain word") << QStringLiteral("poster") << true;
        QTest::newRow("japanese") << QStringLiteral("投稿者") << true;
        QTest::newRow("inner full stop") << QStringLiteral("a.b") << true;
        QTest::newRow("full-width colon") << QStringLiteral("a：b") << true;
        QTest::newRow("leading blank") << QStringLiteral(" a") << true;
        const QString forbidden = QStringLiteral("\\/:,;*?\"<>|");
        for (const QChar c : forbidden)
            QTest::addRow("contains %c", char(c.unicode()))
                << (QStringLiteral("a") + QString(c) + QStringLiteral("b")) << false;
    }
    void dirNameCheck()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(DirNameCheck(name), usable);
    }

    void fileNameChange_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("changed");
        QTest::newRow("slash and colon") << QStringLiteral("a/b:c") << QStringLiteral("a／b：c");
        QTest::newRow("backslash is the yen sign")
            << QStringLiteral("x\\y") << QStringLiteral("x￥y");
        QTest::newRow("all eleven")
            << QStringLiteral("/:,;*?\"<>|\\") << QStringLiteral("／：，；＊？＂＜＞｜￥");
        QTest::newRow("every occurrence")
            << QStringLiteral("a::b//c\\\\") << QStringLiteral("a：：b／／c￥￥");
        QTest::newRow("leading dot stays") << QStringLiteral("..") << QStringLiteral("..");
        QTest::newRow("empty stays") << QString() << QString();
        QString hundred;
        for (int i = 0; i < 100; ++i)
            hundred += QChar(u'A' + i % 26);
        QTest::newRow("100 characters keep the last 75") << hundred << hundred.right(75);
        QTest::newRow("75 characters stay") << hundred.right(75) << hundred.right(75);
        // 80 characters outside the BMP are 160 UTF-16 units: 75 remain.
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        QTest::newRow("surrogate pairs count once") << emoji.repeated(80) << emoji.repeated(75);
        QTest::newRow("no pair is split") << (emoji.repeated(75) + QStringLiteral("a"))
                                          << (emoji.repeated(74) + QStringLiteral("a"));
    }
    void fileNameChange()
    {
        QFETCH(QString, name);
        QFETCH(QString, changed);
        QCOMPARE(FileNameChange(name), changed);
    }

    void safeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dirLevel");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << QStringLiteral("photo.jpg") << QStringLiteral("photo.jpg")
                               << QStringLiteral("photo.jpg");
        QTest::newRow("empty") << QString() << QStringLiteral("_") << QStringLiteral("不明.tmp");
        QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("．")
                             << QStringLiteral("不明.tmp");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("．．")
                                 << QStringLiteral("不明.tmp");
        QTest::newRow("hidden") << QStringLiteral(".x.y") << QStringLiteral("．x.y")
                                << QStringLiteral(".x.y");
        QTest::newRow("separators")
            << QStringLiteral("a/b\\c") << QStringLiteral("a／b￥c") << QStringLiteral("不明.tmp");
        QTest::newRow("controls") << QStringLiteral("a\tb\x7f") << QStringLiteral("a_b_")
                                  << QStringLiteral("不明.tmp");
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3) << QStringLiteral("a_b")
                             << QStringLiteral("不明.tmp");
        // Text UTF-8 file names cannot hold is a bad name; a pair is fine.
        QTest::newRow("lone surrogate")
            << (QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b.jpg"))
            << QStringLiteral("a_b.jpg") << QStringLiteral("不明.tmp");
        QTest::newRow("surrogate pair")
            << QString::fromUcs4(U"\U0001F600.jpg") << QString::fromUcs4(U"\U0001F600.jpg")
            << QString::fromUcs4(U"\U0001F600.jpg");
        QTest::newRow("long ASCII keeps the last 255")
            << (QStringLiteral("x").repeated(10) + QString(255, QChar(u'a')))
            << QString(255, QChar(u'a')) << QString(255, QChar(u'a'));
        QTest::newRow("long Japanese keeps the last 85 characters")
            << QString(300, QChar(u'あ')) << QString(85, QChar(u'あ')) << QString(85, QChar(u'あ'));
        // Cutting brings dots to the front: a level must not start with one.
        QTest::newRow("cut exposes dots")
            << (QStringLiteral("ab") + QString(254, QChar(u'.')) + QStringLiteral("z"))
            << (QString(85, QChar(0xFF0E)) + QStringLiteral("z")).right(85)
            << QString(254, QChar(u'.')) + QStringLiteral("z");
    }
    void safeNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, dirLevel);
        QFETCH(QString, fileName);
        QCOMPARE(safeDirLevel(name), dirLevel);
        QCOMPARE(safeFileName(name), fileName);
    }

    // Whatever an article holds, the directory level and the file name
    // made from it name a file inside the save directory.
    void hostileNamesStayInside()
    {
        QStringList names = hostileNames();
        for (const QString &n : hostileNames())
            names << FileNameCheck(n) << (QStringLiteral("a/") + n);
        for (const QString &n : names) {
            const QStringList dirs = {safeDirLevel(n), safeDirLevel(FileNameChange(n))};
            const QStringList files = {safeFileName(n), safeFileName(FileNameChange(n))};
            for (const QString &d : dirs) {
                QVERIFY2(levelFault(d).isEmpty(),
                         qPrintable(levelFault(d) + QStringLiteral(": ") + d));
                QVERIFY(!d.startsWith(u'.'));
            }
            for (const QString &f : files)
                QVERIFY2(levelFault(f).isEmpty(),
                         qPrintable(levelFault(f) + QStringLiteral(": ") + f));
            // Really on the disk: one level holding one file, inside the root.
            QTemporaryDir tmp;
            QVERIFY(tmp.isValid());
            const QString root = QFileInfo(tmp.path()).canonicalFilePath();
            const QString dirPath = root + u'/' + dirs[1];
            QVERIFY2(QDir().mkdir(dirPath), qPrintable(dirPath));
            QFile file(dirPath + u'/' + files[1]);
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
            file.close();
            const QFileInfo made(QFileInfo(file).canonicalFilePath());
            QVERIFY(made.isFile());
            QCOMPARE(made.dir().canonicalPath(), QFileInfo(dirPath).canonicalFilePath());
            QCOMPARE(QFileInfo(made.dir().path()).dir().canonicalPath(), root);
            const QDir::Filters all =
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
            QCOMPARE(QDir(root).entryList(all).size(), 1);
            QCOMPARE(QDir(dirPath).entryList(all).size(), 1);
        }
    }

    void keepsUtf8Tails_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("tail");
        QTest::newRow("fits") << QStringLiteral("abc") << 3 << QStringLiteral("abc");
        QTest::newRow("cut") << QStringLiteral("abc") << 2 << QStringLiteral("bc");
        QTest::newRow("never half a character") << QStringLiteral("aあ") << 2 << QString();
        QTest::newRow("two-byte character") << QStringLiteral("éé") << 3 << QStringLiteral("é");
        QTest::newRow("never half a pair")
            << QString::fromUcs4(U"\U0001F600\U0001F600") << 7 << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("zero") << QStringLiteral("a") << 0 << QString();
    }
    void keepsUtf8Tails()
    {
        QFETCH(QString, name);
        QFETCH(int, maxBytes);
        QFETCH(QString, tail);
        QCOMPARE(keepLastUtf8Bytes(name, maxBytes), tail);
    }

    void saveDirCheck()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString plain = root.filePath(QStringLiteral("save"));
        QVERIFY(QDir().mkdir(plain));
        QCOMPARE(SaveDirCheck(plain), false);
        QCOMPARE(SaveDirCheck(plain + u'/'), false);
        QCOMPARE(SaveDirCheck(plain + QStringLiteral("/.")), false);
        QCOMPARE(SaveDirCheck(QStringLiteral("/")), access("/", W_OK) != 0);

        QCOMPARE(SaveDirCheck(QString()), true);
        QCOMPARE(SaveDirCheck(root.filePath(QStringLiteral("missing"))), true);
        QCOMPARE(SaveDirCheck(QStringLiteral("C:\\")), true);
        QFile file(root.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(SaveDirCheck(file.fileName()), true);
        const QString hidden = root.filePath(QStringLiteral(".hidden"));
        QVERIFY(QDir().mkdir(hidden));
        QCOMPARE(SaveDirCheck(hidden), true);
        QCOMPARE(SaveDirCheck(plain + QStringLiteral("/../.hidden")), true);

        const QString readOnly = root.filePath(QStringLiteral("readonly"));
        QVERIFY(QDir().mkdir(readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        if (geteuid() == 0)
            QWARN("running as root: every folder is writable, the read-only case is not checked");
        else
            QCOMPARE(SaveDirCheck(readOnly), true);
        QVERIFY(QFile::setPermissions(readOnly,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // Inputs the fuzzer once found troublesome, replayed with the same
    // checks (tests/data/fuzz, one file per input).
    void fuzzRegressions()
    {
        QDir dir(QStringLiteral(KAPLO_TEST_DATA "/fuzz"));
        const QStringList inputs = dir.entryList(QDir::Files);
        QVERIFY(!inputs.isEmpty());
        for (const QString &f : inputs) {
            QFile in(dir.filePath(f));
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QString text = Cp932::decode(in.readAll());
            const QString name = FileNameCheck(text);
            QVERIFY(!name.contains(u'/') && !name.contains(u'\\'));
            QCOMPARE(name, recursiveFileNameCheck(text));
            QVERIFY(Iso_2022(text).size() <= text.size());
            QVERIFY(levelFault(safeFileName(FileNameChange(name))).isEmpty());
            QVERIFY(levelFault(safeDirLevel(FileNameChange(Iso_2022(text)))).isEmpty());
        }
    }
};

KAPLO_TEST(TestNaming)
#include "tst_naming.moc"
