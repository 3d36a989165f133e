#pragma once

#include "decode/cp932.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The TCP client socket both NNTP conversations talk through. Connecting
// returns at once; the greeting arriving is the sign the connection stands.
// Bytes are CP932 on the wire and text here: a double-byte character split
// across two reads is joined. After close() no further event of that
// connection arrives; a later connectToHost() opens a new one.
class NntpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NntpSocket() override = default;

    virtual void connectToHost(const QString &host, int port) = 0;
    // One command line, with its CR LF.
    virtual void send(const QString &text) = 0;
    // Everything received and not yet read, as text.
    virtual QString readAll() = 0;
    // Everything received and not yet read, as the bytes that came, in a
    // buffer the caller keeps (its old content is replaced).
    virtual void readBytes(QByteArray &buffer) { buffer = Cp932::encode(readAll()); }
    virtual void close() = 0;

    // Implicit TLS (RFC 8143) for the connections opened from now on: the
    // server's certificate is verified before anything is read or sent.
    void setTls(bool on) { m_tls = on; }
    bool tls() const { return m_tls; }
    // A PEM file of authorities trusted besides the system's (SERVER/CAFILE).
    void setCaFile(const QString &path) { m_caFile = path; }
    QString caFile() const { return m_caFile; }
    // For the connections opened from now on: a received line whose bytes
    // are well-formed UTF-8 is read as UTF-8, any other as CP932 (article
    // headers written by today's clients).
    void setUtf8Lines(bool on) { m_utf8Lines = on; }
    bool utf8Lines() const { return m_utf8Lines; }

signals:
    void dataArrival();
    // A failed or broken connection, with its description (in Japanese where
    // ours). The server closing the connection is reported here too.
    void error(const QString &description);

private:
    bool m_tls = false;
    QString m_caFile;
    bool m_utf8Lines = false;
};
