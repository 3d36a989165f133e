#include "support/scriptedserver.h"

#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <deque>

struct ScriptedServer::Connection {
    explicit Connection(QTcpSocket *s) : socket(s) {}
    QTcpSocket *socket; // owned by the server object
    QByteArray in;
    std::deque<std::pair<QByteArray, bool>> out; // chunks to write; true: close after it
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
    m_replies[command].append(Step{chunks, false});
}

void ScriptedServer::closeAfter(const QByteArray &command)
{
    auto &steps = m_replies[command];
    if (steps.isEmpty())
        steps.append(Step{});
    steps.last().close = true;
}

void ScriptedServer::push(const QList<QByteArray> &chunks)
{
    for (auto it = m_connections.rbegin(); it != m_connections.rend(); ++it) {
        if ((*it)->open)
            return enqueue(it->get(), Step{chunks, false});
    }
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
                if (!c->open)
                    continue;
                // The next reply for this command; the last one stays and repeats.
                QList<Step> &steps = m_replies[line];
                const Step step = steps.isEmpty()
                                      ? Step{{"500 command not recognized\r\n"}, false}
                                      : (steps.size() > 1 ? steps.takeFirst() : steps.first());
                enqueue(c, step);
            }
        });
        enqueue(c, Step{m_greeting, m_closeAfterGreeting});
    }
}

void ScriptedServer::enqueue(Connection *c, const Step &step)
{
    const bool idle = c->out.empty() && !c->timer.isActive();
    for (qsizetype i = 0; i < step.chunks.size(); ++i)
        c->out.emplace_back(step.chunks[i], step.close && i == step.chunks.size() - 1);
    if (step.chunks.isEmpty() && step.close)
        c->out.emplace_back(QByteArray(), true);
    if (idle)
        pump(c);
}

void ScriptedServer::pump(Connection *c)
{
    if (!c->open || c->out.empty())
        return;
    const auto [data, close] = c->out.front();
    c->out.pop_front();
    c->socket->write(data);
    c->socket->flush();
    if (close)
        drop(c);
    else if (!c->out.empty())
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
