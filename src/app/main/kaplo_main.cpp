// kaplo: the desktop program.
#include "app/startup.h"
#include "app/ui/appicon.h"
#include "app/ui/form1.h"
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

    const QStringList args = QApplication::arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        std::fprintf(stdout, "kaplo %s\n", KAPLO_VERSION);
        return 0;
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

    form.show();
    return QApplication::exec();
}
