#pragma once

#include "core/appcontext.h"
#include "support/scriptedprompter.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// The bytes of a file; nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A settings file with some groups, loaded into a context as start-up does
// (the catalogue and options tests use it too). Group n gets LAST "n00" and
// SUBJECT "YES" for odd n.
struct GroupFixture {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("KAPLO.ini"));
    std::unique_ptr<SettingsStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<AppContext> ctx;

    explicit GroupFixture(const QStringList &names = {})
    {
        SettingsStore writer(path);
        SettingsBatch batch(writer);
        for (int r = 0; r < names.size(); ++r) {
            writer.write("GROUP", GroupTable::nameKeyOf(r), names.at(r));
            writer.write(GroupTable::sectionOf(r), "LAST", QString::number(r + 1) + "00");
            writer.write(GroupTable::sectionOf(r), "SUBJECT", r % 2 ? "NO" : "YES");
        }
        batch.commit();
        reload();
    }

    // A fresh store object, so that changes made by another process are seen.
    void reload()
    {
        ctx.reset();
        store = std::make_unique<SettingsStore>(path);
        ctx = std::make_unique<AppContext>(*store, prompter);
        ctx->settings.load(*store);
        ctx->groups.load(*store, ctx->groupDefaults());
    }

    QStringList names() const
    {
        QStringList out;
        for (int r = 0; r < ctx->groups.count(); ++r)
            out << ctx->groups.text(r, GroupTable::Name);
        return out;
    }

    // A fresh load of the file finds the table, but for the run-time
    // columns, which are never stored.
    bool fileAgrees() const
    {
        SettingsStore again(path);
        GroupTable t;
        t.load(again, ctx->groupDefaults());
        const auto stored = [](const GroupTable &g) {
            QStringList cells;
            for (int r = 0; r < g.count(); ++r)
                for (int c = 0; c < GroupTable::ColumnCount; ++c)
                    cells << (c < GroupTable::Lowest || c > GroupTable::State ? g.text(r, c) : "");
            return cells;
        };
        return stored(t) == stored(ctx->groups);
    }
};
