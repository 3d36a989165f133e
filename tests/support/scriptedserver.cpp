#include "support/scriptedserver.h"

#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

struct ScriptedServer::Connection {
    explicit Connection(QTcpSocket *s) : socket(s) {}
    QTcpSocket *socket; // owned by the server object
    QByteArray in;
    QList<QByteArray> out; // chunks still to write
    QTimer timer;
    bool open = true;
};

ScriptedServer::ScriptedServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
}

ScriptedServer::~ScriptedServer()
{
    for (auto &c : m_connections) {
        c->socket->disconnect(this);
        c->socket->abort();
    }
}

quint16 ScriptedServer::start()
{
    if (!m_server->isListening() && !m_server->listen(QHostAddress::LocalHost, 0))
        return 0;
    return m_server->serverPort();
}

void ScriptedServer::reply(const QByteArray &command, const QList<QByteArray> &chunks)
{
    m_replies[command].append(chunks);
}

void ScriptedServer::closeAfter(const QByteArray &command)
{
    auto &replies = m_replies[command];
    if (replies.isEmpty())
        replies.emplaceBack();
    replies.last().append(QByteArray());
}

void ScriptedServer::push(const QList<QByteArray> &chunks)
{
    if (!m_connections.empty())
        enqueue(m_connections.back().get(), chunks);
}

void ScriptedServer::dropConnections()
{
    for (auto &c : m_connections)
        drop(c.get());
}

QStringList ScriptedServer::received() const
{
    QStringList lines;
    for (const QByteArray &b : m_received)
        lines << QStringDecoder("windows-31j").decode(b);
    return lines;
}

int ScriptedServer::openConnections() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const auto &c) { return c->open; }));
}

void ScriptedServer::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        s->setParent(this);
        m_connections.push_back(std::make_unique<Connection>(s));
        Connection *c = m_connections.back().get();
        c->timer.setSingleShot(true);
        connect(&c->timer, &QTimer::timeout, this, [this, c] { pump(c); });
        connect(s, &QTcpSocket::disconnected, this, [this, c] { drop(c); });
        connect(s, &QTcpSocket::readyRead, this, [this, c] {
            c->in += c->socket->readAll();
            for (qsizetype lf; (lf = c->in.indexOf('\n')) >= 0;) {
                QByteArray line = c->in.left(lf);
                c->in.remove(0, lf + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                m_received << line;
                // The next reply for this command; the last one stays and repeats.
                QList<QList<QByteArray>> &replies = m_replies[line];
                if (c->open)
                    enqueue(c, replies.isEmpty()
                                   ? QList<QByteArray>{"500 command not recognized\r\n"}
                               : replies.size() > 1 ? replies.takeFirst()
                                                    : replies.first());
            }
        });
        enqueue(c, m_closeAfterGreeting ? m_greeting + QList{QByteArray()} : m_greeting);
    }
}

void ScriptedServer::enqueue(Connection *c, const QList<QByteArray> &chunks)
{
    const bool idle = c->out.isEmpty() && !c->timer.isActive();
    c->out += chunks;
    if (idle)
        pump(c);
}

void ScriptedServer::pump(Connection *c)
{
    if (!c->open || c->out.isEmpty())
        return;
    if (!c->out.first().isNull()) {
        c->socket->write(c->out.takeFirst());
        c->socket->flush();
    }
    if (!c->out.isEmpty() && c->out.first().isNull())
        drop(c); // right after the chunk before
    else if (!c->out.isEmpty())
        c->timer.start(m_pauseMs);
}

void ScriptedServer::drop(Connection *c)
{
    if (!c->open)
        return;
    c->open = false;
    c->out.clear();
    c->timer.stop();
    c->socket->disconnectFromHost();
}
