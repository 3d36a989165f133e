// Throughput of the body line decoders: uuencoded, base64 and yEnc lines
// decoded and written to a file through the output file's writer, beside
// uudecode, base64 -d and python3-sabyenc (a C yEnc decoder) on the same
// data in the same run. MB/s of encoded input (1 MB = 1 000 000 bytes),
// best of several runs.
//
//   bench_decoders [MEGABYTES] [RUNS]
#include "decode/base64decoder.h"
#include "decode/decodedbytesink.h"
#include "decode/uudecoder.h"
#include "decode/yencdecoder.h"
#include "output/outputfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include <zlib.h>

namespace {

class FileSink final : public DecodedByteSink {
public:
    explicit FileSink(OutputFiles &out) : m_out(out) {}
    bool accepting() const override { return m_ok; }
    void write(const char *data, qsizetype size) override { m_ok = m_out.write(data, size); }
    // As the engine's parser: yEnc lines decoded into the writer's buffer.
    char *lend(qsizetype size) override
    {
        char *p = m_out.reserve(size);
        m_ok = p != nullptr;
        return p;
    }
    void written(qsizetype size) override { m_out.commit(size); }
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

// Decoded bytes kept in memory, as a decoder library hands them back: lent
// to the decoder (as the engine's output buffer is), or copied in when
// `lending` is off. With `crc`, the CRC32 of the bytes is taken by zlib in
// blocks of 64 KB, as the engine's output buffer takes it.
class MemorySink final : public DecodedByteSink {
public:
    MemorySink(QByteArray &out, bool lending, bool crc)
        : m_out(out), m_lending(lending), m_crcOn(crc)
    {
    }
    bool accepting() const override { return true; }
    void write(const char *data, qsizetype size) override
    {
        std::memcpy(m_out.data() + m_used, data, static_cast<size_t>(size));
        m_used += size;
        settle(false);
    }
    char *lend(qsizetype) override { return m_lending ? m_out.data() + m_used : nullptr; }
    void written(qsizetype size) override
    {
        m_used += size;
        settle(false);
    }
    void reject() override {}
    qsizetype used() const { return m_used; }
    quint32 crc()
    {
        settle(true);
        return m_crc;
    }

private:
    void settle(bool all)
    {
        if (m_crcOn && (all || m_used - m_crcFrom >= 65536)) {
            m_crc = static_cast<quint32>(
                ::crc32_z(m_crc, reinterpret_cast<const Bytef *>(m_out.constData() + m_crcFrom),
                          static_cast<size_t>(m_used - m_crcFrom)));
            m_crcFrom = m_used;
        }
    }
    QByteArray &m_out;
    bool m_lending;
    bool m_crcOn;
    qsizetype m_used = 0;
    qsizetype m_crcFrom = 0;
    quint32 m_crc = 0;
};

// The yEnc body's lines as the engine takes them: cut at LF, CR dropped,
// each handed to the decoder as the bytes that came.
template <typename Sink> void yencLines(const QByteArray &body, Sink &sink)
{
    const char *p = body.constData();
    const char *end = p + body.size();
    while (p < end) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *stop = lf ? lf : end;
        qsizetype n = stop - p;
        if (n > 0 && p[n - 1] == '\r')
            --n;
        YencDecoder::decodeLine(QByteArrayView(p, n), sink);
        p = lf ? lf + 1 : end;
    }
}

// python3-sabyenc timed in Debian's own python (where it loads): the whole
// article in 64 KB chunks, as a downloader hands it over; prints seconds.
const char kSabyenc[] = R"(
import sys, time, sabyenc3
art = open(sys.argv[1], 'rb').read()
runs = int(sys.argv[2])
chunks = [art[i:i + 65536] for i in range(0, len(art), 65536)]
best = bestCpu = 1e300
for _ in range(runs):
    t = time.perf_counter()
    c = time.thread_time()
    data, name, ok = sabyenc3.decode_usenet_chunks(chunks)
    bestCpu = min(bestCpu, time.thread_time() - c)
    best = min(best, time.perf_counter() - t)
open(sys.argv[3], 'wb').write(data)
print(best, bestCpu, sabyenc3.simd)
)";

// The yEnc article for the data by python3-yenc (128-character lines).
const char kYencode[] = R"(
import sys, yenc
data = open(sys.argv[1], 'rb').read()
e = yenc.Encoder(); e.feed(data); e.terminate()
out = open(sys.argv[2], 'wb')
out.write(b'=ybegin line=128 size=%d name=out.bin\r\n' % len(data))
out.write(e.getEncoded())
out.write(b'=yend size=%d crc32=%s\r\n' % (len(data), e.getCrc32().encode()))
)";

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

double threadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Best CPU time of this thread over `runs` calls, in seconds: on a machine
// shared with other work, wall time measures the others too.
double bestCpu(int runs, const std::function<bool()> &body)
{
    double t = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = threadSeconds();
        if (!body())
            return -1;
        t = qMin(t, threadSeconds() - start);
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

    // yEnc: python3-yenc and python3-sabyenc load in /usr/bin/python3 only.
    const QString python = QStringLiteral("/usr/bin/python3");
    const QString yencPath = dir.filePath(QStringLiteral("data.yenc"));
    if (!runTool(python, {QStringLiteral("-c"), QLatin1String(kYencode), src, yencPath}, {}, {})) {
        std::fprintf(stderr, "python3-yenc is needed for the yEnc rows\n");
        return 0;
    }
    const QByteArray yencText = readFile(yencPath);
    // The body: between the =ybegin line and the =yend line.
    const qsizetype bodyStart = yencText.indexOf('\n') + 1;
    const qsizetype bodyEnd = yencText.lastIndexOf("=yend");
    const QByteArray yencBody = yencText.mid(bodyStart, bodyEnd - bodyStart);
    std::printf("yEnc by python3-yenc: %lld bytes\n", static_cast<long long>(yencText.size()));

    QByteArray memory(data.size() + 64, '\0');
    qsizetype decoded = 0;
    const quint32 wantCrc = static_cast<quint32>(
        ::crc32_z(0, reinterpret_cast<const Bytef *>(data.constData()), size_t(data.size())));
    const auto linesToMemory = [&](const char *what, bool lending, bool crc) {
        quint32 got = 0;
        const auto run = [&] {
            MemorySink sink(memory, lending, crc);
            yencLines(yencBody, sink);
            decoded = sink.used();
            got = sink.crc();
            return true;
        };
        report(what, yencText.size(), best(runs, run));
        report("  the same, CPU time", yencText.size(), bestCpu(runs, run));
        if (decoded != data.size() || QByteArrayView(memory.constData(), decoded) != data ||
            (crc && got != wantCrc))
            std::fprintf(stderr, "%s: output differs from the source\n", what);
    };
    linesToMemory("yEnc lines -> copied -> memory", false, false);
    linesToMemory("yEnc lines -> lent memory", true, false);
    linesToMemory("yEnc lines -> lent memory, CRC32 (engine)", true, true);
    // The decoder alone on the whole body (CR and LF are no data, so it
    // comes out whole), as sabyenc3 takes it below.
    QByteArray whole(yencBody.size() + 32, '\0');
    const auto bodyToMemory = [&] {
        decoded = YencDecoder::decode(yencBody.constData(), yencBody.size(), whole.data());
        return true;
    };
    report("yEnc body -> YencDecoder::decode -> memory", yencText.size(), best(runs, bodyToMemory));
    report("  the same, CPU time", yencText.size(), bestCpu(runs, bodyToMemory));
    if (decoded != data.size() || QByteArrayView(whole.constData(), decoded) != data)
        std::fprintf(stderr, "yEnc body to memory: output differs from the source\n");
    t = best(runs, [&] {
        OutputFiles out;
        OutFileRequest r;
        r.saveDir = dir.path();
        QString name = QStringLiteral("out.bin");
        if (out.OpenOutFile(r, name).status != OpenResult::Status::Opened)
            return false;
        FileSink sink(out);
        yencLines(yencBody, sink);
        return out.CloseOutFile() && sink.accepting();
    });
    report("yEnc bytes -> lines -> file", yencText.size(), t);
    verify("yEnc");

    QProcess p;
    p.start(python, {QStringLiteral("-c"), QLatin1String(kSabyenc), yencPath, QString::number(runs),
                     outPath});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "python3-sabyenc is needed for its row\n");
        return 0;
    }
    const QList<QByteArray> said = p.readAllStandardOutput().trimmed().split(' ');
    const QByteArray simd = said.value(2);
    report(qPrintable(QStringLiteral("sabyenc3 chunks -> memory (%1)").arg(QLatin1String(simd))),
           yencText.size(), said.value(0).toDouble());
    report("  the same, CPU time", yencText.size(), said.value(1).toDouble());
    verify("sabyenc3");
    return 0;
}
