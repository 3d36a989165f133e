#include "engine/tcpnntpsocket.h"

#include <QMetaObject>
#include <QTcpSocket>

TcpNntpSocket::TcpNntpSocket(QObject *parent) : NntpSocket(parent) {}

TcpNntpSocket::~TcpNntpSocket()
{
    if (m_transport) {
        QObject::disconnect(m_transport, nullptr, this, nullptr);
        m_transport->abort();
    }
}

QString TcpNntpSocket::serverClosedText()
{
    return QStringLiteral("サーバーが接続を切断しました");
}

QString TcpNntpSocket::describe(QAbstractSocket::SocketError error, const QString &platformText)
{
    QString text;
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        return serverClosedText();
    case QAbstractSocket::ConnectionRefusedError:
        text = QStringLiteral("サーバーに接続を拒否されました");
        break;
    case QAbstractSocket::HostNotFoundError:
        text = QStringLiteral("サーバーが見つかりません");
        break;
    case QAbstractSocket::SocketTimeoutError:
        text = QStringLiteral("接続がタイムアウトしました");
        break;
    case QAbstractSocket::NetworkError:
        text = QStringLiteral("ネットワークエラーが発生しました");
        break;
    default:
        text = QStringLiteral("通信エラーが発生しました");
        break;
    }
    if (!platformText.isEmpty())
        text += QStringLiteral(" (") + platformText + QLatin1Char(')');
    return text;
}

QTcpSocket *TcpNntpSocket::makeTransport()
{
    return new QTcpSocket(this);
}

void TcpNntpSocket::startConnection(QTcpSocket &transport, const QString &host, quint16 port)
{
    transport.connectToHost(host, port);
}

void TcpNntpSocket::connectToHost(const QString &host, int port)
{
    dropTransport();
    const quint64 gen = ++m_generation;
    m_reported = false;
    m_decoder.reset();

    if (port < 0 || port > 65535) {
        QMetaObject::invokeMethod(
            this, [this, gen] { reportError(gen, QStringLiteral("ポート番号が正しくありません")); },
            Qt::QueuedConnection);
        return;
    }

    QTcpSocket *t = makeTransport();
    m_transport = t;
    t->setReadBufferSize(ReadBufferSize);
    connect(t, &QTcpSocket::readyRead, this, [this, gen] {
        if (gen == m_generation && !m_reported)
            emit dataArrival();
    });
    // Errors and the end of the connection are passed on from the event loop:
    // the caller may be in the middle of starting a run when they happen.
    connect(t, &QAbstractSocket::errorOccurred, this,
            [this, gen, t](QAbstractSocket::SocketError e) {
                const QString platform = t->errorString();
                QMetaObject::invokeMethod(
                    this, [this, gen, e, platform] { reportError(gen, describe(e, platform)); },
                    Qt::QueuedConnection);
            });
    connect(t, &QAbstractSocket::disconnected, this, [this, gen] {
        QMetaObject::invokeMethod(
            this, [this, gen] { reportError(gen, serverClosedText()); }, Qt::QueuedConnection);
    });
    startConnection(*t, host, static_cast<quint16>(port));
}

void TcpNntpSocket::reportError(quint64 generation, const QString &description)
{
    if (generation != m_generation || m_reported)
        return;
    // What the server sent before it went away is delivered first.
    if (m_transport && m_transport->bytesAvailable() > 0) {
        emit dataArrival();
        if (generation != m_generation || m_reported)
            return;
    }
    m_reported = true;
    emit error(description);
}

void TcpNntpSocket::send(const QString &text)
{
    if (m_transport)
        m_transport->write(Cp932::encode(text));
}

QString TcpNntpSocket::readAll()
{
    if (!m_transport)
        return {};
    return m_decoder.decode(m_transport->readAll());
}

void TcpNntpSocket::close()
{
    dropTransport();
    ++m_generation;
}

void TcpNntpSocket::dropTransport()
{
    if (!m_transport)
        return;
    QTcpSocket *t = m_transport;
    m_transport = nullptr;
    QObject::disconnect(t, nullptr, this, nullptr);
    t->abort();
    // It may be inside one of its own signals right now.
    t->deleteLater();
}
