#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, from the resources.
namespace AppIcon {

QPixmap pixmap(int size = 32);
QIcon icon();

} // namespace AppIcon
