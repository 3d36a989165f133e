#pragma once

#include "decode/cp932.h"
#include "engine/nntpsocket.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QPointer>

class QTcpSocket;

// NntpSocket over a plain TCP connection. Each connection gets a transport
// object of its own, so that nothing of a closed connection can reach the
// caller: its signals are cut and it is deleted later. Errors, the server
// closing the connection included, are delivered from the event loop, never
// from inside connectToHost() or send().
//
// With tls() set, a connection is implicit TLS (RFC 8143): a QSslSocket that
// verifies the server's certificate against the system's authorities and the
// host name given to connectToHost(). Nothing is read before the session is
// encrypted, and what is sent before that waits for it; a failed handshake or
// verification is reported through error() and nothing goes out. caFile()
// names a PEM file of further authorities to trust (SERVER/CAFILE).
class TcpNntpSocket : public NntpSocket {
    Q_OBJECT
public:
    explicit TcpNntpSocket(QObject *parent = nullptr);
    ~TcpNntpSocket() override;

    void connectToHost(const QString &host, int port) override;
    void send(const QString &text) override;
    QString readAll() override;
    void readBytes(QByteArray &buffer) override;
    void close() override;

    // Received bytes kept by the transport before they are read; the kernel
    // holds back the rest, so a fast server cannot fill memory. Large enough
    // that a fast link is read in few, large reads.
    static constexpr qint64 ReadBufferSize = 512 * 1024;

    // Our descriptions of the usual failures.
    static QString describe(QAbstractSocket::SocketError error, const QString &platformText);
    static QString serverClosedText();
    // "証明書を検証できません: " and the reasons given.
    static QString certificateText(const QString &reasons);
    // "SSL/TLSで接続できません: " and the reason given.
    static QString tlsFailedText(const QString &reason);
    // This build can make TLS connections (Qt has a TLS backend).
    static bool tlsAvailable();

protected:
    virtual QTcpSocket *makeTransport();
    virtual void startConnection(QTcpSocket &transport, const QString &host, quint16 port);

private:
    void dropTransport();
    void reportError(quint64 generation, const QString &description);
    void configureTls(QTcpSocket &transport);
    // describe(), with the TLS reason when the session never stood.
    QString describeFailure(QAbstractSocket::SocketError error, const QString &platformText) const;

    QPointer<QTcpSocket> m_transport;
    QByteArray m_unsent;          // sent before the TLS session stood
    QString m_certificateErrors;  // why the server's certificate was refused
    bool m_tlsConnection = false; // the current connection is TLS
    bool m_encrypted = false;     // its session stands
    Cp932::StreamDecoder m_decoder;
    quint64 m_generation = 0; // one per connection; stale deliveries compare it
    bool m_reported = false;  // this connection has raised its error
};
