#include "groups/groupdialog.h"

#include "core/appcontext.h"
#include "groups/groupcommands.h"
#include "settings/runlock.h"
#include "settings/settingsstore.h"

QString GroupDialog::invalidNumberMessage()
{
    return QStringLiteral("次回取込番号に無効な文字(空白など)が設定されています");
}

GroupDialog::Values GroupDialog::fromRow(const GroupTable::Row &row)
{
    Values v;
    v.name = row[GroupTable::Name];
    v.last = row[GroupTable::Last];
    v.download = GroupTable::takesPart(row[GroupTable::Download]);
    v.subject = GroupTable::flagOn(row[GroupTable::Subject]);
    v.dateDir = GroupTable::flagOn(row[GroupTable::DateDir]);
    v.userDir = GroupTable::flagOn(row[GroupTable::UserDir]);
    v.overwrite = GroupTable::dialogOverwrites(row[GroupTable::Rewrite]);
    return v;
}

GroupDialog::Values GroupDialog::load(const AppContext &ctx)
{
    const int r = ctx.selectedGroup - 1;
    if (r < 0 || r >= ctx.groups.count())
        return {};
    return fromRow(ctx.groups.row(r));
}

bool GroupDialog::validate(const Values &v, Prompter &prompter)
{
    if (!GroupTable::validName(v.name)) {
        prompter.message(GroupCommands::invalidNameMessage());
        return false;
    }
    // A whole article number: a fraction, a sign or a number past 2^63-1
    // would be sent as typed and refused by the server.
    if (!GroupTable::validLast(v.last)) {
        prompter.message(invalidNumberMessage());
        return false;
    }
    return true;
}

bool GroupDialog::accept(AppContext &ctx, const Values &v)
{
    if (!validate(v, ctx.prompter))
        return false;
    const int r = ctx.selectedGroup - 1;
    if (r < 0 || r >= ctx.groups.count()) {
        ctx.prompter.message(GroupCommands::noSelectionMessage());
        return false;
    }

    SettingsEditLock edit(ctx.runLock);
    if (!edit.allowed()) {
        ctx.prompter.message(ctx.runLock.busyMessage());
        return false;
    }
    // What the dialog shows may be older than the file: nothing is written.
    if (GroupCommands::reloaded(ctx))
        return false;

    GroupTable::Row row = ctx.groups.row(r);
    // A number set by hand asks for that article again, even when a run had
    // completed it.
    const bool lastChanged = row[GroupTable::Last] != v.last;
    row[GroupTable::Name] = v.name;
    row[GroupTable::Last] = v.last;
    row[GroupTable::Subject] = GroupTable::flagText(v.subject);
    row[GroupTable::DateDir] = GroupTable::flagText(v.dateDir);
    row[GroupTable::UserDir] = GroupTable::flagText(v.userDir);
    row[GroupTable::Download] = GroupTable::flagText(v.download);
    row[GroupTable::Rewrite] = GroupTable::flagText(v.overwrite);

    SettingsStore &store = ctx.store;
    const QString section = GroupTable::sectionOf(r);
    bool ok;
    {
        SettingsBatch batch(store);
        store.write(QStringLiteral("GROUP"), GroupTable::nameKeyOf(r), row[GroupTable::Name]);
        store.write(section, QStringLiteral("LAST"), row[GroupTable::Last]);
        if (lastChanged)
            store.write(section, GroupTable::completedKey(), QString());
        store.write(section, QStringLiteral("SUBJECT"), row[GroupTable::Subject]);
        store.write(section, QStringLiteral("DATEDIR"), row[GroupTable::DateDir]);
        store.write(section, QStringLiteral("USERDIR"), row[GroupTable::UserDir]);
        store.write(section, QStringLiteral("DOWNLOAD"), row[GroupTable::Download]);
        store.write(section, QStringLiteral("REWRITE"), row[GroupTable::Rewrite]);
        ok = batch.commit();
    }
    if (!ok) {
        ctx.prompter.message(GroupCommands::storeErrorMessage(store));
        return false;
    }
    for (int c : {GroupTable::Name, GroupTable::Last, GroupTable::Subject, GroupTable::DateDir,
                  GroupTable::UserDir, GroupTable::Download, GroupTable::Rewrite})
        ctx.groups.setText(r, c, row[static_cast<size_t>(c)]);
    return true;
}
