#pragma once

#include <QFont>
#include <QString>

// The Japanese fonts of the windows. "ＭＳ Ｐゴシック" is rarely installed
// outside Windows; the family is mapped to the closest installed one
// (IPAPGothic from fonts-ipafont-gothic, then other Japanese sans fonts).
namespace UiFont {

QString msPGothic(); // "ＭＳ Ｐゴシック"

// Registers the fall-back families (once; the application must exist).
void installFallback();

// "ＭＳ Ｐゴシック" at the given size in points.
QFont msPGothicFont(qreal pointSize);

} // namespace UiFont
