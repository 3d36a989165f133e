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

const QString script = QStringLiteral(KAPLO_SOURCE_DIR "/scripts/inn-test-server.sh");

// A port nobody listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QByteArray header(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (const QByteArray &l : lines) {
        if (l.toLower().startsWith(name + ':'))
            return l.mid(name.size() + 1).trimmed();
    }
    return {};
}

QByteArray readLine(QTcpSocket &s)
{
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(60000))
            return {};
    }
    return s.readLine().trimmed();
}

bool runs(const QString &program, const QStringList &args, QProcess &p, int timeoutMs = 60000)
{
    p.start(program, args);
    return p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0;
}

} // namespace

InnServer::~InnServer()
{
    if (!m_dir)
        return;
    if (!runScript({QStringLiteral("purge"), m_dir->path()}))
        qWarning("InnServer: %s", qPrintable(m_error));
    QDir(m_dir->path()).removeRecursively(); // a start that failed early leaves it ours
}

QString InnServer::unavailableReason()
{
    static const QString reason = []() -> QString {
        if (!QFile::exists(QStringLiteral("/usr/lib/news/bin/innd")))
            return QStringLiteral("INN is not installed (run scripts/setup.sh)");
        if (!QFile::exists(script))
            return QStringLiteral("missing ") + script;
        QProcess p;
        if (::geteuid() != 0 &&
            !runs(QStringLiteral("sudo"), {QStringLiteral("-n"), QStringLiteral("true")}, p, 10000))
            return QStringLiteral("INN needs root or password-less sudo");
        return {};
    }();
    return reason;
}

QString InnServer::caFile() const
{
    return m_securityDir ? m_securityDir->filePath(QStringLiteral("server.pem")) : QString();
}

bool InnServer::fail(const QString &error)
{
    m_error = error;
    return false;
}

bool InnServer::prepareSecurity(QStringList &args)
{
    if (!m_tls && m_user.isEmpty())
        return true;
    if (!m_securityDir) {
        m_securityDir = std::make_unique<QTemporaryDir>();
        TestCertificate cert;
        if (m_tls && !cert.make(m_securityDir->path(), tlsHost()))
            return fail(cert.error);
        if (!m_user.isEmpty()) {
            // ckpasswd -f compares with crypt(3): a SHA-512 crypt hash.
            QProcess p;
            p.start(QStringLiteral("openssl"),
                    {QStringLiteral("passwd"), QStringLiteral("-6"), QStringLiteral("-stdin")});
            p.write(m_password.toUtf8() + '\n');
            p.closeWriteChannel();
            const bool ok = p.waitForFinished(30000) && p.exitCode() == 0;
            const QByteArray hash = p.readAllStandardOutput().trimmed();
            QFile f(m_securityDir->filePath(QStringLiteral("passwd")));
            if (!ok || hash.isEmpty() || !f.open(QIODevice::WriteOnly) ||
                f.write(m_user.toUtf8() + ':' + hash + '\n') < 0)
                return fail(QStringLiteral("cannot make the password file: ") +
                            QString::fromLocal8Bit(p.readAllStandardError()));
        }
    }
    if (m_tls) {
        do { // a port of its own, not the one innd takes
            m_tlsPort = freePort();
        } while (m_tlsPort != 0 && m_tlsPort == m_port);
        args << QStringLiteral("--tls") << QString::number(m_tlsPort) << caFile()
             << m_securityDir->filePath(QStringLiteral("server.key"));
    }
    if (!m_user.isEmpty())
        args << QStringLiteral("--passwd") << m_securityDir->filePath(QStringLiteral("passwd"));
    return true;
}

bool InnServer::runScript(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (runs(QStringLiteral("bash"), QStringList{script} + args, p))
        return true;
    p.kill();
    p.waitForFinished(5000);
    return fail(QStringLiteral("%1 %2 failed: %3")
                    .arg(script, args.join(u' '), QString::fromLocal8Bit(p.readAll()).trimmed()));
}

bool InnServer::start()
{
    if (m_running)
        return true;
    if (!available())
        return fail(unavailableReason());
    if (!m_dir)
        m_dir =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kaplo-inn-XXXXXX"));
    // The script owns the tree from now on (it becomes news's): it removes it.
    m_dir->setAutoRemove(false);
    // Another process may take the probed port before innd binds it: retry.
    for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
        m_port = freePort();
        QStringList args{QStringLiteral("start"), m_dir->path(), QString::number(m_port)};
        if (!prepareSecurity(args))
            return false;
        m_running = runScript(args);
        if (!m_running)
            runScript({QStringLiteral("stop"), m_dir->path()});
    }
    return m_running;
}

bool InnServer::newGroups(const QStringList &names)
{
    if (!m_running)
        return fail(QStringLiteral("the server is not running"));
    return runScript(QStringList{QStringLiteral("newgroup"), m_dir->path()} + names);
}

bool InnServer::post(const QByteArray &article)
{
    if (!m_running)
        return fail(QStringLiteral("the server is not running"));
    // Lines without their ends; a final line end does not make a last line.
    QList<QByteArray> lines = article.split('\n');
    if (article.endsWith('\n'))
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    qsizetype blank = lines.indexOf(QByteArray());
    if (blank < 0)
        lines << QByteArray(), blank = lines.size() - 1;
    // A peer must give what a reader's server would have added.
    static QAtomicInteger<int> serial;
    QByteArray id = header(lines.mid(0, blank), "message-id");
    if (id.isEmpty()) {
        id = "<kaplo." + QByteArray::number(QCoreApplication::applicationPid()) + '.' +
             QByteArray::number(serial.fetchAndAddRelaxed(1)) + '.' +
             QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "@kaplo.test>";
        lines.insert(blank++, "Message-ID: " + id);
    }
    if (header(lines.mid(0, blank), "path").isEmpty())
        lines.insert(blank++, "Path: kaplo.test!not-for-mail");
    if (header(lines.mid(0, blank), "date").isEmpty())
        lines.insert(blank++,
                     "Date: " +
                         QLocale::c()
                             .toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy HH:mm:ss")
                             .toLatin1() +
                         " +0000");
    QByteArray wire;
    for (const QByteArray &l : lines)
        wire += (l.startsWith('.') ? "." : "") + l + "\r\n"; // dot-stuffing
    wire += ".\r\n";

    QTcpSocket s;
    if (!s.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        return fail(QStringLiteral("cannot bind to 127.0.0.2: ") + s.errorString());
    s.connectToHost(QHostAddress::LocalHost, m_port);
    if (!s.waitForConnected(10000))
        return fail(QStringLiteral("cannot connect: ") + s.errorString());
    QByteArray r = readLine(s);
    if (!r.startsWith('2'))
        return fail(QStringLiteral("greeting: ") + QString::fromLatin1(r));
    s.write("IHAVE " + id + "\r\n");
    r = readLine(s);
    if (!r.startsWith("335"))
        return fail(QStringLiteral("IHAVE: ") + QString::fromLatin1(r));
    s.write(wire);
    while (s.bytesToWrite() > 0) {
        if (!s.waitForBytesWritten(60000))
            return fail(QStringLiteral("sending the article: ") + s.errorString());
    }
    r = readLine(s);
    if (!r.startsWith("235"))
        return fail(QStringLiteral("article refused: ") + QString::fromLatin1(r));
    s.write("QUIT\r\n");
    s.waitForBytesWritten(1000);
    return true;
}
