#pragma once

#include "catalogue/cataloguefile.h"
#include "catalogue/cataloguesession.h"
#include "decode/cp932.h"
#include "groups/groupfixture.h"

// A settings file whose save directory is a fresh folder (and SERVER keys as
// given), and a context loaded from it as start-up loads one.
struct CatalogueFixture : GroupFixture {
    explicit CatalogueFixture(const QString &host = "127.0.0.1", int port = 119,
                              const QStringList &server = {})
    {
        store->write("SAVE", "DIR", dir.path());
        for (const QString &kv :
             server + QStringList{"SERVERNAME=" + host, "SERVERPORT=" + QString::number(port)})
            store->write("SERVER", kv.section('=', 0, 0), kv.section('=', 1));
        reload();
    }
    QString catalogPath() const { return CatalogueFile::path(dir.path()); }
    void writeCatalog(const QByteArray &bytes) const
    {
        QFile f(catalogPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    // TIME as the store has it on disk; "(none)" when it is not there.
    QString storedTime() const { return SettingsStore(path).read("SERVER", "TIME", "(none)"); }
};

// A catalogue file holding these names.
inline QByteArray catalogueOf(const QStringList &names)
{
    return names.isEmpty() ? QByteArray() : Cp932::encode(names.join("\r\n") + "\r\n");
}
