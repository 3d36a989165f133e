#pragma once

#include <QtGlobal>

// Where the body line decoders put what they decode: the attachment being
// written. A decoder hands over the bytes of the valid groups of a line (in
// order, possibly in several pieces for a long line) and tells the sink when
// the line does not have the expected form.
class DecodedByteSink {
public:
    virtual ~DecodedByteSink() = default;
    // Whether the attachment is still being written. Once false, the decoder
    // stops for the rest of the line.
    virtual bool accepting() const = 0;
    // Bytes of valid groups, in order. Opens the output file first when the
    // attachment has none yet.
    virtual void write(const char *data, qsizetype size) = 0;
    // Memory for `size` bytes the decoder may decode a line into directly
    // (no copy), handed over with written() before any other call; null
    // when the sink takes bytes only through write(). Used by the yEnc
    // decoder.
    virtual char *lend(qsizetype size)
    {
        Q_UNUSED(size);
        return nullptr;
    }
    // The first `size` bytes of what lend() gave are decoded bytes, as
    // write() would have taken them.
    virtual void written(qsizetype size) { Q_UNUSED(size); }
    // The line does not have the expected form: the attachment ends here.
    virtual void reject() = 0;
};
