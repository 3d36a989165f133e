#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Case of ASCII letters only. Protocol keywords and newsgroup names are
// ASCII: they are compared without the general Unicode case folding, which
// costs several times as much per character and would match characters that
// fold to an ASCII letter.
namespace Ascii {

constexpr char16_t toUpper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c;
}

constexpr char16_t toLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Whether keyword (ASCII) stands at position `at` of text, ASCII letters in
// either case. No character outside ASCII changes to an ASCII letter here,
// so only ASCII characters of text can match.
inline bool matchesAt(QStringView text, qsizetype at, QLatin1StringView keyword)
{
    if (at < 0 || text.size() - at < keyword.size())
        return false;
    for (qsizetype i = 0; i < keyword.size(); ++i) {
        if (toUpper(text[at + i].unicode()) != toUpper(keyword[i].unicode()))
            return false;
    }
    return true;
}

} // namespace Ascii
