#pragma once

#include <QString>
#include <QStringList>

class Form1;

// Pictures of the program's windows for the documentation
// (scripts/screenshots.sh runs the kaplo-screenshots tool).
namespace Screenshots {

// Saves a PNG of each window into dir (form1.png, …) and returns the paths
// written; sets error and stops at the first file that cannot be written.
QStringList save(Form1 &form, const QString &dir, QString *error);

} // namespace Screenshots
