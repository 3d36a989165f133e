#pragma once

#include "decode/cp932.h"
#include "engine/nntpsocket.h"

#include <QAbstractSocket>
#include <QPointer>

class QTcpSocket;

// NntpSocket over a plain TCP connection. Each connection gets a transport
// object of its own, so that nothing of a closed connection can reach the
// caller: its signals are cut and it is deleted later. Errors, the server
// closing the connection included, are delivered from the event loop, never
// from inside connectToHost() or send().
//
// A secure variant overrides makeTransport() (a QSslSocket is a QTcpSocket)
// and startConnection() (connectToHostEncrypted).
class TcpNntpSocket : public NntpSocket {
    Q_OBJECT
public:
    explicit TcpNntpSocket(QObject *parent = nullptr);
    ~TcpNntpSocket() override;

    void connectToHost(const QString &host, int port) override;
    void send(const QString &text) override;
    QString readAll() override;
    void close() override;

    // Received bytes kept by the transport before they are read; the kernel
    // holds back the rest, so a fast server cannot fill memory.
    static constexpr qint64 ReadBufferSize = 64 * 1024;

    // Our descriptions of the usual failures.
    static QString describe(QAbstractSocket::SocketError error, const QString &platformText);
    static QString serverClosedText();

protected:
    virtual QTcpSocket *makeTransport();
    virtual void startConnection(QTcpSocket &transport, const QString &host, quint16 port);

private:
    void dropTransport();
    void reportError(quint64 generation, const QString &description);

    QPointer<QTcpSocket> m_transport;
    Cp932::StreamDecoder m_decoder;
    quint64 m_generation = 0; // one per connection; stale deliveries compare it
    bool m_reported = false;  // this connection has raised its error
};
