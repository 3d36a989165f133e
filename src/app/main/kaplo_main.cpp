// kaplo: the desktop program.
#include "app/startup.h"
#include "app/ui/appicon.h"
#include "app/ui/form1.h"
#include "app/ui/screenshots.h"
#include "app/ui/uifont.h"
#include "app/ui/widgetprompter.h"
#include "core/appcontext.h"
#include "settings/settingsstore.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KAPLO"));
    QApplication::setApplicationVersion(QStringLiteral(KAPLO_VERSION));
    QApplication::setWindowIcon(AppIcon::icon());
    UiFont::installFallback();

    QStringList args = QApplication::arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        std::fprintf(stdout, "kaplo %s\n", KAPLO_VERSION);
        return 0;
    }
    // `--screenshot DIR`, for the documentation only: saves pictures of the
    // windows and ends. It is not part of the command line the program acts on.
    QString screenshotDir;
    if (args.size() == 2 && args.first() == QLatin1String("--screenshot")) {
        screenshotDir = args.last();
        args.clear();
    }

    SettingsStore store(SettingsStore::defaultPath());
    WidgetPrompter prompter;
    AppContext ctx(store, prompter);
    if (!Startup::settingsReadable(ctx))
        return 2;

    // Form_Load runs in the constructor, before the window is shown; the
    // checks and the automatic start follow when it is first shown.
    Form1 form(ctx, Startup::commandLineOf(args));
    prompter.setParentWidget(&form);

    if (!screenshotDir.isEmpty()) {
        QString error;
        const QStringList files = Screenshots::save(form, screenshotDir, &error);
        for (const QString &f : files)
            std::fprintf(stdout, "%s\n", qPrintable(f));
        if (!error.isEmpty()) {
            std::fprintf(stderr, "kaplo: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }

    form.show();
    return QApplication::exec();
}
