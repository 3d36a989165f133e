// yEnc attachments through the article parser: hostile keyword lines, parts
// in any order, the record of files in progress.
#include "engine/parserrig.h"
#include "output/yencparts.h"
#include "support/testregistry.h"
#include "support/yencencode.h"

#include <QtTest>

#include <zlib.h>

namespace {

QByteArray crcHex(const QByteArray &d)
{
    const uLong c = crc32(0L, reinterpret_cast<const Bytef *>(d.constData()), uInt(d.size()));
    return QByteArray::number(qulonglong(c), 16).rightJustified(8, '0');
}

// The lines of one part of `data` (1-based byte range), as an article body.
QByteArrayList part(const QByteArray &name, const QByteArray &data, int k, int total, qint64 begin,
                    qint64 end)
{
    const QByteArray chunk = data.mid(begin - 1, end - begin + 1);
    QByteArrayList l{
        "Subject: parts", "From: P <p@example.com>", "",
        "=ybegin part=" + QByteArray::number(k) + " total=" + QByteArray::number(total) +
            " line=128 size=" + QByteArray::number(data.size()) + " name=" + name,
        "=ypart begin=" + QByteArray::number(begin) + " end=" + QByteArray::number(end)};
    const QByteArray enc = yencEncode(chunk);
    for (qsizetype i = 0; i < enc.size();) {
        qsizetype n = std::min<qsizetype>(128, enc.size() - i);
        if (enc[i + n - 1] == '=')
            ++n; // an escape stays with its byte
        l << enc.mid(i, n);
        i += n;
    }
    QByteArray yend = "=yend size=" + QByteArray::number(chunk.size()) +
                      " part=" + QByteArray::number(k) + " pcrc32=" + crcHex(chunk);
    if (k == total)
        yend += " crc32=" + crcHex(data);
    l << yend << "<end>";
    return l;
}

const QByteArray kData = sampleBytes(3000, 7);

} // namespace

class TestYencParser : public QObject {
    Q_OBJECT

    // Lines as the engine hands them: bytes while a yEnc body is open,
    // text otherwise; "<end>" ends the article.
    static void feed(ParserRig &r, const QByteArrayList &lines)
    {
        for (const QByteArray &l : lines) {
            if (l == "<end>")
                r.endArticle();
            else if (!r.parser.rawArticleLine(l))
                r.parser.articleLine(Cp932::decode(l));
        }
    }

private slots:
    void hostile_data()
    {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QByteArray>("contents"); // of the first file
        QTest::addColumn<QString>("logged");

        const QByteArray d = "ABCDEFGH";
        const QByteArray enc = yencEncode(d);
        const QByteArray end = "=yend size=8 crc32=" + crcHex(d);
        QTest::newRow("path parts in the name")
            << QByteArrayList{"=ybegin line=128 size=8 name=../../up/evil.bin", enc, end, "<end>"}
            << QStringList{"evil.bin"} << d << QString();
        QTest::newRow("range beyond size")
            << QByteArrayList{"=ybegin part=1 total=2 size=8 name=a.bin", "=ypart begin=5 end=20",
                              enc, "<end>"}
            << QStringList{} << QByteArray() << "=ypartの範囲が正しくありません";
        QTest::newRow("negative begin")
            << QByteArrayList{"=ybegin part=1 total=2 size=8 name=a.bin", "=ypart begin=-5 end=3",
                              enc, "<end>"}
            << QStringList{} << QByteArray() << "=ypartの範囲が正しくありません";
        QTest::newRow("huge offset")
            << QByteArrayList{"=ybegin part=2 total=2 size=8 name=a.bin",
                              "=ypart begin=99999999999999999999 end=99999999999999999999", enc,
                              "<end>"}
            << QStringList{} << QByteArray() << "=ypartの範囲が正しくありません";
        QTest::newRow("terabyte size")
            << QByteArrayList{"=ybegin part=1 total=9 size=5000000000000 name=a.bin",
                              "=ypart begin=4999999999990 end=5000000000000", enc, "<end>"}
            << QStringList{} << QByteArray() << "size=が大きすぎます";
        QTest::newRow("more data than the part")
            << QByteArrayList{"=ybegin part=1 total=2 size=8 name=a.bin",
                              "=ypart begin=1 end=4",
                              yencEncode(d.left(2)),
                              yencEncode(d.mid(2)),
                              "=yend size=4 part=1",
                              "<end>"}
            << QStringList{"a.bin"} << d.left(4) << "size=を超えるﾃﾞｰﾀです";
        QTest::newRow("more data than the file")
            << QByteArrayList{"=ybegin line=128 size=5 name=a.bin", enc, end, "<end>"}
            << QStringList{"a.bin"} << d.left(5) << "size=を超えるﾃﾞｰﾀです";
        QTest::newRow("missing =yend")
            << QByteArrayList{"=ybegin line=128 size=8 name=a.bin", enc, "<end>"}
            << QStringList{"a.bin"} << d << "=yendがありません";
        QTest::newRow("missing =ypart")
            << QByteArrayList{"=ybegin part=1 total=2 size=8 name=a.bin", enc, "<end>"}
            << QStringList{} << QByteArray() << "=ypartがありません";
        QTest::newRow("no size") << QByteArrayList{"=ybegin line=128 name=a.bin", enc, end, "<end>"}
                                 << QStringList{} << QByteArray() << "size=が正しくありません";
        QTest::newRow("overlapping parts")
            << part("o.bin", d, 1, 2, 1, 6) + part("o.bin", d, 2, 2, 4, 8) << QStringList{"o.bin"}
            << d.left(6) << "受信済みの範囲と重なる部分です";
        QTest::newRow("damaged line: CRC mismatch, file kept")
            << QByteArrayList{"=ybegin line=128 size=8 name=a.bin", "l" + enc.mid(1), end, "<end>"}
            << QStringList{"a.bin"} << "B" + d.mid(1)
            << QStringLiteral("CRC不一致 (crc32=") + QString::fromLatin1(crcHex(d));
    }
    void hostile()
    {
        QFETCH(QByteArrayList, lines);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, contents);
        QFETCH(QString, logged);
        ParserRig r;
        r.openLog();
        feed(r, lines);
        r.parser.endOfRun();
        QStringList got = r.files();
        got.removeAll(YencParts::recordName());
        QCOMPARE(got, files);
        if (!files.isEmpty())
            QCOMPARE(r.bytes(files.first()), contents);
        const QString log = r.logText();
        if (!logged.isEmpty())
            QVERIFY2(log.contains(logged), qPrintable(log));
        else
            QVERIFY2(!log.contains(QStringLiteral("yEnc:")), qPrintable(log));
    }

    // Parts in any order and over several runs make one file, opened (and
    // numbered) once, counted once; every byte counts.
    void partsJoin_data()
    {
        QTest::addColumn<QList<int>>("order"); // part numbers; 0 ends a run
        QTest::newRow("in order") << QList<int>{1, 2, 3};
        QTest::newRow("reversed") << QList<int>{3, 2, 1};
        QTest::newRow("two runs") << QList<int>{2, 0, 3, 1};
        QTest::newRow("posted twice") << QList<int>{1, 1, 0, 3, 2, 3};
    }
    void partsJoin()
    {
        QFETCH(QList<int>, order);
        ParserRig r;
        r.openLog();
        // An older file of the same name: the first part numbers the file.
        QFile old(r.save + QStringLiteral("/j.bin"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        const qint64 bounds[] = {1, 1001, 2001, 3001};
        for (const int k : order) {
            if (k == 0) {
                r.parser.endOfRun();
                continue;
            }
            feed(r, part("j.bin", kData, k, 3, bounds[k - 1], bounds[k] - 1));
        }
        r.parser.endOfRun();
        QCOMPARE(r.bytes(QStringLiteral("j(2).bin")), kData);
        QCOMPARE(r.bytes(QStringLiteral("j.bin")), QByteArray());
        QCOMPARE(r.state.fileCount, 1);
        QCOMPARE(r.state.byteCount, kData.size());
        const QString log = r.logText();
        // Nothing is listed as incomplete after the file was completed.
        QVERIFY2(!log.mid(log.indexOf(QStringLiteral("完成 (CRC一致)"))).contains(u"未完成"),
                 qPrintable(log));
        QVERIFY2(
            log.contains(QStringLiteral("完成 (CRC一致) ") + r.save + QStringLiteral("/j(2).bin")),
            qPrintable(log));
        QVERIFY(!log.contains(QStringLiteral("CRC不一致")));
    }

    // A part missing: the file is listed at the end of the run; a lost or
    // corrupt record starts the file again, without a crash.
    void incompleteAndLostRecord()
    {
        ParserRig r;
        r.openLog();
        feed(r, part("m.bin", kData, 1, 3, 1, 1000));
        feed(r, part("m.bin", kData, 3, 3, 2001, 3000));
        r.parser.endOfRun();
        QVERIFY(r.logText().contains(QStringLiteral("未完成 ") + r.save +
                                     QStringLiteral("/m.bin (2000/3000ﾊﾞｲﾄ)")));
        // The record is garbage now: part 2 opens the file anew.
        QFile rec(r.save + QLatin1Char('/') + YencParts::recordName());
        QVERIFY(rec.open(QIODevice::WriteOnly | QIODevice::Truncate));
        rec.write("{\"files\": [{\"name\": 5");
        rec.close();
        r.openLog();
        r.state.groupRewrite = QStringLiteral("YES");
        feed(r, part("m.bin", kData, 2, 3, 1001, 2000));
        r.parser.endOfRun();
        QCOMPARE(r.bytes(QStringLiteral("m.bin")), QByteArray(1000, '\0') + kData.mid(1000, 1000));
        QCOMPARE(r.state.fileCount, 2);
        QVERIFY(r.logText().contains(QStringLiteral("途中のﾌｧｲﾙの記録を読めません")));
        // A record that names a file outside the save directory is not followed.
        QFile outside(r.dir.filePath(QStringLiteral("outside.bin")));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("keep");
        outside.close();
        YencParts parts;
        parts.load(r.save);
        YencParts::Key key{QStringLiteral("x.bin"), 3000, 3, QStringLiteral("P <p@example.com>"),
                           r.state.groupName};
        parts.add(key, outside.fileName(), QStringLiteral("971206"));
        QVERIFY(parts.save());
        r.openLog();
        feed(r, part("x.bin", kData, 2, 3, 1001, 2000));
        r.parser.endOfRun();
        QCOMPARE(r.bytes(QStringLiteral("../outside.bin")), QByteArray("keep"));
        QCOMPARE(r.bytes(QStringLiteral("x.bin")).mid(1000), kData.mid(1000, 1000));
        // The record is replaced whole: one opened before a save reads on
        // to the old record's end.
        const QByteArray before = r.bytes(YencParts::recordName());
        QFile reader(r.save + QLatin1Char('/') + YencParts::recordName());
        QVERIFY(reader.open(QIODevice::ReadOnly));
        parts.add(YencParts::Key{QStringLiteral("y.bin"), 9, 1, {}, {}},
                  r.save + QStringLiteral("/y.bin"), QStringLiteral("971207"));
        QVERIFY(parts.save());
        QCOMPARE(reader.readAll(), before);
        QVERIFY(r.bytes(YencParts::recordName()) != before);
    }
};

KAPLO_TEST(TestYencParser)
#include "tst_yencparser.moc"
