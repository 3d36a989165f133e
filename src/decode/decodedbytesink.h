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
    // The line does not have the expected form: the attachment ends here.
    virtual void reject() = 0;
};
