#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class QTcpServer;

// An NNTP server on 127.0.0.1 that plays a fixed script: each command line
// (CR dropped) is recorded and answered with the reply registered for it,
// else "500 command not recognized". A reply's chunks are written with a
// pause between, so the client most likely reads each on its own. The test
// spins the event loop (QTRY_*).
class ScriptedServer final : public QObject {
    Q_OBJECT
public:
    explicit ScriptedServer(QObject *parent = nullptr);
    ~ScriptedServer() override;

    // Listens at a free port (the same one when called again); 0 on failure.
    quint16 start();

    // The chunks written when a client connects (an empty list: nothing);
    // with `close`, the connection is dropped after them.
    void setGreeting(const QList<QByteArray> &chunks) { m_greeting = chunks; }
    void setCloseAfterGreeting(bool close) { m_closeAfterGreeting = close; }

    // Queues a reply for the command line `command` (without CR LF); replies
    // for one command are used in order, the last one then repeats.
    void reply(const QByteArray &command, const QList<QByteArray> &chunks);
    // The last reply queued for `command` closes the connection after it.
    void closeAfter(const QByteArray &command);
    // Pause between two chunks of one reply, in milliseconds (default 30).
    void setChunkPause(int ms) { m_pauseMs = ms; }

    // Writes chunks to the newest connection now.
    void push(const QList<QByteArray> &chunks);
    // Closes every open connection, as a server going away would.
    void dropConnections();

    // Every command line received, in order: as CP932 text and as bytes.
    QStringList received() const;
    QList<QByteArray> receivedBytes() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    int openConnections() const;

private:
    struct Connection;

    void onNewConnection();
    void enqueue(Connection *c, const QList<QByteArray> &chunks);
    void pump(Connection *c);
    void drop(Connection *c);

    QTcpServer *m_server = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QList<QByteArray> m_greeting{"200 scripted server ready\r\n"};
    bool m_closeAfterGreeting = false;
    // Replies; a null chunk (the last) closes the connection.
    QHash<QByteArray, QList<QList<QByteArray>>> m_replies;
    QList<QByteArray> m_received;
    int m_pauseMs = 30;
};
