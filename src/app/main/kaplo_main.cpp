// kaplo: the desktop program.
#include "app/appcontext.h"
#include "app/startup.h"
#include "app/ui/appicon.h"
#include "app/ui/form1.h"
#include "app/ui/uifont.h"
#include "app/ui/widgetprompter.h"
#include "settings/settingsstore.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KAPLO"));
    QApplication::setApplicationVersion(QStringLiteral("1.6.8"));
    QApplication::setWindowIcon(AppIcon::icon());
    UiFont::installFallback();

    SettingsStore store(SettingsStore::defaultPath());
    WidgetPrompter prompter;
    AppContext ctx(store, prompter);

    // Form_Load runs in the constructor, before the window is shown; the
    // checks and the automatic start follow when it is first shown.
    Form1 form(ctx, Startup::commandLineOf(QApplication::arguments().mid(1)));
    prompter.setParentWidget(&form);
    form.show();
    return QApplication::exec();
}
