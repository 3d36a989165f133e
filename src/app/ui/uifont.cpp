#include "app/ui/uifont.h"

#include <QFontDatabase>
#include <QStringList>

QString UiFont::msPGothic()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}

void UiFont::installFallback()
{
    static const QStringList fallbacks = {
        QStringLiteral("MS PGothic"),         QStringLiteral("IPAPGothic"),
        QStringLiteral("IPA Pゴシック"),      QStringLiteral("IPAexGothic"),
        QStringLiteral("IPAGothic"),          QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("VL PGothic"),         QStringLiteral("TakaoPGothic"),
        QStringLiteral("Droid Sans Fallback")};
    static bool done = false;
    if (done)
        return;
    done = true;
    if (!QFontDatabase::families().contains(msPGothic()))
        QFont::insertSubstitutions(msPGothic(), fallbacks);
}

QFont UiFont::msPGothicFont(qreal pointSize)
{
    QFont f(msPGothic());
    f.setPointSizeF(pointSize);
    return f;
}
