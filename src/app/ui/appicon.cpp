#include "app/ui/appicon.h"

// The resources live in a static library: nothing else would pull them in.
static void initResources()
{
    Q_INIT_RESOURCE(kaplo);
}

QPixmap AppIcon::pixmap(int size)
{
    initResources();
    QPixmap pm(size <= 32 ? QStringLiteral(":/icons/kaplo-32.png")
                          : QStringLiteral(":/icons/kaplo-256.png"));
    if (!pm.isNull() && pm.width() != size)
        pm = pm.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return pm;
}

QIcon AppIcon::icon()
{
    initResources();
    QIcon i;
    i.addFile(QStringLiteral(":/icons/kaplo-32.png"));
    i.addFile(QStringLiteral(":/icons/kaplo-256.png"));
    return i;
}
