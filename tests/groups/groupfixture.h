#pragma once

#include "core/appcontext.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A settings file with some groups, loaded into a context as start-up does.
struct GroupFixture {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("KAPLO.ini"));
    std::unique_ptr<SettingsStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<AppContext> ctx;

    // Group n gets LAST "n00" and SUBJECT "YES" for odd n, so rows differ in
    // more than their names.
    explicit GroupFixture(const QStringList &names = {})
    {
        auto writer = std::make_unique<SettingsStore>(path);
        {
            SettingsBatch batch(*writer);
            for (int r = 0; r < names.size(); ++r) {
                writer->write(QStringLiteral("GROUP"), GroupTable::nameKeyOf(r), names.at(r));
                const QString s = GroupTable::sectionOf(r);
                writer->write(s, QStringLiteral("LAST"), QString::number(r + 1) + "00");
                writer->write(s, QStringLiteral("SUBJECT"),
                              r % 2 == 0 ? QStringLiteral("YES") : QStringLiteral("NO"));
            }
            writer->write(QStringLiteral("SAVE"), QStringLiteral("DIR"), dir.path());
            batch.commit();
        }
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

    QByteArray fileBytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList rowNames() const
    {
        QStringList out;
        for (int r = 0; r < ctx->groups.count(); ++r)
            out << ctx->groups.text(r, GroupTable::Name);
        return out;
    }

    // The table as a fresh load of the file sees it.
    std::vector<GroupTable::Row> storedRows() const
    {
        SettingsStore again(path);
        GroupTable t;
        t.load(again, ctx->groupDefaults());
        std::vector<GroupTable::Row> rows;
        for (int r = 0; r < t.count(); ++r)
            rows.push_back(t.row(r));
        return rows;
    }

    std::vector<GroupTable::Row> rows() const
    {
        std::vector<GroupTable::Row> out;
        for (int r = 0; r < ctx->groups.count(); ++r)
            out.push_back(ctx->groups.row(r));
        return out;
    }

    // The rows without their run-time columns, which are never stored.
    static std::vector<GroupTable::Row> stored(std::vector<GroupTable::Row> rows)
    {
        for (auto &row : rows)
            for (int c : {GroupTable::Lowest, GroupTable::Highest, GroupTable::State})
                row[static_cast<size_t>(c)].clear();
        return rows;
    }

    QStringList storedNames() const
    {
        QStringList out;
        for (const auto &row : storedRows())
            out << row[GroupTable::Name];
        return out;
    }
};
