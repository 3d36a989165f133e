// kaplo-cli groups: the group table from the command line. Every change goes
// through the same commands and dialog logic as the main window, with the
// selection set to the position named on the command line.
#include "app/cli/clicommand.h"
#include "app/cli/cliprompter.h"
#include "core/appcontext.h"
#include "groups/groupcommands.h"
#include "groups/groupdialog.h"

#include <QTextStream>

#include <optional>

namespace {

const char kUsage[] =
    "usage: kaplo-cli groups [--settings FILE] list\n"
    "       kaplo-cli groups add NAME [--at N] [--last N] [--download yes|no]\n"
    "                        [--subject yes|no] [--datedir yes|no] [--userdir yes|no]\n"
    "                        [--rewrite yes|no]\n"
    "       kaplo-cli groups remove N\n"
    "       kaplo-cli groups move N up|down\n"
    "       kaplo-cli groups set N FIELD VALUE\n"
    "FIELD: name, last, download, subject, datedir, userdir, rewrite.\n"
    "N is a position in the list, from 1. list prints one tab-separated line per\n"
    "group: position, name, next number, DOWNLOAD, SUBJECT, DATEDIR, USERDIR, REWRITE.\n";

int usageError(const QString &why)
{
    QTextStream err(stderr);
    err << "kaplo-cli groups: " << why << '\n' << kUsage;
    return 2;
}

std::optional<bool> parseYesNo(const QString &text)
{
    if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

std::optional<int> parsePosition(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

// Sets one dialog field from its command-line name; false for an unknown
// field or a flag that is not yes or no.
bool setField(GroupDialog::Values &v, const QString &field, const QString &value, QString &why)
{
    if (field == QLatin1String("name")) {
        v.name = value;
        return true;
    }
    if (field == QLatin1String("last")) {
        v.last = value;
        return true;
    }
    bool *flag = nullptr;
    if (field == QLatin1String("download"))
        flag = &v.download;
    else if (field == QLatin1String("subject"))
        flag = &v.subject;
    else if (field == QLatin1String("datedir"))
        flag = &v.dateDir;
    else if (field == QLatin1String("userdir"))
        flag = &v.userDir;
    else if (field == QLatin1String("rewrite"))
        flag = &v.overwrite;
    if (!flag) {
        why = QStringLiteral("unknown field ") + field;
        return false;
    }
    const std::optional<bool> yes = parseYesNo(value);
    if (!yes) {
        why = field + QStringLiteral(" takes yes or no, not ") + value;
        return false;
    }
    *flag = *yes;
    return true;
}

int list(const AppContext &ctx)
{
    QTextStream out(stdout);
    const GroupTable &t = ctx.groups;
    for (int r = 0; r < t.count(); ++r) {
        out << (r + 1) << '\t' << t.text(r, GroupTable::Name) << '\t'
            << t.text(r, GroupTable::Last);
        for (int c : {GroupTable::Download, GroupTable::Subject, GroupTable::DateDir,
                      GroupTable::UserDir, GroupTable::Rewrite})
            out << '\t' << t.text(r, c);
        out << '\n';
    }
    return 0;
}

int add(AppContext &ctx, GroupCommands &commands, QStringList args)
{
    if (args.isEmpty())
        return usageError(QStringLiteral("add needs a NAME"));
    // The values the dialog would show for the new row, then the options.
    GroupDialog::Values v =
        GroupDialog::fromRow(GroupTable::newRow(args.takeFirst(), ctx.groupDefaults()));
    std::optional<int> at;
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        if (!opt.startsWith(QLatin1String("--")) || args.isEmpty())
            return usageError(QStringLiteral("unexpected ") + opt);
        const QString value = args.takeFirst();
        QString why;
        if (opt == QLatin1String("--at")) {
            at = parsePosition(value);
            // count + 1 appends, as adding with nothing selected does.
            if (!at || *at < 1 || *at > ctx.groups.count() + 1)
                return usageError(QStringLiteral("--at takes a position from 1 to ") +
                                  QString::number(ctx.groups.count() + 1));
        } else if (opt == QLatin1String("--name") || !setField(v, opt.mid(2), value, why)) {
            // NAME comes first, without an option of its own.
            return usageError(why.isEmpty() || why.startsWith(QLatin1String("unknown field"))
                                  ? QStringLiteral("unknown option ") + opt
                                  : why);
        }
    }
    // The dialog's check comes first so that a refused number adds nothing.
    if (!GroupDialog::validate(v, ctx.prompter))
        return 1;
    ctx.selectedGroup = at.value_or(0);
    bool dialogOk = false;
    commands.showGroupDialog = [&] { dialogOk = GroupDialog::accept(ctx, v); };
    if (!commands.add())
        return 1;
    return dialogOk ? 0 : 1;
}

int set(AppContext &ctx, GroupCommands &commands, const QStringList &args)
{
    if (args.size() != 3)
        return usageError(QStringLiteral("set takes N FIELD VALUE"));
    const std::optional<int> n = parsePosition(args.at(0));
    if (!n)
        return usageError(QStringLiteral("invalid position ") + args.at(0));
    // Check the field before anything is shown.
    GroupDialog::Values probe;
    QString why;
    if (!setField(probe, args.at(1), args.at(2), why))
        return usageError(why);
    ctx.selectedGroup = *n;
    bool dialogOk = false;
    commands.showGroupDialog = [&] {
        GroupDialog::Values v = GroupDialog::load(ctx);
        QString unused;
        setField(v, args.at(1), args.at(2), unused);
        dialogOk = GroupDialog::accept(ctx, v);
    };
    if (!commands.openSettings())
        return 1;
    return dialogOk ? 0 : 1;
}

int run(QStringList args)
{
    const QString path = cli::takeSettingsPath(args);
    if (args.isEmpty())
        return usageError(QStringLiteral("which command?"));
    const QString what = args.takeFirst();
    if (what == QLatin1String("--help") || what == QLatin1String("-h")) {
        QTextStream(stdout) << kUsage;
        return 0;
    }

    SettingsStore store(path);
    if (cli::settingsUnreadable(store))
        return cli::kUnreadableSettings;
    CliPrompter prompter;
    AppContext ctx(store, prompter);
    // As start-up loads them.
    ctx.settings.load(store);
    ctx.groups.load(store, ctx.groupDefaults());
    GroupCommands commands(ctx);

    if (what == QLatin1String("list")) {
        if (!args.isEmpty())
            return usageError(QStringLiteral("list takes no arguments"));
        return list(ctx);
    }
    if (what == QLatin1String("add"))
        return add(ctx, commands, args);
    if (what == QLatin1String("set"))
        return set(ctx, commands, args);
    if (what == QLatin1String("remove") || what == QLatin1String("move")) {
        const bool move = what == QLatin1String("move");
        if (args.size() != (move ? 2 : 1))
            return usageError(move ? QStringLiteral("move takes N up|down")
                                   : QStringLiteral("remove takes N"));
        const std::optional<int> n = parsePosition(args.at(0));
        if (!n)
            return usageError(QStringLiteral("invalid position ") + args.at(0));
        ctx.selectedGroup = *n;
        if (!move)
            return commands.deleteGroup() ? 0 : 1;
        if (args.at(1) == QLatin1String("up"))
            return commands.moveUp() ? 0 : 1;
        if (args.at(1) == QLatin1String("down"))
            return commands.moveDown() ? 0 : 1;
        return usageError(QStringLiteral("move takes up or down, not ") + args.at(1));
    }
    return usageError(QStringLiteral("unknown command ") + what);
}

} // namespace

cli::Command cli::groupsCommand()
{
    return {QStringLiteral("groups [--settings FILE] list | add NAME [--at N] [--last N] "
                           "[--download|--subject|--datedir|--userdir|--rewrite yes|no] | "
                           "remove N | move N up|down | set N FIELD VALUE"),
            QStringLiteral("lists and edits the subscribed newsgroups"), run};
}
