#pragma once

#include "catalogue/cataloguechooser.h"
#include "catalogue/catalogueconversation.h"
#include "catalogue/cataloguefile.h"
#include "catalogue/cataloguesession.h"
#include "core/appcontext.h"
#include "decode/cp932.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A settings file whose save directory is a fresh folder, and a context
// loaded from it as start-up loads one.
struct CatalogueFixture {
    QTemporaryDir dir;
    QString settingsPath = dir.filePath(QStringLiteral("KAPLO.ini"));
    std::unique_ptr<SettingsStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<AppContext> ctx;

    explicit CatalogueFixture(const QString &host = QStringLiteral("127.0.0.1"), int port = 119)
    {
        {
            SettingsStore writer(settingsPath);
            SettingsBatch batch(writer);
            writer.write(QStringLiteral("SAVE"), QStringLiteral("DIR"), dir.path());
            writer.write(QStringLiteral("SERVER"), QStringLiteral("SERVERNAME"), host);
            writer.write(QStringLiteral("SERVER"), QStringLiteral("SERVERPORT"),
                         QString::number(port));
            batch.commit();
        }
        reload();
    }

    void reload()
    {
        ctx.reset();
        store = std::make_unique<SettingsStore>(settingsPath);
        ctx = std::make_unique<AppContext>(*store, prompter);
        ctx->settings.load(*store);
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
        SettingsStore s(settingsPath);
        return s.read(QStringLiteral("SERVER"), QStringLiteral("TIME"), QStringLiteral("(none)"));
    }
};

// One opening of the catalogue window, without the widgets, over a socket
// the test supplies.
template <typename Socket> struct CatalogueRig {
    CatalogueRig(CatalogueFixture &f, CatalogueSession &s)
        : session(s), chooser(s, *f.store, f.ctx->settings, f.prompter),
          conversation(s, chooser, socket, f.ctx->settings, f.prompter)
    {
        QObject::connect(&conversation, &CatalogueConversation::label1Changed,
                         [this](const QString &t) { label1 = t; });
        QObject::connect(&conversation, &CatalogueConversation::listingEnded,
                         [this](bool saved) { ended << saved; });
        QObject::connect(&conversation, &CatalogueConversation::refused,
                         [this](const QString &l) { refusals << l; });
        QObject::connect(&conversation, &CatalogueConversation::failed,
                         [this](const QString &d) { failures << d; });
        chooser.Form_Load();
    }

    QStringList list1()
    {
        QStringList out;
        for (const QString &n : chooser.list1().names())
            out << n;
        return out;
    }
    QStringList list2()
    {
        QStringList out;
        for (const QString &n : chooser.list2().names())
            out << n;
        return out;
    }

    CatalogueSession &session;
    Socket socket;
    CatalogueChooser chooser;
    CatalogueConversation conversation;
    QString label1;
    QList<bool> ended;
    QStringList refusals;
    QStringList failures;
};
