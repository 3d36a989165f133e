#pragma once

#include "decode/decodedbytesink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A sink that behaves like the attachment it stands for (the file opens at
// the first bytes, a rejection closes it for good) and records what
// happened: "open", "w:<hex bytes>" (consecutive writes joined), "close".
class RecordingSink final : public DecodedByteSink {
public:
    bool inBody = true;
    bool openPending = true;
    // The file cannot be opened: opening ends the attachment instead.
    bool openFails = false;
    QStringList events;
    QByteArray bytes;
    int writeCalls = 0;

    bool accepting() const override { return inBody; }
    void write(const char *data, qsizetype size) override
    {
        ++writeCalls;
        if (openPending) {
            openPending = false;
            events << QStringLiteral("open");
            if (openFails) {
                inBody = false;
                return;
            }
        }
        if (!inBody)
            return;
        const QByteArray b(data, size);
        bytes += b;
        if (!events.isEmpty() && events.last().startsWith(QLatin1String("w:")))
            events.last() += QString::fromLatin1(b.toHex());
        else
            events << QStringLiteral("w:") + QString::fromLatin1(b.toHex());
    }
    void reject() override
    {
        events << QStringLiteral("close");
        inBody = false;
        openPending = false;
    }
};
