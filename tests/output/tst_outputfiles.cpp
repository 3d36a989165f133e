// Opening, writing and closing output files (tests/data/output/files.txt) and
// buffering; writes that fail are cases of tests/data/engine/articles.txt.
#include "output/outputfiles.h"
#include "support/escapes.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <unistd.h>
#include <zlib.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestOutputFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_save = m_tmp.filePath(QStringLiteral("save"));

private slots:
    void init()
    {
        QDir(m_tmp.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_save));
    }

    void opens_data() { kaplotest::addDataRows(QStringLiteral("output/files.txt")); }
    void opens()
    {
        QFETCH(kaplotest::DataCase, c);
        QMap<QString, QString> request;
        for (const QString &s : c.text("request").split(u' ', Qt::SkipEmptyParts))
            request[s.section(u'=', 0, 0)] = kaplotest::unescape(s.section(u'=', 1));
        OutFileRequest r;
        r.rewrite = request.contains("rewrite");
        r.saveDir = request.value("saveDir") == u"empty"
                        ? QString()
                        : m_tmp.filePath(request.value("saveDir", "save"));
        for (auto [key, on, text] : {std::tuple{"group", &r.groupLevel, &r.groupName},
                                     {"date", &r.dateLevel, &r.runDate},
                                     {"poster", &r.posterLevel, &r.posterDir},
                                     {"subject", &r.subjectPrefix, &r.subject}}) {
            *on = request.contains(key);
            *text = request.value(key);
        }
        QStringList readOnly;
        QFile(m_tmp.filePath(QStringLiteral("outside.txt"))).open(QIODevice::WriteOnly);
        for (const QString &e : c.lines("existing")) {
            const QString path = m_save + u'/' + kaplotest::unescape(e.section(u' ', 0, 0));
            if (e.contains(QStringLiteral(" -> ")))
                QVERIFY(QFile::link(e.section(QStringLiteral(" -> "), 1), path));
            else if (e.contains(QStringLiteral(" | "))) {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(kaplotest::unescape(e.section(QStringLiteral(" | "), 1)).toUtf8());
            } else {
                QDir().mkpath(path);
                if (e.endsWith(QStringLiteral(" readOnly"))) {
                    readOnly << path;
                    QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
                }
            }
        }
        QStringList results;
        for (const QString &n : c.lines("open")) {
            QString name = n == u"@empty" ? QString() : kaplotest::unescape(n);
            OutputFiles out;
            const OpenResult res = out.OpenOutFile(r, name);
            const char *status[] = {"Opened", "AttachmentEnded", "PathTooLong", "Failed"};
            results << QLatin1String(status[int(res.status)]);
            if (res.status == OpenResult::Status::Opened) {
                QVERIFY(out.write("new", 3) && out.CloseOutFile());
                QVERIFY2(QFileInfo(res.fullPath).canonicalFilePath().startsWith(m_save + u'/'),
                         qPrintable(res.fullPath));
                results.last() += u' ' + res.fullPath.mid(m_save.size() + 1);
            } else {
                QVERIFY(!res.description.isEmpty() || res.status != OpenResult::Status::Failed);
            }
        }
        for (const QString &d : readOnly)
            QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!readOnly.isEmpty() && ::geteuid() == 0)
            QSKIP("root writes into any directory");
        QStringList want;
        for (const QString &l : c.lines("result"))
            want << kaplotest::unescape(l);
        QCOMPARE(results, want);
        const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        if (c.has("files")) {
            QStringList got;
            for (QDirIterator it(m_save, all, QDirIterator::Subdirectories); it.hasNext();) {
                const QString rel = QDir(m_save).relativeFilePath(it.next());
                const QString text = QString::fromUtf8(readAll(it.filePath()));
                got << (it.fileInfo().isDir() ? rel + u'/' : rel + QStringLiteral(" | ") + text);
            }
            got.sort();
            want.clear();
            for (const QString &l : c.lines("files"))
                want << kaplotest::unescape(l);
            want.sort();
            QCOMPARE(got, want);
        }
        QCOMPARE(readAll(m_tmp.filePath(QStringLiteral("outside.txt"))), QByteArray());
        QCOMPARE(QDir(m_tmp.path()).entryList(all), (QStringList{"outside.txt", "save"}));
    }

    void bufferedDataIsCompleteWhenClosed()
    {
        QByteArray data;
        for (int i = 0; i < 300000; ++i)
            data += char(i * 7);
        OutputFiles out;
        QString name = QStringLiteral("big.bin");
        OutFileRequest r;
        r.saveDir = m_save;
        const OpenResult res = out.OpenOutFile(r, name);
        QCOMPARE(res.status, OpenResult::Status::Opened);
        out.startCrc();
        // Small pieces, copied and lent by turns, then one larger than the
        // buffer; the CRC spans the buffer's flushes.
        for (qsizetype pos = 0; pos < 100000; pos += 57) {
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
};

KAPLO_TEST(TestOutputFiles)
#include "tst_outputfiles.moc"
