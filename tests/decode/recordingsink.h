#pragma once

#include "decode/decodedbytesink.h"

#include <QStringList>

// A sink that behaves like the attachment it stands for (the file opens at
// the first write, a rejection closes it for good) and records the bytes and
// the events "open" and "close".
class RecordingSink final : public DecodedByteSink {
public:
    bool inBody = true;
    QStringList events;
    QByteArray bytes;
    int writeCalls = 0;

    bool accepting() const override { return inBody; }
    void write(const char *data, qsizetype size) override
    {
        if (writeCalls++ == 0 && inBody)
            events << QStringLiteral("open");
        if (inBody)
            bytes.append(data, size);
    }
    void reject() override
    {
        events << QStringLiteral("close");
        inBody = false;
    }
};
