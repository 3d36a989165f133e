#pragma once

#include <QByteArrayView>
#include <QStringView>

class DecodedByteSink;

// One body line of a base64 MIME part. Its length must be a multiple of 4;
// only the line's last group is tested for padding ("==" one byte, "=" two),
// elsewhere "=" reads as zero bits. A line of the wrong length is rejected
// with nothing written; a group with a character outside the alphabet is
// rejected after the bytes of the groups before it. An empty line does
// nothing. The line may come as text or as the bytes received.
namespace Base64Decoder {
void decodeLine(QStringView line, DecodedByteSink &sink);
void decodeLine(QByteArrayView line, DecodedByteSink &sink);
} // namespace Base64Decoder
