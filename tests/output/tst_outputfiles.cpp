#include "output/naming.h"
#include "output/outputfiles.h"
#include "support/testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Every file and directory under root, relative to it.
QStringList tree(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

class TestOutputFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_save;

    OutFileRequest request() const
    {
        OutFileRequest r;
        r.saveDir = m_save;
        return r;
    }
    // Opens, writes data and closes; the full path, or the failure.
    OpenResult put(const OutFileRequest &r, QString name, const QByteArray &data = "x")
    {
        OutputFiles out;
        OpenResult res = out.OpenOutFile(r, name);
        if (res.status == OpenResult::Status::Opened) {
            out.write(data.constData(), data.size());
            out.CloseOutFile();
        }
        return res;
    }

private slots:
    void init()
    {
        m_save = m_tmp.path() + QStringLiteral("/save");
        QDir(m_save).removeRecursively();
        QVERIFY(QDir().mkpath(m_save));
    }

    void numberedName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("next");
        QTest::newRow("plain") << "photo.jpg"
                               << "photo(2).jpg";
        QTest::newRow("numbered") << "photo(2).jpg"
                                  << "photo(3).jpg";
        QTest::newRow("not numeric inside") << "a(b)(3).gif"
                                            << "a(b)(3)(2).gif";
        QTest::newRow("first dot splits") << "a.b.c"
                                          << "a(2).b.c";
        QTest::newRow("no extension") << "x"
                                      << "x(2)";
        QTest::newRow("only a number") << "(5)"
                                       << "(6)";
        QTest::newRow("blanks around the number") << "p( 7 ).x"
                                                  << "p(8).x";
        QTest::newRow("negative") << "p(-3).x"
                                  << "p(-2).x";
        QTest::newRow("empty parentheses") << "p().x"
                                           << "p()(2).x";
        QTest::newRow("subject prefix") << "(Hello)a.jpg"
                                        << "(Hello)a(2).jpg";
        QTest::newRow("last number") << "p(32766).jpg"
                                     << "p(32767).jpg";
        QTest::newRow("beyond 16 bits") << "p(32767).jpg" << QString();
        QTest::newRow("far beyond") << "p(99999999999).jpg" << QString();
    }
    void numberedName()
    {
        QFETCH(QString, name);
        QFETCH(QString, next);
        QCOMPARE(OutputFiles::numberedName(name), next);
    }

    void treeOfLevels()
    {
        OutFileRequest r = request();
        r.groupLevel = r.dateLevel = r.posterLevel = true;
        r.groupName = QStringLiteral("alt.binaries.test");
        r.runDate = QStringLiteral("971206");
        r.posterDir = QStringLiteral("Nick");
        const OpenResult res = put(r, QStringLiteral("a.jpg"), "data");
        QCOMPARE(res.status, OpenResult::Status::Opened);
        QCOMPARE(res.fullPath, m_save + QStringLiteral("/alt.binaries.test/971206/Nick/a.jpg"));
        QCOMPARE(readAll(res.fullPath), QByteArray("data"));
        // The levels now exist and are used again as they are.
        QCOMPARE(put(r, QStringLiteral("b.jpg")).fullPath,
                 m_save + QStringLiteral("/alt.binaries.test/971206/Nick/b.jpg"));
    }

    void fileWhereTheGroupLevelShouldBe()
    {
        writeFile(m_save + QStringLiteral("/grp"), "plain file");
        OutFileRequest r = request();
        r.groupLevel = true;
        r.groupName = QStringLiteral("grp");
        const OpenResult res = put(r, QStringLiteral("a.jpg"));
        QCOMPARE(res.fullPath, m_save + QStringLiteral("/grp(2)/a.jpg"));
        QCOMPARE(readAll(m_save + QStringLiteral("/grp")), QByteArray("plain file"));
        QCOMPARE(put(r, QStringLiteral("b.jpg")).fullPath,
                 m_save + QStringLiteral("/grp(2)/b.jpg"));
    }

    void unwritableDirectoryIsNotUsed()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into any directory");
        QVERIFY(QDir(m_save).mkdir(QStringLiteral("grp")));
        QFile::setPermissions(m_save + QStringLiteral("/grp"), QFile::ReadOwner | QFile::ExeOwner);
        OutFileRequest r = request();
        r.groupLevel = true;
        r.groupName = QStringLiteral("grp");
        QCOMPARE(put(r, QStringLiteral("a.jpg")).fullPath,
                 m_save + QStringLiteral("/grp(2)/a.jpg"));
        QFile::setPermissions(m_save + QStringLiteral("/grp"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void subjectPrefix()
    {
        OutFileRequest r = request();
        r.subjectPrefix = true;
        r.subject = QStringLiteral("Hello");
        QCOMPARE(put(r, QStringLiteral("a.jpg")).fullPath,
                 m_save + QStringLiteral("/(Hello)a.jpg"));
        r.subject = QString(200, QLatin1Char('s'));
        const QString name = QFileInfo(put(r, QStringLiteral("a.jpg")).fullPath).fileName();
        QCOMPARE(name, QString(69, QLatin1Char('s')) + QStringLiteral(")a.jpg"));
        QCOMPARE(name.size(), 75);
    }

    void numberingLeavesTheOthersAlone()
    {
        for (const char *n : {"photo.jpg", "photo(2).jpg", "photo(3).jpg"})
            writeFile(m_save + QLatin1Char('/') + QLatin1String(n), n);
        OutFileRequest r = request();
        r.rewrite = false;
        QCOMPARE(put(r, QStringLiteral("photo.jpg"), "new").fullPath,
                 m_save + QStringLiteral("/photo(4).jpg"));
        for (const char *n : {"photo.jpg", "photo(2).jpg", "photo(3).jpg"})
            QCOMPARE(readAll(m_save + QLatin1Char('/') + QLatin1String(n)), QByteArray(n));
        QCOMPARE(readAll(m_save + QStringLiteral("/photo(4).jpg")), QByteArray("new"));
    }

    void overwriteLeavesExactlyTheNewContent()
    {
        writeFile(m_save + QStringLiteral("/photo.jpg"), QByteArray(100000, 'o'));
        const OpenResult res = put(request(), QStringLiteral("photo.jpg"), "new");
        QCOMPARE(res.fullPath, m_save + QStringLiteral("/photo.jpg"));
        QCOMPARE(readAll(res.fullPath), QByteArray("new"));
    }

    void overwriteOfALinkRemovesTheLinkOnly()
    {
        const QString outside = m_tmp.path() + QStringLiteral("/outside.txt");
        writeFile(outside, "keep");
        QVERIFY(QFile::link(outside, m_save + QStringLiteral("/a.jpg")));
        const OpenResult res = put(request(), QStringLiteral("a.jpg"), "new");
        QCOMPARE(res.status, OpenResult::Status::Opened);
        QCOMPARE(readAll(outside), QByteArray("keep"));
        QVERIFY(!QFileInfo(res.fullPath).isSymLink());
        QFile::remove(outside);
    }

    void noFreeNumberEndsTheAttachmentOnly()
    {
        writeFile(m_save + QStringLiteral("/p(32767).jpg"), "old");
        OutFileRequest r = request();
        r.rewrite = false;
        const OpenResult res = put(r, QStringLiteral("p(32767).jpg"));
        QCOMPARE(res.status, OpenResult::Status::AttachmentEnded);
        QCOMPARE(tree(m_save), QStringList{QStringLiteral("p(32767).jpg")});
    }

    void refusedNameBecomesUnknown()
    {
        // The numbered name no longer fits the 255-byte limit of one name.
        const QString longName = QString(251, QLatin1Char('n')) + QStringLiteral(".jpg");
        writeFile(m_save + QLatin1Char('/') + longName, "old");
        FsFailure f;
        QCOMPARE(OutputFiles::OutFileCheck(m_save, longName, false, &f), unknownFileName());
        writeFile(m_save + QLatin1Char('/') + unknownFileName(), "old");
        QCOMPARE(OutputFiles::OutFileCheck(m_save, longName, false, &f),
                 QStringLiteral("不明(2).tmp"));
    }

    void missingSaveDirectory()
    {
        OutFileRequest r = request();
        r.saveDir = m_tmp.path() + QStringLiteral("/missing");
        QCOMPARE(put(r, QStringLiteral("a.jpg")).status, OpenResult::Status::PathTooLong);
        r.groupLevel = true;
        r.groupName = QStringLiteral("grp");
        QCOMPARE(put(r, QStringLiteral("a.jpg")).status, OpenResult::Status::PathTooLong);
        r.saveDir.clear();
        QCOMPARE(put(r, QStringLiteral("a.jpg")).status, OpenResult::Status::PathTooLong);
        QVERIFY(!QFileInfo::exists(m_tmp.path() + QStringLiteral("/missing")));
    }

    void otherFailureIsFatal()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into any directory");
        QFile::setPermissions(m_save, QFile::ReadOwner | QFile::ExeOwner);
        const OpenResult res = put(request(), QStringLiteral("a.jpg"));
        QFile::setPermissions(m_save, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(res.status, OpenResult::Status::Failed);
        QVERIFY(!res.description.isEmpty());
    }

    void hostileNamesStayInside_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("poster");
        QTest::addColumn<QString>("file");
        QTest::newRow("dot dot") << ".."
                                 << ".."
                                 << "..";
        QTest::newRow("parents") << "../x"
                                 << "../../y"
                                 << "../../z";
        QTest::newRow("absolute") << "/tmp/a"
                                  << "/etc"
                                  << "/etc/passwd";
        QTest::newRow("dot") << "."
                             << "."
                             << ".";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("NUL and controls")
            << QString::fromUtf16(u"a\0b", 3) << QStringLiteral("\n..")
            << QString::fromUtf16(u"x\0/../y", 7);
        QTest::newRow("backslashes") << "..\\.."
                                     << "\\"
                                     << "..\\..\\w";
    }
    void hostileNamesStayInside()
    {
        QFETCH(QString, group);
        QFETCH(QString, poster);
        QFETCH(QString, file);
        OutFileRequest r = request();
        r.groupLevel = r.dateLevel = r.posterLevel = true;
        r.groupName = group;
        r.runDate = QStringLiteral("..");
        r.posterDir = poster;
        r.subject = file;
        for (bool prefix : {false, true}) {
            r.subjectPrefix = prefix;
            const OpenResult res = put(r, file);
            QCOMPARE(res.status, OpenResult::Status::Opened);
            QVERIFY2(QFileInfo(res.fullPath)
                         .canonicalFilePath()
                         .startsWith(QDir(m_save).canonicalPath() + QLatin1Char('/')),
                     qPrintable(res.fullPath));
        }
        // Nothing beside the save directory.
        QCOMPARE(
            QDir(m_tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{QStringLiteral("save")});
    }

    void bufferedDataIsCompleteWhenClosed()
    {
        QByteArray data;
        for (int i = 0; i < 300000; ++i)
            data += char(i * 7);
        OutputFiles out;
        QString name = QStringLiteral("big.bin");
        const OpenResult res = out.OpenOutFile(request(), name);
        QCOMPARE(res.status, OpenResult::Status::Opened);
        out.startCrc();
        // Small pieces, copied and lent by turns, then one larger than the
        // buffer; the CRC spans the buffer's flushes.
        qsizetype pos = 0;
        for (; pos < 100000; pos += 57) {
            const qsizetype n = qMin<qsizetype>(57, 100000 - pos);
            char *room = pos % 2 ? nullptr : out.reserve(n + 32);
            if (room) {
                std::memcpy(room, data.constData() + pos, size_t(n));
                out.commit(n);
            } else {
                QVERIFY(pos % 2 && out.write(data.constData() + pos, n));
            }
        }
        QVERIFY(out.write(data.constData() + 100000, data.size() - 100000));
        QCOMPARE(out.crc(), quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()),
                                          uInt(data.size()))));
        QVERIFY(out.CloseOutFile());
        QVERIFY(out.CloseOutFile()); // twice is harmless
        QCOMPARE(readAll(res.fullPath), data);
    }

    void fileRemovedWhileWrittenIsReported()
    {
        OutputFiles out;
        QString name = QStringLiteral("gone.bin");
        const OpenResult res = out.OpenOutFile(request(), name);
        QVERIFY(out.write("abc", 3));
        QVERIFY(QFile::remove(res.fullPath));
        QVERIFY(!out.CloseOutFile());
        QVERIFY(!out.errorString().isEmpty());
    }

    void fullDiskIsReported()
    {
        // A file size limit makes writes fail as a full disk does.
        struct rlimit old;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 100000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        OutputFiles out;
        QString name = QStringLiteral("full.bin");
        const OpenResult res = out.OpenOutFile(request(), name);
        const QByteArray chunk(57, 'z');
        bool ok = true;
        for (int i = 0; i < 4000 && ok; ++i)
            ok = out.write(chunk.constData(), chunk.size());
        const bool closed = out.CloseOutFile();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!(ok && closed));
        QVERIFY(!out.errorString().isEmpty());
        QVERIFY(!out.isOpen());
        QVERIFY(QFileInfo(res.fullPath).size() > 0); // the partial file stays
    }
};

KAPLO_TEST(TestOutputFiles)
#include "tst_outputfiles.moc"
