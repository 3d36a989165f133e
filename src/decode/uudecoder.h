#pragma once

#include <QByteArrayView>
#include <QStringView>

class DecodedByteSink;

// One body line of a uuencoded block. The count character gives N, the line
// must be 4 * floor((N + 2) / 3) + 1 characters long, and its groups give
// exactly N bytes. A line of the wrong length is rejected with nothing
// written; a group with a character outside the alphabet is rejected after
// the bytes of the groups before it. The line may come as text or as the
// bytes received (a byte from 0x80 on is outside the alphabet).
namespace UuDecoder {
void decodeLine(QStringView line, DecodedByteSink &sink);
void decodeLine(QByteArrayView line, DecodedByteSink &sink);
} // namespace UuDecoder
