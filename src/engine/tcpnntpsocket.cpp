#include "engine/tcpnntpsocket.h"

#include <QFile>
#include <QMetaObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTcpSocket>

#include <utility>

namespace {

// Errors that, before the TLS session stands, say something about TLS rather
// than about reaching the server.
bool tlsMatters(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        return false;
    default:
        return true;
    }
}

} // namespace

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

QString TcpNntpSocket::certificateText(const QString &reasons)
{
    return QStringLiteral("証明書を検証できません: ") + reasons;
}

QString TcpNntpSocket::tlsFailedText(const QString &reason)
{
    return QStringLiteral("SSL/TLSで接続できません: ") + reason;
}

bool TcpNntpSocket::tlsAvailable()
{
    return QSslSocket::supportsSsl();
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
    if (m_tlsConnection)
        return new QSslSocket(this);
    return new QTcpSocket(this);
}

void TcpNntpSocket::startConnection(QTcpSocket &transport, const QString &host, quint16 port)
{
    if (auto *ssl = qobject_cast<QSslSocket *>(&transport); ssl && m_tlsConnection)
        ssl->connectToHostEncrypted(host, port); // host is also the name verified
    else
        transport.connectToHost(host, port);
}

void TcpNntpSocket::configureTls(QTcpSocket &transport)
{
    auto &ssl = static_cast<QSslSocket &>(transport);
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // A private server's own authority, besides the system's.
    if (!caFile().isEmpty()) {
        QSslConfiguration conf = ssl.sslConfiguration();
        conf.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                               QSslCertificate::fromPath(caFile()));
        ssl.setSslConfiguration(conf);
    }
}

void TcpNntpSocket::connectToHost(const QString &host, int port)
{
    dropTransport();
    const quint64 gen = ++m_generation;
    m_reported = false;
    m_decoder.setUtf8Lines(utf8Lines());
    m_unsent.clear();
    m_certificateErrors.clear();
    m_tlsConnection = tls();
    m_encrypted = false;

    if (port < 0 || port > 65535) {
        QMetaObject::invokeMethod(
            this, [this, gen] { reportError(gen, QStringLiteral("ポート番号が正しくありません")); },
            Qt::QueuedConnection);
        return;
    }

    if (m_tlsConnection && !tlsAvailable()) {
        QMetaObject::invokeMethod(
            this,
            [this, gen] {
                reportError(gen, tlsFailedText(QStringLiteral("TLSのライブラリがありません")));
            },
            Qt::QueuedConnection);
        return;
    }

    QTcpSocket *t = makeTransport();
    m_transport = t;
    if (m_tlsConnection) {
        auto *ssl = qobject_cast<QSslSocket *>(t);
        if (!ssl) {
            // Never fall back to a connection in clear.
            QMetaObject::invokeMethod(
                this,
                [this, gen] {
                    reportError(gen, tlsFailedText(QStringLiteral("TLSのソケットがありません")));
                },
                Qt::QueuedConnection);
            return;
        }
        configureTls(*ssl);
        connect(ssl, &QSslSocket::sslErrors, this, [this, gen](const QList<QSslError> &errors) {
            if (gen != m_generation)
                return;
            QStringList reasons;
            for (const QSslError &e : errors)
                reasons << e.errorString();
            m_certificateErrors = reasons.join(QStringLiteral("; "));
        });
        connect(ssl, &QSslSocket::encrypted, this, [this, gen, ssl] {
            if (gen != m_generation)
                return;
            m_encrypted = true;
            if (!m_unsent.isEmpty())
                ssl->write(std::exchange(m_unsent, QByteArray()));
        });
    }
    t->setReadBufferSize(ReadBufferSize);
    // Commands go out at once: with several in flight, Nagle's algorithm
    // would hold one back until the server acknowledged the one before.
    connect(t, &QAbstractSocket::connected, this,
            [t] { t->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    connect(t, &QTcpSocket::readyRead, this, [this, gen] {
        if (gen == m_generation && !m_reported)
            emit dataArrival();
    });
    // Errors and the end of the connection are passed on from the event loop:
    // the caller may be in the middle of starting a run when they happen.
    connect(t, &QAbstractSocket::errorOccurred, this,
            [this, gen, t](QAbstractSocket::SocketError e) {
                const QString text = describeFailure(e, t->errorString());
                QMetaObject::invokeMethod(
                    this, [this, gen, text] { reportError(gen, text); }, Qt::QueuedConnection);
            });
    connect(t, &QAbstractSocket::disconnected, this, [this, gen] {
        const QString text = describeFailure(QAbstractSocket::RemoteHostClosedError, QString());
        QMetaObject::invokeMethod(
            this, [this, gen, text] { reportError(gen, text); }, Qt::QueuedConnection);
    });
    startConnection(*t, host, static_cast<quint16>(port));
}

QString TcpNntpSocket::describeFailure(QAbstractSocket::SocketError error,
                                       const QString &platformText) const
{
    if (!m_tlsConnection || m_encrypted || !tlsMatters(error))
        return describe(error, platformText);
    if (!m_certificateErrors.isEmpty())
        return certificateText(m_certificateErrors);
    if (error == QAbstractSocket::RemoteHostClosedError || platformText.isEmpty())
        return tlsFailedText(describe(error, QString()));
    return tlsFailedText(platformText);
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
    if (!m_transport)
        return;
    if (m_tlsConnection && !m_encrypted) {
        // Nothing goes out before the session is encrypted.
        m_unsent += Cp932::encode(text);
        return;
    }
    m_transport->write(Cp932::encode(text));
}

QString TcpNntpSocket::readAll()
{
    if (!m_transport)
        return {};
    return m_decoder.decode(m_transport->readAll());
}

void TcpNntpSocket::readBytes(QByteArray &buffer)
{
    buffer.resize(0);
    if (!m_transport)
        return;
    // The caller's buffer is reused: at download speed a fresh allocation
    // per read shows in the profile.
    const qint64 n = m_transport->bytesAvailable();
    if (n <= 0)
        return;
    buffer.resize(n);
    const qint64 got = m_transport->read(buffer.data(), n);
    buffer.resize(got > 0 ? got : 0);
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
    m_unsent.clear();
    QObject::disconnect(t, nullptr, this, nullptr);
    t->abort();
    // It may be inside one of its own signals right now.
    t->deleteLater();
}
