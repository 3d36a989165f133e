#include "groups/groupcommands.h"

#include "core/appcontext.h"
#include "settings/runlock.h"
#include "settings/settingsstore.h"

namespace {

const QString kGroup = QStringLiteral("GROUP");

} // namespace

GroupCommands::GroupCommands(AppContext &ctx) : m_ctx(ctx) {}

QString GroupCommands::noDeleteSelectionMessage()
{
    return QStringLiteral("削除するﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
}

QString GroupCommands::cannotMoveUpMessage()
{
    return QStringLiteral("これより上には移動できません");
}

QString GroupCommands::cannotMoveDownMessage()
{
    return QStringLiteral("これより下には移動できません");
}

QString GroupCommands::noSelectionMessage()
{
    return QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
}

QString GroupCommands::storeErrorMessage(const SettingsStore &store)
{
    const QString why = store.errorString();
    return why.isEmpty() ? QStringLiteral("設定ファイルに書き込めません: ") + store.path() : why;
}

QString GroupCommands::invalidNameMessage()
{
    return QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟ名に無効な文字(空白など)が設定されています");
}

QString GroupCommands::reloadedMessage()
{
    return QStringLiteral("設定ファイルが他で変更されたため、ﾆｭｰｽｸﾞﾙｰﾌﾟの一覧を読み直しました。"
                          "もう一度操作してください");
}

bool GroupCommands::reloaded(AppContext &ctx)
{
    if (!ctx.reloadIfChangedOnDisk())
        return false;
    ctx.prompter.message(reloadedMessage());
    return true;
}

QString GroupCommands::newGroupName()
{
    return QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟ");
}

bool GroupCommands::validPosition(int position) const
{
    return position >= 1 && position <= m_ctx.groups.count();
}

GroupCommands::Snapshot GroupCommands::snapshot() const
{
    Snapshot s{{}, m_ctx.selectedGroup};
    s.rows.reserve(static_cast<size_t>(m_ctx.groups.count()));
    for (int r = 0; r < m_ctx.groups.count(); ++r)
        s.rows.push_back(m_ctx.groups.row(r));
    return s;
}

void GroupCommands::restore(const Snapshot &s)
{
    m_ctx.groups.clearRows();
    for (size_t r = 0; r < s.rows.size(); ++r)
        m_ctx.groups.insertRow(static_cast<int>(r), s.rows[r]);
    m_ctx.selectedGroup = s.selectedGroup;
}

bool GroupCommands::rewriteStore(int clearCount, const Snapshot &before)
{
    SettingsStore &store = m_ctx.store;
    bool ok;
    {
        // Clearing and rewriting land together, or not at all: the file never
        // holds a half-written table.
        SettingsBatch batch(store);
        if (clearCount >= 0)
            GroupTable::clearStore(store, clearCount);
        m_ctx.groups.saveAll(store);
        ok = batch.commit();
    }
    if (ok)
        return true;
    restore(before);
    m_ctx.prompter.message(storeErrorMessage(store));
    return false;
}

void GroupCommands::select(int position)
{
    m_ctx.selectedGroup = position;
}

bool GroupCommands::refused(const SettingsEditLock &edit)
{
    if (edit.allowed())
        return reloaded(m_ctx);
    m_ctx.prompter.message(m_ctx.runLock.busyMessage());
    return true;
}

bool GroupCommands::add()
{
    {
        // Held for the change only, not while the dialog is open.
        SettingsEditLock edit(m_ctx.runLock);
        if (refused(edit))
            return false;
        const Snapshot before = snapshot();
        const int position =
            validPosition(m_ctx.selectedGroup) ? m_ctx.selectedGroup : m_ctx.groups.count() + 1;
        // The defaults follow the SAVE flags as they are now, not as at start-up.
        m_ctx.groups.insertRow(position - 1,
                               GroupTable::newRow(newGroupName(), m_ctx.groupDefaults()));
        if (!rewriteStore(-1, before))
            return false;
        m_ctx.selectedGroup = position;
    }
    if (showGroupDialog)
        showGroupDialog();
    return true;
}

bool GroupCommands::deleteGroup()
{
    SettingsEditLock edit(m_ctx.runLock);
    if (refused(edit))
        return false;
    const Snapshot before = snapshot();
    if (!validPosition(m_ctx.selectedGroup)) {
        m_ctx.prompter.message(noDeleteSelectionMessage());
        return false;
    }
    const int cleared = m_ctx.groups.count();
    m_ctx.groups.removeRow(m_ctx.selectedGroup - 1);
    // SelectedGroup keeps its value: it now names the row that moved up.
    return rewriteStore(cleared, before);
}

bool GroupCommands::moveUp()
{
    return move(-1);
}

bool GroupCommands::moveDown()
{
    return move(+1);
}

bool GroupCommands::move(int step)
{
    SettingsEditLock edit(m_ctx.runLock);
    if (refused(edit))
        return false;
    const Snapshot before = snapshot();
    // Down compares with the count, so an empty list with nothing selected
    // (0 = 0) says it cannot move further down.
    const int end = step < 0 ? 1 : m_ctx.groups.count();
    if (m_ctx.selectedGroup == end) {
        m_ctx.prompter.message(step < 0 ? cannotMoveUpMessage() : cannotMoveDownMessage());
        return false;
    }
    if (!validPosition(m_ctx.selectedGroup)) {
        m_ctx.prompter.message(noSelectionMessage());
        return false;
    }
    const int cleared = m_ctx.groups.count();
    const GroupTable::Row copy = m_ctx.groups.row(m_ctx.selectedGroup - 1);
    m_ctx.groups.removeRow(m_ctx.selectedGroup - 1);
    m_ctx.selectedGroup += step;
    // The run-time columns do not travel with the row.
    GroupTable::Row moved;
    for (int c : {GroupTable::Name, GroupTable::Last, GroupTable::Subject, GroupTable::DateDir,
                  GroupTable::UserDir, GroupTable::Download, GroupTable::Rewrite})
        moved[static_cast<size_t>(c)] = copy[static_cast<size_t>(c)];
    m_ctx.groups.insertRow(m_ctx.selectedGroup - 1, moved);
    return rewriteStore(cleared, before);
}

bool GroupCommands::openSettings()
{
    if (!validPosition(m_ctx.selectedGroup)) {
        m_ctx.prompter.message(noSelectionMessage());
        return false;
    }
    {
        // Told now rather than after the dialog was filled in; OK checks again.
        SettingsEditLock edit(m_ctx.runLock);
        if (refused(edit))
            return false;
    }
    if (showGroupDialog)
        showGroupDialog();
    return true;
}

bool GroupCommands::rename(const QString &text)
{
    return rename(m_ctx.selectedGroup, text);
}

bool GroupCommands::rename(int position, const QString &text)
{
    if (!validPosition(position))
        return false;
    const int r = position - 1;
    SettingsEditLock edit(m_ctx.runLock);
    if (edit.allowed() && reloaded(m_ctx))
        return false; // the row shows the file's name again
    QString refusal;
    if (!edit.allowed())
        refusal = m_ctx.runLock.busyMessage();
    else if (!GroupTable::validName(text))
        refusal = invalidNameMessage();
    else if (m_ctx.store.write(kGroup, GroupTable::nameKeyOf(r), text)) {
        m_ctx.groups.setText(r, GroupTable::Name, text);
        return true;
    }
    // The store kept the previous name; so does the row.
    m_ctx.groups.setText(r, GroupTable::Name,
                         m_ctx.store.read(kGroup, GroupTable::nameKeyOf(r), QString()));
    m_ctx.prompter.message(refusal.isEmpty() ? storeErrorMessage(m_ctx.store) : refusal);
    return false;
}
