#pragma once
// Text of test rows kept in data files: "\t" "\r" "\n" "\0" "\\", "\xHH"
// and "\uHHHH" (one UTF-16 unit each), "\UHHHHHHHH" (a code point), and
// "\{N:text}" for text repeated N times.
#include "support/testdata.h"

#include <QString>
#include <QTest>

namespace kaplotest {

inline QString unescape(const QString &s)
{
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const QChar c = s[++i];
        const auto hex = [&](int n) { return s.mid(i + 1, n).toUInt(nullptr, 16); };
        if (c == u't')
            out += u'\t';
        else if (c == u'r')
            out += u'\r';
        else if (c == u'n')
            out += u'\n';
        else if (c == u'0')
            out += QChar(0);
        else if (c == u'x' || c == u'u') {
            const int n = c == u'x' ? 2 : 4;
            out += QChar(char16_t(hex(n)));
            i += n;
        } else if (c == u'U') {
            out += QString::fromUcs4(std::u32string(1, char32_t(hex(8))).data(), 1);
            i += 8;
        } else if (c == u'{') {
            const qsizetype colon = s.indexOf(u':', i), close = s.indexOf(u'}', colon);
            out += unescape(s.mid(colon + 1, close - colon - 1))
                       .repeated(s.mid(i + 1, colon - i - 1).toInt());
            i = close;
        } else
            out += c;
    }
    return out;
}

// For a _data() function with QString columns "fn", "in" and "out": one row per line
// "name<TAB>in<TAB>out" of tests/data/RELATIVE (lines starting with "#"
// left out), with fn set to `fn`.
inline void addTextRows(const QString &fn, const QString &relative)
{
    int n = 0;
    for (const QByteArray &line : dataFile(relative).split('\n')) {
        const QStringList f = QString::fromUtf8(line).split(u'\t');
        if (f.size() == 3 && !f[0].startsWith(u'#'))
            QTest::addRow("%s: %s %d", qPrintable(fn), qPrintable(f[0]), ++n)
                << fn << unescape(f[1]) << unescape(f[2]);
    }
}

} // namespace kaplotest
