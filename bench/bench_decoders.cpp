// Throughput of the body line decoders: uuencoded and base64 lines decoded
// and written to a file through the output file's writer, beside uudecode
// and base64 -d on the same data in the same run. MB/s of encoded input
// (1 MB = 1 000 000 bytes), best of several runs.
//
//   bench_decoders [MEGABYTES] [RUNS]
#include "decode/base64decoder.h"
#include "decode/decodedbytesink.h"
#include "decode/uudecoder.h"
#include "output/outputfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

class FileSink final : public DecodedByteSink {
public:
    explicit FileSink(OutputFiles &out) : m_out(out) {}
    bool accepting() const override { return m_ok; }
    void write(const char *data, qsizetype size) override { m_ok = m_out.write(data, size); }
    void reject() override
    {
        std::fprintf(stderr, "a line was rejected\n");
        m_ok = false;
    }

private:
    OutputFiles &m_out;
    bool m_ok = true;
};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool runTool(const QString &program, const QStringList &args, const QString &in, const QString &out)
{
    QProcess p;
    if (!in.isEmpty())
        p.setStandardInputFile(in);
    if (!out.isEmpty())
        p.setStandardOutputFile(out);
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Best wall time of `runs` calls, in seconds.
double best(int runs, const std::function<bool()> &body)
{
    double t = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!body())
            return -1;
        t = qMin(t, timer.nsecsElapsed() / 1e9);
    }
    return t;
}

void report(const char *what, qint64 encodedBytes, double seconds)
{
    if (seconds < 0)
        std::printf("%-44s failed\n", what);
    else
        std::printf("%-44s %8.3f s %9.1f MB/s\n", what, seconds, encodedBytes / seconds / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? atoi(argv[1]) : 64;
    const int runs = argc > 2 ? atoi(argv[2]) : 3;

    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("data.bin"));
    QByteArray data(qsizetype(megabytes) * 1000 * 1000, Qt::Uninitialized);
    QRandomGenerator rng(42);
    rng.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    {
        QFile f(src);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            return 1;
    }
    const QString uuPath = dir.filePath(QStringLiteral("data.uu"));
    const QString b64Path = dir.filePath(QStringLiteral("data.b64"));
    if (!runTool(QStringLiteral("uuencode"), {src, QStringLiteral("out.bin")}, {}, uuPath) ||
        !runTool(QStringLiteral("base64"), {QStringLiteral("-w"), QStringLiteral("76"), src}, {},
                 b64Path)) {
        std::fprintf(stderr, "uuencode and base64 (sharutils, coreutils) are needed\n");
        return 1;
    }
    const QByteArray uuText = readFile(uuPath);
    const QByteArray b64Text = readFile(b64Path);

    // The lines as the engine hands them over: text without line ends.
    const auto splitLines = [](const QByteArray &text, bool uu) {
        QList<QByteArray> raw = text.split('\n');
        if (uu) { // without "begin ..." and "end"
            raw.removeFirst();
            while (!raw.isEmpty() && (raw.last().isEmpty() || raw.last() == "end"))
                raw.removeLast();
        } else if (!raw.isEmpty() && raw.last().isEmpty()) {
            raw.removeLast();
        }
        return raw;
    };
    const QList<QByteArray> uuRaw = splitLines(uuText, true);
    const QList<QByteArray> b64Raw = splitLines(b64Text, false);
    QStringList uuLines, b64Lines;
    for (const QByteArray &l : uuRaw)
        uuLines << QString::fromLatin1(l);
    for (const QByteArray &l : b64Raw)
        b64Lines << QString::fromLatin1(l);

    const QString outPath = dir.filePath(QStringLiteral("out.bin"));
    const auto decodeToFile = [&](auto decodeLine, const auto &lines, bool convert) {
        OutputFiles out;
        OutFileRequest r;
        r.saveDir = dir.path();
        QString name = QStringLiteral("out.bin");
        if (out.OpenOutFile(r, name).status != OpenResult::Status::Opened)
            return false;
        FileSink sink(out);
        for (const auto &l : lines) {
            if constexpr (std::is_same_v<std::decay_t<decltype(l)>, QByteArray>) {
                if (convert) {
                    const QString s = QString::fromLatin1(l);
                    decodeLine(QStringView(s), sink);
                } else {
                    decodeLine(QByteArrayView(l), sink);
                }
            } else {
                decodeLine(l, sink);
            }
        }
        return out.CloseOutFile() && sink.accepting();
    };
    const auto verify = [&](const char *what) {
        if (readFile(outPath) != data) {
            std::fprintf(stderr, "%s: output differs from the source\n", what);
            return false;
        }
        QFile::remove(outPath);
        return true;
    };

    const auto uu = [](auto line, DecodedByteSink &sink) { UuDecoder::decodeLine(line, sink); };
    const auto b64 = [](auto line, DecodedByteSink &sink) {
        Base64Decoder::decodeLine(line, sink);
    };

    std::printf("%d MB of random bytes; uuencoded %lld bytes, base64 %lld bytes; best of %d\n",
                megabytes, static_cast<long long>(uuText.size()),
                static_cast<long long>(b64Text.size()), runs);

    // Once for nothing: the first file written in a process pays for
    // memory the later ones reuse.
    decodeToFile(uu, uuLines, false);
    QFile::remove(outPath);
    double t = best(runs, [&] { return decodeToFile(uu, uuLines, false); });
    report("uu lines -> file (decoder + writer)", uuText.size(), t);
    verify("uu");
    t = best(runs, [&] { return decodeToFile(uu, uuRaw, false); });
    report("uu byte lines -> file", uuText.size(), t);
    verify("uu byte lines");
    t = best(runs, [&] { return decodeToFile(uu, uuRaw, true); });
    report("uu bytes -> text -> file", uuText.size(), t);
    verify("uu from bytes");
    t = best(runs, [&] {
        return runTool(QStringLiteral("uudecode"), {QStringLiteral("-o"), outPath, uuPath}, {}, {});
    });
    report("uudecode -o FILE", uuText.size(), t);
    verify("uudecode");

    t = best(runs, [&] { return decodeToFile(b64, b64Lines, false); });
    report("base64 lines -> file (decoder + writer)", b64Text.size(), t);
    verify("base64");
    t = best(runs, [&] { return decodeToFile(b64, b64Raw, false); });
    report("base64 byte lines -> file", b64Text.size(), t);
    verify("base64 byte lines");
    t = best(runs, [&] { return decodeToFile(b64, b64Raw, true); });
    report("base64 bytes -> text -> file", b64Text.size(), t);
    verify("base64 from bytes");
    t = best(runs, [&] {
        return runTool(QStringLiteral("base64"), {QStringLiteral("-d")}, b64Path, outPath);
    });
    report("base64 -d < IN > FILE", b64Text.size(), t);
    verify("base64 -d");
    return 0;
}
