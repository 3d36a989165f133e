#include "support/scriptedserver.h"

#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

struct ScriptedServer::Connection {
    QTcpSocket *socket = nullptr; // owned by the server object
    QByteArray in;
    // Chunks still to write; a chunk flagged `close` ends the connection.
    std::deque<std::pair<QByteArray, bool>> out;
    QTimer *timer = nullptr;
    bool open = true;
};

ScriptedServer::ScriptedServer(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_greeting{QByteArrayLiteral(
                                                           "200 scripted server ready\r\n")},
      m_defaultReply{QByteArrayLiteral("500 command not recognized\r\n")}
{
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
}

ScriptedServer::~ScriptedServer()
{
    for (auto &c : m_connections) {
        c->timer->stop();
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

void ScriptedServer::setGreeting(const QList<QByteArray> &chunks)
{
    m_greeting = chunks;
}

void ScriptedServer::setCloseAfterGreeting(bool close)
{
    m_closeAfterGreeting = close;
}

void ScriptedServer::reply(const QByteArray &command, const QList<QByteArray> &chunks)
{
    m_replies[command].push_back(Step{chunks, false});
}

void ScriptedServer::closeAfter(const QByteArray &command)
{
    auto &steps = m_replies[command];
    if (steps.empty())
        steps.push_back(Step{{}, true});
    else
        steps.back().close = true;
}

void ScriptedServer::setChunkPause(int ms)
{
    m_pauseMs = ms < 0 ? 0 : ms;
}

void ScriptedServer::push(const QList<QByteArray> &chunks)
{
    for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it) {
        if ((*it)->open) {
            enqueue(it->get(), Step{chunks, false});
            return;
        }
    }
}

void ScriptedServer::dropConnections()
{
    for (auto &c : m_connections) {
        if (!c->open)
            continue;
        c->open = false;
        c->out.clear();
        c->timer->stop();
        c->socket->disconnectFromHost();
    }
}

QStringList ScriptedServer::received() const
{
    QStringList lines;
    for (const QByteArray &b : m_received) {
        QStringDecoder dec("windows-31j");
        lines << QString(dec(b));
    }
    return lines;
}

int ScriptedServer::openConnections() const
{
    int n = 0;
    for (const auto &c : m_connections)
        n += c->open ? 1 : 0;
    return n;
}

void ScriptedServer::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        s->setParent(this);
        auto conn = std::make_unique<Connection>();
        Connection *c = conn.get();
        c->socket = s;
        c->timer = new QTimer(this);
        c->timer->setSingleShot(true);
        connect(c->timer, &QTimer::timeout, this, [this, c] { pump(c); });
        connect(s, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(c); });
        connect(s, &QTcpSocket::disconnected, this, [c] {
            c->open = false;
            c->out.clear();
            c->timer->stop();
        });
        m_connections.push_back(std::move(conn));
        enqueue(c, Step{m_greeting, m_closeAfterGreeting});
    }
}

void ScriptedServer::onReadyRead(Connection *c)
{
    c->in += c->socket->readAll();
    qsizetype lf;
    while ((lf = c->in.indexOf('\n')) >= 0) {
        QByteArray line = c->in.left(lf);
        c->in.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        m_received << line;
        if (c->open)
            enqueue(c, stepFor(line));
    }
}

ScriptedServer::Step ScriptedServer::stepFor(const QByteArray &command)
{
    auto it = m_replies.find(command);
    if (it == m_replies.end() || it->empty())
        return Step{m_defaultReply, false};
    Step s = it->front();
    if (it->size() > 1)
        it->pop_front(); // the last reply stays and repeats
    return s;
}

void ScriptedServer::enqueue(Connection *c, const Step &step)
{
    const bool wasIdle = c->out.empty();
    for (qsizetype i = 0; i < step.chunks.size(); ++i)
        c->out.emplace_back(step.chunks[i], step.close && i == step.chunks.size() - 1);
    if (step.chunks.isEmpty() && step.close)
        c->out.emplace_back(QByteArray(), true);
    if (wasIdle && !c->timer->isActive())
        pump(c);
}

void ScriptedServer::pump(Connection *c)
{
    if (!c->open || c->out.empty())
        return;
    auto [data, close] = c->out.front();
    c->out.pop_front();
    if (!data.isEmpty()) {
        c->socket->write(data);
        c->socket->flush();
    }
    if (close) {
        c->open = false;
        c->out.clear();
        c->socket->disconnectFromHost();
        return;
    }
    if (!c->out.empty())
        c->timer->start(m_pauseMs);
}
