// kaplo-cli catalogue: the catalogue window's fetch without the window. The
// confirmation is answered yes; the count of names received goes to stdout,
// messages to stderr; newsgroups.dat and TIME are written as the window
// writes them.
#include "app/cli/clicommand.h"
#include "app/cli/cliprompter.h"
#include "catalogue/cataloguechooser.h"
#include "catalogue/catalogueconversation.h"
#include "catalogue/cataloguesession.h"
#include "core/appcontext.h"
#include "engine/tcpnntpsocket.h"
#include "settings/settingsstore.h"

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

namespace {

const char kUsage[] = "usage: kaplo-cli catalogue [--settings FILE] [--new]\n"
                      "Fetches the server's newsgroup list (LIST) into newsgroups.dat in the save\n"
                      "directory; --new fetches only the groups created since the last fetch\n"
                      "(NEWGROUPS) and adds them to the saved list. Prints the number of names\n"
                      "received. Exit status: 0 done, 1 a connection error or a refusal by the\n"
                      "server, 2 a local error (newsgroups.dat cannot be read or written).\n";

// A server that stops sending in the middle of a fetch.
constexpr int kSilenceMs = 120000;

int usageError(const QString &why)
{
    QTextStream(stderr) << "kaplo-cli catalogue: " << why << '\n' << kUsage;
    return 2;
}

int run(QStringList args)
{
    const QString path = cli::takeSettingsPath(args);
    bool newOnly = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--new"))
            newOnly = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << kUsage;
            return 0;
        } else
            return usageError(QStringLiteral("unknown argument ") + a);
    }

    SettingsStore store(path);
    if (cli::settingsUnreadable(store))
        return cli::kUnreadableSettings;
    CliPrompter prompter(true);
    AppContext ctx(store, prompter);
    ctx.settings.load(store);

    CatalogueSession session;
    CatalogueChooser chooser(session, store, ctx.settings, prompter);
    // The catalogue is rewritten from what was read: one that could not be
    // read must not be replaced by the new names alone.
    if (!chooser.Form_Load())
        return 2;

    TcpNntpSocket socket;
    CatalogueConversation conversation(session, chooser, socket, ctx.settings, prompter);
    QEventLoop loop;
    int status = -1;
    const auto finish = [&](int s) {
        if (status < 0)
            status = s;
        loop.quit();
    };
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(kSilenceMs);
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
        socket.close();
        QTextStream(stderr) << "サーバーからの応答がありません\n";
        finish(1);
    });
    QObject::connect(&socket, &NntpSocket::dataArrival, &silence, [&] { silence.start(); });
    QObject::connect(&conversation, &CatalogueConversation::listingEnded, &loop, [&](bool saved) {
        QTextStream(stdout) << session.fetchCount << '\n';
        finish(saved ? 0 : 2);
    });
    // The window waits after a status it does not know (its user can leave);
    // here nobody can, so a status that is neither 2xx nor 4xx ends the run.
    QObject::connect(&conversation, &CatalogueConversation::statusReceived, &loop,
                     [&](const QString &line) {
                         if (line.startsWith(QLatin1Char('2')) || line.startsWith(QLatin1Char('4')))
                             return;
                         socket.close();
                         QTextStream(stderr) << line << '\n';
                         finish(1);
                     });
    QObject::connect(&conversation, &CatalogueConversation::refused, &loop,
                     [&](const QString &line) {
                         QTextStream(stderr) << line << '\n';
                         finish(1);
                     });
    QObject::connect(&conversation, &CatalogueConversation::failed, &loop,
                     [&](const QString &description) {
                         QTextStream(stderr) << description << '\n';
                         finish(1);
                     });

    if (newOnly)
        conversation.cmdNew_Click();
    else
        conversation.cmdALL_Click();
    silence.start();
    if (status < 0)
        loop.exec();
    return status < 0 ? 1 : status;
}

} // namespace

cli::Command cli::catalogueCommand()
{
    return {QStringLiteral("catalogue [--settings FILE] [--new]"),
            QStringLiteral("fetches the newsgroup list into newsgroups.dat"), run};
}
