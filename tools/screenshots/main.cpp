// kaplo-screenshots DIR: pictures of the windows for the documentation
// (scripts/screenshots.sh). A tool of the source tree, never installed: the
// windows are those of kaplo, started as kaplo starts them, saved and closed.
#include "app/startup.h"
#include "app/ui/appicon.h"
#include "app/ui/form1.h"
#include "app/ui/uifont.h"
#include "app/ui/widgetprompter.h"
#include "core/appcontext.h"
#include "screenshots/screenshots.h"
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

    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kaplo-screenshots DIR\n");
        return 2;
    }

    SettingsStore store(SettingsStore::defaultPath());
    WidgetPrompter prompter;
    AppContext ctx(store, prompter);
    Form1 form(ctx, Startup::commandLineOf({}));
    prompter.setParentWidget(&form);

    QString error;
    const QStringList files = Screenshots::save(form, args.first(), &error);
    for (const QString &f : files)
        std::fprintf(stdout, "%s\n", qPrintable(f));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kaplo-screenshots: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
