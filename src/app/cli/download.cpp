// kaplo-cli download: one download run with the stored settings and groups,
// without a window. SIGINT and SIGTERM stop the run as the stop button does.
#include "app/cli/clicommand.h"
#include "app/cli/cliprompter.h"
#include "app/startup.h"
#include "core/appcontext.h"
#include "engine/articleparser.h"
#include "engine/downloadengine.h"
#include "engine/tcpnntpsocket.h"
#include "output/naming.h"
#include "settings/settingsstore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kUsage[] = "usage: kaplo-cli download [--settings FILE] [--trace]\n"
                      "One download run over every group of the list, with the stored\n"
                      "settings. --trace also writes the trace log (YYMMDDF.LOG).\n"
                      "Exit status: 0 the run passed the last group or stopped at a limit,\n"
                      "1 a connection or server error (or a group whose article the server\n"
                      "refused), or another run on the same settings file, 2 a local error\n"
                      "(a file that cannot be written), 130 interrupted.\n";

int usageError(const QString &why)
{
    QTextStream(stderr) << "kaplo-cli download: " << why << '\n' << kUsage;
    return 2;
}

// The signal handler only writes a byte; the event loop does the rest.
int g_signalFd = -1;

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalFd, &b, 1);
    errno = saved;
}

class SignalPipe final {
public:
    SignalPipe()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0)
            return;
        g_signalFd = m_fds[0];
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &m_oldInt);
        ::sigaction(SIGTERM, &sa, &m_oldTerm);
        m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
    }
    ~SignalPipe()
    {
        if (m_fds[0] < 0)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        m_notifier.reset();
        g_signalFd = -1;
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    QSocketNotifier *notifier() const { return m_notifier.get(); }
    void drain()
    {
        char buf[16];
        [[maybe_unused]] const ssize_t n = ::read(m_fds[1], buf, sizeof buf);
    }

private:
    int m_fds[2] = {-1, -1};
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// Passes article lines on and tells when an output file was opened.
class WatchingHandler final : public ArticleLineHandler {
public:
    WatchingHandler(ArticleParser &parser, RunState &state, std::function<void()> onNewFile)
        : m_parser(parser), m_state(state), m_onNewFile(std::move(onNewFile))
    {
    }
    void articleLine(QStringView line) override
    {
        m_parser.articleLine(line);
        seen();
    }
    void overlongLine(QStringView head) override { m_parser.overlongLine(head); }
    bool rawArticleLine(QByteArrayView line) override
    {
        const bool taken = m_parser.rawArticleLine(line);
        seen();
        return taken;
    }
    void endOfRun() override { m_parser.endOfRun(); }
    void closeOutFile() override { m_parser.closeOutFile(); }
    void closeOutFileOnly() override { m_parser.closeOutFileOnly(); }
    void reset() { m_seen = 0; }

private:
    void seen()
    {
        if (m_state.fileCount != m_seen) {
            m_seen = m_state.fileCount;
            m_onNewFile();
        }
    }
    ArticleParser &m_parser;
    RunState &m_state;
    std::function<void()> m_onNewFile;
    qint64 m_seen = 0;
};

// Server text as the terminal may show it: control characters (an escape
// sequence among them) become "?".
QString printable(const QString &text)
{
    QString t = text;
    for (QChar &c : t) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029 ||
            (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QLatin1Char('?');
    }
    return t;
}

int terminalColumns()
{
    winsize ws = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

// Cuts text to the given number of terminal cells (wide characters take two,
// half-width katakana one).
QString fitCells(const QString &text, int cells)
{
    int used = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const int w = (c < 0x1100 || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
        if (used + w > cells)
            return text.left(i);
        used += w;
    }
    return text;
}

int run(QStringList args)
{
    const QString path = cli::takeSettingsPath(args);
    bool trace = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--trace"))
            trace = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << kUsage;
            return 0;
        } else
            return usageError(QStringLiteral("unknown argument ") + a);
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    SettingsStore store(path);
    if (cli::settingsUnreadable(store))
        return cli::kUnreadableSettings;
    CliPrompter prompter;
    AppContext ctx(store, prompter);
    Startup::Form_Load(ctx, QString());
    ctx.logMode = trace;

    if (SaveDirCheck(ctx.settings.saveDir)) {
        err << "保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません: " << ctx.settings.saveDir << '\n';
        return 2;
    }
    if (ctx.settings.serverName == RunningSettings::defaultServerName()) {
        err << "ﾆｭｰｽｻｰﾊﾞｰが設定されていません\n";
        return 2;
    }

    TcpNntpSocket socket;
    DownloadEngine engine(ctx, socket);
    RunState &st = engine.state();
    ArticleParser parser(ctx, st, engine.log());

    // On a terminal one progress line, redrawn at most four times a second;
    // otherwise one line per saved file, passed on at most once a second (a
    // write per article costs more than it tells).
    const bool tty = ::isatty(STDOUT_FILENO);
    bool lineShown = false;
    QElapsedTimer sinceDraw;
    QElapsedTimer sinceFlush;
    sinceFlush.start();
    auto draw = [&](bool force) {
        if (!tty || (!force && sinceDraw.isValid() && sinceDraw.elapsed() < 250))
            return;
        sinceDraw.start();
        QString line = DownloadEngine::fileCountCaption(st.fileCount) + QLatin1Char(' ') +
                       DownloadEngine::byteCountCaption(st.byteCount);
        if (!st.groupName.isEmpty())
            line += QStringLiteral(" [") + st.groupName + QLatin1Char(']');
        if (!st.label1.isEmpty())
            line += QLatin1Char(' ') + st.label1;
        const QString progress = st.label2();
        if (!progress.isEmpty())
            line += QLatin1Char(' ') + progress;
        out << "\r\033[K" << fitCells(printable(line), terminalColumns() - 1);
        out.flush();
        lineShown = true;
    };
    WatchingHandler handler(parser, st, [&] {
        if (tty) {
            draw(false);
        } else {
            const QString file = parser.outputFiles().path();
            out << DownloadEngine::fileCountCaption(st.fileCount) << ' '
                << printable(file.isEmpty() ? st.label1 : file) << '\n';
            if (sinceFlush.elapsed() >= 1000) {
                out.flush();
                sinceFlush.start();
            }
        }
    });
    engine.setArticleHandler(&handler);

    QEventLoop loop;
    int status = -1;
    bool interrupted = false;
    // What goes wrong on the way (a file that cannot be created, a refused
    // article) is told when it happens; the last one is told again at the end.
    QString toldLabel3;
    QObject::connect(&engine, &DownloadEngine::statusChanged, [&] {
        if (!st.label3.isEmpty() && st.label3 != toldLabel3 && engine.running()) {
            toldLabel3 = st.label3;
            if (lineShown)
                out << '\n';
            out.flush();
            lineShown = false;
            err << printable(st.label3) << '\n';
            err.flush();
        }
        draw(false);
    });
    QObject::connect(&engine, &DownloadEngine::runEnded, &loop, &QEventLoop::quit);
    QObject::connect(&engine, &DownloadEngine::fatalError, [&](const QString &message) {
        if (lineShown)
            out << '\n';
        out.flush();
        lineShown = false;
        err << printable(message) << '\n';
        status = 2;
        loop.quit();
    });

    SignalPipe stopSignals;
    if (stopSignals.notifier()) {
        QObject::connect(stopSignals.notifier(), &QSocketNotifier::activated, [&] {
            stopSignals.drain();
            interrupted = true;
            if (engine.running())
                engine.Command1_Click(); // the stop path
            else
                loop.quit();
        });
    }

    engine.Command1_Click();
    if (engine.endReason() == DownloadEngine::EndReason::Refused) {
        err << st.label3 << '\n';
        return 1;
    }
    if (engine.running())
        loop.exec();
    // The server's answer to QUIT is waited for (briefly; the engine bounds it).
    if (engine.closing() && status < 0) {
        QEventLoop goodbye;
        QObject::connect(&engine, &DownloadEngine::connectionClosed, &goodbye, &QEventLoop::quit);
        if (engine.closing())
            goodbye.exec();
    }

    if (lineShown) {
        draw(true);
        out << '\n';
    }
    if (status < 0)
        status = DownloadEngine::exitStatus(engine.endReason(), engine.groupRefused(), interrupted);

    out << DownloadEngine::fileCountCaption(st.fileCount) << '\n'
        << DownloadEngine::byteCountCaption(st.byteCount) << '\n';
    for (int r = 0; r < ctx.groups.count(); ++r) {
        out << printable(ctx.groups.text(r, GroupTable::Name)) << '\t'
            << ctx.groups.text(r, GroupTable::State) << '\t'
            << printable(ctx.groups.text(r, GroupTable::Last)) << '\n';
    }
    out.flush();
    if (!st.label3.isEmpty())
        err << printable(st.label3) << '\n';
    return status;
}

} // namespace

cli::Command cli::downloadCommand()
{
    return {QStringLiteral("download [--settings FILE] [--trace]"),
            QStringLiteral("one download run over the group list (Ctrl+C stops it)"), run};
}
