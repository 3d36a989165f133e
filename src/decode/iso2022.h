#pragma once

#include <QString>

// Header text to display text: the first ISO-2022-JP encoded word (Q before
// B) is decoded, then the whole text goes through JisToSJis.
QString Iso_2022(const QString &text);
// JIS two-byte sequences (between escapes) to the characters their Shift_JIS
// codes stand for; control characters and escape sequences are dropped.
QString JisToSJis(const QString &text);
