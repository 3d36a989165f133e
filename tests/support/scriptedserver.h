#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;

// An NNTP server in this process (127.0.0.1) that plays a fixed script: each
// command line (CR dropped) is recorded and answered with the reply
// registered for it, else "500 command not recognized". A reply's chunks are
// written one at a time with a pause between, so the client most likely sees
// each in a read of its own. The test spins the event loop (QTRY_*).
class ScriptedServer final : public QObject {
    Q_OBJECT
public:
    explicit ScriptedServer(QObject *parent = nullptr);
    ~ScriptedServer() override;

    // Starts listening on 127.0.0.1 at a free port; returns the port, 0 on
    // failure. Calling it again returns the same port.
    quint16 start();

    // The chunks written when a client connects. Default: one chunk
    // "200 scripted server ready\r\n". An empty list sends nothing.
    void setGreeting(const QList<QByteArray> &chunks);
    // Drop each connection right after its greeting.
    void setCloseAfterGreeting(bool close);

    // Queues a reply for the command line `command` (without CR LF). Several
    // replies for the same command are used in order, one per time it is
    // received; the last one is then repeated.
    void reply(const QByteArray &command, const QList<QByteArray> &chunks);
    // The last reply queued for `command` closes the connection after it is
    // written (registers an empty reply when there is none yet).
    void closeAfter(const QByteArray &command);
    // Pause between two chunks of one reply, in milliseconds (default 30).
    void setChunkPause(int ms);

    // Writes chunks to the newest open connection now (server-initiated data).
    void push(const QList<QByteArray> &chunks);
    // Closes every open connection (as a server going away would).
    void dropConnections();

    // Every command line received, over all connections, in order: as text
    // (bytes read as CP932) and as the raw bytes.
    QStringList received() const;
    QList<QByteArray> receivedBytes() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // Connections still open.
    int openConnections() const;

private:
    struct Step {
        QList<QByteArray> chunks;
        bool close = false;
    };
    struct Connection;

    void onNewConnection();
    void onReadyRead(Connection *c);
    void enqueue(Connection *c, const Step &step);
    void pump(Connection *c);
    Step stepFor(const QByteArray &command);

    QTcpServer *m_server = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QList<QByteArray> m_greeting;
    bool m_closeAfterGreeting = false;
    QHash<QByteArray, std::deque<Step>> m_replies;
    QList<QByteArray> m_defaultReply;
    QList<QByteArray> m_received;
    int m_pauseMs = 30;
};
