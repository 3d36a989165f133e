#pragma once

#include <QByteArray>

// yEnc as an encoder writes it: +42, then "=" and +64 for NUL, LF, CR and "=".
inline QByteArray yencEncode(const QByteArray &data)
{
    QByteArray out;
    for (const char c : data) {
        const char e = char(uchar(c) + 42);
        if (e == 0 || e == '\n' || e == '\r' || e == '=')
            out += '=', out += char(uchar(e) + 64);
        else
            out += e;
    }
    return out;
}
