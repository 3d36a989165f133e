#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class SettingsStore;

// kaplo-cli's subcommands. Each file of src/app/cli defines one; the table in
// kaplo_cli_main.cpp names them and dispatches on the first argument.
namespace cli {

struct Command {
    QString usage;   // one line for --help, e.g. "download [--settings FILE]"
    QString summary; // what it does, one line
    // Arguments after the command name; returns the exit status.
    std::function<int(const QStringList &args)> run;
};

Command catalogueCommand();
Command configCommand();
Command downloadCommand();
Command groupsCommand();

// The settings file: --settings FILE (removed from args) over KAPLO_SETTINGS
// over the default file.
QString takeSettingsPath(QStringList &args);

// A settings file that exists but cannot be read is left alone: the reason
// goes to stderr and the command ends with this status.
constexpr int kUnreadableSettings = 2;
// true (after telling why) when the store's file could not be read.
bool settingsUnreadable(const SettingsStore &store);

} // namespace cli
