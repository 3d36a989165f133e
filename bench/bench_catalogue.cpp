// Catalogue fetch benchmark: one LIST from a news server into the catalogue
// window's sorted lists and newsgroups.dat, timed from the command to the
// saved file. Run by catalogue_bench.sh against a private INN server.
//
//   bench_catalogue HOST PORT SAVEDIR [--core]
//
// Without --core the whole window (Form3, offscreen) shows the lists; with
// it only the core (lists as models, no views) runs, as kaplo-cli does.
#include "catalogue/cataloguechooser.h"
#include "catalogue/catalogueconversation.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/ui/form3.h"
#include "core/appcontext.h"
#include "core/prompter.h"
#include "engine/tcpnntpsocket.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

class SilentPrompter final : public Prompter {
public:
    void message(const QString &) override {}
    bool confirm(const QString &) override { return true; }
    std::optional<QString> input(const QString &, const QString &d) override { return d; }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_catalogue HOST PORT SAVEDIR [--core]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool coreOnly = args.size() > 4 && args.at(4) == QLatin1String("--core");

    SettingsStore store(args.at(3) + QStringLiteral("/KAPLO.ini"));
    SilentPrompter prompter;
    AppContext ctx(store, prompter);
    ctx.settings.serverName = args.at(1);
    ctx.settings.serverPort = args.at(2);
    ctx.settings.saveDir = args.at(3);

    CatalogueSession session;
    std::unique_ptr<Form3> form;
    std::unique_ptr<TcpNntpSocket> socket;
    std::unique_ptr<CatalogueChooser> coreChooser;
    std::unique_ptr<CatalogueConversation> coreConversation;
    CatalogueChooser *chooser;
    CatalogueConversation *conversation;
    if (coreOnly) {
        socket = std::make_unique<TcpNntpSocket>();
        coreChooser = std::make_unique<CatalogueChooser>(session, store, ctx.settings, prompter);
        coreChooser->Form_Load();
        coreConversation = std::make_unique<CatalogueConversation>(session, *coreChooser, *socket,
                                                                   ctx.settings, prompter);
        chooser = coreChooser.get();
        conversation = coreConversation.get();
    } else {
        form = std::make_unique<Form3>(ctx, session, nullptr);
        form->show();
        chooser = &form->chooser();
        conversation = &form->conversation();
    }

    // The busy pointer is up exactly while the file is written.
    QElapsedTimer clock;
    qint64 saveStart = 0;
    qint64 saveMs = 0;
    const auto shown = chooser->setBusy;
    chooser->setBusy = [&](bool busy) {
        if (busy)
            saveStart = clock.elapsed();
        else
            saveMs += clock.elapsed() - saveStart;
        if (shown)
            shown(busy);
    };
    int dataEvents = 0;
    QObject::connect(conversation, &CatalogueConversation::label1Changed, [&] { ++dataEvents; });

    QEventLoop loop;
    bool ok = false;
    QObject::connect(conversation, &CatalogueConversation::listingEnded, &loop, [&](bool saved) {
        ok = saved;
        loop.quit();
    });
    QObject::connect(conversation, &CatalogueConversation::failed, &loop, [&](const QString &why) {
        QTextStream(stderr) << why << '\n';
        loop.quit();
    });
    clock.start();
    conversation->cmdALL_Click();
    loop.exec();
    const qint64 total = clock.elapsed();
    if (!ok)
        return 1;

    QTextStream(stdout) << (coreOnly ? "core" : "window") << ": " << session.fetchCount
                        << " names, " << chooser->list1().count() << " in List1, "
                        << QFileInfo(chooser->path()).size() << " bytes saved, " << total
                        << " ms in all (" << saveMs << " ms writing the file), " << dataEvents
                        << " count updates\n";
    return 0;
}
