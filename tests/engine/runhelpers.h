#pragma once

// Helpers for the tests that run whole downloads: an attachment, an article
// for INN, a port nobody listens on.

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace runtest {

// A small uuencoder, enough to make an attachment.
inline QByteArray uuencode(const QByteArray &name, const QByteArray &data)
{
    const auto enc = [](int v) { return char(v == 0 ? '`' : v + 32); };
    QByteArray out = "begin 644 " + name + "\r\n";
    for (qsizetype i = 0; i < data.size(); i += 45) {
        const QByteArray chunk = data.mid(i, 45);
        const QByteArray padded = chunk + QByteArray(2, '\0');
        out += enc(int(chunk.size()));
        for (qsizetype j = 0; j < chunk.size(); j += 3) {
            const int v =
                (uchar(padded[j]) << 16) | (uchar(padded[j + 1]) << 8) | uchar(padded[j + 2]);
            for (const int shift : {18, 12, 6, 0})
                out += enc((v >> shift) & 63);
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

// Sample bytes (xorshift32, the low byte), as mkarticles.py makes them.
inline QByteArray sampleBytes(int n, int seed = 1)
{
    QByteArray b;
    quint32 x = 2463534242u + quint32(seed);
    for (int i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b += char(x & 0xFF);
    }
    return b;
}

inline quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

// An article for INN: From, Newsgroups, Subject and the body.
inline QByteArray innArticle(const QByteArray &group, const QByteArray &body)
{
    return "From: Poster <poster@example.com>\r\nNewsgroups: " + group +
           "\r\nSubject: kaplo\r\n\r\n" + body;
}

} // namespace runtest
