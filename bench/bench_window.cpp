// The download benchmark's window run: the main window (Form1, offscreen)
// started with its start button over the settings file given, timed from
// the click to the end of the run. The same engine as kaplo-cli download,
// with the window's labels and group table repainted as the run goes on.
//
//   bench_window SETTINGS_FILE
//
// Prints the files saved, the bytes written and the milliseconds taken.
#include "app/ui/form1.h"
#include "core/appcontext.h"
#include "core/prompter.h"
#include "engine/downloadengine.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>

#include <cstdio>

namespace {

class SilentPrompter final : public Prompter {
public:
    void message(const QString &text) override { QTextStream(stderr) << text << '\n'; }
    bool confirm(const QString &) override { return false; }
    std::optional<QString> input(const QString &, const QString &) override { return std::nullopt; }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_window SETTINGS_FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SettingsStore store(QString::fromLocal8Bit(argv[1]));
    SilentPrompter prompter;
    AppContext ctx(store, prompter);
    Form1 form(ctx, QString());
    form.show();

    DownloadEngine &engine = form.engine();
    QEventLoop loop;
    QObject::connect(&engine, &DownloadEngine::runEnded, &loop, &QEventLoop::quit);
    QObject::connect(&engine, &DownloadEngine::fatalError, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    form.Command1_Click();
    if (engine.running())
        loop.exec();
    const qint64 ms = clock.elapsed();
    const RunState &st = engine.state();
    QTextStream(stdout) << st.fileCount << ' ' << st.byteCount << ' ' << ms << '\n';
    return engine.endReason() == DownloadEngine::EndReason::Finished ? 0 : 1;
}
