// kaplo-cli config: reads and writes single settings with the checks the
// options dialogs apply.
#include "app/cli/clicommand.h"
#include "app/cli/cliprompter.h"
#include "options/settingsconfig.h"
#include "settings/runlock.h"
#include "settings/settingsstore.h"

#include <QTextStream>

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;

int usage(QTextStream &err)
{
    err << "usage: kaplo-cli config get SECTION KEY | set SECTION KEY VALUE | list"
           " [--settings FILE]\n"
           "A VALUE of - is read from standard input (one line), so that a password\n"
           "does not show in the process list: kaplo-cli config set SERVER PASS -\n";
    return kUsage;
}

int runConfig(const QStringList &arguments)
{
    QStringList args = arguments;
    const QString path = cli::takeSettingsPath(args);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty())
        return usage(err);
    const QString verb = args.takeFirst();
    if (verb == QLatin1String("--help") || verb == QLatin1String("-h")) {
        usage(out);
        return 0;
    }
    SettingsStore store(path);
    if (cli::settingsUnreadable(store))
        return cli::kUnreadableSettings;

    if (verb == QLatin1String("list") && args.isEmpty()) {
        for (const SettingsConfig::Key &k : SettingsConfig::knownKeys()) {
            QString value = SettingsConfig::currentValue(store, k.section, k.key);
            // A password is only said to be there.
            if (SettingsConfig::isSecret(k.section, k.key) && !value.isEmpty())
                value = QStringLiteral("********");
            out << k.section << '/' << k.key << '=' << value << '\n';
        }
        return 0;
    }
    const bool get = verb == QLatin1String("get") && args.size() == 2;
    const bool set = verb == QLatin1String("set") && args.size() == 3;
    if (!get && !set)
        return usage(err);
    const QString section = args.at(0);
    const QString key = args.at(1);
    if (!SettingsConfig::isKnown(section, key)) {
        err << "kaplo-cli config: unknown setting " << section << ' ' << key
            << " (see kaplo-cli config list)\n";
        return kUsage;
    }
    if (get) {
        out << SettingsConfig::currentValue(store, section, key) << '\n';
        return 0;
    }
    QString value = args.at(2);
    if (value == QLatin1String("-")) {
        QTextStream in(stdin);
        value = in.readLine();
    }
    const SettingsConfig::Checked checked = SettingsConfig::check(store, section, key, value);
    // The dialogs' messages, on stderr.
    CliPrompter prompter;
    if (checked.refusal) {
        prompter.message(*checked.refusal);
        return kRefused;
    }
    // Not while a run writes the file (and keeps its rows by position).
    RunLock lock(path);
    SettingsEditLock edit(lock);
    if (!edit.allowed()) {
        prompter.message(lock.busyMessage());
        return kRefused;
    }
    if (!store.write(section, key, checked.value)) {
        prompter.message(store.errorString());
        return kRefused;
    }
    return 0;
}

} // namespace

cli::Command cli::configCommand()
{
    return {QStringLiteral("config get SECTION KEY | set SECTION KEY VALUE | list "
                           "[--settings FILE]"),
            QStringLiteral("show or change one setting (checked as the options dialogs "
                           "check it); list shows them all"),
            runConfig};
}
