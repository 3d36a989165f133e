// kaplo-cli: the headless front end (runs, catalogue, groups, settings) on
// the same core as the program.
#include "app/cli/clicommand.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QTextStream>

namespace cli {

namespace {

struct Entry {
    const char *name;
    Command (*make)();
};

// Every subcommand, in the order --help lists them.
const Entry kCommands[] = {
    {"catalogue", catalogueCommand},
    {"config", configCommand},
    {"download", downloadCommand},
    {"groups", groupsCommand},
};

} // namespace

QString takeSettingsPath(QStringList &args)
{
    const qsizetype i = args.indexOf(QStringLiteral("--settings"));
    if (i >= 0 && i + 1 < args.size()) {
        const QString path = args.at(i + 1);
        args.remove(i, 2);
        return path;
    }
    return SettingsStore::defaultPath();
}

bool settingsUnreadable(const SettingsStore &store)
{
    if (store.readable())
        return false;
    QTextStream(stderr) << store.unreadableMessage() << '\n';
    return true;
}

} // namespace cli

static void printUsage(QTextStream &out)
{
    out << "使い方: kaplo-cli [--settings FILE] COMMAND [ARGS]\n"
           "usage: kaplo-cli [--settings FILE] COMMAND [ARGS]\n\n"
           "Settings come from --settings FILE, else $KAPLO_SETTINGS, else\n"
           "~/.config/KAPLO/KAPLO.ini.\n\ncommands:\n";
    for (const cli::Entry &e : cli::kCommands) {
        const cli::Command c = e.make();
        out << "  " << c.usage << "\n      " << c.summary << "\n";
    }
    out << "  --help\n      this text\n  --version\n      the version\n";
}

int main(int argc, char **argv)
{
    // Qt's plain Unix event loop: the glib one costs wake-up system calls on
    // every socket event of a download, and nothing here needs glib.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KAPLO"));
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    // "--settings FILE" may also come before the command.
    if (args.size() >= 2 && args.first() == QLatin1String("--settings")) {
        qputenv("KAPLO_SETTINGS", args.at(1).toLocal8Bit());
        args.remove(0, 2);
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h") || args.first() == QLatin1String("help")) {
        printUsage(out);
        return args.isEmpty() ? 1 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << "kaplo-cli " << KAPLO_VERSION << "\n";
        return 0;
    }
    const QString name = args.takeFirst();
    for (const cli::Entry &e : cli::kCommands) {
        if (name == QLatin1String(e.name))
            return e.make().run(args);
    }
    QTextStream(stderr) << "kaplo-cli: unknown command " << name << " (see kaplo-cli --help)\n";
    return 1;
}
