#pragma once

#include "catalogue/cataloguechooser.h"
#include "catalogue/cataloguefile.h"
#include "catalogue/cataloguesession.h"
#include "core/appcontext.h"
#include "decode/cp932.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"

#include <QFile>
#include <QTemporaryDir>

// A settings file whose save directory is a fresh folder (and SERVER keys as
// given), and a context loaded from it as start-up loads one.
struct CatalogueFixture {
    QTemporaryDir dir;
    QString settingsPath = dir.filePath("KAPLO.ini");
    SettingsStore store{settingsPath};
    ScriptedPrompter prompter;
    AppContext ctx{store, prompter};

    explicit CatalogueFixture(const QString &host = "127.0.0.1", int port = 119,
                              const QStringList &server = {})
    {
        SettingsBatch batch(store);
        store.write("SAVE", "DIR", dir.path());
        for (const QString &kv :
             server + QStringList{"SERVERNAME=" + host, "SERVERPORT=" + QString::number(port)})
            store.write("SERVER", kv.section('=', 0, 0), kv.section('=', 1));
        batch.commit();
        ctx.settings.load(store);
    }
    QString catalogPath() const { return CatalogueFile::path(dir.path()); }
    QByteArray catalogBytes() const
    {
        QFile f(catalogPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeCatalog(const QByteArray &bytes) const
    {
        QFile f(catalogPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    // TIME as the store has it on disk; "(none)" when it is not there.
    QString storedTime() const
    {
        return SettingsStore(settingsPath).read("SERVER", "TIME", "(none)");
    }
};

// A catalogue file holding these names.
inline QByteArray catalogueOf(const QStringList &names)
{
    return names.isEmpty() ? QByteArray() : Cp932::encode(names.join("\r\n") + "\r\n");
}
