#include "app/ui/screenshots.h"

#include "app/ui/form1.h"
#include "app/ui/frmabout.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace {

bool saveWidget(QWidget &w, const QString &path, QString *error)
{
    w.show();
    QCoreApplication::processEvents();
    if (w.grab().save(path, "PNG"))
        return true;
    if (error)
        *error = QStringLiteral("cannot write ") + path;
    return false;
}

} // namespace

QStringList Screenshots::save(Form1 &form, const QString &dir, QString *error)
{
    QStringList written;
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create ") + dir;
        return written;
    }
    const QDir d(dir);

    const QString form1 = d.filePath(QStringLiteral("form1.png"));
    if (!saveWidget(form, form1, error))
        return written;
    written << form1;

    frmAbout about(&form);
    const QString aboutPng = d.filePath(QStringLiteral("frmabout.png"));
    if (!saveWidget(about, aboutPng, error))
        return written;
    written << aboutPng;
    return written;
}
