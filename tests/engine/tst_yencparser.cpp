// yEnc attachments through the article parser: hostile keyword lines, parts
// in any order and over several runs, the record of files in progress. The
// cases are in tests/data/engine/yenc.txt.
#include "engine/parserrig.h"
#include "output/yencparts.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QTest>

class TestYencParser : public QObject {
    Q_OBJECT
private slots:
    void fixtures_data() { kaplotest::addDataRows(QStringLiteral("engine/yenc.txt")); }
    void fixtures()
    {
        QFETCH(kaplotest::DataCase, c);
        runFixture(c);
    }

    // The record is replaced whole: one opened before a save reads on to
    // the old record's end.
    void recordReplacedWhole()
    {
        ParserRig r;
        YencParts parts;
        parts.load(r.save);
        for (const char *name : {"x.bin", "y.bin"}) {
            const QByteArray before = r.bytes(YencParts::recordName());
            QFile reader(r.save + u'/' + YencParts::recordName());
            const bool opened = reader.open(QIODevice::ReadOnly);
            parts.add(YencParts::Key{QLatin1String(name), 9, 1, {}, {}},
                      r.save + u'/' + QLatin1String(name), QStringLiteral("971206"));
            QVERIFY(parts.save());
            if (opened)
                QCOMPARE(reader.readAll(), before);
            QVERIFY(r.bytes(YencParts::recordName()) != before);
        }
    }
};

KAPLO_TEST(TestYencParser)
#include "tst_yencparser.moc"
