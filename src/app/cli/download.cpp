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
#include <optional>
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

struct Options {
    QString settingsPath;
    bool trace = false;
};

// The command line; an exit status when the command ends here (--help, an
// unknown argument).
std::optional<int> parseArgs(QStringList args, Options &options)
{
    options.settingsPath = cli::takeSettingsPath(args);
    for (const QString &a : args) {
        if (a == QLatin1String("--trace")) {
            options.trace = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << kUsage;
            return 0;
        } else {
            return usageError(QStringLiteral("unknown argument ") + a);
        }
    }
    return std::nullopt;
}

// The stored settings and groups; 0 when a run can start with them, else the
// exit status after telling why.
int loadSettings(AppContext &ctx, bool trace)
{
    Startup::Form_Load(ctx, QString());
    ctx.logMode = trace;
    QTextStream err(stderr);
    if (SaveDirCheck(ctx.settings.saveDir)) {
        err << "保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません: " << ctx.settings.saveDir << '\n';
        return 2;
    }
    if (ctx.settings.serverName == RunningSettings::defaultServerName()) {
        err << "ﾆｭｰｽｻｰﾊﾞｰが設定されていません\n";
        return 2;
    }
    return 0;
}

// What the run shows: on a terminal one progress line, redrawn at most four
// times a second; otherwise one line per saved file, passed on at most once
// a second (a write per article costs more than it tells). Problems go to
// stderr as they happen.
class RunOutput final {
public:
    RunOutput(const RunState &state, const ArticleParser &parser)
        : m_state(state), m_parser(parser), m_tty(::isatty(STDOUT_FILENO))
    {
        m_sinceFlush.start();
    }

    void draw(bool force)
    {
        if (!m_tty || (!force && m_sinceDraw.isValid() && m_sinceDraw.elapsed() < 250))
            return;
        m_sinceDraw.start();
        const RunState &st = m_state;
        QString line = DownloadEngine::fileCountCaption(st.fileCount) + QLatin1Char(' ') +
                       DownloadEngine::byteCountCaption(st.byteCount);
        if (!st.groupName.isEmpty())
            line += QStringLiteral(" [") + st.groupName + QLatin1Char(']');
        if (!st.label1.isEmpty())
            line += QLatin1Char(' ') + st.label1;
        const QString progress = st.label2();
        if (!progress.isEmpty())
            line += QLatin1Char(' ') + progress;
        m_out << "\r\033[K" << fitCells(printable(line), terminalColumns() - 1);
        m_out.flush();
        m_lineShown = true;
    }

    void newFile()
    {
        if (m_tty) {
            draw(false);
            return;
        }
        const QString file = m_parser.outputFiles().path();
        m_out << DownloadEngine::fileCountCaption(m_state.fileCount) << ' '
              << printable(file.isEmpty() ? m_state.label1 : file) << '\n';
        if (m_sinceFlush.elapsed() >= 1000) {
            m_out.flush();
            m_sinceFlush.start();
        }
    }

    // What goes wrong on the way (a file that cannot be created, a refused
    // article) is told when it happens; the last one is told again at the end.
    void statusChanged(bool running)
    {
        const QString &label3 = m_state.label3;
        if (!label3.isEmpty() && label3 != m_toldLabel3 && running) {
            m_toldLabel3 = label3;
            endLine();
            m_err << printable(label3) << '\n';
            m_err.flush();
        }
        draw(false);
    }

    void fatal(const QString &message)
    {
        endLine();
        m_err << printable(message) << '\n';
    }

    // Another run holds the settings file: nothing was shown yet.
    void refused() { m_err << m_state.label3 << '\n'; }

    // The progress line as it ended, the totals, each group's row and the
    // run's error text.
    void report(const GroupTable &groups)
    {
        if (m_lineShown) {
            draw(true);
            m_out << '\n';
        }
        m_out << DownloadEngine::fileCountCaption(m_state.fileCount) << '\n'
              << DownloadEngine::byteCountCaption(m_state.byteCount) << '\n';
        for (int r = 0; r < groups.count(); ++r) {
            m_out << printable(groups.text(r, GroupTable::Name)) << '\t'
                  << groups.text(r, GroupTable::State) << '\t'
                  << printable(groups.text(r, GroupTable::Last)) << '\n';
        }
        m_out.flush();
        if (!m_state.label3.isEmpty())
            m_err << printable(m_state.label3) << '\n';
    }

private:
    // The progress line ends before a message goes below it.
    void endLine()
    {
        if (m_lineShown)
            m_out << '\n';
        m_out.flush();
        m_lineShown = false;
    }

    const RunState &m_state;
    const ArticleParser &m_parser;
    const bool m_tty;
    QTextStream m_out{stdout};
    QTextStream m_err{stderr};
    bool m_lineShown = false;
    QElapsedTimer m_sinceDraw;
    QElapsedTimer m_sinceFlush;
    QString m_toldLabel3;
};

// One run: the engine with its socket and article parser, the output hooked
// to it, the event loop until the run ends and the exit status.
class DownloadRun final {
public:
    explicit DownloadRun(AppContext &ctx)
        : m_ctx(ctx), m_engine(ctx, m_socket), m_parser(ctx, m_engine.state(), m_engine.log()),
          m_output(m_engine.state(), m_parser),
          m_handler(m_parser, m_engine.state(), [this] { m_output.newFile(); })
    {
        m_engine.setArticleHandler(&m_handler);
        hookUpOutput();
    }

    int exec()
    {
        SignalPipe stopSignals;
        hookUpSignals(stopSignals);
        m_engine.Command1_Click();
        if (m_engine.endReason() == DownloadEngine::EndReason::Refused) {
            m_output.refused();
            return 1;
        }
        waitForEnd();
        m_output.report(m_ctx.groups);
        return m_status;
    }

private:
    void hookUpOutput()
    {
        QObject::connect(&m_engine, &DownloadEngine::statusChanged,
                         [this] { m_output.statusChanged(m_engine.running()); });
        QObject::connect(&m_engine, &DownloadEngine::runEnded, &m_loop, &QEventLoop::quit);
        QObject::connect(&m_engine, &DownloadEngine::fatalError, [this](const QString &message) {
            m_output.fatal(message);
            m_status = 2;
            m_loop.quit();
        });
    }

    // SIGINT and SIGTERM take the stop path.
    void hookUpSignals(SignalPipe &stopSignals)
    {
        if (!stopSignals.notifier())
            return;
        QObject::connect(stopSignals.notifier(), &QSocketNotifier::activated, [this, &stopSignals] {
            stopSignals.drain();
            m_interrupted = true;
            if (m_engine.running())
                m_engine.Command1_Click();
            else
                m_loop.quit();
        });
    }

    void waitForEnd()
    {
        if (m_engine.running())
            m_loop.exec();
        // The server's answer to QUIT is waited for (briefly; the engine bounds it).
        if (m_engine.closing() && m_status < 0) {
            QEventLoop goodbye;
            QObject::connect(&m_engine, &DownloadEngine::connectionClosed, &goodbye,
                             &QEventLoop::quit);
            if (m_engine.closing())
                goodbye.exec();
        }
        if (m_status < 0)
            m_status = DownloadEngine::exitStatus(m_engine.endReason(), m_engine.groupRefused(),
                                                  m_interrupted);
    }

    AppContext &m_ctx;
    TcpNntpSocket m_socket;
    DownloadEngine m_engine;
    ArticleParser m_parser;
    RunOutput m_output;
    WatchingHandler m_handler;
    QEventLoop m_loop;
    int m_status = -1;
    bool m_interrupted = false;
};

int run(const QStringList &args)
{
    Options options;
    if (const std::optional<int> status = parseArgs(args, options))
        return *status;
    SettingsStore store(options.settingsPath);
    if (cli::settingsUnreadable(store))
        return cli::kUnreadableSettings;
    CliPrompter prompter;
    AppContext ctx(store, prompter);
    if (const int status = loadSettings(ctx, options.trace))
        return status;
    DownloadRun download(ctx);
    return download.exec();
}

} // namespace

cli::Command cli::downloadCommand()
{
    return {QStringLiteral("download [--settings FILE] [--trace]"),
            QStringLiteral("one download run over the group list (Ctrl+C stops it)"), run};
}
