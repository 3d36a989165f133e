#include "support/innserver.h"

#include "support/testcertificate.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const char innd[] = "/usr/lib/news/bin/innd";

struct Availability {
    bool ok = false;
    QString reason;
};

const Availability &availability()
{
    static const Availability a = [] {
        Availability r;
        if (!QFile::exists(QString::fromLatin1(innd))) {
            r.reason = QStringLiteral("INN is not installed (run scripts/setup.sh)");
            return r;
        }
        if (!QFile::exists(InnServer::scriptPath())) {
            r.reason = QStringLiteral("missing ") + InnServer::scriptPath();
            return r;
        }
        if (::geteuid() != 0) {
            QProcess p;
            p.start(QStringLiteral("sudo"), {QStringLiteral("-n"), QStringLiteral("true")});
            if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit ||
                p.exitCode() != 0) {
                r.reason = QStringLiteral("INN needs root or password-less sudo");
                return r;
            }
        }
        r.ok = true;
        return r;
    }();
    return a;
}

// A port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool hasHeader(const QList<QByteArray> &headerLines, const QByteArray &name)
{
    const QByteArray prefix = name.toLower() + ':';
    for (const QByteArray &l : headerLines) {
        if (l.toLower().startsWith(prefix))
            return true;
    }
    return false;
}

QByteArray headerValue(const QList<QByteArray> &headerLines, const QByteArray &name)
{
    const QByteArray prefix = name.toLower() + ':';
    for (const QByteArray &l : headerLines) {
        if (l.toLower().startsWith(prefix))
            return l.mid(prefix.size()).trimmed();
    }
    return {};
}

QByteArray readLine(QTcpSocket &s, int timeoutMs)
{
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(timeoutMs))
            return {};
    }
    return s.readLine().trimmed();
}

} // namespace

InnServer::InnServer() = default;

InnServer::~InnServer()
{
    stop();
}

bool InnServer::available()
{
    return availability().ok;
}

QString InnServer::unavailableReason()
{
    return availability().reason;
}

QString InnServer::scriptPath()
{
    return QStringLiteral(KAPLO_SOURCE_DIR "/scripts/inn-test-server.sh");
}

QString InnServer::caFile() const
{
    return m_securityDir ? m_securityDir->filePath(QStringLiteral("server.pem")) : QString();
}

void InnServer::setReaderPassword(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

bool InnServer::prepareSecurity(QStringList &args)
{
    if (!m_tls && m_user.isEmpty())
        return true;
    if (!m_securityDir) {
        m_securityDir = std::make_unique<QTemporaryDir>();
        if (!m_securityDir->isValid()) {
            m_error =
                QStringLiteral("cannot create a temporary folder: ") + m_securityDir->errorString();
            m_securityDir.reset();
            return false;
        }
        if (m_tls) {
            TestCertificate cert;
            if (!cert.make(m_securityDir->path(), tlsHost())) {
                m_error = cert.error;
                return false;
            }
        }
        if (!m_user.isEmpty()) {
            // ckpasswd -f compares with crypt(3): a SHA-512 crypt hash.
            QProcess p;
            p.start(QStringLiteral("openssl"),
                    {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("-stdin")});
            p.write(m_password.toUtf8() + '\n');
            p.closeWriteChannel();
            const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
                            p.exitCode() == 0;
            const QByteArray hash = p.readAllStandardOutput().trimmed();
            QFile f(m_securityDir->filePath(QStringLiteral("passwd")));
            if (!ok || hash.isEmpty() || !f.open(QIODevice::WriteOnly) ||
                f.write(m_user.toUtf8() + ':' + hash + '\n') < 0) {
                m_error = QStringLiteral("cannot make the password file: ") +
                          QString::fromLocal8Bit(p.readAllStandardError());
                return false;
            }
        }
    }
    if (m_tls) {
        // A port of its own, not the one innd takes.
        do {
            m_tlsPort = freePort();
        } while (m_tlsPort != 0 && m_tlsPort == m_port);
        if (m_tlsPort == 0) {
            m_error = QStringLiteral("no free port on 127.0.0.1");
            return false;
        }
        args << QStringLiteral("--tls") << QString::number(m_tlsPort)
             << m_securityDir->filePath(QStringLiteral("server.pem"))
             << m_securityDir->filePath(QStringLiteral("server.key"));
    }
    if (!m_user.isEmpty())
        args << QStringLiteral("--passwd") << m_securityDir->filePath(QStringLiteral("passwd"));
    return true;
}

bool InnServer::runScript(const QStringList &args, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"), QStringList{scriptPath()} + args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        m_error = QStringLiteral("%1 %2: timed out").arg(scriptPath(), args.join(u' '));
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error =
            QStringLiteral("%1 %2 failed: %3")
                .arg(scriptPath(), args.join(u' '), QString::fromLocal8Bit(p.readAll()).trimmed());
        return false;
    }
    return true;
}

bool InnServer::start()
{
    if (m_running)
        return true;
    if (!available()) {
        m_error = unavailableReason();
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kaplo-inn-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: ") + m_dir->errorString();
        m_dir.reset();
        return false;
    }
    // The script owns the tree from now on (it becomes news's): it removes it.
    m_dir->setAutoRemove(false);
    // Another process may take the probed port before innd binds it: retry.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        if (m_port == 0) {
            m_error = QStringLiteral("no free port on 127.0.0.1");
            continue;
        }
        QStringList args{QStringLiteral("start"), m_dir->path(), QString::number(m_port)};
        if (!prepareSecurity(args))
            break;
        if (runScript(args)) {
            m_running = true;
            return true;
        }
        runScript({QStringLiteral("stop"), m_dir->path()});
    }
    const QString err = m_error;
    stop();
    m_error = err;
    return false;
}

void InnServer::stop()
{
    if (!m_dir)
        return;
    const QString err = m_error;
    if (!runScript({QStringLiteral("purge"), m_dir->path()}))
        qWarning("InnServer: %s", qPrintable(m_error));
    // A start that failed early leaves a folder that is still ours.
    if (QDir(m_dir->path()).exists())
        QDir(m_dir->path()).removeRecursively();
    m_error = err;
    m_dir.reset();
    m_securityDir.reset();
    m_running = false;
    m_port = 0;
    m_tlsPort = 0;
}

bool InnServer::newGroup(const QString &name)
{
    return newGroups({name});
}

bool InnServer::newGroups(const QStringList &names)
{
    if (!m_running) {
        m_error = QStringLiteral("the server is not running");
        return false;
    }
    return runScript(QStringList{QStringLiteral("newgroup"), m_dir->path()} + names);
}

bool InnServer::post(const QByteArray &article)
{
    if (!m_running) {
        m_error = QStringLiteral("the server is not running");
        return false;
    }
    // Lines without their ends; a final line end does not make a last line.
    QList<QByteArray> lines = article.split('\n');
    if (article.endsWith('\n'))
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    qsizetype blank = lines.indexOf(QByteArray());
    if (blank < 0) {
        lines << QByteArray();
        blank = lines.size() - 1;
    }
    QList<QByteArray> headers = lines.mid(0, blank);
    // A peer must give what a reader's server would have added.
    static QAtomicInteger<int> serial;
    QList<QByteArray> added;
    if (!hasHeader(headers, "Message-ID"))
        added << "Message-ID: <kaplo." + QByteArray::number(QCoreApplication::applicationPid()) +
                     '.' + QByteArray::number(serial.fetchAndAddRelaxed(1)) + '.' +
                     QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "@kaplo.test>";
    if (!hasHeader(headers, "Path"))
        added << "Path: kaplo.test!not-for-mail";
    if (!hasHeader(headers, "Date"))
        added << "Date: " +
                     QLocale::c()
                         .toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy HH:mm:ss")
                         .toLatin1() +
                     " +0000";
    for (qsizetype i = 0; i < added.size(); ++i)
        lines.insert(blank + i, added[i]);
    headers << added;

    QByteArray wire;
    wire.reserve(article.size() + article.size() / 30 + 64);
    for (const QByteArray &l : lines) {
        if (l.startsWith('.'))
            wire += '.'; // RFC 3977 3.1.1: dot-stuffing
        wire += l;
        wire += "\r\n";
    }
    wire += ".\r\n";

    QTcpSocket s;
    if (!s.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0)) {
        m_error = QStringLiteral("cannot bind to 127.0.0.2: ") + s.errorString();
        return false;
    }
    s.connectToHost(QHostAddress::LocalHost, m_port);
    if (!s.waitForConnected(10000)) {
        m_error = QStringLiteral("cannot connect: ") + s.errorString();
        return false;
    }
    const int timeout = 60000;
    QByteArray r = readLine(s, timeout);
    if (!r.startsWith('2')) {
        m_error = QStringLiteral("greeting: ") + QString::fromLatin1(r);
        return false;
    }
    const QByteArray command = "IHAVE " + headerValue(headers, "Message-ID") + "\r\n";
    s.write(command);
    r = readLine(s, timeout);
    if (!r.startsWith("335")) {
        m_error = QString::fromLatin1(command.trimmed() + ": " + r);
        return false;
    }
    s.write(wire);
    while (s.bytesToWrite() > 0) {
        if (!s.waitForBytesWritten(timeout)) {
            m_error = QStringLiteral("sending the article: ") + s.errorString();
            return false;
        }
    }
    r = readLine(s, timeout);
    if (!r.startsWith("235")) {
        m_error = QStringLiteral("article refused: ") + QString::fromLatin1(r);
        return false;
    }
    s.write("QUIT\r\n");
    s.waitForBytesWritten(1000);
    s.disconnectFromHost();
    return true;
}
